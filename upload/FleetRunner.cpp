#include "upload/FleetRunner.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "forms/Thread.h"
#include "upload/NetworkTransport.h"
#include "upload/ParallelTransport.h"
#include "upload/RxLog.h"
#include "upload/SendLoop.h"
#include "upload/SerialTransport.h"
#include "upload/SpoolerTransport.h"
#include "upload/UploadEngine.h"
#include "upload/UsbPrinterTransport.h"
#include "upload/VendorUsbTransport.h"

namespace vornex {

const char* OutcomeWord(TFleetOutcome outcome) {
  switch (outcome) {
    case TFleetOutcome::Completed: return "completed";
    case TFleetOutcome::Failed: return "failed";
    case TFleetOutcome::Cancelled: return "cancelled";
    case TFleetOutcome::TimedOut: return "timed out";
    case TFleetOutcome::NotStarted: break;
  }
  return "not started";
}

// One port's printer, from the first try to its result. Guarded by the
// runner's lock, but for the reply, which has its own.
struct TFleetRunner::TPrinter {
  enum class TPhase { Waiting, Running, Done };
  TFleetPort Port;
  std::size_t Index = 0;
  TFleetResult Result;
  TPhase Phase = TPhase::Waiting;
  Clock::time_point NotBefore{};
  Clock::time_point FirstTry{};
  std::int32_t CopiesDone = 0;
  std::int64_t EarlierBytes = 0;  // of the copies done
  std::int32_t FailedTries = 0;   // of this copy, that did not reach the printer
  std::string LastFailure;        // why the last of them failed
  std::string Remark;             // said of a transfer that went through
  TTransfer* Running = nullptr;
  TStallRule Rule;
  bool TimedOut = false;
  TFirstLine Reply;
};

// One try: a transfer as Start arms it and the worker runs it, to one port.
class TFleetRunner::TTransfer {
 public:
  TTransfer(TFleetRunner& runner, TPrinter& printer);
  // Worker thread: opens, sends, closes.
  void Run();
  // Any thread.
  void Cancel() { RequestCancel(Job, Platform, CancelEvent.Get()); }

  TUploadJob Job;
  // What the send loop would have shown: the first message, the failure
  // that escaped it, and whether a USB block had to go twice.
  std::string Message;
  std::string Failure;
  bool Resent = false;

 private:
  TPlatform& Platform;
  TPrinter& Printer;
  TPlatformHandle CancelEvent;
  std::unique_ptr<TComm> Comm;
  std::unique_ptr<TSendLoop> Loop;
};

TFleetRunner::TTransfer::TTransfer(TFleetRunner& runner, TPrinter& printer)
    : Platform(runner.Platform), Printer(printer), CancelEvent(Platform, Platform.CreateEventA(true, false)) {
  const TFleetPort& port = printer.Port;
  Job.FileData.Share(runner.File);
  Job.TransferMode = port.Mode;
  Job.BlockSize = runner.Options.BlockSize;
  Job.PortText = port.Text;
  Job.UsbPrinterPath = port.UsbPrinterPath;
  Job.DevicePath = port.DevicePath;
  Job.FileName = runner.Options.FileName;
  switch (port.Mode) {
    case tmSerial: {
      Comm = std::make_unique<TComm>(Platform, runner.Host);
      DeclareComm1(*Comm);
      if (runner.Options.SetUpSerial) runner.Options.SetUpSerial(*Comm);
      auto serial = std::make_unique<TSerialTransport>(*Comm, Job);
      // Both on the host's UI thread, as the window has them.
      Comm->OnTxEmpty = [s = serial.get()](TThreadComm&) { s->Comm1TxEmpty(); };
      Comm->OnRxChar = [this](TThreadComm& comm, std::uint32_t count) {
        std::uint8_t buffer[TRxLog::ReceiveBufferSize];
        while (count > 0) {
          const auto want = std::min<std::uint32_t>(count, sizeof buffer);
          const std::int32_t r = comm.Read(buffer, want);
          if (r <= 0) return;
          Printer.Reply.Add(buffer, static_cast<std::size_t>(r));
          count -= static_cast<std::uint32_t>(r);
        }
      };
      Loop = std::move(serial);
      break;
    }
    case tmParallel: Loop = std::make_unique<TParallelTransport>(); break;
    case tmVendorUsb: Loop = std::make_unique<TVendorUsbTransport>(); break;
    case tmUsbPrinter: Loop = std::make_unique<TUsbPrinterTransport>(); break;
    case tmPrintQueue: Loop = std::make_unique<TSpoolerTransport>(); break;
    case tmNetwork: {
      auto network = std::make_unique<TNetworkTransport>();
      if (runner.Options.ConnectLimitMs > 0) network->ConnectLimitMs = runner.Options.ConnectLimitMs;
      Loop = std::move(network);
      break;
    }
    default: break;
  }
}

void TFleetRunner::TTransfer::Run() {
  if (!Loop) {
    Failure = "No transfer goes to this port.";
    return;
  }
  if (!CancelEvent.Valid()) {
    Failure = "The transfer could not be prepared (error " + std::to_string(Platform.GetLastError()) + ").";
    return;
  }
  // Nobody waits on a message box here: what the loop would show is its
  // reason, and the printer's words are its reply.
  TSendContext context{Job, Platform, CancelEvent.Get(),
                       [this](const std::string& text) {
                         if (Message.empty()) Message = text;
                       },
                       [this] { Resent = true; },
                       [this](const std::uint8_t* bytes, std::size_t count) { Printer.Reply.Add(bytes, count); },
                       // No log: a print job's states show in the result's reason, and
                       // only the reply's first line is kept.
                       nullptr, nullptr};
  try {
    Loop->Send(context);
  } catch (const std::exception& e) {
    Failure = e.what();
  } catch (...) {
    Failure = "The transfer failed.";
  }
}

class TFleetRunner::TWorker : public TThread {
 public:
  TWorker(THost& host, TFleetRunner& runner) : TThread(host), Runner(runner) { Start(); }
  ~TWorker() override {
    Terminate();
    WaitFor();
  }

