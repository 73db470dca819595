// The calls Vornex makes of the operating system, in Windows' own terms.
// One implementation per platform (os/win32, os/posix) and a scripted fake
// for tests. Every call that fails leaves its code for GetLastError on the
// calling thread, as Windows does, and FormatMessageA gives the system's
// own words for every code a platform leaves (os/ErrorCodes.h).
//
// The calls are grouped by role, one abstract class each, which the
// platform hands out; what every role shares (errors, events, closing a
// handle, time) is the platform's own. A new capability is a new role: its
// header here, an implementation in os/posix, os/win32 and the fake, and an
// accessor below.
#pragma once

#include <string>

#include "os/Devices.h"
#include "os/Discovery.h"
#include "os/ErrorCodes.h"
#include "os/OwnedHandle.h"
#include "os/Registry.h"
#include "os/Sockets.h"
#include "os/VendorUsb.h"
#include "os/WinTypes.h"

namespace vornex {

class TPlatform {
 public:
  virtual ~TPlatform() = default;

  // --- the roles ----------------------------------------------------------------
  // Files, devices and serial lines.
  virtual TDevices& Devices() = 0;
  // The registry under HKEY_LOCAL_MACHINE.
  virtual TRegistry& Registry() = 0;
  // TCP streams.
  virtual TSockets& Sockets() = 0;
  // The spooler's ports and the printers on the network.
  virtual TDiscovery& Discovery() = 0;
  // The maker's USB library.
  virtual TVendorUsb& VendorUsb() = 0;

  // --- errors -----------------------------------------------------------------------
  virtual DWORD GetLastError() = 0;
  virtual void SetLastError(DWORD code) = 0;
  // The system's words for an error code, without a line end.
  virtual std::string FormatMessageA(DWORD code) = 0;
  // The same words to stand inside a sentence: no full stop at the end.
  std::string Reason(DWORD code);

  // --- version ------------------------------------------------------------------------
  virtual bool GetVersionExA(OSVERSIONINFOA& info) = 0;

  // --- handles, events and time -----------------------------------------------------
  // Closes a handle of any kind but sockets and registry keys.
  virtual bool CloseHandle(THandle handle) = 0;
  virtual THandle CreateEventA(bool manualReset, bool initialState) = 0;
  virtual bool SetEvent(THandle event) = 0;
  virtual bool ResetEvent(THandle event) = 0;
  virtual DWORD WaitForSingleObject(THandle handle, DWORD timeoutMs) = 0;
  virtual void Sleep(DWORD ms) = 0;
  // The calling thread runs one step below normal priority.
  virtual void LowerThreadPriority() = 0;
};

inline std::string TPlatform::Reason(DWORD code) {
  std::string text = FormatMessageA(code);
  while (!text.empty() && (text.back() == '.' || text.back() == ' ' || text.back() == '\r' || text.back() == '\n'))
    text.pop_back();
  return text;
}

// Closes a platform handle when it goes out of scope.
using TPlatformHandle = TOwnedHandle<TPlatform, &TPlatform::CloseHandle>;

}  // namespace vornex
