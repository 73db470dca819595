// Programs a test runs: to their end with what they printed, or in the
// background until the test is done with them. Linux only.
#pragma once

#include <sys/types.h>

#include <csignal>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vornex::test {

struct TRun {
  int Status = -1;  // the exit status, or 128 + the signal that ended it
  std::string Out, Err;
  // From the signal (TRunOptions::SignalWhen) to the program's end; -1 when
  // none was sent.
  double SignalToEndMs = -1;
};

struct TRunOptions {
  std::string Cwd;         // where it runs; empty: this process's folder
  std::string StdoutPath;  // where its standard output goes; empty: TRun::Out
  // With SignalWhen, Signal goes to it once that holds (or after a long
  // wait, so that a run that never gets there still ends).
  int Signal = SIGINT;
  std::function<bool()> SignalWhen;
  // A run still going after this long is killed (status 128 + 9); 0: never.
  int KillAfterMs = 0;
};

// Runs argv (the program looked for on PATH unless it names a path) to its
// end.
TRun RunProgram(const std::vector<std::string>& argv, const TRunOptions& options);
// With interruptWhen, a Ctrl-C (SIGINT) goes to it once that holds.
inline TRun RunProgram(const std::vector<std::string>& argv, std::function<bool()> interruptWhen = nullptr) {
  TRunOptions options;
  options.SignalWhen = std::move(interruptWhen);
  return RunProgram(argv, options);
}

// A program left running; ended with SIGTERM (and waited for) when the
// object goes, or by Stop.
class TBackground {
 public:
  explicit TBackground(const std::vector<std::string>& argv);
  ~TBackground() { Stop(); }
  TBackground(const TBackground&) = delete;
  TBackground& operator=(const TBackground&) = delete;

  bool Started() const { return Pid > 0; }
  // Waits until its output (standard output and error together) holds
  // text; false when timeoutMs pass or the program ends first.
  bool WaitForOutput(const std::string& text, int timeoutMs);
  std::string Output();
  // Its exit status once it has ended, after SIGTERM if it was running.
  int Stop();
  // Its exit status once it ends on its own; -1 when timeoutMs pass first.
  int WaitForExit(int timeoutMs);

 private:
  pid_t Pid = -1;
  int Status = -1;
  int OutFd = -1;
  std::mutex Lock;
  std::string Printed;
  std::thread Reader;
};

// Whether something listens on the local socket at path (a daemon started
// in the background is ready).
bool Connectable(const std::string& path);
// Asks `ready` every 50 ms until it holds (true) or timeoutMs have passed.
bool WaitFor(const std::function<bool()>& ready, int timeoutMs);
// A program's output, a line each (the last without its line end left out).
std::vector<std::string> Lines(const std::string& text);

}  // namespace vornex::test
