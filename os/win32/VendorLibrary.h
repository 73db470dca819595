// The maker's USB transfer library, bound at run time by ordinal: 9 open,
// 2 write, 4 close. Looked for in the application's folder and in System32,
// never in the current folder, so a file left there cannot take its place.
// Internal to os/win32.
#pragma once

#include <cstdint>
#include <string>

#include "os/win32/WinApi.h"

namespace vornex::win32 {

class TVendorLibrary {
 public:
  explicit TVendorLibrary(const std::string& name);
  ~TVendorLibrary();
  TVendorLibrary(const TVendorLibrary&) = delete;
  TVendorLibrary& operator=(const TVendorLibrary&) = delete;

  bool Loaded() const { return OpenFn && WriteFn && CloseFn; }
  const std::string& Path() const { return LoadedPath; }
  // Without the library no device opens.
  std::int32_t Open(std::int32_t index);
  std::int32_t Write(std::int32_t device, const void* data, std::int32_t count);
  std::int32_t Close(std::int32_t device);

 private:
  using TOpen = std::int32_t(WINAPI*)(std::int32_t);
  using TWrite = std::int32_t(WINAPI*)(std::int32_t, const void*, std::int32_t);
  using TClose = std::int32_t(WINAPI*)(std::int32_t);
  bool Bind(HMODULE module);

  HMODULE Module = nullptr;
  std::string LoadedPath;
  TOpen OpenFn = nullptr;
  TWrite WriteFn = nullptr;
  TClose CloseFn = nullptr;
};

}  // namespace vornex::win32
