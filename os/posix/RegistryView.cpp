#include "os/posix/RegistryView.h"

namespace vornex::posix {

namespace {

// A key at or below a part's root needs that part; the keys above it are
// there from the start (every view has the two roots), and any other key,
// such as the spooler's under SYSTEM, needs no walk of the devices.
bool Below(const std::string& upperPath, const std::string& upperRoot) {
  return StartsWith(upperPath, upperRoot.c_str()) &&
         (upperPath.size() == upperRoot.size() || upperPath[upperRoot.size()] == '\\');
}
bool InUsbPart(const std::string& upperPath) { return Below(upperPath, UpperCase(UsbEnumKey)); }
bool InSerialPart(const std::string& upperPath) { return Below(upperPath, UpperCase(SerialCommKey)); }

}  // namespace

TRegistryView::TRegistryView() {
  AddKey(UsbEnumKey);
  AddKey(SerialCommKey);
}

bool TRegistryView::Covers(const std::string& upperPath) const {
  return (!InUsbPart(upperPath) || HasUsb) && (!InSerialPart(upperPath) || HasSerial);
}

void TRegistryView::Cover(const TNamespace& names, const std::string& upperPath) {
  if (InUsbPart(upperPath) && !HasUsb) {
    HasUsb = true;
    for (const TUsbPrinter& printer : names.UsbPrinters()) {
      const std::string instance = std::string(UsbEnumKey) + "\\" + printer.DeviceKey + "\\" + printer.Instance;
      AddValue(instance, "Service", "usbprint");
      AddValue(instance + "\\Device Parameters", "SymbolicName", printer.SymbolicName);
      UsbDevices.emplace(TNamespace::UsbPrinterKey(printer.SymbolicName), printer.DevicePath);
    }
  }
  if (InSerialPart(upperPath) && !HasSerial) {
    HasSerial = true;
    for (const auto& [name, path] : names.DeviceMap().Entries())
      if (StartsWith(name, "COM")) AddValue(SerialCommKey, "\\Device\\Mapped\\" + name, name);
    for (const TSerialPort& port : names.SerialPorts())
      AddValue(SerialCommKey, "\\Device\\" + port.TtyName, TNamespace::SerialEntry(port));
  }
}

const TKeyObject* TRegistryView::Find(const std::string& path) const {
  auto it = Nodes.find(UpperCase(path));
  return it == Nodes.end() ? nullptr : &it->second;
}

void TRegistryView::AddKey(const std::string& path) {
  std::string parent;
  std::size_t start = 0;
  for (;;) {
    const std::size_t slash = path.find('\\', start);
    const std::string part = path.substr(start, slash == std::string::npos ? slash : slash - start);
    const std::string full = parent.empty() ? part : parent + "\\" + part;
    auto [node, added] = Nodes.try_emplace(UpperCase(full));
    if (added) {
      node->second.Path = full;
      if (!parent.empty()) Nodes[UpperCase(parent)].SubKeys.push_back(part);
    }
    if (slash == std::string::npos) return;
    parent = full;
    start = slash + 1;
  }
}

void TRegistryView::AddValue(const std::string& path, const std::string& name, const std::string& data) {
  AddKey(path);
  Nodes[UpperCase(path)].Values.emplace_back(name, data);
}

}  // namespace vornex::posix
