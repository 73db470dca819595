#include "os/posix/PosixRegistry.h"

#include <algorithm>
#include <cstring>

#include "os/posix/Namespace.h"
#include "os/posix/PosixObjects.h"
#include "os/posix/RegistryView.h"

namespace vornex {

using namespace posix;

namespace {

std::string WithoutTrailingBackslashes(std::string path) {
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
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

TPosixRegistry::TPosixRegistry(THandleNumbers& numbers, const TNamespace& names)
    : Names(names), Keys(numbers) {}

std::shared_ptr<TRegistryView> TPosixRegistry::CurrentView() {
  std::lock_guard<std::mutex> hold(Lock);
  return View;
}

long TPosixRegistry::RegOpenKeyExA(const std::string& path, DWORD, THandle& key) {
  const std::string p = WithoutTrailingBackslashes(path);
  const std::string upper = UpperCase(p);
  // The first key of a walk takes a fresh view; the keys opened while it
  // stands share it.
  std::shared_ptr<TRegistryView> view = CurrentView();
  if (!view || !view->Covers(upper)) {
    auto wider = view ? std::make_shared<TRegistryView>(*view) : std::make_shared<TRegistryView>();
    wider->Cover(Names, upper);
    view = std::move(wider);
  }
  const TKeyObject* found = view->Find(p);
  if (p.empty() || !found) return ERROR_FILE_NOT_FOUND;
  auto object = std::make_shared<TKeyObject>(*found);
  std::lock_guard<std::mutex> hold(Lock);
  View = view;
  key = Keys.Add(std::move(object));
  return ERROR_SUCCESS;
}

long TPosixRegistry::RegEnumKeyExA(THandle key, DWORD index, char* name, DWORD& nameLength) {
  auto k = Keys.Find(key);
  if (!k) return ERROR_INVALID_HANDLE;
  if (index >= k->SubKeys.size()) return ERROR_NO_MORE_ITEMS;
  return CopyName(k->SubKeys[index], name, nameLength);
}

long TPosixRegistry::RegQueryValueExA(THandle key, const std::string& valueName, DWORD* type,
                                      BYTE* data, DWORD& dataLength) {
  auto k = Keys.Find(key);
  if (!k) return ERROR_INVALID_HANDLE;
  const std::string wanted = UpperCase(valueName);
  for (const auto& [name, text] : k->Values) {
    if (UpperCase(name) != wanted) continue;
    if (type) *type = REG_SZ;
    return CopyData(text, data, dataLength);
  }
  return ERROR_FILE_NOT_FOUND;
}

long TPosixRegistry::RegQueryInfoKeyA(THandle key, DWORD* subKeys, DWORD* values,
                                      DWORD* maxValueNameLength, DWORD* maxValueLength) {
  auto k = Keys.Find(key);
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

long TPosixRegistry::RegEnumValueA(THandle key, DWORD index, char* name, DWORD& nameLength,
                                   DWORD* type, BYTE* data, DWORD& dataLength) {
  auto k = Keys.Find(key);
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

long TPosixRegistry::RegCloseKey(THandle key) {
  std::lock_guard<std::mutex> hold(Lock);
  if (!Keys.Remove(key)) return ERROR_INVALID_HANDLE;
  // The walk is over: the next one sees the devices as they are then.
  if (Keys.Size() == 0) View.reset();
  return ERROR_SUCCESS;
}

}  // namespace vornex
