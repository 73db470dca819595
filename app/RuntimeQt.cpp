#include <iostream>

#include "app/Runtime.h"
#include "forms/qt/QtHost.h"
#include "os/posix/PosixPlatform.h"

namespace vornex {

TRuntime::TRuntime(int& argc, char** argv)
    : HostPart(std::make_unique<TQtHost>(argc, argv)),
      PlatformPart(std::make_unique<TPosixPlatform>()) {}

TRuntime::~TRuntime() = default;

void TRuntime::Tell(const std::string& text, bool error) { (error ? std::cerr : std::cout) << text << std::flush; }

}  // namespace vornex
