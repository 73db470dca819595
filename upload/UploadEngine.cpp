#include "upload/UploadEngine.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "forms/Convert.h"
#include "forms/Exception.h"

namespace vornex {

namespace fs = std::filesystem;

namespace {

bool FileExists(const std::string& name) {
  std::error_code ec;
  return !name.empty() && fs::exists(name, ec) && !fs::is_directory(name, ec);
}

}  // namespace

std::vector<std::uint8_t> ReadWholeFile(const std::string& name) {
  std::error_code ec;
  if (!fs::is_regular_file(name, ec))
    throw Exception("Cannot open file \"" + name + "\". It is not a regular file.");
  std::ifstream in(name, std::ios::binary);
  if (!in) throw Exception("Cannot open file \"" + name + "\". " + std::strerror(errno));
  in.seekg(0, std::ios::end);
  std::streamoff size = in.tellg();
  in.seekg(0, std::ios::beg);
  if (size < 0) throw Exception("Cannot read file \"" + name + "\".");
  // Checked before anything is read.
  if (size > LargestFile)
    throw Exception(TooLargeText("\"" + name + "\""));
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  if (size > 0 && !in.read(reinterpret_cast<char*>(bytes.data()), size))
    throw Exception("Cannot read file \"" + name + "\".");
  return bytes;
}

std::string TooLargeText(const std::string& what) {
  return what + " is 2 GiB or larger; Vornex sends files smaller than 2 GiB.";
}

TUploadEngine::TUploadEngine(TUploadJob& job, const TUploadControls& controls, THost& host,
                             TPlatform& platform)
    : Job(job),
      C(controls),
      Host(host),
      Platform(platform),
      CancelEvent(platform, platform.CreateEventA(true, false)) {}

TUploadEngine::~TUploadEngine() = default;

void TUploadEngine::SetSendLoop(std::int32_t mode, TSendLoop* loop) {
  if (mode >= 1 && mode <= LastTransferMode) Loops[static_cast<std::size_t>(mode)] = loop;
}

// --- Start and Cancel (UI thread) ---------------------------------------------

void TUploadEngine::BuStartClick() {
  // After a time-out the controls come back while a send loop may still be
  // stuck in a write; its data and counters must stay its own.
  if (Busy()) {
    Host.ShowMessage(StillStoppingText);
    return;
  }
  const std::int32_t blockSize = StrToInt(C.Edit1.Text());
  // A block of nothing would send nothing and still end as done. Refused
  // before any port is touched; the last good size stays.
  if (blockSize < 1) {
    Host.ShowMessage(BlockSizeTooSmallText);
    return;
  }
  Job.BlockSize = blockSize;
  if (SelectPort && !SelectPort()) return;
  C.LaSendPer.SetCaption("0");
  C.LaSendPer.Repaint();
  const std::string name = C.EdFileName.Text();
  if (!FileSource && !FileExists(name)) {
    Host.ShowMessage(FileNotFoundText);
    return;
  }
  StartTransfer(name);
}

void TUploadEngine::StartTransfer(const std::string& fileName) {
  DisableControls();
  try {
    Job.FileData.Assign(FileSource ? FileSource() : ReadWholeFile(fileName));
  } catch (const std::bad_alloc&) {
    EnableControls();
    Host.ShowMessage("Not enough memory to load \"" + fileName + "\".");
    return;
  } catch (const std::exception& e) {
    EnableControls();
    Host.ShowMessage(e.what());
    return;
  }
  Job.CancelRequested = false;
  Platform.ResetEvent(CancelEvent.Get());
  C.LaTOK.SetCaption("Loading");
  const auto size = static_cast<std::int32_t>(Job.FileData.Size());
  C.LaSendCountTotal.SetCaption("/" + IntToStr(size));
  C.PBPer.SetMax(size);
  Job.BlocksSent = 0;
  Job.BytesSent = 0;
  Job.PortOpened = false;
  C.GroupBox3.Repaint();
  C.TiCheck.SetEnabled(true);
  Job.PortText = C.ComboBox1.Text();
  Job.FileName = fileName;
  Job.StopReason.clear();
  Job.StallReason.Set({});
  Job.UsbPrinterPath = ChosenUsbPrinterPath ? ChosenUsbPrinterPath() : std::string();
  // Done is cleared before the request, so the worker never sees the last
  // job's completion with the new request.
  Job.TransferDone = false;
  {
    std::lock_guard<std::mutex> hold(WakeLock);
    Job.StartRequested = true;
  }
  WakeSignal.notify_all();
}

bool TUploadEngine::Delivered() const {
  return Job.TransferDone && !Busy() &&
         static_cast<std::size_t>(Job.BytesSent.load()) == Job.FileData.Size();
}

void TUploadEngine::BuCancelClick() { RequestCancel(Job, Platform, CancelEvent.Get()); }

void TUploadEngine::DisableControls() {
  C.BuBrowse.SetEnabled(false);
  C.BuSetupCom.SetEnabled(false);
  C.BuStart.SetEnabled(false);
  C.CBLineCheck.SetEnabled(false);
}

void TUploadEngine::EnableControls() {
  C.BuBrowse.SetEnabled(true);
  C.BuStart.SetEnabled(true);
  C.CBLineCheck.SetEnabled(true);
  C.BuSetupCom.SetEnabled(Job.TransferMode == tmSerial);
}

// --- the worker ---------------------------------------------------------------------

void TUploadEngine::WaitForStart(const std::function<bool()>& stop) {
  std::unique_lock<std::mutex> hold(WakeLock);
  WakeSignal.wait(hold, [&] { return Job.StartRequested.load() || stop(); });
}

void TUploadEngine::WakeWorker() {
  { std::lock_guard<std::mutex> hold(WakeLock); }
  WakeSignal.notify_all();
}

TSendContext TUploadEngine::MakeContext() {
  return TSendContext{
      Job, Platform, CancelEvent.Get(),
      [this](const std::string& text) { Host.Synchronize([&] { Host.ShowMessage(text); }); },
      [this] { Host.Synchronize([&] { C.BuExit.SetCaption(UsbSendErrText); }); },
      [this](const std::uint8_t* bytes, std::size_t count) {
        if (PrinterReplied) Host.Synchronize([&] { PrinterReplied(bytes, count); });
      },
      [this](const std::string& state) {
        if (JobStateChanged) Host.Synchronize([&] { JobStateChanged(state); });
      },
      [this](const std::string& note) {
        if (TransferNote) Host.Synchronize([&] { TransferNote(note); });
      }};
}

void TUploadEngine::RunTransfer() {
  if (!Job.StartRequested) return;
  const std::int32_t mode = Job.TransferMode;
  TSendLoop* loop = (mode >= 1 && mode <= LastTransferMode) ? Loops[static_cast<std::size_t>(mode)] : nullptr;
  std::string failure;
  try {
    if (loop) {
      TSendContext context = MakeContext();
      loop->Send(context);
    }
  } catch (const std::exception& e) {
    failure = e.what();
  } catch (...) {
    failure = "The transfer failed.";
  }
  // Both on the UI thread in one go, so no Start can slip in between the
  // controls coming back and the job becoming idle.
  bool ran = Host.Synchronize([&] {
    EnableControls();
    Job.StartRequested = false;
    if (!failure.empty()) Host.ShowMessage(failure);
    if (TransferEnded) {
      try {
        TransferEnded();
      } catch (...) {
        Host.HandleException(std::current_exception());
      }
    }
  });
  if (!ran) Job.StartRequested = false;
}

// --- the progress monitor (UI thread) ---------------------------------------------

void TUploadEngine::TiCheckTimer() {
  const std::int32_t bytes = Job.BytesSent;
  C.LaSendCount.SetCaption(IntToStr(bytes));
  C.PBPer.SetPosition(bytes);
  const std::int64_t max = C.PBPer.Max();
  // An empty file has nothing to divide by: it is all sent once done.
  const std::int64_t percent = max > 0 ? std::int64_t(bytes) * 100 / max : (Job.TransferDone ? 100 : 0);
  C.LaSendPer.SetCaption(IntToStr(percent));

  if (C.CBLineCheck.Checked()) Rule.Tick(Job.BlocksSent);
  if (Rule.TimedOut()) {
    C.TiCheck.SetEnabled(false);
    // What held the transfer up, where the send loop knows (a print job's
    // last state).
    const std::string reason = Job.StallReason.Get();
    Host.ShowMessage(reason.empty() ? std::string(TimeOutText) : std::string(TimeOutText) + ": " + reason);
    EnableControls();
    Rule.Stall = 0;
    BuCancelClick();
  }
  // A job ends for the monitor only once the worker has let go of it, so a
  // repetition never meets a send loop that is still closing its port.
  const bool workerIdle = !Job.StartRequested;
  if (Job.TransferDone && workerIdle) {
    Rule.Stall = 0;
    C.TiCheck.SetEnabled(false);
    const double seconds = StrToFloat(C.EdRepeatTime.Text());
    double ms = std::trunc(seconds * 1000.0);
    // A delay of 0 still repeats, at once; huge ones are capped.
    ms = std::min(std::max(ms, 1.0), 2147483647.0);
    C.TiRepeat.SetInterval(static_cast<int>(ms));
    C.TiRepeat.SetEnabled(true);
  }
  // A cancel stops the monitor at once, even while the send loop is still
  // held in a write: the user has stopped the transfer, and no "Time Out"
  // may follow. The controls come back when the loop returns.
  if (Job.CancelRequested) {
    Rule.Stall = 0;
    C.TiCheck.SetEnabled(false);
  }
}

void TUploadEngine::TiRepeatTimer() {
  // One-shot; off first so that a failure below cannot leave it running.
  C.TiRepeat.SetEnabled(false);
  if (!C.CBRepeat.Checked()) return;
  BuStartClick();
  ++Job.RepeatDone;
  if (StrToInt(C.EdRepeatCount.Text()) == Job.RepeatDone) C.CBRepeat.SetChecked(false);
  C.LaCount.SetCaption(IntToStr(Job.RepeatDone));
}

}  // namespace vornex
