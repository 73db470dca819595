// An open registry key that closes itself.
#pragma once

#include <string>

#include "os/Platform.h"

namespace vornex {

class TRegKey {
 public:
  // Opens HKEY_LOCAL_MACHINE\path for reading; Open() tells whether it did.
  TRegKey(TPlatform& platform, const std::string& path) : Platform(platform) {
    THandle h = NoHandle;
    if (platform.Registry().RegOpenKeyExA(path, KEY_READ, h) == ERROR_SUCCESS)
      Key = TRegistryKey(platform.Registry(), h);
  }

  bool Open() const { return Key.Valid(); }
  THandle Get() const { return Key.Get(); }

  // A text value read into a buffer of bufferSize bytes, the terminator
  // included; false when it is missing or does not fit.
  bool ReadText(const std::string& valueName, DWORD bufferSize, std::string& text) const;
  // A number: a DWORD value, or a text of decimal digits; false otherwise.
  bool ReadNumber(const std::string& valueName, DWORD& number) const;

 private:
  TPlatform& Platform;
  TRegistryKey Key;
};

// The text in a value's data: up to the first terminator within length.
std::string TextOfData(const char* data, DWORD length);

}  // namespace vornex
