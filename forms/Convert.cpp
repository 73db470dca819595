#include "forms/Convert.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

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
  std::string t = Trimmed(text);
  // Digits, one separator, a sign and an exponent only: no "inf", "nan" or
  // hexadecimal. The window's toolkit switches the C library to the user's
  // locale, so nothing here may depend on it; a comma is taken as the
  // decimal separator, as users of comma locales type it.
  bool digits = false;
  int separators = 0;
  for (char& c : t) {
    if (c >= '0' && c <= '9') {
      digits = true;
    } else if (c == '.' || c == ',') {
      c = '.';
      ++separators;
    } else if (c != '+' && c != '-' && c != 'e' && c != 'E') {
      throw EConvertError("'" + text + "' is not a valid floating point value");
    }
  }
  if (!digits || separators > 1) throw EConvertError("'" + text + "' is not a valid floating point value");
  // from_chars takes no leading '+'.
  const char* first = t.c_str();
  const char* last = first + t.size();
  if (first != last && *first == '+' && (last - first == 1 || first[1] != '-')) ++first;
  double value = 0;
  const auto result = std::from_chars(first, last, value, std::chars_format::general);
  if (result.ec != std::errc() || result.ptr != last || !std::isfinite(value))
    throw EConvertError("'" + text + "' is not a valid floating point value");
  return value;
}

std::string IntToStr(std::int64_t value) { return std::to_string(value); }

std::string UpperCase(std::string text) {
  // Not toupper: in a single-byte locale it would change letters above 127.
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
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
