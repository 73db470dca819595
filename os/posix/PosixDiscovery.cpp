#include "os/posix/PosixDiscovery.h"

#include "os/posix/Namespace.h"
#include "os/posix/NetworkPrinters.h"
#include "os/posix/PosixObjects.h"

namespace vornex {

using namespace posix;

TPosixDiscovery::TPosixDiscovery(const TNamespace& names, TReasonTexts& reasons)
    : Names(names), NetworkPrinters(std::make_unique<TNetworkPrinters>(reasons)) {}

TPosixDiscovery::~TPosixDiscovery() = default;

bool TPosixDiscovery::EnumPortsA(std::vector<std::string>& portNames) {
  portNames.clear();
  auto add = [&](const std::string& name) {
    for (const auto& listed : portNames)
      if (UpperCase(listed) == UpperCase(name)) return;
    portNames.push_back(name);
  };
  const TDeviceMap& map = Names.DeviceMap();
  for (int n : Names.ParallelPortNumbers()) add("LPT" + std::to_string(n + 1) + ":");
  for (const auto& [name, path] : map.Entries())
    if (StartsWith(name, "LPT")) add(name + ":");
  for (const TSerialPort& port : Names.SerialPorts()) add(TNamespace::SerialEntry(port) + ":");
  for (const auto& [name, path] : map.Entries())
    if (StartsWith(name, "COM")) add(name + ":");
  return true;
}

bool TPosixDiscovery::EnumNetworkPrinters(TNetworkSearch& found, DWORD waitMs) {
  found = NetworkPrinters->Find(waitMs);
  return true;
}

}  // namespace vornex
