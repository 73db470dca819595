// The host and the platform this build runs on, chosen when it is built.
#pragma once

#include <memory>

#include "forms/Host.h"
#include "os/Platform.h"

namespace vornex {

class TRuntime {
 public:
  TRuntime(int& argc, char** argv);
  ~TRuntime();
  THost& Host() { return *HostPart; }
  TPlatform& Platform() { return *PlatformPart; }

 private:
  std::unique_ptr<THost> HostPart;
  std::unique_ptr<TPlatform> PlatformPart;
};

}  // namespace vornex
