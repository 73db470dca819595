#include <iostream>

#include "app/Runtime.h"
#include "forms/qt/QtHost.h"
#include "forms/qt/QtStartup.h"
#include "os/posix/Console.h"
#include "os/posix/PosixPlatform.h"

namespace vornex {

namespace {

// Without a screen the program ends here, saying why in one line.
std::unique_ptr<THost> StartHost(int& argc, char** argv) {
  TQtStartupGuard guard("vornex");
  return std::make_unique<TQtHost>(argc, argv);
}

}  // namespace

TRuntime::TRuntime(int& argc, char** argv)
    : HostPart(StartHost(argc, argv)), PlatformPart(std::make_unique<TPosixPlatform>()) {
  // The program's policy, set at its start: a printer that goes away under a
  // write gives an error, not the end of the program.
  posix::IgnoreBrokenPipes();
}

TRuntime::~TRuntime() = default;

void TRuntime::Tell(const std::string& text, bool error) { (error ? std::cerr : std::cout) << text << std::flush; }

}  // namespace vornex
