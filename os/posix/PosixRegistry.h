// The registry as Linux shows its devices: USB printers under Enum\USB as
// the USB printing driver would list them, serial ports in the serial-port
// map. Internal to os/posix.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "os/HandleTable.h"
#include "os/Registry.h"
#include "os/posix/PosixObjects.h"

namespace vornex {

namespace posix {
class TNamespace;
class TRegistryView;
}  // namespace posix

class TPosixRegistry : public TRegistry {
 public:
  TPosixRegistry(THandleNumbers& numbers, const posix::TNamespace& names);

  // The registry of the walk under way, while any key is open; else none.
  std::shared_ptr<posix::TRegistryView> CurrentView();

  long RegOpenKeyExA(const std::string& path, DWORD access, THandle& key) override;
  long RegEnumKeyExA(THandle key, DWORD index, char* name, DWORD& nameLength) override;
  long RegQueryValueExA(THandle key, const std::string& valueName, DWORD* type, BYTE* data,
                        DWORD& dataLength) override;
  long RegQueryInfoKeyA(THandle key, DWORD* subKeys, DWORD* values, DWORD* maxValueNameLength,
                        DWORD* maxValueLength) override;
  long RegEnumValueA(THandle key, DWORD index, char* name, DWORD& nameLength, DWORD* type,
                     BYTE* data, DWORD& dataLength) override;
  long RegCloseKey(THandle key) override;

 private:
  const posix::TNamespace& Names;
  THandleTable<posix::TKeyObject> Keys;
  // Keeps the view and the open keys in step.
  std::mutex Lock;
  std::shared_ptr<posix::TRegistryView> View;
};

}  // namespace vornex
