// Why a port did not take a file, in the user's words.
#pragma once

#include <string>

#include "os/WinTypes.h"

namespace vornex {

// "Port LPT1 can't be opened: it is in use by another program."; `what`
// names the port ("Port LPT1", "The USB printer").
std::string CantOpenText(const std::string& what, DWORD error);
// "Port LPT1", for a port text as the user gave it.
std::string PortCalled(const std::string& portText);

}  // namespace vornex
