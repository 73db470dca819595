// The transfer to a USB printer served by the system's printer driver: the
// first printer found, in blocks of BlockSize bytes.
#pragma once

#include <string>

#include "os/Platform.h"
#include "upload/UsbBlockLoop.h"

namespace vornex {

// Opens a USB printer as both the transfer and the port list's check do.
THandle OpenUsbPrinter(TPlatform& platform, const std::string& path);

class TUsbPrinterTransport : public TUsbBlockLoop {
 protected:
  // The path taken when the transfer started, whatever the port box shows.
  bool OpenDevice(TSendContext& c) override;
  // Blocking; Cancel and the time-out end a write the printer never takes.
  bool WriteBlock(TSendContext& c, const std::uint8_t* data, std::size_t n,
                  std::size_t& taken) override;
  void CloseDevice(TSendContext& c) override;

 private:
  TPlatformHandle Printer;
};

}  // namespace vornex
