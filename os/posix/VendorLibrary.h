// The maker's USB transfer library, bound at run time: libusbapi.so, looked
// for next to the executable first, then where the system keeps libraries
// (never the current folder). Internal to os/posix.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "os/ReasonTexts.h"
#include "os/VendorUsb.h"

namespace vornex::posix {

inline constexpr char VendorLibraryName[] = "libusbapi.so";

class TVendorLibrary : public TVendorUsb {
 public:
  // Why it did not load is kept among the reasons.
  TVendorLibrary(const std::vector<std::string>& dirs, TReasonTexts& reasons);
  ~TVendorLibrary() override;
  TVendorLibrary(const TVendorLibrary&) = delete;
  TVendorLibrary& operator=(const TVendorLibrary&) = delete;

  bool VendorUsbAvailable() override { return OpenFn && WriteFn && CloseFn; }
  DWORD VendorUsbLoadError() override { return LoadError; }
  // Without the library: no device opens.
  std::int32_t VendorUsbOpen(std::int32_t index) override;
  std::int32_t VendorUsbWrite(std::int32_t device, const void* data, std::int32_t count) override;
  std::int32_t VendorUsbClose(std::int32_t device) override;

 private:
  using TOpen = std::int32_t (*)(std::int32_t);
  using TWrite = std::int32_t (*)(std::int32_t, const void*, std::int32_t);
  using TClose = std::int32_t (*)(std::int32_t);
  // Binds the library at path; false, with the loader's words, when it
  // cannot.
  bool Load(const std::string& path, std::string& failure);

  void* Handle = nullptr;
  TOpen OpenFn = nullptr;
  TWrite WriteFn = nullptr;
  TClose CloseFn = nullptr;
  DWORD LoadError = ERROR_SUCCESS;
};

}  // namespace vornex::posix
