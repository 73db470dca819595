// Text that a window program shows before it has a window (--help, a wrong
// command line). Includes no Windows header.
#pragma once

#include <string>

namespace vornex::win32 {

// On the program's standard output (or error) when it has one, else on the
// console it was started from, else in a message box titled title. False
// when the standard handle given took only part of it.
bool ShowStartText(const std::string& text, const std::string& title, bool error);

}  // namespace vornex::win32
