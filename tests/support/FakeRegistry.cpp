#include "tests/support/FakeRoles.h"

namespace vornex::test {

long TFakeRegistry::RegOpenKeyExA(const std::string& path, DWORD, THandle& key) {
  std::lock_guard<std::mutex> hold(P.Lock);
  if (P.Enter("RegOpenKeyExA")) return static_cast<long>(FakeLastError());
  std::string p = path;
  while (!p.empty() && p.back() == '\\') p.pop_back();
  if (!P.RegistryKeys.count(Upper(p))) return ERROR_FILE_NOT_FOUND;
  key = P.Keys.Add(std::make_shared<std::string>(Upper(p)));
  return ERROR_SUCCESS;
}

long TFakeRegistry::RegEnumKeyExA(THandle key, DWORD index, char* name, DWORD& nameLength) {
  std::lock_guard<std::mutex> hold(P.Lock);
  if (P.Enter("RegEnumKeyExA")) return static_cast<long>(FakeLastError());
  auto k = P.Keys.Find(key);
  if (!k) return ERROR_INVALID_HANDLE;
  const auto& subs = P.RegistryKeys[*k].SubKeys;
  if (index >= subs.size()) return ERROR_NO_MORE_ITEMS;
  const std::string& s = subs[index];
  if (s.size() + 1 > nameLength) return ERROR_MORE_DATA;
  std::memcpy(name, s.c_str(), s.size() + 1);
  nameLength = static_cast<DWORD>(s.size());
  return ERROR_SUCCESS;
}

long TFakeRegistry::RegQueryValueExA(THandle key, const std::string& valueName, DWORD* type,
                                     BYTE* data, DWORD& dataLength) {
  std::lock_guard<std::mutex> hold(P.Lock);
  if (P.Enter("RegQueryValueExA")) return static_cast<long>(FakeLastError());
  auto k = P.Keys.Find(key);
  if (!k) return ERROR_INVALID_HANDLE;
  const TFakeKey& fk = P.RegistryKeys[*k];
  for (const auto& v : fk.Values) {
    if (Upper(v.first) != Upper(valueName)) continue;
    if (fk.DwordValues.count(v.first)) {
      if (type) *type = REG_DWORD;
      const DWORD number = static_cast<DWORD>(std::stoul(v.second));
      if (!data) {
        dataLength = sizeof number;
        return ERROR_SUCCESS;
      }
      if (dataLength < sizeof number) {
        dataLength = sizeof number;
        return ERROR_MORE_DATA;
      }
      std::memcpy(data, &number, sizeof number);
      dataLength = sizeof number;
      return ERROR_SUCCESS;
    }
    if (type) *type = REG_SZ;
    DWORD need = static_cast<DWORD>(v.second.size() + 1);
    if (!data) {
      dataLength = need;
      return ERROR_SUCCESS;
    }
    if (need > dataLength) {
      dataLength = need;
      return ERROR_MORE_DATA;
    }
    std::memcpy(data, v.second.c_str(), need);
    dataLength = need;
    return ERROR_SUCCESS;
  }
  return ERROR_FILE_NOT_FOUND;
}

long TFakeRegistry::RegQueryInfoKeyA(THandle key, DWORD* subKeys, DWORD* values,
                                     DWORD* maxValueNameLength, DWORD* maxValueLength) {
  std::lock_guard<std::mutex> hold(P.Lock);
  if (P.Enter("RegQueryInfoKeyA")) return static_cast<long>(FakeLastError());
  auto k = P.Keys.Find(key);
  if (!k) return ERROR_INVALID_HANDLE;
  const TFakeKey& fk = P.RegistryKeys[*k];
  DWORD maxName = 0, maxData = 0;
  for (const auto& v : fk.Values) {
    maxName = std::max<DWORD>(maxName, static_cast<DWORD>(v.first.size()));
    maxData = std::max<DWORD>(maxData, static_cast<DWORD>(v.second.size() + 1));
  }
  if (subKeys) *subKeys = static_cast<DWORD>(fk.SubKeys.size());
  if (values) *values = static_cast<DWORD>(fk.Values.size());
  if (maxValueNameLength) *maxValueNameLength = maxName;
  if (maxValueLength) *maxValueLength = maxData;
  return ERROR_SUCCESS;
}

long TFakeRegistry::RegEnumValueA(THandle key, DWORD index, char* name, DWORD& nameLength,
                                  DWORD* type, BYTE* data, DWORD& dataLength) {
  std::lock_guard<std::mutex> hold(P.Lock);
  if (P.Enter("RegEnumValueA")) return static_cast<long>(FakeLastError());
  auto k = P.Keys.Find(key);
  if (!k) return ERROR_INVALID_HANDLE;
  const auto& values = P.RegistryKeys[*k].Values;
  if (index >= values.size()) return ERROR_NO_MORE_ITEMS;
  const auto& v = values[index];
  if (v.first.size() + 1 > nameLength || v.second.size() + 1 > dataLength) return ERROR_MORE_DATA;
  std::memcpy(name, v.first.c_str(), v.first.size() + 1);
  nameLength = static_cast<DWORD>(v.first.size());
  std::memcpy(data, v.second.c_str(), v.second.size() + 1);
  dataLength = static_cast<DWORD>(v.second.size() + 1);
  if (type) *type = REG_SZ;
  return ERROR_SUCCESS;
}

long TFakeRegistry::RegCloseKey(THandle key) {
  std::lock_guard<std::mutex> hold(P.Lock);
  P.Enter("RegCloseKey");
  return P.Keys.Remove(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

}  // namespace vornex::test
