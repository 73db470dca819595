#include "os/posix/VendorLibrary.h"

#include <dlfcn.h>

#include "os/posix/PosixPlatform.h"

namespace vornex::posix {

TVendorLibrary::TVendorLibrary(const std::vector<std::string>& dirs) {
  std::vector<std::string> candidates;
  for (const auto& dir : dirs)
    if (!dir.empty()) candidates.push_back(dir + "/" + VendorLibraryName);
  // A bare name is looked for in the system's library folders only.
  candidates.push_back(VendorLibraryName);
  for (const auto& path : candidates) {
    Handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!Handle) continue;
    // The library's three operations, for its ordinals 9, 2 and 4.
    OpenFn = reinterpret_cast<TOpen>(::dlsym(Handle, "VendorUsbOpen"));
    WriteFn = reinterpret_cast<TWrite>(::dlsym(Handle, "VendorUsbWrite"));
    CloseFn = reinterpret_cast<TClose>(::dlsym(Handle, "VendorUsbClose"));
    if (Loaded()) return;
    ::dlclose(Handle);
    Handle = nullptr;
    OpenFn = nullptr;
    WriteFn = nullptr;
    CloseFn = nullptr;
  }
}

TVendorLibrary::~TVendorLibrary() {
  if (Handle) ::dlclose(Handle);
}

std::int32_t TVendorLibrary::Open(std::int32_t index) { return OpenFn ? OpenFn(index) : -1; }

std::int32_t TVendorLibrary::Write(std::int32_t device, const void* data, std::int32_t count) {
  return WriteFn ? WriteFn(device, data, count) : -1;
}

std::int32_t TVendorLibrary::Close(std::int32_t device) { return CloseFn ? CloseFn(device) : 0; }

}  // namespace vornex::posix

namespace vornex {

bool TPosixPlatform::VendorUsbAvailable() { return Vendor->Loaded(); }
std::int32_t TPosixPlatform::VendorUsbOpen(std::int32_t index) { return Vendor->Open(index); }
std::int32_t TPosixPlatform::VendorUsbWrite(std::int32_t device, const void* data, std::int32_t count) {
  return Vendor->Write(device, data, count);
}
std::int32_t TPosixPlatform::VendorUsbClose(std::int32_t device) { return Vendor->Close(device); }

}  // namespace vornex
