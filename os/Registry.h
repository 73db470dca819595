// The registry under HKEY_LOCAL_MACHINE, read only.
#pragma once

#include <string>

#include "os/OwnedHandle.h"
#include "os/WinTypes.h"

namespace vornex {

class TRegistry {
 public:
  virtual ~TRegistry() = default;

  // Lengths follow Windows: on entry the buffer size in bytes (the terminator
  // included), on success the length written without the terminator. A
  // buffer too small gives ERROR_MORE_DATA and nothing is written.
  virtual long RegOpenKeyExA(const std::string& path, DWORD access, THandle& key) = 0;
  virtual long RegEnumKeyExA(THandle key, DWORD index, char* name, DWORD& nameLength) = 0;
  virtual long RegQueryValueExA(THandle key, const std::string& valueName, DWORD* type,
                                BYTE* data, DWORD& dataLength) = 0;
  virtual long RegQueryInfoKeyA(THandle key, DWORD* subKeys, DWORD* values,
                                DWORD* maxValueNameLength, DWORD* maxValueLength) = 0;
  virtual long RegEnumValueA(THandle key, DWORD index, char* name, DWORD& nameLength,
                             DWORD* type, BYTE* data, DWORD& dataLength) = 0;
  virtual long RegCloseKey(THandle key) = 0;
};

// Closes a registry key when it goes out of scope.
using TRegistryKey = TOwnedHandle<TRegistry, &TRegistry::RegCloseKey>;

}  // namespace vornex
