// Entries a Windows test writes into the registry, removed again afterwards.
// Windows tests only: it speaks to the real registry.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "os/win32/WinApi.h"

namespace vornex::test {

class TRegistryEntries {
 public:
  ~TRegistryEntries() { Clear(); }
  // Removes the keys remembered so far.
  void Clear() {
    for (auto it = Created.rbegin(); it != Created.rend(); ++it) ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, it->c_str());
    Created.clear();
  }
  void Set(const std::string& key, const std::string& name, const std::string& data) {
    HKEY k = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                                nullptr),
              ERROR_SUCCESS)
        << key;
    ASSERT_EQ(::RegSetValueExA(k, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                               static_cast<::DWORD>(data.size() + 1)),
              ERROR_SUCCESS);
    ::RegCloseKey(k);
  }
  void Remember(const std::string& key) { Created.push_back(key); }
  void DeleteValue(const std::string& key, const std::string& name) {
    HKEY k = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_SET_VALUE, &k) == ERROR_SUCCESS) {
      ::RegDeleteValueA(k, name.c_str());
      ::RegCloseKey(k);
    }
  }

 private:
  std::vector<std::string> Created;
};

}  // namespace vornex::test
