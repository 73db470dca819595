#include "tests/support/PtyFarEnd.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace vornex::test {

TPtyFarEnd::TPtyFarEnd() {
  Master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (Master < 0 || ::grantpt(Master) != 0 || ::unlockpt(Master) != 0)
    throw std::runtime_error("no pseudo-terminal");
  Slave = ::ptsname(Master);
  Reader = std::thread([this] { Run(); });
}

TPtyFarEnd::~TPtyFarEnd() {
  Stop = true;
  Changed.notify_all();
  Reader.join();
  if (Master >= 0) ::close(Master);
}

void TPtyFarEnd::SetReading(bool on) {
  {
    std::lock_guard<std::mutex> hold(Lock);
    Reading = on;
  }
  Changed.notify_all();
}

void TPtyFarEnd::ReplyAfter(std::size_t bytes, const std::string& reply) {
  std::lock_guard<std::mutex> hold(Lock);
  ReplyAt = bytes;
  Reply = reply;
}

void TPtyFarEnd::Send(const std::string& bytes) {
  std::lock_guard<std::mutex> hold(Lock);
  [[maybe_unused]] auto n = ::write(Master, bytes.data(), bytes.size());
}

TLineSettings TPtyFarEnd::LineSettings() {
  // The master is asked for the settings of the line's other end.
  termios2 t{};
  if (::ioctl(Master, TCGETS2, &t) != 0) throw std::runtime_error("the line's settings cannot be read");
  TLineSettings s;
  s.Speed = t.c_ospeed;
  s.TwoStopBits = (t.c_cflag & CSTOPB) != 0;
  s.RtsCts = (t.c_cflag & CRTSCTS) != 0;
  s.XonXoffOut = (t.c_iflag & IXON) != 0;
  s.XonXoffIn = (t.c_iflag & IXOFF) != 0;
  return s;
}

std::vector<std::uint8_t> TPtyFarEnd::Received() {
  std::lock_guard<std::mutex> hold(Lock);
  return Bytes;
}

std::size_t TPtyFarEnd::Count() {
  std::lock_guard<std::mutex> hold(Lock);
  return Bytes.size();
}

bool TPtyFarEnd::WaitForCount(std::size_t n, int timeoutMs) {
  std::unique_lock<std::mutex> hold(Lock);
  return Changed.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] { return Bytes.size() >= n; });
}

void TPtyFarEnd::Run() {
  std::uint8_t buffer[65536];
  while (!Stop) {
    {
      std::unique_lock<std::mutex> hold(Lock);
      Changed.wait_for(hold, std::chrono::milliseconds(20), [&] { return Reading || Stop.load(); });
      if (!Reading) continue;
    }
    pollfd p{Master, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    ssize_t n = ::read(Master, buffer, sizeof buffer);
    if (n <= 0) {
      // No one holds the other side open just now: look again shortly.
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    std::lock_guard<std::mutex> hold(Lock);
    Bytes.insert(Bytes.end(), buffer, buffer + n);
    if (ReplyAt > 0 && Bytes.size() >= ReplyAt) {
      [[maybe_unused]] auto w = ::write(Master, Reply.data(), Reply.size());
      ReplyAt = 0;
    }
    Changed.notify_all();
  }
}

}  // namespace vornex::test
