// The port list: USB printers from the registry, the serial-port map, the
// spooler and the maker's library, rebuilt on every drop-down.
#include <gtest/gtest.h>

#include "tests/support/MainFormFixture.h"
#include "ports/UsbDeviceKey.h"
#include "tests/support/UsbPrinters.h"

namespace vornex::test {
namespace {

using TItems = std::vector<std::string>;

class DiscoveryTest : public MainFormTest {
 protected:
  // The platform is scripted first; the window is built by Build().
  void SetUp() override {}
  void Build() { MainFormTest::SetUp(); }
  const TItems& Items() const { return Form->ComboBox1.Items(); }
  const std::vector<std::string>& Paths() const { return Form->Ports.UsbPrinterPaths(); }
  std::string Maker(const std::string& pid) { return std::string("VID_") + MakerVendorId + "&PID_" + pid; }
};

TEST(MakerProductId, ReadsTheDigitsAfterPidTheWayTheSearchDoes) {
  const std::string vid = MakerVendorId;
  EXPECT_EQ(MakerProductId("VID_" + vid + "&PID_0002"), 2);
  EXPECT_EQ(MakerProductId("USB\\Vid_" + vid + "&Pid_00ab"), 0xAB) << "upper-cased first";
  EXPECT_EQ(MakerProductId("VID_" + vid + "&PID_FFFF&MI_00"), 0xFFFF);
  // Not a hexadecimal digit: counted by the rule, not refused ('G' gives 16).
  EXPECT_EQ(MakerProductId("VID_" + vid + "&PID_000G"), 16);
  EXPECT_EQ(MakerProductId("VID_1234&PID_0002"), std::nullopt) << "another vendor";
  EXPECT_EQ(MakerProductId("ROOT_HUB20"), std::nullopt);
  EXPECT_EQ(MakerProductId("VID_" + vid.substr(0, 3)), std::nullopt) << "vendor digits cut short";
  EXPECT_EQ(MakerProductId("VID_" + vid + "&PID_02"), std::nullopt) << "product digits cut short";
  EXPECT_EQ(MakerProductId("VID_" + vid), std::nullopt);
  EXPECT_EQ(MakerProductId(""), std::nullopt);
}

TEST_F(DiscoveryTest, WhereTheComNamesComeFromFollowsTheWindowsLevel) {
  Platform.SpoolerPorts = {"COM1:", "LPT1:", "USB001", "FILE:", "xlpt9:", "COM2:"};
  Platform.SetValue(SerialCommKeyPath, "\\Device\\Serial1", "COM7");
  Platform.SetValue(SerialCommKeyPath, "\\Device\\Serial0", "COM3");
  struct TCase {
    DWORD PlatformId, Major;
    bool Fails;
    std::int32_t Level;
    TItems Items;
  } cases[] = {
      {VER_PLATFORM_WIN32_NT, 5, false, 2000, {"COM7", "COM3", "LPT1", "xlpt9"}},
      {VER_PLATFORM_WIN32_NT, 6, false, 2000, {"COM7", "COM3", "LPT1", "xlpt9"}},
      {VER_PLATFORM_WIN32_NT, 4, false, 1998, {"COM1", "LPT1", "xlpt9", "COM2"}},
      {VER_PLATFORM_WIN32_WINDOWS, 4, false, 1998, {"COM1", "LPT1", "xlpt9", "COM2"}},
      {VER_PLATFORM_WIN32_NT, 5, true, 0, {"LPT1", "xlpt9"}},
  };
  for (const auto& c : cases) {
    Form.reset();
    Platform.Version.dwPlatformId = c.PlatformId;
    Platform.Version.dwMajorVersion = c.Major;
    Platform.VersionFails = c.Fails;
    Build();
    EXPECT_EQ(Form->Ports.WindowsLevel(), c.Level) << c.PlatformId << "." << c.Major;
    EXPECT_EQ(Items(), c.Items) << c.PlatformId << "." << c.Major << (c.Fails ? " failing" : "");
  }
}

TEST_F(DiscoveryTest, AMissingSourceLeavesTheOthers) {
  Platform.SpoolerFails = true;
  Platform.FailCall("RegQueryInfoKeyA", ERROR_ACCESS_DENIED);
  Platform.SetValue(SerialCommKeyPath, "\\Device\\Serial0", "COM3");
  AddUsbPrinter(Platform, Maker("0002"), "A");
  Platform.VendorLibraryPresent = true;
  Platform.VendorDevices = {1};
  Build();
  EXPECT_EQ(Items(), (TItems{"Common USB-2", "ZUV USB1"}));
  EXPECT_EQ(Platform.OpenKeys(), 0);
}

TEST_F(DiscoveryTest, USBPrintersOfTheMakerAreFoundAndLabelledByProductId) {
  AddUsbPrinter(Platform, Maker("0002"), "5&1a2b&0&1");              // index 0 counts too
  AddUsbPrinter(Platform, "VID_1234&PID_0002", "X");                 // another vendor
  AddUsbPrinter(Platform, Maker("0000"), "Y");                       // product 0 and 1 skipped
  AddUsbPrinter(Platform, Maker("0001"), "Z");
  AddUsbPrinter(Platform, "Vid_" + std::string(MakerVendorId) + "&Pid_00ab", "lower");
  AddUsbPrinter(Platform, Maker("0100"), "one");                     // two instances
  AddUsbPrinter(Platform, Maker("0100"), "two");
  AddUsbPrinter(Platform, Maker("0005"), "hid", "HidUsb");           // another driver
  AddUsbPrinter(Platform, Maker("0006"), "case", "USBPRINT");        // case counts
  AddUsbPrinter(Platform, Maker("0007"), "gone", UsbPrinterService, false);  // cannot be opened
  AddUsbPrinter(Platform, Maker("02"), "short");                     // product digits cut short
  Platform.Key(std::string(UsbEnumKeyPath) + Maker("0008") + "\\noparams");  // no values at all
  Build();
  EXPECT_EQ(Items(), (TItems{"Common USB-2", "Common USB-AB", "Common USB-100", "Common USB-100"}));
  EXPECT_EQ(Paths(), (std::vector<std::string>{
                         UsbPrinterPath(Maker("0002"), "5&1a2b&0&1"),
                         UsbPrinterPath("Vid_" + std::string(MakerVendorId) + "&Pid_00ab", "lower"),
                         UsbPrinterPath(Maker("0100"), "one"), UsbPrinterPath(Maker("0100"), "two")}));
  EXPECT_EQ(Platform.OpenKeys(), 0) << "every key opened is closed";
  EXPECT_EQ(Platform.OpenDeviceHandles(), 0) << "every test-open is closed";
}

TEST_F(DiscoveryTest, AKeyThatCannotBeOpenedEndsTheSearchButNotTheList) {
  AddUsbPrinter(Platform, Maker("0002"), "A");
  // Enumerated, but not there when opened.
  Platform.Key(std::string(UsbEnumKeyPath) + Maker("0003") + "\\B");
  Platform.Key(std::string(UsbEnumKeyPath) + Maker("0003")).SubKeys.insert(
      Platform.Key(std::string(UsbEnumKeyPath) + Maker("0003")).SubKeys.begin(), "vanished");
  AddUsbPrinter(Platform, Maker("0004"), "C");
  Platform.Key(UsbEnumKeyPath).SubKeys.push_back(Maker("0009"));
  AddUsbPrinter(Platform, Maker("000A"), "D");
  Platform.SpoolerPorts = {"LPT1:"};
  Build();
  EXPECT_EQ(Items(), (TItems{"Common USB-2", "LPT1"})) << "the instance that vanished ends it";
  EXPECT_EQ(Platform.OpenKeys(), 0);

  // A device key that vanished ends it too.
  Form.reset();
  Platform.Key(std::string(UsbEnumKeyPath) + Maker("0003")).SubKeys.erase(
      Platform.Key(std::string(UsbEnumKeyPath) + Maker("0003")).SubKeys.begin());
  Build();
  EXPECT_EQ(Items(), (TItems{"Common USB-2", "Common USB-4", "LPT1"}));
  EXPECT_EQ(Platform.OpenKeys(), 0);
}

TEST_F(DiscoveryTest, NamesLongerThanTheirBuffersAreSkippedWithoutOverrun) {
  const std::string longName = Maker("0003") + std::string(300, 'X');
  AddUsbPrinter(Platform, longName, "A");
  AddUsbPrinter(Platform, Maker("0004"), std::string(260, 'I'));
  // A service name and a device path that do not fit in 256 bytes.
  AddUsbPrinter(Platform, Maker("0005"), "svc", std::string(UsbPrinterService) + std::string(300, ' '));
  Platform.SetValue(std::string(UsbEnumKeyPath) + Maker("0006") + "\\far", "Service", UsbPrinterService);
  Platform.SetValue(std::string(UsbEnumKeyPath) + Maker("0006") + "\\far\\Device Parameters",
                    "SymbolicName", "\\??\\" + std::string(400, 'p'));
  AddUsbPrinter(Platform, Maker("0007"), "fits");
  Build();
  EXPECT_EQ(Items(), TItems{"Common USB-7"});
  EXPECT_EQ(Paths().size(), 1u);
}

TEST_F(DiscoveryTest, EveryDropDownRebuildsTheListAndKeepsTheEditText) {
  AddUsbPrinter(Platform, Maker("0002"), "A");
  Platform.SpoolerPorts = {"LPT1:", "LPT2:"};
  Build();
  Form->ComboBox1.SetText("LPT2");
  Platform.SpoolerPorts = {"LPT1:"};
  Form->ComboBox1.DropDown();
  EXPECT_EQ(Items(), (TItems{"Common USB-2", "LPT1"}));
  EXPECT_EQ(Form->ComboBox1.Text(), "LPT2") << "the text stays, though its port has gone";
  EXPECT_EQ(Form->Job.TransferMode, tmSerial) << "discovery never chooses a mode";
  EXPECT_TRUE(Host.Messages.empty());
}

TEST_F(DiscoveryTest, Button1SearchesAgainAndAddsItsLabelsAfterTheList) {
  AddUsbPrinter(Platform, Maker("0002"), "A");
  Platform.SpoolerPorts = {"LPT1:"};
  Build();
  ASSERT_TRUE(Host.Click(Form->Button1));
  ASSERT_TRUE(Host.Click(Form->Button1));
  EXPECT_EQ(Items(), (TItems{"Common USB-2", "LPT1", "Common USB-2", "Common USB-2"}));
  EXPECT_EQ(Paths().size(), 1u) << "the paths are rebuilt, not added to";
  Form->ComboBox1.DropDown();
  EXPECT_EQ(Items(), (TItems{"Common USB-2", "LPT1"}));
}

TEST_F(DiscoveryTest, TheMakersLibraryIsAskedForIndicesZeroToThreeAndEachHandleClosed) {
  Platform.VendorLibraryPresent = true;
  Platform.VendorDevices = {0, 2, 4};
  Build();
  EXPECT_EQ(Items(), (TItems{"ZUV USB0", "ZUV USB2"}));
  EXPECT_EQ(Platform.VendorOpened, (std::vector<std::int32_t>{0, 1, 2, 3}));
  EXPECT_EQ(Platform.VendorClosed, (std::vector<std::int32_t>{0, 2}));
}

}  // namespace
}  // namespace vornex::test
