// What a program needs of the process and terminal it runs in.
#pragma once

namespace vornex::posix {

// A reader that goes away under a write (a printer's FIFO, a pipe on
// standard output) makes the write fail with its error rather than end the
// program. Process-wide: each program's main asks for it.
void IgnoreBrokenPipes();

// True when standard error is a terminal (a progress bar can redraw itself).
bool StderrIsTerminal();

enum class TInterrupt { CtrlC, Terminate };

// Ctrl-C and a termination request call the handler once, saying which; a
// second one ends the program at once, however stuck it is. The handler
// runs in a signal handler: it may only set flags.
void OnInterrupt(void (*handler)(TInterrupt));

}  // namespace vornex::posix
