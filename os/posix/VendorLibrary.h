// The maker's USB transfer library, bound at run time: libusbapi.so, looked
// for next to the executable first, then where the system keeps libraries
// (never the current folder). Internal to os/posix.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vornex::posix {

inline constexpr char VendorLibraryName[] = "libusbapi.so";

class TVendorLibrary {
 public:
  explicit TVendorLibrary(const std::vector<std::string>& dirs);
  ~TVendorLibrary();
  TVendorLibrary(const TVendorLibrary&) = delete;
  TVendorLibrary& operator=(const TVendorLibrary&) = delete;

  bool Loaded() const { return OpenFn && WriteFn && CloseFn; }
  // Without the library: no device opens.
  std::int32_t Open(std::int32_t index);
  std::int32_t Write(std::int32_t device, const void* data, std::int32_t count);
  std::int32_t Close(std::int32_t device);

 private:
  using TOpen = std::int32_t (*)(std::int32_t);
  using TWrite = std::int32_t (*)(std::int32_t, const void*, std::int32_t);
  using TClose = std::int32_t (*)(std::int32_t);
  void* Handle = nullptr;
  TOpen OpenFn = nullptr;
  TWrite WriteFn = nullptr;
  TClose CloseFn = nullptr;
};

}  // namespace vornex::posix
