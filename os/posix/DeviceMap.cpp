#include "os/posix/DeviceMap.h"

#include <algorithm>

#include "os/posix/PosixObjects.h"

namespace vornex {

namespace {

std::string Trim(const std::string& s) {
  auto first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  auto last = s.find_last_not_of(" \t");
  return s.substr(first, last - first + 1);
}

}  // namespace

std::string TDeviceMap::Normalise(const std::string& name) {
  return posix::UpperCase(posix::StartsWith(name, "\\\\.\\") ? name.substr(4) : name);
}

TDeviceMap::TDeviceMap(const std::string& text) {
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(';', start);
    if (end == std::string::npos) end = text.size();
    std::string entry = text.substr(start, end - start);
    std::size_t eq = entry.find('=');
    if (eq != std::string::npos) {
      std::string name = Normalise(Trim(entry.substr(0, eq)));
      std::string path = Trim(entry.substr(eq + 1));
      if (!name.empty()) {
        auto same = [&](const auto& e) { return e.first == name; };
        List.erase(std::remove_if(List.begin(), List.end(), same), List.end());
        Empty.erase(std::remove(Empty.begin(), Empty.end(), name), Empty.end());
        if (path.empty())
          Empty.push_back(name);
        else
          List.emplace_back(name, path);
      }
    }
    start = end + 1;
  }
}

std::string TDeviceMap::Find(const std::string& name) const {
  const std::string key = Normalise(name);
  for (const auto& e : List)
    if (e.first == key) return e.second;
  return {};
}

bool TDeviceMap::MapsToNothing(const std::string& name) const {
  return std::find(Empty.begin(), Empty.end(), Normalise(name)) != Empty.end();
}

}  // namespace vornex
