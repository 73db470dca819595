#include "app/Runtime.h"
#include "forms/win32/StartText.h"
#include "forms/win32/Win32Host.h"
#include "os/win32/Win32Platform.h"

namespace vornex {

// Windows needs neither argument: the host takes what it needs from the
// process itself.
TRuntime::TRuntime(int&, char**)
    : HostPart(std::make_unique<TWin32Host>()), PlatformPart(std::make_unique<TWin32Platform>()) {}

TRuntime::~TRuntime() = default;

bool TRuntime::Tell(const std::string& text, bool error) { return win32::ShowStartText(text, "Vornex", error); }

std::vector<std::string> TRuntime::OwnArguments(int argc, char** argv) { return {argv + 1, argv + argc}; }

}  // namespace vornex
