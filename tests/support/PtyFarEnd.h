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

// What the line is set to, as the far end sees it. A pseudo-terminal keeps
// the rate, the stop bits and the handshakes, but always frames 8 bits
// without parity.
struct TLineSettings {
  unsigned Speed = 0;
  bool TwoStopBits = false;
  bool RtsCts = false;   // CRTSCTS
  bool XonXoffOut = false;  // IXON: XOFF from the far end holds our output
  bool XonXoffIn = false;   // IXOFF
};

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
  TLineSettings LineSettings();
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
