#include "os/posix/PosixPlatform.h"

namespace vornex {

bool TPosixPlatform::GetVersionExA(OSVERSIONINFOA& info) {
  info.dwPlatformId = VER_PLATFORM_WIN32_NT;
  info.dwMajorVersion = 6;
  info.dwMinorVersion = 1;
  return true;
}

long TPosixPlatform::RegOpenKeyExA(const std::string&, DWORD, THandle&) { return ERROR_FILE_NOT_FOUND; }
long TPosixPlatform::RegEnumKeyExA(THandle, DWORD, char*, DWORD&) { return ERROR_INVALID_HANDLE; }
long TPosixPlatform::RegQueryValueExA(THandle, const std::string&, DWORD*, BYTE*, DWORD&) {
  return ERROR_INVALID_HANDLE;
}
long TPosixPlatform::RegQueryInfoKeyA(THandle, DWORD*, DWORD*, DWORD*, DWORD*) {
  return ERROR_INVALID_HANDLE;
}
long TPosixPlatform::RegEnumValueA(THandle, DWORD, char*, DWORD&, DWORD*, BYTE*, DWORD&) {
  return ERROR_INVALID_HANDLE;
}
long TPosixPlatform::RegCloseKey(THandle) { return ERROR_INVALID_HANDLE; }
bool TPosixPlatform::EnumPortsA(std::vector<std::string>& portNames) {
  portNames.clear();
  return true;
}

}  // namespace vornex
