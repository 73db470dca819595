// The host and the platform this build runs on, chosen when it is built.
#pragma once

#include <memory>
#include <string>
#include <vector>

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
  // line): on the terminal, or where this platform shows such text. False
  // when it could not be written there.
  static bool Tell(const std::string& text, bool error);
  // The command line without the program's name and without what the
  // toolkit will take as its own, before the toolkit has started: so that a
  // wrong command line is told even where no window can open.
  static std::vector<std::string> OwnArguments(int argc, char** argv);

 private:
  std::unique_ptr<THost> HostPart;
  std::unique_ptr<TPlatform> PlatformPart;
};

}  // namespace vornex
