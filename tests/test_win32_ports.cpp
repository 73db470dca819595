// The port list and transfers on Windows itself (Wine here): the main window
// over the real registry, spooler and maker's library.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "app/MainForm.h"
#include "tests/support/HeadlessHost.h"
#include "tests/support/TempDir.h"
// Windows headers last: they turn many of the names above into macros.
#include "os/win32/Win32Platform.h"
#include "tests/support/Win32Pipe.h"
#include "tests/support/Win32Registry.h"

namespace vornex::test {
namespace {

bool Listed(const std::vector<std::string>& items, const std::string& item) {
  return std::find(items.begin(), items.end(), item) != items.end();
}

// The pipe's name in the form the registry gives a device: \??\...
std::string SymbolicNameOf(const std::string& pipe) { return "\\??\\" + pipe.substr(4); }

class Win32PortsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Printer = SymbolicNameOf(UsbPrinter.Name);
    // A printer of the maker, its key written as some drivers write it, and
    // one whose product ID says it is no printer to list.
    Registry.Remember(UsbEnum + "Vid_2a3c&Pid_00ab");
    Registry.Set(UsbEnum + "Vid_2a3c&Pid_00ab\\INST1", "Service", "usbprint");
    Registry.Set(UsbEnum + "Vid_2a3c&Pid_00ab\\INST1\\Device Parameters", "SymbolicName", Printer);
    Registry.Remember(UsbEnum + "VID_2A3C&PID_0001");
    Registry.Set(UsbEnum + "VID_2A3C&PID_0001\\INST1", "Service", "usbprint");
    Registry.Set(UsbEnum + "VID_2A3C&PID_0001\\INST1\\Device Parameters", "SymbolicName", Printer);
    Registry.Set("HARDWARE\\DEVICEMAP\\SERIALCOMM", "\\Device\\VornexTest", "COM9");
    SetEnv("VORNEX_USBAPI_OUT", Dir.Path("library.out"));
    SetEnv("VORNEX_USBAPI_DEVICES", "0,2");
  }
  void TearDown() override {
    SetEnv("VORNEX_USBAPI_OUT", "");
    SetEnv("VORNEX_USBAPI_DEVICES", "");
  }

  TTempDir Dir;
  TPipePrinter UsbPrinter{"usb"};
  std::string Printer;  // as the registry names it
  TRegistryEntries Registry;
};

TEST_F(Win32PortsTest, TheListComesFromTheRegistryTheSpoolerAndTheLibraryInThatOrder) {
  THeadlessHost host;
  TWin32Platform platform;
  TMainForm form(host, platform);
  const auto& items = form.ComboBox1.Items();
  ASSERT_FALSE(items.empty());
  EXPECT_EQ(items.front(), "Common USB-AB") << "the USB printers first, by product ID in hex";
  EXPECT_EQ(std::count(items.begin(), items.end(), "Common USB-1"), 0) << "product 1 is no printer";
  std::string path = Printer;
  path[1] = '\\';
  EXPECT_EQ(form.Ports.UsbPrinterPaths(), std::vector<std::string>{path});
  EXPECT_EQ(form.Ports.WindowsLevel(), 2000);
  EXPECT_TRUE(Listed(items, "COM9")) << "COM names from the serial-port map";
  for (const char* lpt : {"LPT1", "LPT2", "LPT3"}) EXPECT_TRUE(Listed(items, lpt)) << lpt;
  EXPECT_TRUE(Listed(items, "ZUV USB0"));
  EXPECT_TRUE(Listed(items, "ZUV USB2"));
  EXPECT_FALSE(Listed(items, "ZUV USB1"));
  EXPECT_EQ(items.back(), "ZUV USB2") << "the library's devices last";
}

TEST_F(Win32PortsTest, AUsbPrinterAndAParallelPortReceiveTheFileByteExact) {
  THeadlessHost host;
  TWin32Platform platform;
  TMainForm form(host, platform);
  host.Attach(form);
  form.Show();

  // With a USB printer present, whatever the box says goes to it.
  auto data = RandomBytes(5000, 31);
  form.EdFileName.SetText(Dir.Write("label.prn", data));
  ASSERT_TRUE(host.Click(form.BuStart));
  ASSERT_TRUE(host.WaitUntil([&] { return !form.Upload.Busy(); }));
  EXPECT_TRUE(form.Job.TransferDone);
  EXPECT_TRUE(host.WaitUntil([&] { return UsbPrinter.Received() == data; }));

  // Gone from the registry, then a port text naming a device "LPT...":
  // the parallel port opens it as typed.
  Registry.Clear();
  form.ComboBox1.DropDown();
  EXPECT_TRUE(form.Ports.UsbPrinterPaths().empty());
  TPipePrinter parallel("LPT");
  form.ComboBox1.SetText(parallel.Name);
  ASSERT_TRUE(host.Click(form.BuStart));
  ASSERT_TRUE(host.WaitUntil([&] { return !form.Upload.Busy(); }));
  EXPECT_EQ(form.Job.TransferMode, tmParallel);
  EXPECT_TRUE(form.Job.TransferDone);
  EXPECT_EQ(form.Job.BlocksSent, 10) << "512-byte blocks";
  EXPECT_TRUE(host.WaitUntil([&] { return parallel.Received() == data; }))
      << parallel.Received().size() << " bytes of " << data.size();

  // A file named "LPT..." is no port: refused, and it keeps what it held.
  const std::string notes = Dir.Write("LPT-notes.txt", "keep me");
  form.ComboBox1.SetText(notes);
  ASSERT_TRUE(host.Click(form.BuStart));
  ASSERT_TRUE(host.WaitUntil([&] { return !form.Upload.Busy(); }));
  EXPECT_FALSE(form.Job.TransferDone);
  EXPECT_EQ(host.LastMessage(), "Port " + notes + " can't be opened: it is a file or a folder, not a port.");
  EXPECT_EQ(ReadAll(notes), (std::vector<std::uint8_t>{'k', 'e', 'e', 'p', ' ', 'm', 'e'}));
}

}  // namespace
}  // namespace vornex::test
