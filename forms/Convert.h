// Text-to-number conversions for what the user types into boxes. A text that
// is not a number raises EConvertError naming the text.
#pragma once

#include <cstdint>
#include <string>

namespace vornex {

// Decimal 32-bit integer; surrounding blanks allowed, nothing else.
std::int32_t StrToInt(const std::string& text);
// Decimal number with '.' as the separator and an optional exponent.
double StrToFloat(const std::string& text);

std::string IntToStr(std::int64_t value);
// Upper-case hexadecimal without leading zeros.
std::string IntToHex(std::uint32_t value);

}  // namespace vornex
