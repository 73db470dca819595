// Entries a Windows test writes into the registry, removed again afterwards
// (also when the test fails half-way), and the environment the stand-in
// library reads. Windows tests only: it speaks to the real registry.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "os/win32/WinApi.h"

namespace vornex::test {

// Where Windows lists the USB devices it has seen.
inline const std::string UsbEnum = "SYSTEM\\CurrentControlSet\\Enum\\USB\\";

// The stand-in library reads the C runtime's environment.
inline void SetEnv(const std::string& name, const std::string& value) { ::_putenv((name + "=" + value).c_str()); }

class TRegistryEntries {
 public:
  ~TRegistryEntries() { Clear(); }
  // Removes the values set and the keys remembered so far.
  void Clear() {
    for (const auto& [key, name] : Values) DeleteValue(key, name);
    Values.clear();
    for (auto it = Created.rbegin(); it != Created.rend(); ++it) ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, it->c_str());
    Created.clear();
  }
  void Set(const std::string& key, const std::string& name, const std::string& data) {
    Write(key, name, REG_SZ, data.c_str(), static_cast<::DWORD>(data.size() + 1));
  }
  void SetNumber(const std::string& key, const std::string& name, ::DWORD number) {
    Write(key, name, REG_DWORD, &number, sizeof number);
  }
  // A key the test made: removed whole, with what is below it.
  void Remember(const std::string& key) { Created.push_back(key); }

 private:
  void Write(const std::string& key, const std::string& name, ::DWORD type, const void* data, ::DWORD size) {
    Values.emplace_back(key, name);
    HKEY k = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                                nullptr),
              ERROR_SUCCESS)
        << key;
    ASSERT_EQ(::RegSetValueExA(k, name.c_str(), 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    ::RegCloseKey(k);
  }
  static void DeleteValue(const std::string& key, const std::string& name) {
    HKEY k = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_SET_VALUE, &k) == ERROR_SUCCESS) {
      ::RegDeleteValueA(k, name.c_str());
      ::RegCloseKey(k);
    }
  }

  std::vector<std::pair<std::string, std::string>> Values;
  std::vector<std::string> Created;
};

}  // namespace vornex::test
