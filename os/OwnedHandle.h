// A handle that is closed when it goes out of scope, by the call that
// closes its kind (CloseHandle, closesocket, RegCloseKey...).
#pragma once

#include <utility>

#include "os/WinTypes.h"

namespace vornex {

template <typename TOwner, auto Close>
class TOwnedHandle {
 public:
  TOwnedHandle() = default;
  TOwnedHandle(TOwner& owner, THandle handle) : Owner(&owner), Handle(handle) {}
  TOwnedHandle(const TOwnedHandle&) = delete;
  TOwnedHandle& operator=(const TOwnedHandle&) = delete;
  TOwnedHandle(TOwnedHandle&& other) noexcept { *this = std::move(other); }
  TOwnedHandle& operator=(TOwnedHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      Owner = other.Owner;
      Handle = other.Release();
    }
    return *this;
  }
  ~TOwnedHandle() { Reset(); }

  THandle Get() const { return Handle; }
  bool Valid() const { return Handle != InvalidHandle && Handle != NoHandle; }
  void Reset() {
    if (Owner && Valid()) (Owner->*Close)(Handle);
    Handle = InvalidHandle;
  }
  // Gives the handle up without closing it.
  THandle Release() { return std::exchange(Handle, InvalidHandle); }

 private:
  TOwner* Owner = nullptr;
  THandle Handle = InvalidHandle;
};

}  // namespace vornex
