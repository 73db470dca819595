// The ports of a fleet: what each port text names and what it opens. The
// port box's words decide the kind, but each text names its own device: a
// USB printer is named by its label in the port list (or its device path),
// not taken for whatever the box shows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "os/Platform.h"

namespace vornex {

struct TFleetPort {
  std::string Text;                // as given
  std::int32_t Mode = 0;           // the transfer mode
  std::string UsbPrinterPath;      // what a USB printer transfer opens
  std::string DevicePath;          // a serial line named by its path
  // Two ports of one identity reach one device: they are sent to one after
  // the other, never at once.
  std::string Identity;
};

// A USB printer as the port list shows it.
struct TUsbPrinterEntry {
  std::string Label;
  std::string Path;
};

// True when the text may name a USB printer by its label, which only the
// port list's search can tell.
bool NamesUsbPrinterLabel(const std::string& text);

// What text names: false, with why not, when it names no port.
//   TCP:HOST[:PORT]            a printer on the network
//   PRINTER:NAME               a print queue
//   an absolute path           the device there, by what it is (a tty is a
//                              serial line), as in the port box
//   a USB printer's label      that printer (the label must name one only)
//   COM... / LPT...            a serial / parallel port, as in the port box
//   ZUV USBn                   the maker's USB library's device n
bool PlanFleetPort(TPlatform& platform, const std::string& text, const std::vector<TUsbPrinterEntry>& usbPrinters,
                   TFleetPort& port, std::string& error);

}  // namespace vornex