 protected:
  void Execute() override { Runner.Serve(*this); }
  void WakeUp() override {
    { std::lock_guard<std::mutex> hold(Runner.Lock); }
    Runner.Changed.notify_all();
  }

 private:
  TFleetRunner& Runner;
};

TFleetRunner::TFleetRunner(THost& host, TPlatform& platform, TFleetOptions options)
    : Host(host), Platform(platform), Options(std::move(options)) {}

TFleetRunner::~TFleetRunner() {
  Cancel();
  // Each waits for its worker while serving the calls the serial ports'
  // event threads hand to this thread.
  Workers.clear();
}

void TFleetRunner::Start(const std::vector<TFleetPort>& ports, TSharedBytes file) {
  if (!Printers.empty() || !Workers.empty()) return;
  File = file ? std::move(file) : std::make_shared<const std::vector<std::uint8_t>>();
  const std::int64_t copies = 1 + std::int64_t(std::max(0, Options.Repeats));
  {
    std::lock_guard<std::mutex> hold(Lock);
    for (const TFleetPort& port : ports) {
      auto printer = std::make_unique<TPrinter>();
      printer->Port = port;
      printer->Index = Printers.size();
      printer->Result.Port = port.Text;
      printer->Result.BytesTotal = std::int64_t(File->size()) * copies;
      Printers.push_back(std::move(printer));
    }
  }
  const std::size_t workers = std::min<std::size_t>(std::max(1, Options.Jobs), ports.size());
  for (std::size_t i = 0; i < workers; ++i) Workers.push_back(std::make_unique<TWorker>(Host, *this));
}

TFleetRunner::TPrinter* TFleetRunner::NextReady(Clock::time_point now, Clock::time_point& nextDue) {
  nextDue = Clock::time_point::max();
  for (auto& p : Printers) {
    if (p->Phase != TPrinter::TPhase::Waiting || BusyDevices.count(p->Port.Identity)) continue;
    if (p->NotBefore <= now) return p.get();
    nextDue = std::min(nextDue, p->NotBefore);
  }
  return nullptr;
}

void TFleetRunner::Serve(TWorker& worker) {
  std::unique_lock<std::mutex> hold(Lock);
  for (;;) {
    if (worker.Terminated() || Cancelled) return;
    const auto now = Clock::now();
    Clock::time_point nextDue;
    TPrinter* printer = NextReady(now, nextDue);
    if (!printer) {
      // Nothing waits: the printers still running are their workers'.
      const bool anyWaiting = std::any_of(Printers.begin(), Printers.end(), [](const auto& p) {
        return p->Phase == TPrinter::TPhase::Waiting;
      });
      if (!anyWaiting) return;
      if (nextDue == Clock::time_point::max())
        Changed.wait(hold);
      else
        Changed.wait_until(hold, nextDue);
      continue;
    }
    printer->Phase = TPrinter::TPhase::Running;
    BusyDevices.insert(printer->Port.Identity);
    if (printer->Result.Tries == 0) printer->FirstTry = now;
    ++printer->Result.Tries;
    printer->Rule = TStallRule{};
    printer->Rule.Limit = Options.StallLimit;
    printer->TimedOut = false;
    Events.push_back({TFleetEvent::Started, printer->Index, printer->Result.Tries, 0, {}});
    auto transfer = std::make_unique<TTransfer>(*this, *printer);
    printer->Running = transfer.get();
    hold.unlock();
    transfer->Run();
    hold.lock();
    printer->Running = nullptr;
    BusyDevices.erase(printer->Port.Identity);
    Settle(*printer, *transfer, Clock::now());
    hold.unlock();
    transfer.reset();
    Changed.notify_all();
    hold.lock();
  }
}

void TFleetRunner::Settle(TPrinter& p, const TTransfer& t, Clock::time_point now) {
  const std::int64_t size = std::int64_t(File->size());
  const std::int64_t copies = 1 + std::int64_t(std::max(0, Options.Repeats));
  const std::int64_t sent = t.Job.BytesSent;
  p.Result.BytesSent = p.EarlierBytes + sent;
  // Which copy, when there are several.
  const std::string copy =
      copies > 1 ? "copy " + std::to_string(p.CopiesDone + 1) + " of " + std::to_string(copies) + ": " : "";
  auto remark = [&](const std::string& text) {
    if (p.Remark.empty()) p.Remark = copy + text;
  };
  if (t.Resent) remark(std::string("a USB block was refused and sent again (") + UsbSendErrText + ")");

  // Delivered once the port took the whole file, whatever came after (a
  // cancel or the time-out after the last byte).
  if (t.Job.TransferDone && sent == size) {
    if (p.FailedTries > 0)
      remark("reached on try " + std::to_string(p.FailedTries + 1) + "; before: " + p.LastFailure);
    ++p.CopiesDone;
    p.EarlierBytes += size;
    p.FailedTries = 0;
    if (p.CopiesDone >= copies) return End(p, TFleetOutcome::Completed, p.Remark, now);
    if (Cancelled)
      return End(p, TFleetOutcome::Cancelled,
                 "cancelled after " + std::to_string(p.CopiesDone) + " of " + std::to_string(copies) + " copies", now);
    p.Phase = TPrinter::TPhase::Waiting;
    p.NotBefore = now + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(Options.Delay));
    return;
  }

