// The registry as the devices present make it: USB printers under
// Enum\USB, serial ports in the serial-port map. Built from sysfs once per
// walk of the registry (from the opening of its first key to the closing of
// its last), so that a walk over many printers reads sysfs once rather than
// once per key. Internal to os/posix.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "os/posix/Namespace.h"
#include "os/posix/PosixObjects.h"

namespace vornex::posix {

inline constexpr char UsbEnumKey[] = "SYSTEM\\CurrentControlSet\\Enum\\USB";
inline constexpr char SerialCommKey[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

class TRegistryView {
 public:
  TRegistryView();

  // The parts a key path lies in, added from `names` if not there yet.
  void Cover(const TNamespace& names, const std::string& upperPath);
  bool Covers(const std::string& upperPath) const;
  // The key at path (any case, no trailing backslash), or nothing.
  const TKeyObject* Find(const std::string& path) const;
  // The USB printers, when this view has them.
  const TUsbPrinterIndex* UsbPrinters() const { return HasUsb ? &UsbDevices : nullptr; }

 private:
  void AddKey(const std::string& path);
  void AddValue(const std::string& path, const std::string& name, const std::string& data);

  // Keys by upper-cased path.
  std::map<std::string, TKeyObject> Nodes;
  bool HasUsb = false;
  bool HasSerial = false;
  TUsbPrinterIndex UsbDevices;
};

}  // namespace vornex::posix
