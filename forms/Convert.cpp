#include "forms/Convert.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "forms/Exception.h"

namespace vornex {

namespace {

std::string Trimmed(const std::string& text) {
  const char* blanks = " \t";
  auto first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  auto last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

}  // namespace

std::int32_t StrToInt(const std::string& text) {
  const std::string t = Trimmed(text);
  std::size_t i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
  if (i == t.size()) throw EConvertError("'" + text + "' is not a valid integer value");
  std::int64_t value = 0;
  for (; i < t.size(); ++i) {
    if (t[i] < '0' || t[i] > '9') throw EConvertError("'" + text + "' is not a valid integer value");
    value = value * 10 + (t[i] - '0');
    if (value > std::int64_t(std::numeric_limits<std::int32_t>::max()) + 1)
      throw EConvertError("'" + text + "' is not a valid integer value");
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<std::int32_t>::max() ||
      value < std::numeric_limits<std::int32_t>::min())
    throw EConvertError("'" + text + "' is not a valid integer value");
  return static_cast<std::int32_t>(value);
}

double StrToFloat(const std::string& text) {
  const std::string t = Trimmed(text);
  // Only digits, one point, a sign and an exponent: strtod alone would also
  // take "inf", "nan" and hexadecimal, and it follows the C locale.
  bool digits = false;
  for (std::size_t i = 0; i < t.size(); ++i) {
    char c = t[i];
    if (c >= '0' && c <= '9') {
      digits = true;
    } else if (c == '.' || c == '+' || c == '-' || c == 'e' || c == 'E') {
    } else {
      throw EConvertError("'" + text + "' is not a valid floating point value");
    }
  }
  if (!digits) throw EConvertError("'" + text + "' is not a valid floating point value");
  errno = 0;
  char* end = nullptr;
  double value = std::strtod(t.c_str(), &end);
  if (end != t.c_str() + t.size() || errno == ERANGE || !std::isfinite(value))
    throw EConvertError("'" + text + "' is not a valid floating point value");
  return value;
}

std::string IntToStr(std::int64_t value) { return std::to_string(value); }

std::string UpperCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

std::string IntToHex(std::uint32_t value) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  do {
    out.insert(out.begin(), digits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return out;
}

}  // namespace vornex
