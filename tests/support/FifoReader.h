// The reading end of a FIFO, on a thread of its own: a printer that takes
// what it is sent, and that can be told to stop taking it.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vornex::test {

class TFifoReader {
 public:
  // Makes the FIFO at path and starts reading it.
  explicit TFifoReader(const std::string& path) : Path(path) {
    ::mkfifo(path.c_str(), 0600);
    Fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    Reader = std::thread([this] { Run(); });
  }
  ~TFifoReader() {
    Stop = true;
    Reader.join();
    if (Fd >= 0) ::close(Fd);
  }
  TFifoReader(const TFifoReader&) = delete;
  TFifoReader& operator=(const TFifoReader&) = delete;

  void SetReading(bool on) {
    std::lock_guard<std::mutex> hold(Lock);
    Reading = on;
  }
  std::vector<std::uint8_t> Received() {
    std::lock_guard<std::mutex> hold(Lock);
    return Bytes;
  }
  void Clear() {
    std::lock_guard<std::mutex> hold(Lock);
    Bytes.clear();
  }
  bool WaitForCount(std::size_t n, int timeoutMs = 10000) {
    std::unique_lock<std::mutex> hold(Lock);
    return Changed.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] { return Bytes.size() >= n; });
  }

 private:
  void Run() {
    std::vector<std::uint8_t> buffer(1 << 16);
    while (!Stop) {
      bool reading;
      {
        std::lock_guard<std::mutex> hold(Lock);
        reading = Reading;
      }
      pollfd p{Fd, POLLIN, 0};
      if (!reading || ::poll(&p, 1, 5) <= 0 || !(p.revents & POLLIN)) {
        if (!reading || (p.revents & POLLHUP)) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        continue;
      }
      ssize_t n = ::read(Fd, buffer.data(), buffer.size());
      if (n <= 0) continue;
      {
        std::lock_guard<std::mutex> hold(Lock);
        Bytes.insert(Bytes.end(), buffer.begin(), buffer.begin() + n);
      }
      Changed.notify_all();
    }
  }

  std::string Path;
  int Fd = -1;
  std::thread Reader;
  std::atomic<bool> Stop{false};
  std::mutex Lock;
  std::condition_variable Changed;
  bool Reading = true;
  std::vector<std::uint8_t> Bytes;
};

}  // namespace vornex::test
