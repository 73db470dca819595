// vornex-send: a file to a printer from the command line.
#include <signal.h>
#include <unistd.h>

#include <iostream>

#include "app/SendCommand.h"
#include "os/posix/PosixPlatform.h"

namespace {
vornex::TSendCommand* Running = nullptr;
void OnInterrupt(int) {
  if (Running) Running->RequestCancel();
}
}  // namespace

int main(int argc, char** argv) {
  vornex::TParsedCommand parsed = vornex::ParseSendCommand({argv + 1, argv + argc});
  if (parsed.Help) {
    std::cout << vornex::SendUsage;
    return vornex::SendOk;
  }
  if (!parsed.Options) {
    std::cerr << "vornex-send: " << parsed.Error << "\n" << vornex::SendUsage;
    return vornex::SendUsageError;
  }
  vornex::TConsoleHost host;
  vornex::TPosixPlatform platform;
  vornex::TSendCommand command(host, platform, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1);
  Running = &command;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  return command.Run(*parsed.Options);
}
