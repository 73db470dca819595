// Windows device names mapped to Linux paths by the user: the text of
// VORNEX_DEVICE_MAP, entries NAME=PATH separated by ';' (COM1=/dev/pts/3).
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace vornex {

class TDeviceMap {
 public:
  TDeviceMap() = default;
  // Entries without a name are skipped; one without a path (COM1=) maps
  // the name to nothing, so that it opens no device at all rather than the
  // real one. A later entry for the same name wins. Names are case-blind,
  // as Windows device names are.
  explicit TDeviceMap(const std::string& text);

  // The mapped path of a device name ("COM1", "\\.\COM1", "lpt1"), or empty.
  std::string Find(const std::string& name) const;
  // The name has an entry without a path.
  bool MapsToNothing(const std::string& name) const;
  // The entries in the order given, names upper-cased.
  const std::vector<std::pair<std::string, std::string>>& Entries() const { return List; }

  // "COM1" from "\\.\com1": the prefix gone, upper-cased.
  static std::string Normalise(const std::string& name);

 private:
  std::vector<std::pair<std::string, std::string>> List;
  std::vector<std::string> Empty;
};

}  // namespace vornex
