// vornex-send: a file to a printer from the command line.
#include <iostream>

#include "app/SendCommand.h"
#include "app/Version.h"
#include "os/posix/Console.h"
#include "os/posix/PosixPlatform.h"

namespace {
vornex::TSendCommand* Running = nullptr;
void Cancel(vornex::posix::TInterrupt how) {
  if (Running)
    Running->RequestCancel(how == vornex::posix::TInterrupt::Terminate ? vornex::SendTerminated
                                                                      : vornex::SendCancelled);
}
}  // namespace

int main(int argc, char** argv) {
  vornex::TParsedCommand parsed = vornex::ParseSendCommand({argv + 1, argv + argc});
  if (parsed.Help) {
    std::cout << vornex::SendUsage << std::flush;
    if (!std::cout) {
      std::cerr << "vornex-send: the usage could not be written to standard output\n";
      return vornex::SendFailed;
    }
    return vornex::SendOk;
  }
  if (parsed.Version) {
    std::cout << "vornex-send " << vornex::ProductVersion << "\n";
    return vornex::SendOk;
  }
  if (!parsed.Options) {
    std::cerr << "vornex-send: " << parsed.Error << "\n" << vornex::SendUsage;
    return vornex::SendUsageError;
  }
  vornex::TLoopHost host;
  vornex::TPosixPlatform platform;
  vornex::TSendCommand command(host, platform, std::cout, std::cerr, vornex::posix::StderrIsTerminal());
  Running = &command;
  vornex::posix::OnInterrupt(Cancel);
  return command.Run(*parsed.Options);
}
