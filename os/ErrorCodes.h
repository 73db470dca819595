// Error codes for the system's own failures that have no Windows twin.
// Windows keeps bit 29 of an error code for applications, so these never
// meet one of its own; the bits below it say what the code stands for, and
// FormatMessageA spells each in the system's own words: an errno with
// strerror, a name lookup's failure with gai_strerror, a text the platform
// was given (a library's dlerror, a server's answer) as it stands.
#pragma once

#include "os/WinTypes.h"

namespace vornex {

inline constexpr DWORD ApplicationErrorBit = 0x20000000u;
inline constexpr DWORD ErrorKindMask = 0xFFFF0000u;
// | errno
inline constexpr DWORD ErrnoErrors = ApplicationErrorBit | 0x00000000u;
// | -EAI_...: what getaddrinfo answered
inline constexpr DWORD LookupErrors = ApplicationErrorBit | 0x00010000u;
// | the number of a reason text the platform keeps (TReasonTexts)
inline constexpr DWORD ReasonErrors = ApplicationErrorBit | 0x00020000u;

constexpr DWORD ErrnoError(int error) { return ErrnoErrors | (static_cast<DWORD>(error) & 0xFFFFu); }
constexpr DWORD LookupError(int eaiCode) { return LookupErrors | (static_cast<DWORD>(-eaiCode) & 0xFFFFu); }
constexpr bool IsErrorOfKind(DWORD code, DWORD kind) { return (code & ErrorKindMask) == kind; }
// The errno, EAI_ value or text number a code carries.
constexpr int ErrorDetail(DWORD code) { return static_cast<int>(code & 0xFFFFu); }

}  // namespace vornex
