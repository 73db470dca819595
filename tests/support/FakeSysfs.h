// A sysfs and /dev tree in a temporary folder, laid out as Linux lays out
// USB printers (usblp) and serial ports, for the Linux platform's tests.
#pragma once

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "printer/UsbSysfs.h"
#include "tests/support/TempDir.h"

namespace vornex::test {

class TFakeSysfs {
 public:
  std::string SysRoot() const { return Dir.Path("sys"); }
  std::string DevRoot() const { return Dir.Path("dev"); }
  std::string DevPath(const std::string& name) const { return Dir.Path("dev/" + name); }

  // A usblp printer: /sys/class/usbmisc/<lp> of the interface <port>:1.0
  // of the USB device <port>. The device node is left to the caller.
  void AddUsbPrinter(const std::string& lp, const std::string& port, const std::string& vendor,
                     const std::string& product, const std::optional<std::string>& serial) {
    printer::MakeUsbPrinterSysfs(Dir.Root / "sys", lp, port, vendor, product, serial);
    std::filesystem::create_directories(Dir.Root / "dev/usb");
  }
  void RemoveUsbPrinter(const std::string& lp) {
    std::filesystem::remove(Dir.Root / "sys/class/usbmisc" / lp);
  }

  // A tty; with a driver when `driver`, and a UART type when given.
  void AddTty(const std::string& name, bool driver, const std::optional<std::string>& type = {}) {
    namespace fs = std::filesystem;
    const fs::path tty = Dir.Root / "sys/class/tty" / name;
    fs::create_directories(tty);
    if (driver) fs::create_directories(tty / "device/driver");
    if (type) Dir.Write(Rel(tty / "type"), *type + "\n");
    fs::create_directories(Dir.Root / "dev");
  }
  void RemoveTty(const std::string& name) {
    std::filesystem::remove_all(Dir.Root / "sys/class/tty" / name);
  }

  // A plain file standing for a device node; what is written lands in it.
  std::string AddNode(const std::string& name) { return Dir.Write("dev/" + name, std::string()); }

 private:
  std::string Rel(const std::filesystem::path& p) const {
    return std::filesystem::relative(p, Dir.Root).string();
  }
  TTempDir Dir;
};

}  // namespace vornex::test
