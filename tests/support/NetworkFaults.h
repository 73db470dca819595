// A network's faults, made for tests and benchmarks: a printer on the
// network that misbehaves as asked, nft rules that lose packets without a
// word, a name server that never answers, and a network namespace of the
// program's own to do it all in. Linux only; root.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace vornex::test {

// What a faulty printer does.
struct TFaults {
  int ReadRate = 0;            // bytes a second it reads; 0: as fast as they come
  bool Reads = true;           // false: it reads nothing at all
  std::size_t ResetAfter = 0;  // it resets the connection once it has read this many
  int ReceiveBuffer = 0;       // its system's receive buffer; 0: the default
  std::string Floods;          // sent back without a pause
  std::string ReplyAtEnd;      // sent back once the end of the file came
  bool ClosesAtEnd = true;     // it closes once the end came (and it replied)
  std::string Address = "127.0.0.1";
};

// A printer on the network with faults of the caller's choosing, one
// connection at a time, on a thread of its own.
class TFaultyPrinter {
 public:
  explicit TFaultyPrinter(TFaults faults);
  ~TFaultyPrinter();
  TFaultyPrinter(const TFaultyPrinter&) = delete;
  TFaultyPrinter& operator=(const TFaultyPrinter&) = delete;

  std::uint16_t Port() const { return ListeningPort; }
  std::string PortText() const { return "TCP:" + Faults.Address + ":" + std::to_string(ListeningPort); }
  // Bytes read on the last connection; whether its end came.
  std::size_t Received() const { return Got; }
  bool SawEnd() const { return End; }
  // When the last connection was taken; the clock's start before any.
  std::chrono::steady_clock::time_point Accepted() const {
    return std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(AcceptedAt.load()));
  }

 private:
  void Run();

  const TFaults Faults;
  int Listener = -1;
  int Connection = -1;
  int Wake = -1;
  std::uint16_t ListeningPort = 0;
  std::atomic<std::size_t> Got{0};
  std::atomic<bool> End{false};
  std::atomic<std::chrono::steady_clock::rep> AcceptedAt{0};
  std::chrono::steady_clock::time_point Since;
  std::atomic<bool> Stop{false};
  std::thread Loop;
};

// nft rules of this namespace, all gone when the object goes. Packets are
// dropped on their way in: sent, and lost without a word, as on a real
// network (dropped on the way out, the sender would be told).
class TFirewall {
 public:
  ~TFirewall();
  ::testing::AssertionResult Drop(const std::string& match);

 private:
  bool Made = false;
};

// A name server on 127.0.0.53 that takes every question and answers none.
class TSilentNameServer {
 public:
  TSilentNameServer();
  ~TSilentNameServer();
  TSilentNameServer(const TSilentNameServer&) = delete;
  TSilentNameServer& operator=(const TSilentNameServer&) = delete;
  // Why it could not be made, or empty.
  std::string Why;

 private:
  std::vector<int> Fds;
};

// The resolver's configuration in the program's own network: 127.0.0.53,
// which nothing answers unless a TSilentNameServer listens there.
inline constexpr char OwnNameServer[] = "127.0.0.53";

// Moves the program into a network of its own, with only loopback (up), a
// hosts file of these lines beside localhost, the resolver above, and nft
// rules that no other program sees. Call before any thread starts. Empty,
// or what it needs and could not have.
std::string EnterOwnNetwork(const std::vector<std::string>& hostsLines);

}  // namespace vornex::test
