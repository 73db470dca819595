#include "os/posix/PosixObjects.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>

namespace vornex::posix {

TFd::~TFd() { Reset(); }

void TFd::Reset(int fd) {
  if (Value >= 0) ::close(Value);
  Value = fd;
}

TEventObject::TEventObject(bool manualReset, bool initialState)
    : Fd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)), ManualReset(manualReset), Signalled(initialState) {}

void TEventObject::Raise() {
  if (!Polled.load(std::memory_order_relaxed)) return;
  std::uint64_t one = 1;
  [[maybe_unused]] auto n = ::write(Fd.Get(), &one, sizeof one);
}

void TEventObject::Lower() {
  if (!Polled.load(std::memory_order_relaxed)) return;
  std::uint64_t value = 0;
  [[maybe_unused]] auto n = ::read(Fd.Get(), &value, sizeof value);
}

void TEventObject::Set() {
  std::lock_guard<std::mutex> hold(Lock);
  if (Signalled) return;
  Signalled = true;
  Raise();
}

void TEventObject::Reset() {
  std::lock_guard<std::mutex> hold(Lock);
  if (!Signalled) return;
  Signalled = false;
  Lower();
}

bool TEventObject::TryConsume() {
  std::lock_guard<std::mutex> hold(Lock);
  if (!Signalled) return false;
  if (!ManualReset) {
    Signalled = false;
    Lower();
  }
  return true;
}

int TEventObject::PollFd() {
  if (Polled.load(std::memory_order_acquire)) return Fd.Get();
  std::lock_guard<std::mutex> hold(Lock);
  if (!Polled.load(std::memory_order_relaxed)) {
    Polled.store(true, std::memory_order_release);
    if (Signalled) Raise();
  }
  return Fd.Get();
}

std::int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int Remaining(std::int64_t deadline) {
  if (deadline < 0) return -1;
  std::int64_t left = deadline - NowMs();
  return left <= 0 ? 0 : static_cast<int>(std::min<std::int64_t>(left, INT_MAX));
}

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

std::string UpperCase(std::string text) {
  // ASCII only: the window puts the C library in the user's locale, where
  // toupper may change bytes above 127 of a device name.
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

TWaitOutcome WaitForFd(int fd, short events, int abortFd, int closedFd, int timeoutMs,
                       short* revents) {
  pollfd fds[3] = {{fd, events, 0}, {abortFd, POLLIN, 0}, {closedFd, POLLIN, 0}};
  for (;;) {
    int n = ::poll(fds, 3, timeoutMs);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return TWaitOutcome::Failed;
    if (revents) *revents = fds[0].revents;
    if (n == 0) return TWaitOutcome::TimedOut;
    if (fds[2].revents & POLLIN) return TWaitOutcome::Closed;
    if (fds[1].revents & POLLIN) return TWaitOutcome::Aborted;
    return TWaitOutcome::Ready;
  }
}

}  // namespace vornex::posix
