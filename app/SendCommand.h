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

#include "comm/Comm.h"
#include "forms/LoopHost.h"
#include "os/Platform.h"
#include "upload/StallRule.h"

namespace vornex {

// The serial line's settings from the command line; one not given stays as
// the window starts (9600 bits/s, 8 data bits, no parity, 1 stop bit, the
// device's own handshake).
struct TSerialOptions {
  std::optional<TBaudRate> BaudRate;
  std::optional<TDataBits> DataBits;
  std::optional<TParity> Parity;
  std::optional<TStopBits> StopBits;
  std::optional<TFlowControl> FlowControl;
};
// --baud, --data-bits, --parity, --stop-bits, --flow.
bool IsSerialOption(const std::string& option);
// Reads the value of one of them into `into`; false with `error` naming the
// values it takes when the value names none.
bool ParseSerialOption(const std::string& option, const std::string& value, TSerialOptions& into,
                       std::string& error);
// Those given, set on the port as the settings dialog's Ok would; a flow
// control given counts as chosen.
void ApplySerialOptions(const TSerialOptions& options, TComm& comm);

// The file named "-": standard input, read whole, with the size limit and
// words a file gets. Empty when all went into `bytes`, else what is wrong.
inline constexpr char StandardInputName[] = "-";
std::string ReadWholeInput(std::istream& in, std::vector<std::uint8_t>& bytes);

// One transfer's progress as it stands.
struct TProgress {
  std::int64_t Sent = 0;
  std::int64_t Total = 0;
  double Seconds = 0;       // since the transfer started
  double StillSeconds = 0;  // since the count last moved
  bool Final = false;
};
// A transfer counts as stalled once nothing has moved for this long.
inline constexpr double StalledAfterSeconds = 2;
// "52% 52000/100000 bytes 10400 B/s 0:05 left", or "... stalled 7 s" while
// nothing moves; with `bar`, a bar of 20 characters before it.
std::string ProgressText(const TProgress& p, bool bar);

// How the run ended, for its summary line.
struct TRunSummary {
  std::int64_t Completed = 0;     // transfers whose every byte the port took
  std::int64_t BytesDelivered = 0;
  double Seconds = 0;             // spent sending them
  // What stopped it (empty: nothing did), and whether that was the user.
  std::string Stopped;
  bool Cancelled = false;
  // The transfer that stopped: bytes sent of its total.
  std::int64_t Sent = 0, Total = 0;
};
// "completed: 20000 bytes in 0:02, 9876 B/s"; "3 transfers completed: ...";
// "cancelled: 4096 of 200000 bytes sent"; or the reason, with what was sent
// when anything was.
std::string SummaryLine(const TRunSummary& s);

// A failure to open a serial port for want of permission, with the group to
// join; any other failure as it is.
std::string PermissionHint(TPlatform& platform, std::int32_t transferMode, const std::string& portText,
                           const std::string& failure);

struct TSendOptions {
  std::optional<std::string> Port;  // required to send
  std::string BlockSize = "512";
  std::string Repeat;  // empty: no repetition
  std::string Delay = "3";
  bool LineCheck = true;
  // Seconds without progress before a transfer is given up.
  std::int32_t StallLimit = TStallRule::DefaultLimit;
  bool ListPorts = false;
  TSerialOptions Serial;
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
  // No --port: the error goes with the list of ports found.
  bool MissingPort = false;
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
  // out: what the printer says and the port list; err: progress and reasons;
  // in: the file when it is named "-".
  TSendCommand(TLoopHost& host, TPlatform& platform, std::ostream& out, std::ostream& err,
               bool errIsTerminal, std::istream* in = nullptr);
  int Run(const TSendOptions& options);
  // The ports found, as --list-ports gives them, and the sources of printers
  // on the network that could not be asked.
  std::vector<std::string> FoundPorts(std::vector<TSourceFailure>* failures = nullptr);
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
  std::istream* In;
  std::atomic<int> Interrupted{0};  // 0, or the exit status asked for
};

}  // namespace vornex
