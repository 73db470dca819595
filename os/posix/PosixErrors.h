// Linux's failures in Windows' codes, and back into the system's words.
// Internal to os/posix.
#pragma once

#include <string>

#include "os/ErrorCodes.h"
#include "os/ReasonTexts.h"

namespace vornex::posix {

// The calling thread's last error, as Windows keeps it.
DWORD LastError();
void SetLastError(DWORD code);
// Sets the last error; false, for `return Fail(code);`.
bool Fail(DWORD code);

// errno as a Windows error code; one without a twin as ErrnoError(errno).
DWORD ErrorFromErrno(int error);
// errno on a socket as Winsock's code.
DWORD SocketError(int error);
// What getaddrinfo answered (EAI_SYSTEM with its errno) as Winsock's code,
// or LookupError(eai) where Winsock has none.
DWORD LookupFailure(int eai, int error);

// The system's words for any code this platform leaves: strerror,
// gai_strerror, a kept reason, or the words of a code only Windows has.
std::string ErrorText(DWORD code, const TReasonTexts& reasons);

}  // namespace vornex::posix
