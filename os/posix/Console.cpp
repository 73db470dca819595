#include "os/posix/Console.h"

#include <signal.h>
#include <unistd.h>

namespace vornex::posix {

namespace {
void (*Handler)(TInterrupt) = nullptr;
void Forward(int signal) {
  if (Handler) Handler(signal == SIGTERM ? TInterrupt::Terminate : TInterrupt::CtrlC);
}
}  // namespace

void IgnoreBrokenPipes() { ::signal(SIGPIPE, SIG_IGN); }

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

void OnInterrupt(void (*handler)(TInterrupt)) {
  Handler = handler;
  struct sigaction action {};
  action.sa_handler = Forward;
  action.sa_flags = SA_RESETHAND;
  ::sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

}  // namespace vornex::posix
