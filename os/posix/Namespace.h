// Windows device names and the devices behind them, as Linux shows them:
// USB printers (usblp) from /sys/class/usbmisc, serial ports from
// /sys/class/tty, parallel ports from /dev/lpN, and the user's device map.
// Internal to os/posix.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "os/posix/DeviceMap.h"

namespace vornex::posix {

// The device interface class of USB printers.
inline constexpr char UsbPrinterInterfaceGuid[] = "{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
// Serial ports are listed as COM:<tty name>: the entry names the device the
// user knows, and keeps naming it whatever other adapters come and go.
inline constexpr char SerialEntryPrefix[] = "COM:";

// A USB printer in the names Windows gives it.
struct TUsbPrinter {
  std::string DeviceKey;     // VID_04B8&PID_0005
  std::string Instance;      // its serial number, else its USB port (1-1.2)
  std::string SymbolicName;  // \??\USB#VID_04B8&PID_0005#<instance>#{...}
  std::string DevicePath;    // /dev/usb/lp0
};

// A tty that has a driver behind it.
struct TSerialPort {
  std::string TtyName;     // ttyUSB0
  std::string DevicePath;  // /dev/ttyUSB0
};

// USB printers found: the device each opens, by UsbPrinterKey.
using TUsbPrinterIndex = std::unordered_map<std::string, std::string>;

class TNamespace {
 public:
  TNamespace(std::string sysRoot, std::string devRoot, const TDeviceMap& map);

  // The Linux path a Windows name opens, or empty: a mapped name; \\.\COM:tty
  // and COMn (ttyS<n-1>); LPTn (/dev/lp<n-1>); a USB printer's \\?\ path.
  // An absolute path is itself; any other name opens nothing. With
  // `printers`, a USB printer's path is looked up there rather than in sysfs.
  std::string Resolve(const std::string& name, const TUsbPrinterIndex* printers = nullptr) const;

  // What is there now, in a stable order.
  std::vector<TUsbPrinter> UsbPrinters() const;
  std::vector<TSerialPort> SerialPorts() const;
  // N of each /dev/lpN.
  std::vector<int> ParallelPortNumbers() const;
  const TDeviceMap& DeviceMap() const { return Map; }

  // A printer's \\?\ or \??\ path, told apart as Windows does (case-blind).
  static std::string UsbPrinterKey(const std::string& path);
  // The entry a serial port is listed by (COM:ttyUSB0).
  static std::string SerialEntry(const TSerialPort& port) { return SerialEntryPrefix + port.TtyName; }

 private:
  std::string SysRoot;
  std::string DevRoot;
  const TDeviceMap& Map;
};

}  // namespace vornex::posix
