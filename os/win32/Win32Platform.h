// Windows itself behind the platform interface: a thin pass-through, with the
// overlapped records and their events kept inside, so that callers get the
// blocking, cancellable calls the interface promises.
#pragma once

#include <memory>
#include <string>

#include "os/HandleTable.h"
#include "os/Platform.h"
#include "os/ReasonTexts.h"

namespace vornex {

namespace win32 {
class TVendorLibrary;
struct TOpenFile;
}  // namespace win32

class TWin32Devices;
class TWin32Discovery;
class TWin32Registry;
class TWin32Sockets;

inline constexpr char VendorLibraryName[] = "USBAPI.DLL";

class TWin32Platform : public TPlatform {
 public:
  struct TOptions {
    // The maker's library, looked for in the application's folder and in
    // System32 only.
    std::string VendorLibrary = VendorLibraryName;
  };

  TWin32Platform();
  explicit TWin32Platform(TOptions options);
  ~TWin32Platform() override;

  // Where the maker's library was loaded from; empty when it is absent.
  std::string VendorLibraryPath() const;

  TDevices& Devices() override;
  TRegistry& Registry() override;
  TSockets& Sockets() override;
  TDiscovery& Discovery() override;
  TVendorUsb& VendorUsb() override;

  DWORD GetLastError() override;
  void SetLastError(DWORD code) override;
  std::string FormatMessageA(DWORD code) override;
  bool GetVersionExA(OSVERSIONINFOA& info) override;
  bool CloseHandle(THandle handle) override;
  THandle CreateEventA(bool manualReset, bool initialState) override;
  bool SetEvent(THandle event) override;
  bool ResetEvent(THandle event) override;
  DWORD WaitForSingleObject(THandle handle, DWORD timeoutMs) override;
  void Sleep(DWORD ms) override;
  void LowerThreadPriority() override;

 private:
  TReasonTexts Reasons;
  std::unique_ptr<THandleTable<win32::TOpenFile>> Files;
  std::unique_ptr<TWin32Devices> DevicesPart;
  std::unique_ptr<TWin32Registry> RegistryPart;
  std::unique_ptr<TWin32Sockets> SocketsPart;
  std::unique_ptr<TWin32Discovery> DiscoveryPart;
  std::unique_ptr<win32::TVendorLibrary> VendorPart;
};

}  // namespace vornex
