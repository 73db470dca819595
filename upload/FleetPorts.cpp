#include "upload/FleetPorts.h"

#include "forms/Convert.h"
#include "upload/Job.h"
#include "upload/NetworkAddress.h"
#include "upload/NetworkTransport.h"
#include "upload/PortErrors.h"
#include "upload/PrintQueueName.h"
#include "upload/VendorUsbTransport.h"

namespace vornex {

namespace {

// What the port list calls a USB printer: the label and its product ID.
constexpr char UsbPrinterLabelStart[] = "Common USB-";

// The maker's library is closed and says nothing of threads: one transfer
// goes through it at a time, whichever device it is for.
constexpr char VendorLibraryIdentity[] = "the maker's USB library";

std::string LowerCase(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

// What the system says the name opens; a name it cannot tell of is its own
// device (it fails to open anyway).
std::string IdentityOf(TPlatform& platform, const std::string& name) {
  const std::string identity = platform.Devices().DeviceIdentity(name);
  return identity.empty() ? "name " + name : identity;
}

}  // namespace

bool NamesUsbPrinterLabel(const std::string& text) { return text.rfind(UsbPrinterLabelStart, 0) == 0; }

bool PlanFleetPort(TPlatform& platform, const std::string& text, const std::vector<TUsbPrinterEntry>& usbPrinters,
                   TFleetPort& port, std::string& error) {
  port = TFleetPort{};
  port.Text = text;
  if (IsNetworkPortText(text)) {
    TNetworkAddress address;
    if (!ParseNetworkPortText(text, address)) {
      error = NotANetworkPortText(text);
      return false;
    }
    port.Mode = tmNetwork;
    // The same printer by the same address; names are not looked up here.
    port.Identity = "network " + LowerCase(NetworkAddressText(address));
    return true;
  }
  if (IsPrintQueuePortText(text)) {
    port.Mode = tmPrintQueue;
    // The spooler keeps each queue's jobs apart: two queues may print at once.
    port.Identity = "queue " + text;
    return true;
  }
  // A device's path means the device, whatever letters it holds.
  switch (platform.Devices().GetDeviceKind(text)) {
    case TDeviceKind::NotAPath: break;
    case TDeviceKind::Terminal:
      port.Mode = tmSerial;
      port.DevicePath = text;
      port.Identity = IdentityOf(platform, text);
      return true;
    case TDeviceKind::UsbPrinter:
      port.Mode = tmUsbPrinter;
      port.UsbPrinterPath = text;
      port.Identity = IdentityOf(platform, text);
      return true;
    case TDeviceKind::NotFound:
      // Unplugged for now: it fails as unreached, and a retry may find it.
    case TDeviceKind::ParallelPort:
    case TDeviceKind::Fifo:
    case TDeviceKind::Socket:
      port.Mode = tmParallel;
      port.Identity = IdentityOf(platform, text);
      return true;
    case TDeviceKind::Other:
      error = CantOpenText(platform, PortCalled(text), ERROR_BAD_DEVICE);
      return false;
  }
  if (NamesUsbPrinterLabel(text)) {
    const TUsbPrinterEntry* found = nullptr;
    int count = 0;
    for (const auto& printer : usbPrinters) {
      if (printer.Label != text) continue;
      found = &printer;
      ++count;
    }
    if (count != 1) {
      error = count == 0 ? "\"" + text + "\" is no USB printer the port list shows"
                         : std::to_string(count) + " USB printers are listed as \"" + text +
                               "\": name each by its device path";
      return false;
    }
    port.Mode = tmUsbPrinter;
    port.UsbPrinterPath = found->Path;
    port.Identity = IdentityOf(platform, found->Path);
    return true;
  }
  if (Contains(text, "COM")) {
    port.Mode = tmSerial;
    port.Identity = IdentityOf(platform, "\\\\.\\" + text);
    return true;
  }
  if (Contains(text, "LPT")) {
    port.Mode = tmParallel;
    port.Identity = IdentityOf(platform, text);
    return true;
  }
  if (Contains(text, "USB")) {
    const std::int32_t index = TVendorUsbTransport::DeviceIndexOf(text);
    if (index < 0 || index > 9) {
      error = "\"" + text + "\" names no device of the maker's USB library: write ZUV USB0 to ZUV USB3";
      return false;
    }
    port.Mode = tmVendorUsb;
    port.Identity = VendorLibraryIdentity;
    return true;
  }
  error = "\"" + text + "\" names no port: write COMn, LPTn, ZUV USBn, a USB printer as --list-ports shows it, "
                        "a device's path, TCP:HOST[:PORT] or PRINTER:NAME";
  return false;
}

}  // namespace vornex
