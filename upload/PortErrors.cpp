#include "upload/PortErrors.h"

namespace vornex {

namespace {

std::string Reason(TPlatform& platform, DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return "there is no such port";
    case ERROR_ACCESS_DENIED: return "access is denied";
    case ERROR_SHARING_VIOLATION: return "it is in use by another program";
    case ERROR_BAD_DEVICE: return "it is a file or a folder, not a port";
    case ERROR_DEVICE_NOT_CONNECTED: return "nothing is connected to it";
    default: return platform.Reason(error);
  }
}

}  // namespace

std::string CantOpenText(TPlatform& platform, const std::string& what, DWORD error) {
  return what + " can't be opened: " + Reason(platform, error) + ".";
}

std::string PortCalled(const std::string& portText) {
  return portText.empty() ? "A port without a name" : "Port " + portText;
}

}  // namespace vornex
