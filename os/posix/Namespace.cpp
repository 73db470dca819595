#include "os/posix/Namespace.h"

namespace vornex::posix {

TNamespace::TNamespace(std::string sysRoot, std::string devRoot, const TDeviceMap& map)
    : SysRoot(std::move(sysRoot)), DevRoot(std::move(devRoot)), Map(map) {}

std::string TNamespace::Resolve(const std::string& name) const {
  std::string mapped = Map.Find(name);
  if (!mapped.empty()) return mapped;
  // Device namespace names that nothing maps open nothing.
  if (name.rfind("\\\\.\\", 0) == 0 || name.rfind("\\\\?\\", 0) == 0) return {};
  return name;
}

}  // namespace vornex::posix
