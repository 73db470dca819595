// The registry under HKEY_LOCAL_MACHINE, read only. Internal to os/win32.
#pragma once

#include "os/Registry.h"

namespace vornex {

class TWin32Registry : public TRegistry {
 public:
  long RegOpenKeyExA(const std::string& path, DWORD access, THandle& key) override;
  long RegEnumKeyExA(THandle key, DWORD index, char* name, DWORD& nameLength) override;
  long RegQueryValueExA(THandle key, const std::string& valueName, DWORD* type, BYTE* data,
                        DWORD& dataLength) override;
  long RegQueryInfoKeyA(THandle key, DWORD* subKeys, DWORD* values, DWORD* maxValueNameLength,
                        DWORD* maxValueLength) override;
  long RegEnumValueA(THandle key, DWORD index, char* name, DWORD& nameLength, DWORD* type,
                     BYTE* data, DWORD& dataLength) override;
  long RegCloseKey(THandle key) override;
};

}  // namespace vornex
