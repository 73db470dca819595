// A send loop for testing the engine around it: sends the job's data in
// fixed pieces the way the real loops count them, and can be held, made to
// fail, or made to ignore Cancel like a write stuck in a device.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "upload/SendLoop.h"

namespace vornex::test {

class TScriptedLoop : public TSendLoop {
 public:
  std::size_t PieceSize = 16;
  // Before each piece, wait until Release() (or Cancel, unless StuckInWrite).
  bool Hold = false;
  bool StuckInWrite = false;
  bool Throw = false;
  std::atomic<int> Runs{0};
  std::atomic<bool> Inside{false};
  std::vector<std::vector<std::uint8_t>> Received;  // one per run

  void Release() {
    {
      std::lock_guard<std::mutex> hold(Lock);
      Hold = false;
      StuckInWrite = false;
    }
    Changed.notify_all();
  }

  void Send(TSendContext& c) override {
    Inside = true;
    ++Runs;
    std::vector<std::uint8_t> got;
    struct TLeave {
      std::atomic<bool>& Flag;
      ~TLeave() { Flag = false; }
    } leave{Inside};
    if (Throw) throw std::runtime_error("the port said no");
    for (;;) {
      {
        std::unique_lock<std::mutex> hold(Lock);
        Changed.wait_for(hold, std::chrono::milliseconds(2), [&] {
          return !Hold || (!StuckInWrite && c.Job.CancelRequested);
        });
        if (Hold && !(!StuckInWrite && c.Job.CancelRequested)) continue;
      }
      if (c.Job.CancelRequested) break;
      std::vector<std::uint8_t> piece(PieceSize);
      piece.resize(c.Job.FileData.Read(piece.data(), PieceSize));
      got.insert(got.end(), piece.begin(), piece.end());
      c.Job.BytesSent += static_cast<std::int32_t>(piece.size());
      c.Job.BlocksSent += 1;
      if (c.Job.FileData.AtEnd()) {
        c.Job.TransferDone = true;
        break;
      }
    }
    std::lock_guard<std::mutex> hold(Lock);
    Received.push_back(got);
  }

  std::vector<std::vector<std::uint8_t>> Copies() {
    std::lock_guard<std::mutex> hold(Lock);
    return Received;
  }

 private:
  std::mutex Lock;
  std::condition_variable Changed;
};

}  // namespace vornex::test
