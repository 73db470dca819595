#include "upload/UsbPrinterTransport.h"

namespace vornex {

bool TUsbPrinterTransport::OpenDevice(TSendContext& c) {
  if (c.Job.UsbPrinterPath.empty()) return false;
  Printer = TPlatformHandle(
      c.Platform, c.Platform.CreateFileA(c.Job.UsbPrinterPath, GENERIC_ALL,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                                         FILE_FLAG_NO_BUFFERING));
  return Printer.Valid();
}

bool TUsbPrinterTransport::WriteBlock(TSendContext& c, const std::uint8_t* data, std::size_t n) {
  // A write that takes part of the block goes on with the rest, so that no
  // byte goes out twice; one that fails, or takes nothing, fails the block.
  std::size_t done = 0;
  while (done < n) {
    DWORD written = 0;
    if (!c.Platform.WriteFile(Printer.Get(), data + done, static_cast<DWORD>(n - done), written,
                              c.CancelEvent) ||
        written == 0)
      return false;
    done += written;
  }
  return true;
}

void TUsbPrinterTransport::CloseDevice(TSendContext&) { Printer.Reset(); }

}  // namespace vornex
