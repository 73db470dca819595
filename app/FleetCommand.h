// vornex-send to many printers at once: the ports from the command line and
// a list, checked before anything is sent; the file read once; the fleet
// runner on the command's loop, its progress on standard error; a table of
// the results on standard output, and the report.
#pragma once

#include <atomic>
#include <iosfwd>
#include <string>
#include <vector>

#include "app/SendCommand.h"
#include "forms/LoopHost.h"
#include "os/Platform.h"

namespace vornex {

class TFleetCommand {
 public:
  // in: standard input, for a list (or file) named "-"; out: the table;
  // err: progress, the lines of each printer's end, and what is wrong.
  TFleetCommand(TLoopHost& host, TPlatform& platform, std::istream& in, std::ostream& out, std::ostream& err,
                bool errIsTerminal);
  int Run(const TSendOptions& options);
  // As TSendCommand's: safe from a signal handler.
  void RequestCancel(int exitStatus) {
    int none = 0;
    Interrupted.compare_exchange_strong(none, exitStatus);
  }

  // The terminal shows at most this many running printers at a time.
  static constexpr std::size_t ShownRows = 20;

 private:
  int UsageError(const std::string& text);

  TLoopHost& Host;
  TPlatform& Platform;
  std::istream& In;
  std::ostream& Out;
  std::ostream& Err;
  bool Terminal;
  std::atomic<int> Interrupted{0};
};

}  // namespace vornex
