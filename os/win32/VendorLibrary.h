// The maker's USB transfer library, bound at run time by ordinal: 9 open,
// 2 write, 4 close. Looked for in the application's folder and in System32,
// never in the current folder, so a file left there cannot take its place.
// Internal to os/win32.
#pragma once

#include <cstdint>
#include <string>

#include "os/VendorUsb.h"
#include "os/win32/WinApi.h"

namespace vornex::win32 {

class TVendorLibrary : public TVendorUsb {
 public:
  explicit TVendorLibrary(const std::string& name);
  ~TVendorLibrary() override;
  TVendorLibrary(const TVendorLibrary&) = delete;
  TVendorLibrary& operator=(const TVendorLibrary&) = delete;

  const std::string& Path() const { return LoadedPath; }
  bool VendorUsbAvailable() override { return OpenFn && WriteFn && CloseFn; }
  DWORD VendorUsbLoadError() override { return LoadError; }
  // Without the library no device opens.
  std::int32_t VendorUsbOpen(std::int32_t index) override;
  std::int32_t VendorUsbWrite(std::int32_t device, const void* data, std::int32_t count) override;
  std::int32_t VendorUsbClose(std::int32_t device) override;

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
  // The loader's code, when the library is not there or not the maker's.
  DWORD LoadError = ERROR_SUCCESS;
};

}  // namespace vornex::win32
