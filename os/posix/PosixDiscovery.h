// The spooler's ports as Linux has them (parallel and serial ports, and
// the user's device map), and the printers Avahi and CUPS know on the
// network. Internal to os/posix.
#pragma once

#include <memory>

#include "os/Discovery.h"
#include "os/ReasonTexts.h"

namespace vornex {

namespace posix {
class TNamespace;
class TNetworkPrinters;
}  // namespace posix

class TPosixDiscovery : public TDiscovery {
 public:
  // Why a source of printers failed is kept among reasons.
  TPosixDiscovery(const posix::TNamespace& names, TReasonTexts& reasons);
  ~TPosixDiscovery() override;

  bool EnumPortsA(std::vector<std::string>& portNames) override;
  bool EnumNetworkPrinters(TNetworkSearch& found, DWORD waitMs) override;

 private:
  const posix::TNamespace& Names;
  std::unique_ptr<posix::TNetworkPrinters> NetworkPrinters;
};

}  // namespace vornex
