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

bool TRuntime::Tell(const std::string& text, bool error) {
  std::ostream& out = error ? std::cerr : std::cout;
  out << text << std::flush;
  return static_cast<bool>(out);
}

std::vector<std::string> TRuntime::OwnArguments(int argc, char** argv) {
  return WithoutQtOptions({argv + 1, argv + argc});
}

}  // namespace vornex
