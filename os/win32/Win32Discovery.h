// The spooler's ports; Windows's own network printers are the spooler's
// Standard TCP/IP ports, which the port list reads from the registry.
// Internal to os/win32.
#pragma once

#include "os/Discovery.h"

namespace vornex {

class TWin32Discovery : public TDiscovery {
 public:
  bool EnumPortsA(std::vector<std::string>& portNames) override;
  bool EnumNetworkPrinters(TNetworkSearch& found, DWORD waitMs) override;
};

}  // namespace vornex
