#include "upload/ShownText.h"

#include <cstdint>

namespace vornex {

namespace {

const char Hex[] = "0123456789abcdef";

void AddByteEscape(std::string& out, std::uint8_t byte) {
  out += "\\x";
  out += Hex[byte >> 4];
  out += Hex[byte & 15];
}

void AddCodeEscape(std::string& out, std::uint32_t code) {
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += Hex[(code >> shift) & 15];
}

// Code points that steer the text rather than show: C1 controls, the line
// and paragraph separators, and the marks, embeddings, overrides and
// isolates of bidirectional text.
bool Steers(std::uint32_t code) {
  return (code >= 0x80 && code <= 0x9F) || code == 0x061C || code == 0x200E || code == 0x200F ||
         (code >= 0x2028 && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069);
}

// The length of the well-formed UTF-8 sequence at text[i] (2 to 4) and its
// code point; 0 when there is none (a stray, overlong, surrogate or cut
// sequence), so that its bytes are escaped one by one.
std::size_t Sequence(const std::string& text, std::size_t i, std::uint32_t& code) {
  const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
  const std::uint8_t lead = byte(i);
  std::size_t length;
  std::uint32_t min;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, min = 0x80, code = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, min = 0x800, code = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, min = 0x10000, code = lead & 0x07u;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3Fu);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

std::string Shown(const std::string& text, bool oneLine) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<std::uint8_t>(text[i]);
    if (byte < 0x80) {
      const bool spacing = byte == '\n' || byte == '\t';
      if ((byte < 0x20 && (oneLine || !spacing)) || byte == 0x7F)
        AddByteEscape(out, byte);
      else
        out += static_cast<char>(byte);
      ++i;
      continue;
    }
    std::uint32_t code = 0;
    const std::size_t length = Sequence(text, i, code);
    if (length == 0) {
      AddByteEscape(out, byte);
      ++i;
    } else {
      if (Steers(code))
        AddCodeEscape(out, code);
      else
        out.append(text, i, length);
      i += length;
    }
  }
  return out;
}

}  // namespace

std::string ShownText(const std::string& text) { return Shown(text, false); }

std::string ShownLine(const std::string& text) { return Shown(text, true); }

}  // namespace vornex
