#include "ports/RegKey.h"

#include <algorithm>
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
  if (Platform.RegQueryValueExA(Key, valueName, &type, reinterpret_cast<BYTE*>(buffer.data()),
                                length) != ERROR_SUCCESS)
    return false;
  // Stored text need not end in a terminator; never read past what came.
  text = TextOfData(buffer.data(), std::min(length, bufferSize));
  return true;
}

}  // namespace vornex
