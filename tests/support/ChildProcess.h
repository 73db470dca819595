// Programs a test runs: to their end with what they printed, or in the
// background until the test is done with them. Linux only.
#pragma once

#include <sys/types.h>

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vornex::test {

struct TRun {
  int Status = -1;  // the exit status, or 128 + the signal that ended it
  std::string Out, Err;
};

// Runs argv (the program looked for on PATH unless it names a path) to its
// end. With interruptWhen, a Ctrl-C (SIGINT) goes to it once that holds (or
// after a long wait, so that a run that never gets there still ends).
TRun RunProgram(const std::vector<std::string>& argv, std::function<bool()> interruptWhen = nullptr);

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

 private:
  pid_t Pid = -1;
  int Status = -1;
  int OutFd = -1;
  std::mutex Lock;
  std::string Printed;
  std::thread Reader;
};

}  // namespace vornex::test