  std::string reason = !t.Message.empty() ? t.Message : !t.Failure.empty() ? t.Failure : t.Job.StopReason;
  TFleetOutcome outcome = TFleetOutcome::Failed;
  if (p.TimedOut) {
    outcome = TFleetOutcome::TimedOut;
    // What held it up, where the send loop knows: a print job's last state.
    const std::string held = t.Job.StallReason.Get();
    reason = std::string(TimeOutText) + ": no progress for more than " + std::to_string(Options.StallLimit) + " s" +
             (held.empty() ? "" : "; " + held) + (t.Job.StopReason.empty() ? "" : "; " + t.Job.StopReason);
  } else if (t.Job.CancelRequested) {
    outcome = TFleetOutcome::Cancelled;
    reason = "cancelled";
  } else if (reason.empty()) {
    reason = "the transfer stopped before the whole file was sent";
  }
  // Another try only for a printer that was never reached: nothing went,
  // so nothing can be printed twice.
  const bool reached = t.Job.PortOpened;
  if (outcome != TFleetOutcome::Cancelled && !reached && p.FailedTries < Options.Retries && !Cancelled) {
    // At most the longest pause a timer can wait.
    const double delay = std::min(Options.RetryDelay * std::pow(2.0, p.FailedTries), 2147483.0);
    ++p.FailedTries;
    p.LastFailure = reason;
    p.Phase = TPrinter::TPhase::Waiting;
    p.NotBefore = now + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(delay));
    Events.push_back({TFleetEvent::Retrying, p.Index, p.Result.Tries, delay, reason});
    return;
  }
  if (outcome != TFleetOutcome::Cancelled && reached && Options.Retries > 0)
    reason += sent > 0 ? "; not sent again: " + std::to_string(sent) + " bytes had gone to the printer"
                       : "; not sent again: the printer had been reached";
  End(p, outcome, copy + reason, now);
}

