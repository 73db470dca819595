// Text-to-number conversions for what the user types into boxes (a text that
// is not a number raises EConvertError naming the text), and the few text
// helpers port names need.
#pragma once

#include <cstdint>
#include <string>

namespace vornex {

// Decimal 32-bit integer; surrounding blanks allowed, nothing else.
std::int32_t StrToInt(const std::string& text);
// Decimal number with '.' or ',' as the separator and an optional exponent,
// whatever the process's locale.
double StrToFloat(const std::string& text);

std::string IntToStr(std::int64_t value);
// Upper-case hexadecimal without leading zeros.
std::string IntToHex(std::uint32_t value);

// ASCII letters in upper case; other bytes as they are.
std::string UpperCase(std::string text);
bool Contains(const std::string& text, const char* part);

}  // namespace vornex
