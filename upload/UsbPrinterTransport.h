// The transfer to a USB printer served by the system's printer driver: the
// first printer found, in blocks of BlockSize bytes.
#pragma once

#include <string>

#include "os/Platform.h"
#include "upload/UsbBlockLoop.h"

namespace vornex {

// Opens a USB printer as both the transfer (sharing nothing) and the port
// list's check (sharing) do.
THandle OpenUsbPrinter(TPlatform& platform, const std::string& path, DWORD shareMode);

class TUsbPrinterTransport : public TUsbBlockLoop {
 protected:
  // The path taken when the transfer started, whatever the port box shows.
  bool OpenDevice(TSendContext& c) override;
  // "USB Port INVALID", unless the printer is in use or not a device.
  std::string OpenFailureText(TSendContext& c) override;
  // Blocking; Cancel and the time-out end a write the printer never takes.
  bool WriteBlock(TSendContext& c, const std::uint8_t* data, std::size_t n,
                  std::size_t& taken) override;
  void CloseDevice(TSendContext& c) override;

 private:
  TPlatformHandle Printer;
  DWORD OpenError = ERROR_SUCCESS;
};

}  // namespace vornex
