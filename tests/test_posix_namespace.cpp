// The Linux platform's device namespace over a fake sysfs and /dev tree:
// the registry, the spooler's ports and the names that open devices.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "forms/Controls.h"
#include "forms/Form.h"
#include "os/posix/PosixPlatform.h"
#include "ports/PortDiscovery.h"
#include "tests/support/HeadlessHost.h"
#include "tests/support/FakeSysfs.h"
#include "tests/support/TempDir.h"
#include "tests/support/UsbPrinters.h"

namespace vornex::test {
namespace {

class NamespaceTest : public ::testing::Test {
 protected:
  std::unique_ptr<TPosixPlatform> Make(const std::string& map = "") {
    TPosixPlatform::TOptions o;
    o.SysRoot = Tree.SysRoot();
    o.DevRoot = Tree.DevRoot();
    o.DeviceMap = map;
    return std::make_unique<TPosixPlatform>(o);
  }
  std::vector<std::string> SubKeys(TPlatform& p, const std::string& path) {
    std::vector<std::string> names;
    THandle key = NoHandle;
    if (p.Registry().RegOpenKeyExA(path, KEY_READ, key) != ERROR_SUCCESS) return {"<none>"};
    char name[256];
    DWORD length = sizeof name;
    for (DWORD i = 0; p.Registry().RegEnumKeyExA(key, i, name, length) == ERROR_SUCCESS; ++i, length = sizeof name)
      names.emplace_back(name, length);
    p.Registry().RegCloseKey(key);
    return names;
  }
  std::string Value(TPlatform& p, const std::string& path, const std::string& name) {
    THandle key = NoHandle;
    if (p.Registry().RegOpenKeyExA(path, KEY_READ, key) != ERROR_SUCCESS) return "<no key>";
    char data[512];
    DWORD length = sizeof data;
    long r = p.Registry().RegQueryValueExA(key, name, nullptr, reinterpret_cast<BYTE*>(data), length);
    p.Registry().RegCloseKey(key);
    return r == ERROR_SUCCESS ? std::string(data) : "<no value>";
  }
  std::vector<std::string> SerialComm(TPlatform& p) {
    std::vector<std::string> data;
    THandle key = NoHandle;
    if (p.Registry().RegOpenKeyExA(SerialCommKeyPath, KEY_READ, key) != ERROR_SUCCESS) return {"<none>"};
    DWORD values = 0, longestName = 0, longestData = 0;
    p.Registry().RegQueryInfoKeyA(key, nullptr, &values, &longestName, &longestData);
    for (DWORD i = 0; i < values; ++i) {
      std::vector<char> name(longestName + 1), text(longestData + 1);
      DWORD nameLength = longestName + 1, dataLength = longestData + 1;
      EXPECT_EQ(p.Registry().RegEnumValueA(key, i, name.data(), nameLength, nullptr,
                                           reinterpret_cast<BYTE*>(text.data()), dataLength),
                           ERROR_SUCCESS);
      data.emplace_back(text.data());
    }
    p.Registry().RegCloseKey(key);
    return data;
  }
  // Opens a Windows name as the USB printer transport does and writes to it.
  bool WriteThrough(TPlatform& p, const std::string& name, const std::string& text) {
    THandle h = p.Devices().CreateFileA(name, GENERIC_ALL, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                                        FILE_FLAG_NO_BUFFERING);
    if (h == InvalidHandle) return false;
    DWORD written = 0;
    bool ok = p.Devices().WriteFile(h, text.data(), static_cast<DWORD>(text.size()), written);
    p.CloseHandle(h);
    return ok && written == text.size();
  }
  std::string Contents(const std::string& path) {
    auto bytes = ReadAll(path);
    return std::string(bytes.begin(), bytes.end());
  }
  TFakeSysfs Tree;
};

TEST_F(NamespaceTest, UsbPrintersAppearUnderTheUsbEnumerationInWindowsTerms) {
  Tree.AddUsbPrinter("lp0", "1-1", "2a3c", "0005", std::string("SN42"));
  Tree.AddUsbPrinter("lp1", "1-2.3", "2a3c", "5", std::nullopt);   // short ID, no serial
  Tree.AddUsbPrinter("lp2", "1-4", "04b8", "0202", std::string(300, 'S'));  // serial too long
  Tree.AddUsbPrinter("lp3", "1-5", "2a3c", "xyz", std::string("bad"));      // unreadable ID
  Tree.AddUsbPrinter("hiddev0", "1-6", "2a3c", "0009", std::string("hid"));  // not a printer
  auto p = Make();
  const std::string usb = "SYSTEM\\CurrentControlSet\\Enum\\USB";
  EXPECT_EQ(SubKeys(*p, usb), (std::vector<std::string>{"VID_2A3C&PID_0005", "VID_04B8&PID_0202"}));
  EXPECT_EQ(SubKeys(*p, usb + "\\vid_2a3c&pid_0005\\"), (std::vector<std::string>{"SN42", "1-2.3"}));
  EXPECT_EQ(SubKeys(*p, usb + "\\VID_04B8&PID_0202"), std::vector<std::string>{"1-4"});
  const std::string instance = usb + "\\VID_2A3C&PID_0005\\SN42";
  EXPECT_EQ(Value(*p, instance, "Service"), "usbprint");
  EXPECT_EQ(Value(*p, instance + "\\Device Parameters", "SymbolicName"),
            std::string("\\??\\USB#VID_2A3C&PID_0005#SN42#") + PrinterInterfaceGuid);
  EXPECT_EQ(SubKeys(*p, "SYSTEM\\CurrentControlSet\\Enum"), std::vector<std::string>{"USB"});

  // Windows' length rules: a buffer too small is refused, nothing written.
  THandle key = NoHandle;
  ASSERT_EQ(p->Registry().RegOpenKeyExA(instance, KEY_READ, key), ERROR_SUCCESS);
  char small[4] = {'x', 'x', 'x', 'x'};
  DWORD length = sizeof small;
  EXPECT_EQ(p->Registry().RegQueryValueExA(key, "Service", nullptr, reinterpret_cast<BYTE*>(small), length),
                       ERROR_MORE_DATA);
  EXPECT_EQ(length, 9u);
  EXPECT_EQ(small[0], 'x');
  EXPECT_EQ(p->Registry().RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(p->Registry().RegCloseKey(key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(p->Registry().RegOpenKeyExA(usb + "\\VID_2A3C&PID_0009", KEY_READ, key), ERROR_FILE_NOT_FOUND);
}

TEST_F(NamespaceTest, APrintersPathOpensItsDeviceWhicheverNumberItHasNow) {
  Tree.AddUsbPrinter("lp0", "1-1", "2a3c", "0005", std::string("FIRST"));
  Tree.AddUsbPrinter("lp1", "1-2", "2a3c", "0005", std::string("SECOND"));
  Tree.AddNode("usb/lp0");
  Tree.AddNode("usb/lp1");
  auto p = Make();
  const std::string second = std::string("\\\\?\\USB#VID_2A3C&PID_0005#SECOND#") + PrinterInterfaceGuid;
  ASSERT_TRUE(WriteThrough(*p, second, "one"));
  EXPECT_EQ(Contents(Tree.DevPath("usb/lp1")), "one");
  ASSERT_TRUE(WriteThrough(*p, "\\\\?\\usb#vid_2a3c&pid_0005#second#" + std::string(PrinterInterfaceGuid), "two"))
      << "device paths are case-blind";
  EXPECT_EQ(Contents(Tree.DevPath("usb/lp1")), "two");
  EXPECT_EQ(Contents(Tree.DevPath("usb/lp0")), "");

  // The first printer leaves and the second comes back as lp0.
  Tree.RemoveUsbPrinter("lp0");
  Tree.RemoveUsbPrinter("lp1");
  Tree.AddUsbPrinter("lp0", "1-2", "2a3c", "0005", std::string("SECOND"));
  ASSERT_TRUE(WriteThrough(*p, second, "three"));
  EXPECT_EQ(Contents(Tree.DevPath("usb/lp0")), "three");
  EXPECT_FALSE(WriteThrough(*p, std::string("\\\\?\\USB#VID_2A3C&PID_0005#FIRST#") + PrinterInterfaceGuid, "x"));
  EXPECT_EQ(p->GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(NamespaceTest, TheSerialPortMapListsTtysWithADriverByNamesTheUserKnows) {
  Tree.AddTty("ttyS0", true, "4");
  Tree.AddTty("ttyS1", true, "0");  // a slot without a UART
  Tree.AddTty("ttyUSB10", true);
  Tree.AddTty("ttyUSB2", true);
  Tree.AddTty("ttyACM0", true);
  Tree.AddTty("tty1", true);        // a virtual console
  Tree.AddTty("console", false);
  Tree.AddTty("ptmx", false);
  auto p = Make("COM1=/dev/pts/7;LPT1=/tmp/x");
  EXPECT_EQ(SerialComm(*p), (std::vector<std::string>{"COM1", "COM:ttyACM0", "COM:ttyS0",
                                                       "COM:ttyUSB2", "COM:ttyUSB10"}));
  EXPECT_EQ(p->ResolveDeviceName("\\\\.\\COM:ttyUSB2"), Tree.DevPath("ttyUSB2"));
  Tree.RemoveTty("ttyUSB2");
  Tree.AddTty("ttyUSB0", true);
  EXPECT_EQ(p->ResolveDeviceName("\\\\.\\COM:ttyUSB10"), Tree.DevPath("ttyUSB10"))
      << "another adapter coming and going changes nothing";
  EXPECT_EQ(p->ResolveDeviceName("\\\\.\\COM1"), "/dev/pts/7") << "the map comes first";
  EXPECT_EQ(p->ResolveDeviceName("\\\\.\\COM3"), Tree.DevPath("ttyS2"));
  EXPECT_EQ(p->ResolveDeviceName("\\\\.\\COM:../../etc/passwd"), "");
  EXPECT_EQ(p->ResolveDeviceName("\\\\.\\COM:.hidden"), "");
  EXPECT_EQ(p->ResolveDeviceName("\\\\.\\PRN"), "");
  OSVERSIONINFOA version;
  ASSERT_TRUE(p->GetVersionExA(version));
  EXPECT_EQ(version.dwPlatformId, VER_PLATFORM_WIN32_NT);
  EXPECT_EQ(version.dwMajorVersion, 6u);
}

TEST_F(NamespaceTest, TheSpoolerListsParallelPortsAndTheSerialPorts) {
  Tree.AddNode("lp0");
  Tree.AddNode("lp1");
  Tree.AddNode("lpfoo");
  Tree.AddTty("ttyUSB0", true);
  auto p = Make("LPT1=/tmp/lp;LPT4=/tmp/lp4;COM2=/dev/pts/1");
  std::vector<std::string> ports;
  ASSERT_TRUE(p->Discovery().EnumPortsA(ports));
  EXPECT_EQ(ports, (std::vector<std::string>{"LPT1:", "LPT2:", "LPT4:", "COM:ttyUSB0:", "COM2:"}));
  EXPECT_EQ(p->ResolveDeviceName("LPT2"), Tree.DevPath("lp1"));
  EXPECT_EQ(p->ResolveDeviceName("lpt1"), "/tmp/lp");
  EXPECT_EQ(p->ResolveDeviceName("\\\\.\\LPT0"), "") << "there is no LPT0";
}

TEST_F(NamespaceTest, TheTreeCanBeChosenFromTheEnvironment) {
  ::setenv("VORNEX_SYS_ROOT", Tree.SysRoot().c_str(), 1);
  ::setenv("VORNEX_DEV_ROOT", Tree.DevRoot().c_str(), 1);
  const TPosixPlatform::TOptions chosen = TPosixPlatform::OptionsFromEnvironment();
  ::setenv("VORNEX_SYS_ROOT", "", 1);
  ::unsetenv("VORNEX_DEV_ROOT");
  const TPosixPlatform::TOptions plain = TPosixPlatform::OptionsFromEnvironment();
  ::unsetenv("VORNEX_SYS_ROOT");
  EXPECT_EQ(chosen.SysRoot, Tree.SysRoot());
  EXPECT_EQ(chosen.DevRoot, Tree.DevRoot());
  EXPECT_EQ(plain.SysRoot, "/sys") << "an empty setting is no setting";
  EXPECT_EQ(plain.DevRoot, "/dev");
}

// A walk of the registry sees sysfs as it was when its first key opened:
// many printers cost one read of sysfs, not one per key. The next walk sees
// what is there then.
TEST_F(NamespaceTest, AWalkOfTheRegistrySeesTheDevicesAsTheyWereWhenItBegan) {
  Tree.AddUsbPrinter("lp0", "1-1", "2a3c", "0005", std::string("FIRST"));
  Tree.AddUsbPrinter("lp1", "1-2", "2a3c", "0006", std::string("SECOND"));
  ::mkfifo(Tree.DevPath("usb/lp1").c_str(), 0600);
  auto p = Make();
  const std::string usb = "SYSTEM\\CurrentControlSet\\Enum\\USB";
  THandle walk = NoHandle;
  ASSERT_EQ(p->Registry().RegOpenKeyExA(usb, KEY_READ, walk), ERROR_SUCCESS);
  Tree.RemoveUsbPrinter("lp1");
  EXPECT_EQ(SubKeys(*p, usb + "\\VID_2A3C&PID_0006"), std::vector<std::string>{"SECOND"});
  const std::string second = std::string("\\\\?\\USB#VID_2A3C&PID_0006#SECOND#") + PrinterInterfaceGuid;
  EXPECT_EQ(p->ResolveDeviceName(second), Tree.DevPath("usb/lp1")) << "the walk's test-open finds it";
  p->Registry().RegCloseKey(walk);
  EXPECT_EQ(SubKeys(*p, usb), std::vector<std::string>{"VID_2A3C&PID_0005"});
  EXPECT_EQ(p->ResolveDeviceName(second), "");
}

// A rebuild of the port list reads the USB printers from sysfs once: the
// spooler's keys under SYSTEM are no part of the USB enumeration.
TEST_F(NamespaceTest, ARebuildOfThePortListWalksTheUsbPrintersOnce) {
  Tree.AddUsbPrinter("lp0", "1-1", "2a3c", "0005", std::string("ONCE"));
  ::mkfifo(Tree.DevPath("usb/lp0").c_str(), 0600);
  auto p = Make();
  const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(::inotify_add_watch(watch, (Tree.SysRoot() + "/class/usbmisc").c_str(), IN_OPEN), 0);
  THeadlessHost host;
  TForm form(host, "Ports", "Ports", {0, 0, 100, 100});
  TComboBox box(&form, "ComboBox1", "", {0, 0, 100, 20});
  TPortDiscovery ports(*p, box);
  ports.DetermineWindowsLevel();
  ports.RefreshPortList();
  EXPECT_EQ(ports.UsbPrinterPaths().size(), 1u);
  int walks = 0;
  alignas(inotify_event) char events[4096];
  for (ssize_t n; (n = ::read(watch, events, sizeof events)) > 0;)
    for (char* at = events; at < events + n; at += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(at)->len)
      ++walks;
  ::close(watch);
  EXPECT_EQ(walks, 1);
}

// An attribute that is no regular file (a FIFO in a made-up tree) would
// hang a read: it is passed over, and the printer with it.
TEST_F(NamespaceTest, AnAttributeThatIsNoRegularFileIsSkippedWithoutWaiting) {
  Tree.AddUsbPrinter("lp0", "1-1", "2a3c", "0005", std::string("GOOD"));
  Tree.AddUsbPrinter("lp1", "1-2", "2a3c", "0006", std::string("ODD"));
  const std::string odd = Tree.SysRoot() + "/devices/pci0000:00/0000:00:14.0/usb1/1-2/idVendor";
  std::filesystem::remove(odd);
  ASSERT_EQ(::mkfifo(odd.c_str(), 0600), 0);
  // Should the read wait on the FIFO after all, a writer frees it after a
  // while with a value that would list the printer: the test fails, it
  // does not hang.
  std::atomic<bool> done{false};
  std::thread rescue([&] {
    for (int i = 0; i < 1000 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (done) return;
    int fd = ::open(odd.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) {
      [[maybe_unused]] auto n = ::write(fd, "2a3c\n", 5);
      ::close(fd);
    }
  });
  auto p = Make();
  const auto keys = SubKeys(*p, "SYSTEM\\CurrentControlSet\\Enum\\USB");
  done = true;
  rescue.join();
  EXPECT_EQ(keys, std::vector<std::string>{"VID_2A3C&PID_0005"});
}

}  // namespace
}  // namespace vornex::test