void TFleetRunner::End(TPrinter& p, TFleetOutcome outcome, std::string reason, Clock::time_point now) {
  p.Phase = TPrinter::TPhase::Done;
  p.Result.Outcome = outcome;
  p.Result.Reason = std::move(reason);
  if (p.Result.Tries > 0) p.Result.Seconds = std::chrono::duration<double>(now - p.FirstTry).count();
  Events.push_back({TFleetEvent::Ended, p.Index, p.Result.Tries, 0, {}});
  if (++Ended == Printers.size() && OnFinished) OnFinished();
}

void TFleetRunner::TiCheckTimer() {
  if (!Options.LineCheck) return;
  std::lock_guard<std::mutex> hold(Lock);
  for (auto& p : Printers) {
    if (!p->Running || p->TimedOut) continue;
    p->Rule.Tick(p->Running->Job.BlocksSent);
    if (!p->Rule.TimedOut()) continue;
    p->TimedOut = true;
    p->Running->Cancel();
  }
}

void TFleetRunner::Cancel() {
  {
    std::lock_guard<std::mutex> hold(Lock);
    if (Cancelled) return;
    Cancelled = true;
    const auto now = Clock::now();
    for (auto& p : Printers) {
      if (p->Running) p->Running->Cancel();
      if (p->Phase != TPrinter::TPhase::Waiting) continue;
      if (p->Result.Tries == 0)
        End(*p, TFleetOutcome::NotStarted, "cancelled before its turn", now);
      else if (p->FailedTries > 0)
        End(*p, TFleetOutcome::Cancelled, "cancelled while waiting to try again; the last try: " + p->LastFailure,
            now);
      else
        End(*p, TFleetOutcome::Cancelled, "cancelled between copies", now);
    }
  }
  Changed.notify_all();
}

bool TFleetRunner::Finished() const {
  std::lock_guard<std::mutex> hold(Lock);
  return Ended == Printers.size();
}

std::vector<TFleetResult> TFleetRunner::Results() const {
  std::lock_guard<std::mutex> hold(Lock);
  std::vector<TFleetResult> results;
  for (const auto& p : Printers) {
    results.push_back(p->Result);
    results.back().Reply = p->Reply.Text();
  }
  return results;
}

TFleetResult TFleetRunner::Result(std::size_t index) const {
  std::lock_guard<std::mutex> hold(Lock);
  if (index >= Printers.size()) return {};
  TFleetResult result = Printers[index]->Result;
  result.Reply = Printers[index]->Reply.Text();
  return result;
}

std::vector<TFleetProgress> TFleetRunner::Progress() const {
  std::lock_guard<std::mutex> hold(Lock);
  std::vector<TFleetProgress> progress;
  const auto now = Clock::now();
  for (const auto& p : Printers) {
    const bool waiting = p->Phase == TPrinter::TPhase::Waiting && p->Result.Tries > 0;
    if (!p->Running && !waiting) continue;
    TFleetProgress row;
    row.Index = p->Index;
    row.Port = p->Port.Text;
    row.BytesSent = p->EarlierBytes + (p->Running ? p->Running->Job.BytesSent.load() : 0);
    row.BytesTotal = p->Result.BytesTotal;
    row.Seconds = std::chrono::duration<double>(now - p->FirstTry).count();
    row.StallSeconds = p->Running ? p->Rule.Stall : 0;
    row.Waiting = !p->Running;
    progress.push_back(row);
  }
  return progress;
}

std::vector<TFleetEvent> TFleetRunner::TakeEvents() {
  std::lock_guard<std::mutex> hold(Lock);
  std::vector<TFleetEvent> events;
  events.swap(Events);
  return events;
}

}  // namespace vornex
