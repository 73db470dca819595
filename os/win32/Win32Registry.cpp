// The registry under HKEY_LOCAL_MACHINE, read only.
#include "os/win32/Win32Registry.h"

#include "os/win32/WinApi.h"

namespace vornex {

using namespace win32;

long TWin32Registry::RegOpenKeyExA(const std::string& path, DWORD access, THandle& key) {
  HKEY k = nullptr;
  const long result = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, access, &k);
  key = result == ERROR_SUCCESS ? reinterpret_cast<THandle>(k) : InvalidHandle;
  return result;
}

long TWin32Registry::RegEnumKeyExA(THandle key, DWORD index, char* name, DWORD& nameLength) {
  ::DWORD length = nameLength;
  const long result =
      ::RegEnumKeyExA(Key(key), index, name, &length, nullptr, nullptr, nullptr, nullptr);
  if (result == ERROR_SUCCESS) nameLength = length;
  return result;
}

long TWin32Registry::RegQueryValueExA(THandle key, const std::string& valueName, DWORD* type,
                                      BYTE* data, DWORD& dataLength) {
  ::DWORD length = dataLength;
  ::DWORD kind = 0;
  const long result = ::RegQueryValueExA(Key(key), valueName.c_str(), nullptr, &kind, data, &length);
  if (result == ERROR_SUCCESS || result == ERROR_MORE_DATA) dataLength = length;
  if (result == ERROR_SUCCESS && type) *type = kind;
  return result;
}

long TWin32Registry::RegQueryInfoKeyA(THandle key, DWORD* subKeys, DWORD* values,
                                      DWORD* maxValueNameLength, DWORD* maxValueLength) {
  ::DWORD keys = 0, count = 0, maxName = 0, maxData = 0;
  const long result = ::RegQueryInfoKeyA(Key(key), nullptr, nullptr, nullptr, &keys, nullptr,
                                         nullptr, &count, &maxName, &maxData, nullptr, nullptr);
  if (result != ERROR_SUCCESS) return result;
  if (subKeys) *subKeys = keys;
  if (values) *values = count;
  if (maxValueNameLength) *maxValueNameLength = maxName;
  if (maxValueLength) *maxValueLength = maxData;
  return result;
}

long TWin32Registry::RegEnumValueA(THandle key, DWORD index, char* name, DWORD& nameLength,
                                   DWORD* type, BYTE* data, DWORD& dataLength) {
  ::DWORD nameLen = nameLength, dataLen = dataLength, kind = 0;
  const long result =
      ::RegEnumValueA(Key(key), index, name, &nameLen, nullptr, &kind, data, &dataLen);
  if (result == ERROR_SUCCESS) {
    nameLength = nameLen;
    dataLength = dataLen;
    if (type) *type = kind;
  }
  return result;
}

long TWin32Registry::RegCloseKey(THandle key) { return ::RegCloseKey(Key(key)); }

}  // namespace vornex
