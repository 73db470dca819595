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

bool TRuntime::Tell(const std::string& text, bool error) {
  std::ostream& out = error ? std::cerr : std::cout;
  out << text << std::flush;
  return static_cast<bool>(out);
}

std::vector<std::string> TRuntime::OwnArguments(int argc, char** argv) {
  return WithoutQtOptions({argv + 1, argv + argc});
}

}  // namespace vornex
