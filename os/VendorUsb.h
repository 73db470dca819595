// The maker's USB transfer library (ordinals 9, 2, 4), bound at run time.
#pragma once

#include <cstdint>

#include "os/WinTypes.h"

namespace vornex {

class TVendorUsb {
 public:
  virtual ~TVendorUsb() = default;

  virtual bool VendorUsbAvailable() = 0;
  // Why the library is not there (ERROR_SUCCESS when it is): a code whose
  // FormatMessageA is the loader's own words.
  virtual DWORD VendorUsbLoadError() = 0;
  // Without the library every open answers -1.
  virtual std::int32_t VendorUsbOpen(std::int32_t deviceIndex) = 0;
  virtual std::int32_t VendorUsbWrite(std::int32_t device, const void* data,
                                      std::int32_t count) = 0;
  virtual std::int32_t VendorUsbClose(std::int32_t device) = 0;
};

}  // namespace vornex
