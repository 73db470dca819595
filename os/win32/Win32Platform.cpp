#include "os/win32/Win32Platform.h"

#include "os/win32/FileTable.h"
#include "os/win32/SocketTable.h"
#include "os/win32/VendorLibrary.h"
#include "os/win32/WinApi.h"

namespace vornex {

using namespace win32;

TWin32Platform::TWin32Platform() : TWin32Platform(TOptions()) {}

TWin32Platform::TWin32Platform(TOptions options)
    : Files(std::make_unique<TFileTable>()),
      Vendor(std::make_unique<TVendorLibrary>(options.VendorLibrary)),
      Sockets(std::make_unique<TSocketTable>()) {}

TWin32Platform::~TWin32Platform() = default;

DWORD TWin32Platform::GetLastError() { return ::GetLastError(); }
void TWin32Platform::SetLastError(DWORD code) { ::SetLastError(code); }

bool TWin32Platform::GetVersionExA(OSVERSIONINFOA& info) {
  ::OSVERSIONINFOA v{};
  v.dwOSVersionInfoSize = sizeof v;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  // The platform family and major version are what is asked, as Windows
  // reports them to a program without a compatibility manifest.
  if (!::GetVersionExA(&v)) return false;
#pragma GCC diagnostic pop
  info.dwMajorVersion = v.dwMajorVersion;
  info.dwMinorVersion = v.dwMinorVersion;
  info.dwBuildNumber = v.dwBuildNumber;
  info.dwPlatformId = v.dwPlatformId;
  static_assert(sizeof info.szCSDVersion == sizeof v.szCSDVersion, "same service pack text");
  for (std::size_t i = 0; i < sizeof info.szCSDVersion; ++i) info.szCSDVersion[i] = v.szCSDVersion[i];
  return true;
}

// --- events and time ---------------------------------------------------------------

THandle TWin32Platform::CreateEventA(bool manualReset, bool initialState) {
  return T(::CreateEventA(nullptr, manualReset, initialState, nullptr));
}

bool TWin32Platform::SetEvent(THandle event) { return ::SetEvent(H(event)) != FALSE; }
bool TWin32Platform::ResetEvent(THandle event) { return ::ResetEvent(H(event)) != FALSE; }

DWORD TWin32Platform::WaitForSingleObject(THandle handle, DWORD timeoutMs) {
  return ::WaitForSingleObject(H(handle), timeoutMs);
}

void TWin32Platform::Sleep(DWORD ms) { ::Sleep(ms); }

void TWin32Platform::LowerThreadPriority() {
  ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}

// --- the maker's library -----------------------------------------------------------

std::string TWin32Platform::VendorLibraryPath() const { return Vendor->Path(); }
bool TWin32Platform::VendorUsbAvailable() { return Vendor->Loaded(); }
std::int32_t TWin32Platform::VendorUsbOpen(std::int32_t index) { return Vendor->Open(index); }
std::int32_t TWin32Platform::VendorUsbWrite(std::int32_t device, const void* data, std::int32_t count) {
  return Vendor->Write(device, data, count);
}
std::int32_t TWin32Platform::VendorUsbClose(std::int32_t device) { return Vendor->Close(device); }

}  // namespace vornex
