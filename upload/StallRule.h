// The progress monitor's stall rule: a transfer that has written no new piece
// for more than Limit ticks of the monitor (one a second) has timed out.
#pragma once

#include <cstdint>

namespace vornex {

struct TStallRule {
  // The window's: "Time Out" on the 61st second without progress.
  static constexpr std::int32_t DefaultLimit = 60;
  // The longest limit that can be given, in seconds.
  static constexpr std::int32_t LongestLimit = 2147483;

  std::int32_t Limit = DefaultLimit;
  std::int32_t Stall = 0;           // ticks without a new piece
  std::int32_t LastBlocksSent = 0;  // pieces seen at the last tick that saw a change

  // One tick, seeing the pieces written so far.
  void Tick(std::int32_t blocksSent) {
    if (blocksSent == LastBlocksSent) {
      ++Stall;
    } else {
      LastBlocksSent = blocksSent;
      Stall = 0;
    }
  }
  bool TimedOut() const { return Stall > Limit; }
};

}  // namespace vornex
