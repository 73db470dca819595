// USB printers of the maker as the registry and the device namespace show
// them, for the scripted platform.
#pragma once

#include <memory>
#include <string>

#include "ports/PortDiscovery.h"
#include "tests/support/FakePlatform.h"

namespace vornex::test {

inline constexpr char PrinterInterfaceGuid[] = "{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

// The path a printer's device opens by, made from its device key and instance.
inline std::string UsbPrinterPath(const std::string& deviceKey, const std::string& instance) {
  return "\\\\?\\USB#" + deviceKey + "#" + instance + "#" + PrinterInterfaceGuid;
}

// An instance under Enum\USB\<deviceKey> served by `service`; its device
// exists (and can be opened) when `present`.
inline std::shared_ptr<TFakeDevice> AddUsbPrinter(TFakePlatform& platform,
                                                  const std::string& deviceKey,
                                                  const std::string& instance,
                                                  const std::string& service = UsbPrinterService,
                                                  bool present = true) {
  const std::string key = std::string(UsbEnumKeyPath) + deviceKey + "\\" + instance;
  platform.SetValue(key, "Service", service);
  platform.SetValue(key + "\\Device Parameters", "SymbolicName",
                    "\\??\\USB#" + deviceKey + "#" + instance + "#" + PrinterInterfaceGuid);
  if (!present) return nullptr;
  auto device = platform.AddDevice(UsbPrinterPath(deviceKey, instance));
  device->IsComm = false;
  return device;
}

}  // namespace vornex::test
