// A shared library bound at run time. It stays loaded once loaded: the
// system's libraries keep state (thread keys with destructors, caches, exit
// handlers) that must not be unmapped under them. Internal to os/posix.
#pragma once

#include <dlfcn.h>

#include <string>

namespace vornex::posix {

class TDynamicLibrary {
 public:
  // Looked for where the system keeps libraries; Loaded() tells whether it
  // was found, and Failure() why not.
  explicit TDynamicLibrary(const std::string& name)
      : Handle(::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE)) {
    if (!Handle) {
      const char* why = ::dlerror();
      Why = why ? why : name + " could not be loaded";
    }
  }
  ~TDynamicLibrary() {
    if (Handle) ::dlclose(Handle);
  }
  TDynamicLibrary(const TDynamicLibrary&) = delete;
  TDynamicLibrary& operator=(const TDynamicLibrary&) = delete;

  bool Loaded() const { return Handle != nullptr; }
  // The loader's words for what went wrong last: the library not found, or
  // a function it lacks. Empty while nothing has.
  const std::string& Failure() const { return Why; }
  // Points fn at the library's function of that name; false when it has none.
  template <typename F>
  bool Bind(F& fn, const char* name) {
    if (!Handle) {
      fn = nullptr;
      return false;
    }
    ::dlerror();
    fn = reinterpret_cast<F>(::dlsym(Handle, name));
    if (!fn) {
      const char* why = ::dlerror();
      Why = why ? why : std::string(name) + " is missing";
    }
    return fn != nullptr;
  }

 private:
  void* Handle;
  std::string Why;
};

}  // namespace vornex::posix
