// The maker's library bound at run time, through the project's stand-in.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/MainForm.h"
#include "os/posix/PosixPlatform.h"
#include "tests/support/HeadlessHost.h"
#include "tests/support/TempDir.h"

namespace vornex::test {
namespace {

// What the stand-in library reads from the environment.
const char* const LibrarySettings[] = {"VORNEX_USBAPI_OUT",        "VORNEX_USBAPI_DEVICES",    "VORNEX_USBAPI_LOG",
                                       "VORNEX_USBAPI_FAIL_OPEN",  "VORNEX_USBAPI_FAIL_WRITES", "VORNEX_USBAPI_FAIL_COUNT"};

class VendorLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : LibrarySettings) {
      const char* value = std::getenv(name);
      Saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
      ::unsetenv(name);
    }
    Out = Dir.Path("usb.out");
    ::setenv("VORNEX_USBAPI_OUT", Out.c_str(), 1);
    ::setenv("VORNEX_USBAPI_DEVICES", "0,2", 1);
  }
  // The settings as they were, so that no failure meant for one test is
  // left for the next.
  void TearDown() override {
    for (const auto& [name, value] : Saved) {
      if (value)
        ::setenv(name.c_str(), value->c_str(), 1);
      else
        ::unsetenv(name.c_str());
    }
  }
  static TPosixPlatform::TOptions WithLibraryIn(const std::string& dir) {
    TPosixPlatform::TOptions o;
    o.LibraryDirs = {dir};
    return o;
  }
  TTempDir Dir;
  std::string Out;
  std::vector<std::pair<std::string, std::optional<std::string>>> Saved;
};

TEST_F(VendorLibraryTest, TheLibraryBesideTheProgramIsBoundAndItsDevicesAnswer) {
  TPosixPlatform platform(WithLibraryIn(VORNEX_USBAPI_DIR));
  ASSERT_TRUE(platform.VendorUsb().VendorUsbAvailable());
  EXPECT_EQ(platform.VendorUsb().VendorUsbOpen(1), -1);
  std::int32_t device = platform.VendorUsb().VendorUsbOpen(2);
  ASSERT_NE(device, -1);
  EXPECT_EQ(platform.VendorUsb().VendorUsbWrite(device, "label", 5), 5);
  platform.VendorUsb().VendorUsbClose(device);
  EXPECT_EQ(ReadAll(Out), std::vector<std::uint8_t>({'l', 'a', 'b', 'e', 'l'}));
  ::setenv("VORNEX_USBAPI_FAIL_OPEN", "1", 1);
  EXPECT_EQ(platform.VendorUsb().VendorUsbOpen(0), -1);
}

TEST_F(VendorLibraryTest, WithoutTheLibraryNoDeviceOpensAndNothingBreaks) {
  TPosixPlatform platform(WithLibraryIn(Dir.Path("")));
  EXPECT_FALSE(platform.VendorUsb().VendorUsbAvailable());
  EXPECT_EQ(platform.VendorUsb().VendorUsbOpen(0), -1);
  EXPECT_LT(platform.VendorUsb().VendorUsbWrite(0, "x", 1), 0);
  // The loader's own words say why, and an open leaves them as its error.
  const DWORD why = platform.VendorUsb().VendorUsbLoadError();
  EXPECT_EQ(platform.GetLastError(), why);
  EXPECT_NE(platform.FormatMessageA(why).find("libusbapi.so"), std::string::npos) << platform.FormatMessageA(why);
}

TEST_F(VendorLibraryTest, ALibraryThatDoesNotLoadIsToldWithTheLoadersWords) {
  Dir.Write("libusbapi.so", "not a library");
  TPosixPlatform platform(WithLibraryIn(Dir.Path("")));
  EXPECT_FALSE(platform.VendorUsb().VendorUsbAvailable());
  const std::string why = platform.FormatMessageA(platform.VendorUsb().VendorUsbLoadError());
  EXPECT_NE(why.find(Dir.Root.string()), std::string::npos) << "the file beside the program: " << why;
  EXPECT_NE(why.find("libusbapi.so: file too short"), std::string::npos) << why;

  // A transfer to the library says it after its own words.
  THeadlessHost host;
  TMainForm form(host, platform);
  host.Attach(form);
  form.Show();
  form.ComboBox1.SetText("ZUV USB0");
  form.Job.TransferMode = tmVendorUsb;
  form.EdFileName.SetText(Dir.Write("v.prn", "label"));
  ASSERT_TRUE(host.Click(form.BuStart));
  ASSERT_TRUE(host.WaitUntil([&] { return !form.Upload.Busy(); }));
  EXPECT_EQ(host.Messages,
            std::vector<std::string>{"USB Port INVALID: the maker's USB library did not load: " + why + "."});
}

class VendorTransferTest : public VendorLibraryTest {
 protected:
  void SetUp() override {
    VendorLibraryTest::SetUp();
    Form = std::make_unique<TMainForm>(Host, Platform);
    Host.Attach(*Form);
    Form->Show();
    Form->ComboBox1.SetText("ZUV USB2");
    Form->Job.TransferMode = tmVendorUsb;
  }
  void TearDown() override {
    Form.reset();
    VendorLibraryTest::TearDown();
  }
  void Send(const std::vector<std::uint8_t>& data) {
    Form->EdFileName.SetText(Dir.Write("job.bin", data));
    ASSERT_TRUE(Host.Click(Form->BuStart));
    ASSERT_TRUE(Host.WaitUntil([&] { return !Form->Upload.Busy(); }));
  }
  TPosixPlatform Platform{WithLibraryIn(VORNEX_USBAPI_DIR)};
  THeadlessHost Host;
  std::unique_ptr<TMainForm> Form;
};

TEST_F(VendorTransferTest, AFileArrivesWholeAndAResentBlockOnlyOnce) {
  auto data = RandomBytes(5000);
  ::setenv("VORNEX_USBAPI_FAIL_WRITES", "3", 1);
  Send(data);
  EXPECT_EQ(ReadAll(Out), data);
  EXPECT_TRUE(Form->Job.TransferDone);
  EXPECT_EQ(Form->BuExit.Caption(), "USB Send Err Resend");
  EXPECT_TRUE(Host.Messages.empty());
}

TEST_F(VendorTransferTest, ABlockTheLibraryRefusesTwiceStopsTheTransferAndSaysSo) {
  ::setenv("VORNEX_USBAPI_FAIL_WRITES", "2", 1);
  ::setenv("VORNEX_USBAPI_FAIL_COUNT", "2", 1);
  auto data = RandomBytes(2000);
  Send(data);
  EXPECT_EQ(ReadAll(Out), std::vector<std::uint8_t>(data.begin(), data.begin() + 512))
      << "only the block before the refused one arrived";
  EXPECT_EQ(Form->Job.BytesSent, 512);
  EXPECT_FALSE(Form->Job.TransferDone);
  EXPECT_EQ(Host.LastMessage(), UsbNotDeliveredText);
}

}  // namespace
}  // namespace vornex::test
