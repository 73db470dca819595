// The transfer to a parallel port: 512-byte blocks, one write outstanding,
// each given at most 10 seconds.
#pragma once

#include <cstddef>

#include "os/Platform.h"
#include "upload/SendLoop.h"

namespace vornex {

inline constexpr char UndefinedWriteErrorText[] = "Undefine error on write prn";

class TParallelTransport : public TSendLoop {
 public:
  static constexpr std::size_t BlockSize = 512;
  static constexpr DWORD DefaultWriteLimitMs = 10000;

  TParallelTransport() = default;
  TParallelTransport(const TParallelTransport&) = delete;
  TParallelTransport& operator=(const TParallelTransport&) = delete;

  // Opens the port text exactly as typed and sends. Stops without
  // TransferDone on Cancel, a short write or a write that takes too long;
  // a port that is a file, or in use, is refused with a message.
  void Send(TSendContext& c) override;
  void SendToParallelPort(TSendContext& c);

  // How long one block may take; tests shorten it.
  DWORD WriteLimitMs = DefaultWriteLimitMs;

 private:
  // Signalled when a write completes: created by the first transfer (manual
  // reset, initially signalled) and kept for every later one.
  TPlatformHandle ParallelWriteEvent;
};

}  // namespace vornex
