#include "ports/RegKey.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace vornex {

std::string TextOfData(const char* data, DWORD length) {
  DWORD n = 0;
  while (n < length && data[n] != '\0') ++n;
  return std::string(data, n);
}

bool TRegKey::ReadText(const std::string& valueName, DWORD bufferSize, std::string& text) const {
  if (!Open() || bufferSize == 0) return false;
  std::vector<char> buffer(bufferSize, '\0');
  DWORD length = bufferSize;
  DWORD type = 0;
  if (Platform.Registry().RegQueryValueExA(Key.Get(), valueName, &type, reinterpret_cast<BYTE*>(buffer.data()),
                                           length) != ERROR_SUCCESS)
    return false;
  // Stored text need not end in a terminator; never read past what came.
  text = TextOfData(buffer.data(), std::min(length, bufferSize));
  return true;
}

bool TRegKey::ReadNumber(const std::string& valueName, DWORD& number) const {
  if (!Open()) return false;
  BYTE buffer[16] = {};
  DWORD length = sizeof buffer;
  DWORD type = 0;
  if (Platform.Registry().RegQueryValueExA(Key.Get(), valueName, &type, buffer, length) != ERROR_SUCCESS) return false;
  if (type == REG_DWORD) {
    if (length != sizeof number) return false;
    std::memcpy(&number, buffer, sizeof number);
    return true;
  }
  const std::string text = TextOfData(reinterpret_cast<const char*>(buffer), std::min<DWORD>(length, sizeof buffer));
  if (type != REG_SZ || text.empty() || text.size() > 9) return false;
  DWORD value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<DWORD>(c - '0');
  }
  number = value;
  return true;
}

}  // namespace vornex
