// What the printer sends back, on the serial port or over the network, cut
// into short lines in the log box.
#pragma once

#include <cstdint>
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

}  // namespace vornex
