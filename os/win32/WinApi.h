// The Windows headers, included the one safe way: our Windows-shaped types
// first, then <windows.h>, which redefines most of their names as macros with
// the same values. Inside namespace vornex, the real Windows types are
// spelled ::DCB, ::COMSTAT and so on. Internal to os/win32 and forms/win32.
#pragma once

#include "os/WinTypes.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace vornex::win32 {

static_assert(sizeof(::DWORD) == sizeof(vornex::DWORD), "a DWORD is 32 bits on both sides");
static_assert(sizeof(HANDLE) == sizeof(THandle), "a handle fits a THandle");

inline HANDLE H(THandle h) { return reinterpret_cast<HANDLE>(h); }
inline THandle T(HANDLE h) { return reinterpret_cast<THandle>(h); }
inline HKEY Key(THandle h) { return reinterpret_cast<HKEY>(h); }

}  // namespace vornex::win32
