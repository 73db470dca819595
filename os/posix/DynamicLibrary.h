// A shared library bound at run time. It stays loaded once loaded: the
// system's libraries keep state (thread keys with destructors, caches, exit
// handlers) that must not be unmapped under them. Internal to os/posix.
#pragma once

#include <dlfcn.h>

#include <string>

namespace vornex::posix {

class TDynamicLibrary {
 public:
  // Looked for where the system keeps libraries; Loaded() tells whether it was found.
  explicit TDynamicLibrary(const std::string& name)
      : Handle(::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE)) {}
  ~TDynamicLibrary() {
    if (Handle) ::dlclose(Handle);
  }
  TDynamicLibrary(const TDynamicLibrary&) = delete;
  TDynamicLibrary& operator=(const TDynamicLibrary&) = delete;

  bool Loaded() const { return Handle != nullptr; }
  // Points fn at the library's function of that name; false when it has none.
  template <typename F>
  bool Bind(F& fn, const char* name) const {
    fn = Handle ? reinterpret_cast<F>(::dlsym(Handle, name)) : nullptr;
    return fn != nullptr;
  }

 private:
  void* Handle;
};

}  // namespace vornex::posix
