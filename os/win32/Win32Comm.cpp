// The comm calls on a handle opened overlapped: the records Windows needs
// stay here, and the waits end as the interface says.
#include "os/win32/Win32Devices.h"

#include <cstring>

#include "os/win32/FileTable.h"
#include "os/win32/WinApi.h"

namespace vornex {

using namespace win32;

static_assert(sizeof(::DCB) == sizeof(DCB), "the control block passes through unchanged");
static_assert(sizeof(::COMSTAT) == sizeof(COMSTAT), "the status passes through unchanged");
static_assert(sizeof(::COMMTIMEOUTS) == sizeof(COMMTIMEOUTS), "the time-outs pass through unchanged");

bool TWin32Devices::SetupComm(THandle file, DWORD inQueue, DWORD outQueue) {
  return ::SetupComm(H(file), inQueue, outQueue) != FALSE;
}

bool TWin32Devices::GetCommState(THandle file, DCB& dcb) {
  ::DCB d{};
  d.DCBlength = sizeof d;
  if (!::GetCommState(H(file), &d)) return false;
  std::memcpy(static_cast<void*>(&dcb), &d, sizeof d);
  return true;
}

bool TWin32Devices::SetCommState(THandle file, const DCB& dcb) {
  ::DCB d;
  std::memcpy(&d, &dcb, sizeof d);
  d.DCBlength = sizeof d;
  return ::SetCommState(H(file), &d) != FALSE;
}

bool TWin32Devices::SetCommTimeouts(THandle file, const COMMTIMEOUTS& timeouts) {
  ::COMMTIMEOUTS t;
  std::memcpy(&t, &timeouts, sizeof t);
  return ::SetCommTimeouts(H(file), &t) != FALSE;
}

bool TWin32Devices::SetCommMask(THandle file, DWORD mask) {
  // Windows itself ends a pending WaitCommEvent with an empty mask here.
  return ::SetCommMask(H(file), mask) != FALSE;
}

bool TWin32Devices::WaitCommEvent(THandle file, DWORD& mask) {
  mask = 0;
  OVERLAPPED ov{};
  ov.hEvent = ThreadIoEvent();
  if (!ov.hEvent) return false;
  // The driver writes the mask when the wait ends, so it lives on this stack
  // until then.
  ::DWORD events = 0;
  if (!::WaitCommEvent(H(file), &events, &ov)) {
    if (::GetLastError() != ERROR_IO_PENDING) return false;
    ::DWORD unused = 0;
    if (!::GetOverlappedResult(H(file), &ov, &unused, TRUE)) return false;
  }
  mask = events;
  return true;
}

bool TWin32Devices::ClearCommError(THandle file, DWORD& errors, COMSTAT& status) {
  ::DWORD e = 0;
  ::COMSTAT s{};
  if (!::ClearCommError(H(file), &e, &s)) return false;
  errors = e;
  std::memcpy(static_cast<void*>(&status), &s, sizeof s);
  return true;
}

bool TWin32Devices::PurgeComm(THandle file, DWORD flags) {
  return ::PurgeComm(H(file), flags) != FALSE;
}

bool TWin32Devices::EscapeCommFunction(THandle file, DWORD function) {
  return ::EscapeCommFunction(H(file), function) != FALSE;
}

bool TWin32Devices::GetCommModemStatus(THandle file, DWORD& modemStatus) {
  ::DWORD s = 0;
  const bool ok = ::GetCommModemStatus(H(file), &s) != FALSE;
  modemStatus = ok ? s : 0;
  return ok;
}

}  // namespace vornex
