// One file to many printers at once. A transfer per port, as Start would run
// it, on workers of the runner's own (at most Jobs at a time), all reading
// the one copy of the file; two ports that reach one device are sent to one
// after the other. Each printer gets the monitor's stall rule, another try
// when it could not be reached, its copies, and a result.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "comm/Comm.h"
#include "forms/Host.h"
#include "os/Platform.h"
#include "upload/FleetPorts.h"
#include "upload/Job.h"
#include "upload/StallRule.h"

namespace vornex {

enum class TFleetOutcome { NotStarted, Completed, Failed, Cancelled, TimedOut };
// "not started", "completed", "failed", "cancelled", "timed out".
const char* OutcomeWord(TFleetOutcome outcome);

struct TFleetResult {
  std::string Port;
  TFleetOutcome Outcome = TFleetOutcome::NotStarted;
  std::int64_t BytesSent = 0;   // of every copy
  std::int64_t BytesTotal = 0;  // the file's size times the copies
  double Seconds = 0;           // from the first try to the end
  std::string Reason;           // why it did not complete, or a remark
  std::string Reply;            // the printer's first line, as it came
  std::int32_t Tries = 0;
};

// A printer being served, for the display.
struct TFleetProgress {
  std::size_t Index = 0;
  std::string Port;
  std::int64_t BytesSent = 0;
  std::int64_t BytesTotal = 0;
  double Seconds = 0;  // since its first try
  std::int32_t StallSeconds = 0;
  bool Waiting = false;  // for its next try or copy; else sending
};

struct TFleetEvent {
  enum TKind { Started, Retrying, Ended };
  TKind Kind = Started;
  std::size_t Index = 0;
  std::int32_t Try = 0;      // Started: 1 for the first try
  double RetryIn = 0;        // Retrying: seconds
  std::string Reason;        // Retrying: why the try failed
};

struct TFleetOptions {
  std::int32_t Jobs = 16;
  std::int32_t BlockSize = 512;
  // The stall rule; without Line Check a transfer is never given up.
  bool LineCheck = true;
  std::int32_t StallLimit = TStallRule::DefaultLimit;
  // Tries more for a printer that could not be reached, the first after
  // RetryDelay seconds, each next after twice as long.
  std::int32_t Retries = 0;
  double RetryDelay = 5;
  // Copies more for each printer, Delay seconds after the last one.
  std::int32_t Repeats = 0;
  double Delay = 3;
  // Sets a serial port's line before it opens (it starts as the window's
  // Comm1). Called on a worker.
  std::function<void(TComm&)> SetUpSerial;
  // The file's name as given, a print job's title.
  std::string FileName;
  // How long a network printer is given to take the connection (0: the
  // transport's own limit).
  DWORD ConnectLimitMs = 0;
};

class TFleetRunner {
 public:
  // Everything here runs on the host's UI thread, which delivers the
  // serial ports' events: its loop must run while the fleet does.
  TFleetRunner(THost& host, TPlatform& platform, TFleetOptions options);
  TFleetRunner(const TFleetRunner&) = delete;
  TFleetRunner& operator=(const TFleetRunner&) = delete;
  // Cancels what runs and waits for the workers.
  ~TFleetRunner();

  // Once the last port has its result: called once, on the thread that
  // ended it (a worker's, or this one's for a Cancel), with the runner's
  // lock held; it may only signal.
  std::function<void()> OnFinished;

  // Once.
  void Start(const std::vector<TFleetPort>& ports, TSharedBytes file);
  // The monitor's tick, once a second: the stall rule for each transfer.
  void TiCheckTimer();
  // The transfers under way stop; no other starts.
  void Cancel();
  // Every port has its result.
  bool Finished() const;
  std::vector<TFleetResult> Results() const;
  TFleetResult Result(std::size_t index) const;
  std::vector<TFleetProgress> Progress() const;
  // What happened since the last call, in order.
  std::vector<TFleetEvent> TakeEvents();

 private:
  using Clock = std::chrono::steady_clock;
  struct TPrinter;
  class TTransfer;
  class TWorker;

  // A worker's life: printers to serve until none waits.
  void Serve(TWorker& worker);
  // The first printer that may go now; the lock is held.
  TPrinter* NextReady(Clock::time_point now, Clock::time_point& nextDue);
  // A try has ended: the printer's next try, next copy or result.
  void Settle(TPrinter& printer, const TTransfer& transfer, Clock::time_point now);
  void End(TPrinter& printer, TFleetOutcome outcome, std::string reason, Clock::time_point now);

  THost& Host;
  TPlatform& Platform;
  const TFleetOptions Options;
  TSharedBytes File;
  mutable std::mutex Lock;
  std::condition_variable Changed;
  std::vector<std::unique_ptr<TPrinter>> Printers;
  std::set<std::string> BusyDevices;
  std::vector<TFleetEvent> Events;
  std::size_t Ended = 0;
  bool Cancelled = false;
  // Last: they end first.
  std::vector<std::unique_ptr<TWorker>> Workers;
};

}  // namespace vornex
