// The spooler's ports as Linux has them (parallel and serial ports, and
// the user's device map), and the printers Avahi and CUPS know on the
// network. Internal to os/posix.
#pragma once

#include <memory>

#include "os/Discovery.h"

namespace vornex {

namespace posix {
class TNamespace;
class TNetworkPrinters;
}  // namespace posix

class TPosixDiscovery : public TDiscovery {
 public:
  explicit TPosixDiscovery(const posix::TNamespace& names);
  ~TPosixDiscovery() override;

  bool EnumPortsA(std::vector<std::string>& portNames) override;
  bool EnumNetworkPrinters(std::vector<TNetworkPrinter>& printers, DWORD waitMs) override;

 private:
  const posix::TNamespace& Names;
  std::unique_ptr<posix::TNetworkPrinters> NetworkPrinters;
};

}  // namespace vornex
