// The upload job: what the UI thread prepares and the worker carries out.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vornex {

// The file's bytes, loaded once and never changed: transfers to several
// printers read the same copy.
using TSharedBytes = std::shared_ptr<const std::vector<std::uint8_t>>;

// The whole file in memory, with a read position of its own.
class TFileData {
 public:
  void Assign(std::vector<std::uint8_t>&& bytes) {
    Share(std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes)));
  }
  // Reads bytes that other transfers read too, from the start.
  void Share(TSharedBytes bytes) {
    Bytes = bytes ? std::move(bytes) : Empty();
    Pos = 0;
  }
  // Copies up to max bytes from the read position and advances it.
  std::size_t Read(void* into, std::size_t max);
  bool AtEnd() const { return Pos == Bytes->size(); }
  std::size_t Size() const { return Bytes->size(); }

 private:
  static TSharedBytes Empty();
  // The next up to max bytes in place, advancing the read position.
  const std::uint8_t* Take(std::size_t max, std::size_t& taken);

  TSharedBytes Bytes = Empty();
  std::size_t Pos = 0;
};

enum TTransferMode : std::int32_t {
  tmSerial = 1,
  tmParallel = 2,
  tmVendorUsb = 3,
  tmUsbPrinter = 4,
  // A printer reached over TCP (a TCP: port text).
  tmNetwork = 5,
  // A print queue of the system's spooler (a PRINTER: port text).
  tmPrintQueue = 6,
};
inline constexpr std::int32_t LastTransferMode = tmPrintQueue;

// A text one thread writes and another reads.
class TSharedText {
 public:
  void Set(std::string text) {
    std::lock_guard<std::mutex> hold(Lock);
    Text = std::move(text);
  }
  std::string Get() const {
    std::lock_guard<std::mutex> hold(Lock);
    return Text;
  }

 private:
  mutable std::mutex Lock;
  std::string Text;
};

// The flags and counters are written by one thread and read by another.
struct TUploadJob {
  TFileData FileData;
  std::atomic<std::int32_t> TransferMode{tmSerial};
  std::atomic<std::int32_t> BlockSize{512};
  std::atomic<bool> StartRequested{false};
  std::atomic<bool> CancelRequested{false};
  std::atomic<bool> TransferDone{false};
  std::atomic<bool> TxReady{false};
  std::atomic<std::int32_t> BlocksSent{0};
  std::atomic<std::int32_t> BytesSent{0};
  // Set by the send loop once its port is open (or the printer has taken
  // the connection): a transfer that never got that far sent nothing.
  std::atomic<bool> PortOpened{false};
  // Guards the hand-over of TxReady between the serial loop and the
  // transmit-empty event; TxReadyChanged wakes the loop.
  std::mutex TransferLock;
  std::condition_variable TxReadyChanged;
  std::int32_t RepeatDone = 0;  // UI thread only

  // Taken at Start on the UI thread, so the worker never reads a control
  // nor a list that a drop-down may be rebuilding.
  std::string PortText;
  std::string UsbPrinterPath;
  // The device the port text names by its absolute path (a Linux tty opened
  // as it stands rather than as \\.\<text>); empty for a port name. Set by
  // port selection.
  std::string DevicePath;
  // The file's name as given, for a print job's title.
  std::string FileName;
  // Why the send loop stopped short when it showed nothing: written by the
  // worker before it lets go of the job, read once it has.
  std::string StopReason;
  // What holds the transfer up when it makes no progress (a print job's
  // last state), for the time-out's message; kept up to date by the worker.
  TSharedText StallReason;
};

}  // namespace vornex
