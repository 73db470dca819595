// vornex-send: a file to a printer from the command line.
#include <iostream>
#include <string>

#include "app/FleetCommand.h"
#include "app/SendCommand.h"
#include "app/Version.h"
#include "os/posix/Console.h"
#include "os/posix/PosixPlatform.h"

namespace {
vornex::TSendCommand* Running = nullptr;
vornex::TFleetCommand* RunningFleet = nullptr;
void Cancel(vornex::posix::TInterrupt how) {
  const int status = how == vornex::posix::TInterrupt::Terminate ? vornex::SendTerminated : vornex::SendCancelled;
  if (Running) Running->RequestCancel(status);
  if (RunningFleet) RunningFleet->RequestCancel(status);
}

// Standard output that takes nothing (a full disk, a closed pipe) is a
// failure, and said so on standard error.
int Print(const std::string& text, const char* what) {
  std::cout << text << std::flush;
  if (std::cout) return vornex::SendOk;
  std::cerr << "vornex-send: " << what << " could not be written to standard output\n";
  return vornex::SendFailed;
}
}  // namespace

int main(int argc, char** argv) {
  // A printer or a standard output that goes away gives an error, not the end.
  vornex::posix::IgnoreBrokenPipes();
  vornex::TParsedCommand parsed = vornex::ParseSendCommand({argv + 1, argv + argc});
  if (parsed.Help) return Print(vornex::SendUsage, "the usage");
  if (parsed.Version) return Print(std::string("vornex-send ") + vornex::ProductVersion + "\n", "the version");
  vornex::TLoopHost host;
  vornex::TPosixPlatform platform;
  vornex::TSendCommand command(host, platform, std::cout, std::cerr, vornex::posix::StderrIsTerminal(), &std::cin);
  if (parsed.MissingPort) {
    std::cerr << "vornex-send: " << parsed.Error << "\n";
    const auto ports = command.FoundPorts();
    for (const auto& port : ports) std::cerr << "  " << port << "\n";
    if (ports.empty()) std::cerr << "  (none)\n";
    std::cerr << "or a device's path, or TCP:HOST for a printer on the network (see --help)\n";
    return vornex::SendUsageError;
  }
  if (!parsed.Options) {
    std::cerr << "vornex-send: " << parsed.Error << "\n" << vornex::SendUsage;
    return vornex::SendUsageError;
  }
  if (parsed.Options->Fleet()) {
    vornex::TFleetCommand fleet(host, platform, std::cin, std::cout, std::cerr, vornex::posix::StderrIsTerminal());
    RunningFleet = &fleet;
    vornex::posix::OnInterrupt(Cancel);
    return fleet.Run(*parsed.Options);
  }
  Running = &command;
  vornex::posix::OnInterrupt(Cancel);
  return command.Run(*parsed.Options);
}
