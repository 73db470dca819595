#include "os/win32/VendorLibrary.h"

#include <vector>

namespace vornex::win32 {

namespace {

constexpr WORD OrdinalOpen = 9;
constexpr WORD OrdinalWrite = 2;
constexpr WORD OrdinalClose = 4;

// The module's full file name, however long.
std::string PathOf(HMODULE module) {
  std::vector<char> path(MAX_PATH);
  for (;;) {
    const ::DWORD n = ::GetModuleFileNameA(module, path.data(), static_cast<::DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) return std::string(path.data(), n);
    path.resize(path.size() * 2);
  }
}

std::string ModuleFolder() {
  const std::string p = PathOf(nullptr);
  const auto slash = p.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : p.substr(0, slash);
}

std::string SystemFolder() {
  char path[MAX_PATH];
  const UINT n = ::GetSystemDirectoryA(path, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::string(path, n) : std::string();
}

template <typename F>
F Ordinal(HMODULE module, WORD ordinal) {
  return reinterpret_cast<F>(
      reinterpret_cast<void*>(::GetProcAddress(module, MAKEINTRESOURCEA(ordinal))));
}

}  // namespace

TVendorLibrary::TVendorLibrary(const std::string& name) {
  // Where Windows has the search flags (7 with its loader update, 8 on) they
  // also keep the library's own dependencies out of the current folder.
  HMODULE module = ::LoadLibraryExA(
      name.c_str(), nullptr, LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!module && ::GetLastError() == ERROR_INVALID_PARAMETER) {
    // Older Windows: by full path, from the two folders in turn.
    for (const std::string& folder : {ModuleFolder(), SystemFolder()}) {
      if (folder.empty()) continue;
      const std::string path = folder + "\\" + name;
      module = ::LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
      if (module) break;
    }
  }
  if (!module) {
    LoadError = ::GetLastError();
    return;
  }
  if (!Bind(module)) {
    LoadError = ERROR_PROC_NOT_FOUND;
    ::FreeLibrary(module);
  }
}

bool TVendorLibrary::Bind(HMODULE module) {
  OpenFn = Ordinal<TOpen>(module, OrdinalOpen);
  WriteFn = Ordinal<TWrite>(module, OrdinalWrite);
  CloseFn = Ordinal<TClose>(module, OrdinalClose);
  if (!VendorUsbAvailable()) {
    // Not the maker's library, or not all of it: the tool goes on without.
    OpenFn = nullptr;
    WriteFn = nullptr;
    CloseFn = nullptr;
    return false;
  }
  Module = module;
  LoadedPath = PathOf(module);
  return true;
}

TVendorLibrary::~TVendorLibrary() {
  if (Module) ::FreeLibrary(Module);
}

std::int32_t TVendorLibrary::VendorUsbOpen(std::int32_t index) {
  if (OpenFn) return OpenFn(index);
  ::SetLastError(LoadError);
  return -1;
}

std::int32_t TVendorLibrary::VendorUsbWrite(std::int32_t device, const void* data, std::int32_t count) {
  return WriteFn ? WriteFn(device, data, count) : -1;
}

std::int32_t TVendorLibrary::VendorUsbClose(std::int32_t device) { return CloseFn ? CloseFn(device) : 0; }

}  // namespace vornex::win32
