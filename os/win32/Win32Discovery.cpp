#include "os/win32/Win32Discovery.h"

#include <vector>

#include "os/win32/WinApi.h"
#include <winspool.h>

namespace vornex {

bool TWin32Discovery::EnumPortsA(std::vector<std::string>& portNames) {
  portNames.clear();
  // First the size the records need, then the records.
  ::DWORD needed = 0, returned = 0;
  if (!::EnumPortsA(nullptr, 2, nullptr, 0, &needed, &returned)) {
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
  }
  if (needed == 0) return true;
  std::vector<BYTE> buffer(needed);
  if (!::EnumPortsA(nullptr, 2, buffer.data(), needed, &needed, &returned)) return false;
  const auto* ports = reinterpret_cast<const PORT_INFO_2A*>(buffer.data());
  for (::DWORD i = 0; i < returned; ++i)
    portNames.emplace_back(ports[i].pPortName ? ports[i].pPortName : "");
  return true;
}

bool TWin32Discovery::EnumNetworkPrinters(TNetworkSearch& found, DWORD) {
  // Windows's own network printers are the spooler's Standard TCP/IP ports,
  // which the port list reads from the registry.
  found = TNetworkSearch{};
  return true;
}

}  // namespace vornex
