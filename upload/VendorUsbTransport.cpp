#include "upload/VendorUsbTransport.h"

namespace vornex {

std::int32_t TVendorUsbTransport::DeviceIndexOf(const std::string& portText) {
  if (portText.size() < 8) return -1;
  // Whatever the character, the difference goes to the library.
  return static_cast<std::int32_t>(static_cast<signed char>(portText[7])) - '0';
}

bool TVendorUsbTransport::OpenDevice(TSendContext& c) {
  // A text too short to name a device opens none.
  if (c.Job.PortText.size() < 8) return false;
  Device = c.Platform.VendorUsb().VendorUsbOpen(DeviceIndexOf(c.Job.PortText));
  return Device != -1;
}

std::string TVendorUsbTransport::OpenFailureText(TSendContext& c) {
  TVendorUsb& library = c.Platform.VendorUsb();
  if (library.VendorUsbAvailable()) return UsbPortInvalidText;
  return std::string(UsbPortInvalidText) + ": the maker's USB library did not load: " +
         c.Platform.Reason(library.VendorUsbLoadError()) + ".";
}

bool TVendorUsbTransport::WriteBlock(TSendContext& c, const std::uint8_t* data, std::size_t n,
                                     std::size_t& taken) {
  // The library takes a block whole or not at all.
  const bool ok = c.Platform.VendorUsb().VendorUsbWrite(Device, data, static_cast<std::int32_t>(n)) >= 0;
  taken = ok ? n : 0;
  return ok;
}

void TVendorUsbTransport::CloseDevice(TSendContext& c) {
  c.Platform.VendorUsb().VendorUsbClose(Device);
  Device = -1;
}

}  // namespace vornex
