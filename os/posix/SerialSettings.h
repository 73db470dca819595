// A control block in termios2 terms and back. Internal to os/posix; kept
// apart from the device so the mapping can be checked on its own.
#pragma once

#include <asm/termbits.h>

#include "os/WinTypes.h"

namespace vornex::posix {

// The CSIZE bits for 5 to 8 data bits, and back.
tcflag_t CharSizeFlag(int dataBits);
int DataBits(tcflag_t cflag);

// Puts the block's rate, framing, handshake and XON/XOFF characters into t,
// keeping the rest of t. False when the line cannot do what the block asks
// (a Windows driver refuses it with ERROR_INVALID_PARAMETER): a DTR/DSR
// handshake among them. RTS/CTS becomes CRTSCTS, XON/XOFF IXON and IXOFF.
bool TermiosFromDcb(const DCB& dcb, termios2& t);
// Fills what termios holds into dcb, keeping its other fields.
void DcbFromTermios(const termios2& t, DCB& dcb);

}  // namespace vornex::posix
