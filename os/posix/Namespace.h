// Windows device names and the registry, as Linux shows them. Internal to
// os/posix.
#pragma once

#include <string>

#include "os/posix/DeviceMap.h"

namespace vornex::posix {

class TNamespace {
 public:
  TNamespace(std::string sysRoot, std::string devRoot, const TDeviceMap& map);

  // The Linux path a Windows name opens, or empty.
  std::string Resolve(const std::string& name) const;

 private:
  std::string SysRoot;
  std::string DevRoot;
  const TDeviceMap& Map;
};

}  // namespace vornex::posix
