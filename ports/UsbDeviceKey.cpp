#include "ports/UsbDeviceKey.h"

#include <cstring>

#include "forms/Convert.h"

namespace vornex {

std::optional<std::int32_t> MakerProductId(const std::string& deviceKeyName) {
  const std::string name = UpperCase(deviceKeyName);
  const std::size_t p = name.find("VID");
  if (p == std::string::npos) return std::nullopt;
  // VID_vvvv&PID_pppp: the vendor digits stand 4 after "VID", the product
  // digits 13 after it.
  constexpr std::size_t VendorAt = 4, ProductAt = 13, Digits = 4;
  if (name.size() < p + VendorAt + Digits ||
      name.compare(p + VendorAt, Digits, MakerVendorId, std::strlen(MakerVendorId)) != 0)
    return std::nullopt;
  if (name.size() < p + ProductAt + Digits) return std::nullopt;
  std::int32_t id = 0;
  for (std::size_t i = 0; i < Digits; ++i) {
    std::int32_t v = static_cast<unsigned char>(name[p + ProductAt + i]) - 48;
    if (v >= 10) v -= 7;
    id = id * 16 + v;
  }
  return id;
}

}  // namespace vornex
