// The maker's USB transfer library, bound at run time. Internal to os/posix.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vornex::posix {

class TVendorLibrary {
 public:
  explicit TVendorLibrary(const std::vector<std::string>& dirs);
  ~TVendorLibrary();
  bool Loaded() const { return Handle != nullptr; }
  std::int32_t Open(std::int32_t index);
  std::int32_t Write(std::int32_t device, const void* data, std::int32_t count);
  std::int32_t Close(std::int32_t device);

 private:
  void* Handle = nullptr;
};

}  // namespace vornex::posix
