#include "upload/UsbPrinterTransport.h"

namespace vornex {

THandle OpenUsbPrinter(TPlatform& platform, const std::string& path) {
  return platform.CreateFileA(path, GENERIC_ALL, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                              FILE_FLAG_NO_BUFFERING);
}

bool TUsbPrinterTransport::OpenDevice(TSendContext& c) {
  if (c.Job.UsbPrinterPath.empty()) return false;
  Printer = TPlatformHandle(c.Platform, OpenUsbPrinter(c.Platform, c.Job.UsbPrinterPath));
  return Printer.Valid();
}

bool TUsbPrinterTransport::WriteBlock(TSendContext& c, const std::uint8_t* data, std::size_t n,
                                      std::size_t& taken) {
  // A write that takes part of the block goes on with the rest; one that
  // fails, or takes nothing, fails the block with what went counted.
  taken = 0;
  while (taken < n) {
    DWORD written = 0;
    const bool ok = c.Platform.WriteFile(Printer.Get(), data + taken, static_cast<DWORD>(n - taken),
                                         written, c.CancelEvent);
    taken += written;
    if (!ok || written == 0) return false;
  }
  return true;
}

void TUsbPrinterTransport::CloseDevice(TSendContext&) { Printer.Reset(); }

}  // namespace vornex
