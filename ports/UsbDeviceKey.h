// How the USB printer search reads a device key's name (VID_vvvv&PID_pppp).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vornex {

// The printer maker's USB vendor ID, as it stands in device key names.
inline constexpr char MakerVendorId[] = "2A3C";

// The product ID of a device key of the maker, read from the four characters
// after "PID_", or nothing: no "VID" in the name, another vendor, or fewer
// than four characters where the vendor or product digits belong. The name
// is compared upper-cased. Each product character counts as its code - 48,
// less 7 when that is 10 or more, so "0"-"9" and "A"-"F" are hexadecimal
// digits and anything else gives what the rule gives.
std::optional<std::int32_t> MakerProductId(const std::string& deviceKeyName);

}  // namespace vornex
