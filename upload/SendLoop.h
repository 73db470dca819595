// A send loop moves the job's file to one kind of port, on the worker thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "os/Platform.h"
#include "upload/Job.h"

namespace vornex {

// What a send loop may use besides the job: the platform, and the user
// interface, reached on the UI thread.
struct TSendContext {
  TUploadJob& Job;
  TPlatform& Platform;
  // Signalled by Cancel: a blocking write given it ends at once.
  THandle CancelEvent;
  // A modal message; returns when the user has dismissed it.
  std::function<void(const std::string&)> ShowMessage;
  // The Exit button's caption becomes "USB Send Err Resend".
  std::function<void()> ShowResendError;
  // Bytes the printer sent back, for the log; may be empty.
  std::function<void(const std::uint8_t* bytes, std::size_t count)> ShowReply;
  // A print job's new state, as a line of the log; may be empty.
  std::function<void(const std::string& state)> ShowState;
  // A line of the loop's own in the log (what it left out); may be empty.
  std::function<void(const std::string&)> ShowNote;
};

class TSendLoop {
 public:
  virtual ~TSendLoop() = default;
  // Returns when the data is exhausted, Cancel is seen, or on a failure. A
  // loop that sent the last piece has set TransferDone.
  virtual void Send(TSendContext& context) = 0;
};

// Cancel: the send loop stops before its next piece, and is woken wherever
// it waits: for the port's transmit-empty event, or in a write that the
// device does not take (cancelEvent ends it).
inline void RequestCancel(TUploadJob& job, TPlatform& platform, THandle cancelEvent) {
  job.CancelRequested = true;
  platform.SetEvent(cancelEvent);
  { std::lock_guard<std::mutex> hold(job.TransferLock); }
  job.TxReadyChanged.notify_all();
}

inline constexpr char UsbSendErrText[] = "USB Send Err Resend";
inline constexpr char UsbPortInvalidText[] = "USB Port INVALID";

}  // namespace vornex
