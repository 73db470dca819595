// A USB printer's entries in a sysfs tree, laid out as Linux lays out
// usblp printers, so that Vornex's discovery finds a printer that was made
// rather than plugged in.
#pragma once

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace vornex::printer {

// A usblp printer under the sysfs root: /sys/class/usbmisc/<lp> of the
// interface <port>:1.0 of the USB device <port>, with its IDs (four hex
// digits) and, when given, its serial number. The device node is left to the
// caller.
inline void MakeUsbPrinterSysfs(const std::filesystem::path& sys, const std::string& lp,
                                const std::string& port, const std::string& vendor,
                                const std::string& product, const std::optional<std::string>& serial) {
  namespace fs = std::filesystem;
  auto write = [](const fs::path& file, const std::string& text) { std::ofstream(file) << text << "\n"; };
  const fs::path device = sys / "devices/pci0000:00/0000:00:14.0/usb1" / port;
  const fs::path node = device / (port + ":1.0") / "usbmisc" / lp;
  fs::create_directories(node);
  write(device / "idVendor", vendor);
  write(device / "idProduct", product);
  if (serial) write(device / "serial", *serial);
  // A tree made before (a printer started again in its folder) is kept.
  std::error_code exists;
  fs::create_directory_symlink("../..", node / "device", exists);
  fs::create_directories(sys / "class/usbmisc");
  fs::create_directory_symlink(node, sys / "class/usbmisc" / lp, exists);
}

}  // namespace vornex::printer
