// The far end of a serial line: the master side of a pseudo-terminal, read
// by a thread of its own, like a printer on the other end of a cable.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vornex::test {

class TPtyFarEnd {
 public:
  TPtyFarEnd();
  ~TPtyFarEnd();
  TPtyFarEnd(const TPtyFarEnd&) = delete;
  TPtyFarEnd& operator=(const TPtyFarEnd&) = delete;

  // The device a serial port opens to reach this end.
  const std::string& SlavePath() const { return Slave; }
  // Stops or resumes taking bytes off the line.
  void SetReading(bool on);
  // Sends `reply` back once `bytes` have arrived in all.
  void ReplyAfter(std::size_t bytes, const std::string& reply);
  void Send(const std::string& bytes);
  std::vector<std::uint8_t> Received();
  std::size_t Count();
  bool WaitForCount(std::size_t n, int timeoutMs = 10000);

 private:
  void Run();
  int Master = -1;
  std::string Slave;
  std::thread Reader;
  std::atomic<bool> Stop{false};
  std::mutex Lock;
  std::condition_variable Changed;
  bool Reading = true;
  std::vector<std::uint8_t> Bytes;
  std::size_t ReplyAt = 0;
  std::string Reply;
};

}  // namespace vornex::test
