// vornex-send: the main window's engine without a window. It fills in the
// window's boxes from the command line, presses Start, and reports on the
// terminal what the window would show.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "forms/LoopHost.h"
#include "os/Platform.h"
#include "upload/StallRule.h"

namespace vornex {

struct TSendOptions {
  std::string Port = "COM1";
  std::string BlockSize = "512";
  std::string Repeat;  // empty: no repetition
  std::string Delay = "3";
  bool LineCheck = true;
  // Seconds without progress before a transfer is given up.
  std::int32_t StallLimit = TStallRule::DefaultLimit;
  bool ListPorts = false;
  std::string File;

  // Many printers at once: every --port given, in order, and a list of them.
  std::vector<std::string> Ports;
  std::string PortsFrom;  // "-": standard input
  std::int32_t Jobs = 16;
  std::int32_t Retries = 0;
  double RetryDelay = 5;
  std::string Report;  // .json or .csv
  // An option only a fleet has was given.
  bool FleetOption = false;
  // More than one printer, or a fleet's option: the fleet's path, with a
  // result for every printer.
  bool Fleet() const { return Ports.size() > 1 || !PortsFrom.empty() || FleetOption; }
};

// The options, or a message saying what is wrong with the command line.
struct TParsedCommand {
  std::optional<TSendOptions> Options;
  std::string Error;
  bool Help = false;
  bool Version = false;
};
TParsedCommand ParseSendCommand(const std::vector<std::string>& args);
extern const char SendUsage[];

// Exit statuses.
inline constexpr int SendOk = 0;
inline constexpr int SendFailed = 1;
inline constexpr int SendUsageError = 2;
inline constexpr int SendCancelled = 130;     // Ctrl-C
inline constexpr int SendTerminated = 143;    // a termination request

class TSendCommand {
 public:
  // out: what the printer says and the port list; err: progress and reasons.
  TSendCommand(TLoopHost& host, TPlatform& platform, std::ostream& out, std::ostream& err,
               bool errIsTerminal);
  int Run(const TSendOptions& options);
  // Ctrl-C (SendCancelled) or a termination request (SendTerminated): the
  // exit status if it ends the run; the first request's stands. Safe to
  // call from a signal handler.
  void RequestCancel(int exitStatus) {
    int none = 0;
    Interrupted.compare_exchange_strong(none, exitStatus);
  }

 private:
  TLoopHost& Host;
  TPlatform& Platform;
  std::ostream& Out;
  std::ostream& Err;
  bool Terminal;
  std::atomic<int> Interrupted{0};  // 0, or the exit status asked for
};

}  // namespace vornex
