// What the printer sends back, on the serial port or over the network, cut
// into short lines in the log box.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "comm/Comm.h"
#include "forms/Controls.h"

namespace vornex {

class TRxLog {
 public:
  static constexpr std::size_t ReceiveBufferSize = 5000;

  TRxLog(TComm& comm, TMemo& memo) : Comm1(comm), Memo1(memo) {}

  // Comm1's bytes-received handler, on the UI thread: reads what is queued.
  void Comm1RxChar(std::uint32_t count);
  // Bytes the printer sent another way (over the network), on the UI
  // thread: the same lines, continuing the same RxLine.
  void Add(const std::uint8_t* bytes, std::size_t count);
  // The received characters not yet shown as a line; kept across transfers.
  const std::string& RxLine() const { return Line; }

 private:
  void Take(std::uint8_t byte);
  TComm& Comm1;
  TMemo& Memo1;
  std::string Line;
};

// The first line a printer sends back, ended as the log box ends lines (a
// line end or a semicolon), empty lines before it skipped, zero bytes left
// out; at most MaxLength bytes of it. Bytes may come from any thread.
class TFirstLine {
 public:
  static constexpr std::size_t MaxLength = 200;
  void Add(const std::uint8_t* bytes, std::size_t count);
  // As it came: show it through ShownLine.
  std::string Text() const;

 private:
  mutable std::mutex Lock;
  std::string Line;
  bool Complete = false;
};

}  // namespace vornex
