// Why a port did not take a file, in the user's words.
#pragma once

#include <string>

#include "os/Platform.h"

namespace vornex {

// "Port LPT1 can't be opened: it is in use by another program."; `what`
// names the port ("Port LPT1", "The USB printer"). A failure without words
// of our own is told in the system's.
std::string CantOpenText(TPlatform& platform, const std::string& what, DWORD error);
// "Port LPT1", for a port text as the user gave it.
std::string PortCalled(const std::string& portText);

}  // namespace vornex
