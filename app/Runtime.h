// The host and the platform this build runs on, chosen when it is built.
#pragma once

#include <memory>
#include <string>

#include "forms/Host.h"
#include "os/Platform.h"

namespace vornex {

class TRuntime {
 public:
  TRuntime(int& argc, char** argv);
  ~TRuntime();
  THost& Host() { return *HostPart; }
  TPlatform& Platform() { return *PlatformPart; }
  // Text for the user before there is a window (--help, a wrong command
  // line): on the terminal, or where this platform shows such text.
  static void Tell(const std::string& text, bool error);

 private:
  std::unique_ptr<THost> HostPart;
  std::unique_ptr<TPlatform> PlatformPart;
};

}  // namespace vornex
