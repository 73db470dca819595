// The transfer to a print queue: the file as one raw job, written to the
// spooler in blocks of BlockSize bytes, and the job followed until it ends.
// Done means the printer has printed it, not merely that the queue took it.
#pragma once

#include <cstddef>
#include <string>

#include "os/Platform.h"
#include "upload/SendLoop.h"

namespace vornex {

class TSpoolerTransport : public TSendLoop {
 public:
  // The block buffer, as the USB loops have it.
  static constexpr std::size_t MaxBlockSize = 10240;
  static constexpr DWORD DefaultPollMs = 500;

  // TransferDone only once the job has printed. Every change of its state
  // goes to the log; while it waits or prints the stall rule watches it, and
  // Cancel (or the time-out) deletes it from the queue.
  void Send(TSendContext& c) override;

  // How often the job's state is asked; tests shorten it.
  DWORD PollMs = DefaultPollMs;

 private:
  // What the job's state comes to, in the log's words.
  enum class TKind { Queued, Printing, Held, Waiting, Stopped, Completed, Cancelled, Aborted };
  struct TState {
    TKind Kind = TKind::Queued;
    std::string Text;
  };
  static TState Classify(const TJobInfo& job, DWORD jobId);
  // Follows the job until it ends or Cancel: true once it has printed.
  bool Follow(TSendContext& c, THandle printer, DWORD jobId, const std::string& queue);
  // Deletes the job, and tells of it.
  void CancelJob(TSendContext& c, THandle printer, DWORD jobId, const std::string& queue);
};

// Messages. `queue` is the port text without its label: PRINTER:NAME.
std::string PrintQueueErrorText(TPlatform& platform, const std::string& queue, DWORD error);
std::string NotAPrintQueueText(const std::string& portText);
std::string QueuedText(DWORD jobId);

}  // namespace vornex
