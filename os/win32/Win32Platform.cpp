#include "os/win32/Win32Platform.h"

#include "os/win32/FileTable.h"
#include "os/win32/VendorLibrary.h"
#include "os/win32/Win32Devices.h"
#include "os/win32/Win32Discovery.h"
#include "os/win32/Win32Registry.h"
#include "os/win32/Win32Sockets.h"
#include "os/win32/WinApi.h"

namespace vornex {

using namespace win32;

TWin32Platform::TWin32Platform() : TWin32Platform(TOptions()) {}

TWin32Platform::TWin32Platform(TOptions options)
    : Files(std::make_unique<TFileTable>()),
      DevicesPart(std::make_unique<TWin32Devices>(*Files)),
      RegistryPart(std::make_unique<TWin32Registry>()),
      SocketsPart(std::make_unique<TWin32Sockets>()),
      DiscoveryPart(std::make_unique<TWin32Discovery>()),
      VendorPart(std::make_unique<TVendorLibrary>(options.VendorLibrary)) {}

TWin32Platform::~TWin32Platform() = default;

TDevices& TWin32Platform::Devices() { return *DevicesPart; }
TRegistry& TWin32Platform::Registry() { return *RegistryPart; }
TSockets& TWin32Platform::Sockets() { return *SocketsPart; }
TDiscovery& TWin32Platform::Discovery() { return *DiscoveryPart; }
TVendorUsb& TWin32Platform::VendorUsb() { return *VendorPart; }

DWORD TWin32Platform::GetLastError() { return ::GetLastError(); }
void TWin32Platform::SetLastError(DWORD code) { ::SetLastError(code); }

std::string TWin32Platform::FormatMessageA(DWORD code) {
  if (auto text = Reasons.Text(code)) return *text;
  char text[512] = {};
  const ::DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                     text, sizeof text, nullptr);
  std::string message(text, n);
  while (!message.empty() && (message.back() == '\r' || message.back() == '\n' || message.back() == ' '))
    message.pop_back();
  return message.empty() ? "Unknown error " + std::to_string(code) : message;
}

bool TWin32Platform::CloseHandle(THandle handle) {
  ForgetFile(*Files, H(handle));
  return ::CloseHandle(H(handle)) != FALSE;
}

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

std::string TWin32Platform::VendorLibraryPath() const { return VendorPart->Path(); }

}  // namespace vornex
