// The registry and the spooler's ports, synthesised from what Linux shows:
// USB printers under Enum\USB as the USB printing driver would list them,
// serial ports in the serial-port map, parallel ports among the spooler's.
#include <algorithm>
#include <cstring>
#include <map>

#include "os/posix/Namespace.h"
#include "os/posix/PosixObjects.h"
#include "os/posix/PosixPlatform.h"

namespace vornex {

using namespace posix;

namespace {

constexpr char UsbEnumKey[] = "SYSTEM\\CurrentControlSet\\Enum\\USB";
constexpr char SerialCommKey[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

std::string WithoutTrailingBackslashes(std::string path) {
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

// Keys by upper-cased path, each with its subkeys and values.
class TRegistryTree {
 public:
  void AddKey(const std::string& path) {
    std::string parent;
    std::size_t start = 0;
    for (;;) {
      const std::size_t slash = path.find('\\', start);
      const std::string part = path.substr(start, slash == std::string::npos ? slash : slash - start);
      const std::string full = parent.empty() ? part : parent + "\\" + part;
      auto [node, added] = Nodes.try_emplace(UpperCase(full));
      if (added) {
        node->second.Path = full;
        if (!parent.empty()) Nodes[UpperCase(parent)].SubKeys.push_back(part);
      }
      if (slash == std::string::npos) return;
      parent = full;
      start = slash + 1;
    }
  }
  void AddValue(const std::string& path, const std::string& name, const std::string& data) {
    AddKey(path);
    Nodes[UpperCase(path)].Values.emplace_back(name, data);
  }
  const TKeyObject* Find(const std::string& path) const {
    auto it = Nodes.find(UpperCase(path));
    return it == Nodes.end() ? nullptr : &it->second;
  }

 private:
  std::map<std::string, TKeyObject> Nodes;
};

// The part of the registry below `upperPath`, as the devices present now
// make it.
TRegistryTree BuildRegistry(const TNamespace& names, const std::string& upperPath) {
  TRegistryTree tree;
  tree.AddKey(UsbEnumKey);
  tree.AddKey(SerialCommKey);
  if (StartsWith(upperPath, "SYSTEM")) {
    for (const TUsbPrinter& printer : names.UsbPrinters()) {
      const std::string instance = std::string(UsbEnumKey) + "\\" + printer.DeviceKey + "\\" +
                                   printer.Instance;
      tree.AddValue(instance, "Service", "usbprint");
      tree.AddValue(instance + "\\Device Parameters", "SymbolicName", printer.SymbolicName);
    }
  }
  if (StartsWith(upperPath, "HARDWARE")) {
    for (const auto& [name, path] : names.DeviceMap().Entries())
      if (StartsWith(name, "COM")) tree.AddValue(SerialCommKey, "\\Device\\Mapped\\" + name, name);
    for (const TSerialPort& port : names.SerialPorts())
      tree.AddValue(SerialCommKey, "\\Device\\" + port.TtyName, TNamespace::SerialEntry(port));
  }
  return tree;
}

// A name into a caller's buffer by Windows' rules: the terminator must fit,
// and the length returned leaves it out.
long CopyName(const std::string& text, char* buffer, DWORD& length) {
  if (!buffer || text.size() + 1 > length) return ERROR_MORE_DATA;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  length = static_cast<DWORD>(text.size());
  return ERROR_SUCCESS;
}

// Text data by Windows' rules: the length counts the terminator; without a
// buffer only the length is told.
long CopyData(const std::string& text, BYTE* data, DWORD& length) {
  const auto need = static_cast<DWORD>(text.size() + 1);
  if (!data) {
    length = need;
    return ERROR_SUCCESS;
  }
  if (need > length) {
    length = need;
    return ERROR_MORE_DATA;
  }
  std::memcpy(data, text.c_str(), need);
  length = need;
  return ERROR_SUCCESS;
}

}  // namespace

bool TPosixPlatform::GetVersionExA(OSVERSIONINFOA& info) {
  info.dwPlatformId = VER_PLATFORM_WIN32_NT;
  info.dwMajorVersion = 6;
  info.dwMinorVersion = 1;
  return true;
}

long TPosixPlatform::RegOpenKeyExA(const std::string& path, DWORD, THandle& key) {
  const std::string p = WithoutTrailingBackslashes(path);
  const TRegistryTree tree = BuildRegistry(*Names, UpperCase(p));
  const TKeyObject* found = tree.Find(p);
  if (p.empty() || !found) return ERROR_FILE_NOT_FOUND;
  auto object = std::make_shared<TKeyObject>(*found);
  std::lock_guard<std::shared_mutex> hold(Lock);
  key = NextHandle++;
  Keys[key] = std::move(object);
  return ERROR_SUCCESS;
}

long TPosixPlatform::RegEnumKeyExA(THandle key, DWORD index, char* name, DWORD& nameLength) {
  auto k = Key(key);
  if (!k) return ERROR_INVALID_HANDLE;
  if (index >= k->SubKeys.size()) return ERROR_NO_MORE_ITEMS;
  return CopyName(k->SubKeys[index], name, nameLength);
}

long TPosixPlatform::RegQueryValueExA(THandle key, const std::string& valueName, DWORD* type,
                                      BYTE* data, DWORD& dataLength) {
  auto k = Key(key);
  if (!k) return ERROR_INVALID_HANDLE;
  const std::string wanted = UpperCase(valueName);
  for (const auto& [name, text] : k->Values) {
    if (UpperCase(name) != wanted) continue;
    if (type) *type = REG_SZ;
    return CopyData(text, data, dataLength);
  }
  return ERROR_FILE_NOT_FOUND;
}

long TPosixPlatform::RegQueryInfoKeyA(THandle key, DWORD* subKeys, DWORD* values,
                                      DWORD* maxValueNameLength, DWORD* maxValueLength) {
  auto k = Key(key);
  if (!k) return ERROR_INVALID_HANDLE;
  DWORD longestName = 0, longestData = 0;
  for (const auto& [name, text] : k->Values) {
    longestName = std::max(longestName, static_cast<DWORD>(name.size()));
    longestData = std::max(longestData, static_cast<DWORD>(text.size() + 1));
  }
  if (subKeys) *subKeys = static_cast<DWORD>(k->SubKeys.size());
  if (values) *values = static_cast<DWORD>(k->Values.size());
  if (maxValueNameLength) *maxValueNameLength = longestName;
  if (maxValueLength) *maxValueLength = longestData;
  return ERROR_SUCCESS;
}

long TPosixPlatform::RegEnumValueA(THandle key, DWORD index, char* name, DWORD& nameLength,
                                   DWORD* type, BYTE* data, DWORD& dataLength) {
  auto k = Key(key);
  if (!k) return ERROR_INVALID_HANDLE;
  if (index >= k->Values.size()) return ERROR_NO_MORE_ITEMS;
  const auto& [valueName, text] = k->Values[index];
  // Nothing is written unless both fit.
  if (!name || valueName.size() + 1 > nameLength || (data && text.size() + 1 > dataLength))
    return ERROR_MORE_DATA;
  CopyName(valueName, name, nameLength);
  if (type) *type = REG_SZ;
  return CopyData(text, data, dataLength);
}

long TPosixPlatform::RegCloseKey(THandle key) {
  std::lock_guard<std::shared_mutex> hold(Lock);
  return Keys.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

bool TPosixPlatform::EnumPortsA(std::vector<std::string>& portNames) {
  portNames.clear();
  auto add = [&](const std::string& name) {
    for (const auto& listed : portNames)
      if (UpperCase(listed) == UpperCase(name)) return;
    portNames.push_back(name);
  };
  for (int n : Names->ParallelPortNumbers()) add("LPT" + std::to_string(n + 1) + ":");
  for (const auto& [name, path] : Map.Entries())
    if (StartsWith(name, "LPT")) add(name + ":");
  for (const TSerialPort& port : Names->SerialPorts()) add(TNamespace::SerialEntry(port) + ":");
  for (const auto& [name, path] : Map.Entries())
    if (StartsWith(name, "COM")) add(name + ":");
  return true;
}

}  // namespace vornex
