#include "os/posix/VendorLibrary.h"

#include <dlfcn.h>
#include <unistd.h>

#include "os/posix/PosixErrors.h"

namespace vornex::posix {

namespace {

std::string LoaderError(const std::string& fallback) {
  const char* text = ::dlerror();
  return text ? text : fallback;
}

}  // namespace

TVendorLibrary::TVendorLibrary(const std::vector<std::string>& dirs, TReasonTexts& reasons) {
  std::string failure;
  for (const auto& dir : dirs) {
    if (dir.empty()) continue;
    const std::string path = dir + "/" + VendorLibraryName;
    // A library that is there but does not load says why; one that is not
    // there leaves the word to the system's folders.
    std::string why;
    if (Load(path, why)) return;
    if (failure.empty() && ::access(path.c_str(), F_OK) == 0) failure = why;
  }
  // A bare name is looked for in the system's library folders only.
  std::string why;
  if (Load(VendorLibraryName, why)) return;
  LoadError = reasons.Code(failure.empty() ? why : failure);
}

bool TVendorLibrary::Load(const std::string& path, std::string& failure) {
  ::dlerror();
  Handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!Handle) {
    failure = LoaderError(path + ": cannot be loaded");
    return false;
  }
  // The library's three operations, for its ordinals 9, 2 and 4.
  OpenFn = reinterpret_cast<TOpen>(::dlsym(Handle, "VendorUsbOpen"));
  WriteFn = reinterpret_cast<TWrite>(::dlsym(Handle, "VendorUsbWrite"));
  CloseFn = reinterpret_cast<TClose>(::dlsym(Handle, "VendorUsbClose"));
  if (VendorUsbAvailable()) return true;
  failure = LoaderError(path + ": not the maker's library");
  ::dlclose(Handle);
  Handle = nullptr;
  OpenFn = nullptr;
  WriteFn = nullptr;
  CloseFn = nullptr;
  return false;
}

TVendorLibrary::~TVendorLibrary() {
  if (Handle) ::dlclose(Handle);
}

std::int32_t TVendorLibrary::VendorUsbOpen(std::int32_t index) {
  if (OpenFn) return OpenFn(index);
  SetLastError(LoadError);
  return -1;
}

std::int32_t TVendorLibrary::VendorUsbWrite(std::int32_t device, const void* data, std::int32_t count) {
  return WriteFn ? WriteFn(device, data, count) : -1;
}

std::int32_t TVendorLibrary::VendorUsbClose(std::int32_t device) { return CloseFn ? CloseFn(device) : 0; }

}  // namespace vornex::posix
