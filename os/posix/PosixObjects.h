// What a platform handle stands for on Linux. Internal to os/posix.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "os/WinTypes.h"

namespace vornex::posix {

// A descriptor that closes itself.
class TFd {
 public:
  TFd() = default;
  explicit TFd(int fd) : Value(fd) {}
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  ~TFd();
  int Get() const { return Value; }
  void Reset(int fd = -1);

 private:
  int Value = -1;
};

// An event, with an eventfd to poll beside a device. The descriptor is
// kept readable exactly while the event is signalled from the first time it
// is asked for: an event nobody polls (a write's done event, set and reset
// for every block) costs no system call.
class TEventObject {
 public:
  explicit TEventObject(bool manualReset, bool initialState);
  bool Valid() const { return Fd.Get() >= 0; }
  void Set();
  void Reset();
  // Auto-reset events are consumed by a successful wait.
  bool TryConsume();
  int PollFd();

 private:
  // With Lock held: the descriptor follows the state, once polled.
  void Raise();
  void Lower();

  TFd Fd;
  const bool ManualReset;
  std::mutex Lock;
  bool Signalled = false;
  // Set once, under Lock; read without it once set.
  std::atomic<bool> Polled{false};
};

struct TCommState;

// An open device or file.
struct TFileObject {
  TFd Fd;
  bool IsTty = false;
  DWORD FileType = FILE_TYPE_UNKNOWN;
  // Signalled when the handle is closed, so calls blocked on it return.
  TEventObject Closed{true, false};
  // Serial state; only for ttys opened for comm calls.
  std::shared_ptr<TCommState> Comm;
};

// An open registry key: the path of the key below HKLM, and what the key
// held when it was opened.
struct TKeyObject {
  std::string Path;
  std::vector<std::string> SubKeys;
  std::vector<std::pair<std::string, std::string>> Values;  // name, text
};

// Milliseconds on the steady clock.
std::int64_t NowMs();
// Milliseconds left until deadline as a poll time-out: -1 for no deadline,
// never negative otherwise, at most INT_MAX.
int Remaining(std::int64_t deadline);

bool StartsWith(const std::string& s, const char* prefix);
// Windows compares names case-blind; they are compared upper-cased.
std::string UpperCase(std::string text);

// Outcome of waiting for a descriptor.
enum class TWaitOutcome { Ready, Aborted, Closed, TimedOut, Failed };

// Waits until fd has `events`, or abort/closed become readable, or
// timeoutMs (-1: none) passes. abortFd and closedFd may be -1. revents
// says what fd had, whatever ended the wait.
TWaitOutcome WaitForFd(int fd, short events, int abortFd, int closedFd, int timeoutMs,
                       short* revents = nullptr);

}  // namespace vornex::posix
