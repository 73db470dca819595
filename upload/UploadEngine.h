// Start, Cancel, the worker's dispatch, and the progress monitor with its
// time-out and repeat series.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "forms/Controls.h"
#include "forms/Host.h"
#include "os/Platform.h"
#include "upload/Job.h"
#include "upload/SendLoop.h"
#include "upload/StallRule.h"

namespace vornex {

// The main window's controls the engine reads and writes.
struct TUploadControls {
  TEdit& Edit1;
  TEdit& EdFileName;
  TComboBox& ComboBox1;
  TButton& BuBrowse;
  TButton& BuSetupCom;
  TButton& BuStart;
  TButton& BuExit;
  TCheckBox& CBLineCheck;
  TGroupBox& GroupBox3;
  TLabel& LaTOK;
  TLabel& LaSendCount;
  TLabel& LaSendCountTotal;
  TLabel& LaSendPer;
  TProgressBar& PBPer;
  TEdit& EdRepeatTime;
  TEdit& EdRepeatCount;
  TCheckBox& CBRepeat;
  TLabel& LaCount;
  TTimer& TiCheck;
  TTimer& TiRepeat;
};

inline constexpr char FileNotFoundText[] = "File not found Please renter file name";
inline constexpr char TimeOutText[] = "Time Out";
inline constexpr char BlockSizeTooSmallText[] =
    "The block size must be 1 or more. Nothing was sent.";
inline constexpr char StillStoppingText[] =
    "The last transfer is still stopping. Press Start again in a moment.";
// The counters and the progress bar are 32-bit.
inline constexpr std::int64_t LargestFile = 0x7FFFFFFF;
// What is said of a file (a quoted name, or standard input) too large to send.
std::string TooLargeText(const std::string& what);

// The whole file, read as Start reads it, or an Exception saying why not.
std::vector<std::uint8_t> ReadWholeFile(const std::string& name);

class TUploadEngine {
 public:
  TUploadEngine(TUploadJob& job, const TUploadControls& controls, THost& host,
                TPlatform& platform);
  TUploadEngine(const TUploadEngine&) = delete;
  TUploadEngine& operator=(const TUploadEngine&) = delete;
  ~TUploadEngine();

  // Port selection, re-run by every Start (the port box's change handler);
  // false when the port is refused and the Start goes no further.
  std::function<bool()> SelectPort;
  // The USB printer a transfer in mode 4 sends to, or empty; asked at Start.
  std::function<std::string()> ChosenUsbPrinterPath;
  // Where each Start takes the file from when it is not the file named in
  // the file box: bytes read once from standard input by the command line.
  std::function<std::vector<std::uint8_t>()> FileSource;
  // On the UI thread, once a send loop has returned and the job is idle.
  std::function<void()> TransferEnded;
  // On the UI thread: bytes a printer sent back during a transfer over the
  // network.
  std::function<void(const std::uint8_t* bytes, std::size_t count)> PrinterReplied;
  // On the UI thread: a print job's state has changed.
  std::function<void(const std::string& state)> JobStateChanged;
  // On the UI thread: a line for the log from the send loop itself.
  std::function<void(const std::string& note)> TransferNote;
  // The send loop of each transfer mode (1..6); none runs nothing.
  void SetSendLoop(std::int32_t mode, TSendLoop* loop);

  // UI thread
  void BuStartClick();
  void StartTransfer(const std::string& fileName);
  void BuCancelClick();
  void DisableControls();
  void EnableControls();
  void TiCheckTimer();
  void TiRepeatTimer();

  // Worker thread
  void RunTransfer();
  // Sleeps until a job is armed or `stop` holds.
  void WaitForStart(const std::function<bool()>& stop);
  void WakeWorker();

  // A send loop is running (or still stopping after a time-out).
  bool Busy() const { return Job.StartRequested.load(); }
  std::int32_t StallSeconds() const { return Rule.Stall; }
  // Seconds without progress after which the monitor gives up ("Time Out"
  // on the next tick); the window's is 60.
  void SetStallLimit(std::int32_t seconds) { Rule.Limit = seconds; }
  std::int32_t StallLimit() const { return Rule.Limit; }
  // The last transfer is over and the port took every byte of the file (a
  // USB transfer ended by Cancel is done, but not delivered).
  bool Delivered() const;

 private:
  TSendContext MakeContext();

  TUploadJob& Job;
  TUploadControls C;
  THost& Host;
  TPlatform& Platform;
  TPlatformHandle CancelEvent;
  std::array<TSendLoop*, LastTransferMode + 1> Loops{};
  std::mutex WakeLock;
  std::condition_variable WakeSignal;

  TStallRule Rule;
};

}  // namespace vornex
