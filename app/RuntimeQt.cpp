#include <iostream>

#include "app/Runtime.h"
#include "forms/qt/QtHost.h"
#include "forms/qt/QtStartup.h"
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
    : HostPart(StartHost(argc, argv)), PlatformPart(std::make_unique<TPosixPlatform>()) {}

TRuntime::~TRuntime() = default;

void TRuntime::Tell(const std::string& text, bool error) { (error ? std::cerr : std::cout) << text << std::flush; }

}  // namespace vornex
