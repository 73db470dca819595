#include "upload/UsbPrinterTransport.h"

#include "upload/PortErrors.h"

namespace vornex {

THandle OpenUsbPrinter(TPlatform& platform, const std::string& path, DWORD shareMode) {
  return platform.Devices().OpenPortA(path, GENERIC_ALL, shareMode, FILE_FLAG_NO_BUFFERING);
}

bool TUsbPrinterTransport::OpenDevice(TSendContext& c) {
  OpenError = ERROR_FILE_NOT_FOUND;
  if (c.Job.UsbPrinterPath.empty()) return false;
  // Held alone for the transfer: a second sender would mix its file in.
  Printer = TPlatformHandle(c.Platform, OpenUsbPrinter(c.Platform, c.Job.UsbPrinterPath, 0));
  OpenError = Printer.Valid() ? ERROR_SUCCESS : c.Platform.GetLastError();
  // The window says "USB Port INVALID"; the reason is kept for whoever
  // reports more.
  if (!Printer.Valid()) c.Job.StopReason = CantOpenText(c.Platform, "The USB printer", OpenError);
  return Printer.Valid();
}

std::string TUsbPrinterTransport::OpenFailureText(TSendContext& c) {
  if (OpenError == ERROR_SHARING_VIOLATION || OpenError == ERROR_BAD_DEVICE)
    return CantOpenText(c.Platform, "The USB printer", OpenError);
  return TUsbBlockLoop::OpenFailureText(c);
}

bool TUsbPrinterTransport::WriteBlock(TSendContext& c, const std::uint8_t* data, std::size_t n,
                                      std::size_t& taken) {
  // A write that takes part of the block goes on with the rest; one that
  // fails, or takes nothing, fails the block with what went counted.
  taken = 0;
  while (taken < n) {
    DWORD written = 0;
    const bool ok = c.Platform.Devices().WriteFile(Printer.Get(), data + taken, static_cast<DWORD>(n - taken),
                                                   written, c.CancelEvent);
    taken += written;
    if (!ok || written == 0) return false;
  }
  return true;
}

void TUsbPrinterTransport::CloseDevice(TSendContext&) { Printer.Reset(); }

}  // namespace vornex
