#include "upload/SpoolerTransport.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "upload/PrintQueueName.h"

namespace vornex {

namespace {

constexpr char RawDatatype[] = "RAW";
// What a queue whose print processor refuses RAW takes unchanged.
constexpr char XpsPassDatatype[] = "XPS_PASS";

constexpr DWORD TroubleBits =
    JOB_STATUS_ERROR | JOB_STATUS_PAPEROUT | JOB_STATUS_USER_INTERVENTION | JOB_STATUS_BLOCKED_DEVQ;

// What the status bits say, for a spooler that gives no words of its own.
std::string BitsWords(DWORD status) {
  if (status & JOB_STATUS_PAPEROUT) return "out of paper";
  if (status & JOB_STATUS_USER_INTERVENTION) return "the printer needs attention";
  if (status & JOB_STATUS_BLOCKED_DEVQ) return "the driver cannot print the job";
  if (status & JOB_STATUS_OFFLINE) return "the printer is offline";
  if (status & JOB_STATUS_PAUSED) return "the job is paused";
  if (status & JOB_STATUS_ERROR) return "the printer reports an error";
  return {};
}

// The file's own name, without its folder: the job's title in the queue.
std::string JobTitle(const std::string& fileName) {
  const std::size_t slash = fileName.find_last_of("/\\");
  const std::string name = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
  return name.empty() ? "Vornex" : name;
}

std::string JobCalled(DWORD jobId) { return "job " + std::to_string(jobId); }

}  // namespace

std::string PrintQueueErrorText(TPlatform& platform, const std::string& queue, DWORD error) {
  if (error == ERROR_INVALID_PRINTER_NAME) return queue + ": no such print queue";
  return queue + ": " + platform.Reason(error);
}

std::string NotAPrintQueueText(const std::string& portText) {
  return "\"" + portText + "\" names no print queue: write PRINTER:NAME.";
}

std::string QueuedText(DWORD jobId) { return "queued as " + JobCalled(jobId); }

TSpoolerTransport::TState TSpoolerTransport::Classify(const TJobInfo& job, DWORD jobId) {
  const DWORD s = job.Status;
  const std::string why = job.StatusText.empty() ? BitsWords(s) : job.StatusText;
  auto because = [&](const char* what) { return why.empty() ? std::string(what) : std::string(what) + ": " + why; };
  // The spooler marks a printed job before it lets go of it.
  if (s & (JOB_STATUS_PRINTED | JOB_STATUS_COMPLETE)) return {TKind::Completed, "completed"};
  if (s & (JOB_STATUS_DELETED | JOB_STATUS_DELETING)) {
    if (s & JOB_STATUS_ERROR) return {TKind::Aborted, because("aborted")};
    return {TKind::Cancelled, because("cancelled by someone else")};
  }
  if (s & JOB_STATUS_PAUSED) return {TKind::Held, because("held by the queue")};
  if (s & TroubleBits) return {TKind::Stopped, because("stopped")};
  if (s & JOB_STATUS_OFFLINE) return {TKind::Waiting, because("waiting for the printer")};
  if (s & JOB_STATUS_PRINTING) return {TKind::Printing, because("printing")};
  return {TKind::Queued, QueuedText(jobId)};
}

void TSpoolerTransport::CancelJob(TSendContext& c, THandle printer, DWORD jobId, const std::string& queue) {
  if (c.Platform.Spooler().SetJobA(printer, jobId, JOB_CONTROL_DELETE)) {
    if (c.ShowState) c.ShowState("cancelled in the queue");
    return;
  }
  c.ShowMessage(queue + ": " + JobCalled(jobId) +
                " could not be cancelled: " + c.Platform.Reason(c.Platform.GetLastError()));
}

bool TSpoolerTransport::Follow(TSendContext& c, THandle printer, DWORD jobId, const std::string& queue) {
  TSpooler& spooler = c.Platform.Spooler();
  std::string shown = QueuedText(jobId);
  DWORD lastStatus = 0, lastPages = 0;
  for (;;) {
    if (c.Job.CancelRequested) {
      CancelJob(c, printer, jobId, queue);
      return false;
    }
    TJobInfo job;
    TState now;
    const bool known = spooler.GetJobA(printer, jobId, job);
    if (known) {
      now = Classify(job, jobId);
      lastStatus = job.Status;
    } else if (const DWORD error = c.Platform.GetLastError(); error == ERROR_INVALID_PARAMETER) {
      // Gone from the queue: the spooler forgets a job once it has printed
      // it, and one it was deleting was cancelled.
      now = lastStatus & (JOB_STATUS_DELETING | JOB_STATUS_DELETED)
                ? TState{TKind::Cancelled, "cancelled by someone else"}
                : TState{TKind::Completed, "completed"};
    } else {
      // Asked again at the next turn; the stall rule ends a spooler that
      // never answers.
      now = {TKind::Waiting, "the spooler does not answer: " + c.Platform.Reason(error)};
    }
    // Forward: a new state or a page more. A spooler tells nothing of the
    // bytes a printing job has sent, so a printer that is off and one that
    // takes over a minute for a job look the same.
    const bool moved = now.Text != shown || (known && job.PagesPrinted > lastPages);
    if (known) lastPages = std::max(lastPages, job.PagesPrinted);
    // The reason and the count first: a tick that follows the log line
    // sees the state it shows.
    c.Job.StallReason.Set(now.Text);
    if (moved) c.Job.BlocksSent += 1;
    if (now.Text != shown) {
      shown = now.Text;
      if (c.ShowState) c.ShowState(shown);
    }
    switch (now.Kind) {
      case TKind::Completed:
        return true;
      case TKind::Cancelled:
      case TKind::Aborted:
        c.ShowMessage(queue + ": " + JobCalled(jobId) + " was " + shown + ". It did not print.");
        return false;
      default:
        break;
    }
    c.Platform.WaitForSingleObject(c.CancelEvent, PollMs);
  }
}

void TSpoolerTransport::Send(TSendContext& c) {
  const std::vector<std::string> names = PrintQueueNames(c.Job.PortText);
  if (names.empty()) {
    c.ShowMessage(NotAPrintQueueText(c.Job.PortText));
    return;
  }
  std::string queue = PrintQueuePortText(names.front());
  // A spooler keeps no job without data (CUPS refuses one).
  if (c.Job.FileData.Size() == 0) {
    c.ShowMessage(queue + ": the file is empty, and a print queue takes no empty job. Nothing was sent.");
    return;
  }
  TSpooler& spooler = c.Platform.Spooler();
  THandle opened = NoHandle;
  DWORD error = ERROR_INVALID_PRINTER_NAME;
  for (const std::string& name : names) {
    // The job's state from the spooler itself, also for a shared printer.
    if (spooler.OpenPrinter2A(name, opened, PRINTER_OPTION_NO_CACHE)) {
      queue = PrintQueuePortText(name);
      error = ERROR_SUCCESS;
      break;
    }
    error = c.Platform.GetLastError();
    if (error != ERROR_INVALID_PRINTER_NAME) break;
  }
  if (error != ERROR_SUCCESS) {
    c.ShowMessage(PrintQueueErrorText(c.Platform, queue, error));
    return;
  }
  TPrinterHandle printer(spooler, opened);

  const std::string title = JobTitle(c.Job.FileName);
  DWORD job = spooler.StartDocPrinterA(printer.Get(), title, RawDatatype);
  if (job == 0 && c.Platform.GetLastError() == ERROR_INVALID_DATATYPE)
    job = spooler.StartDocPrinterA(printer.Get(), title, XpsPassDatatype);
  if (job == 0) {
    error = c.Platform.GetLastError();
    c.ShowMessage(error == ERROR_INVALID_DATATYPE
                      ? queue +
                            ": the queue's print processor takes neither RAW nor XPS_PASS data, so the file "
                            "cannot reach the printer unchanged. Nothing was sent."
                      : PrintQueueErrorText(c.Platform, queue, error));
    return;
  }
  // Reached: a job exists, so a fleet never queues the file a second time.
  c.Job.PortOpened = true;
  c.Job.StallReason.Set(QueuedText(job));
  if (c.ShowState) c.ShowState(QueuedText(job));

  // The job is deleted when it cannot be finished: half a file must not print.
  auto abandon = [&] {
    spooler.SetJobA(printer.Get(), job, JOB_CONTROL_DELETE);
    spooler.EndDocPrinter(printer.Get());
  };
  std::uint8_t block[MaxBlockSize];
  while (!c.Job.CancelRequested) {
    const auto size =
        static_cast<std::size_t>(std::clamp<std::int32_t>(c.Job.BlockSize, 0, static_cast<std::int32_t>(MaxBlockSize)));
    const std::size_t n = c.Job.FileData.Read(block, size);
    if (n == 0) break;
    // Counted as the spooler takes them; what it did not take is written again.
    for (std::size_t done = 0; done < n;) {
      DWORD written = 0;
      const bool ok = spooler.WritePrinter(printer.Get(), block + done, static_cast<DWORD>(n - done), written);
      c.Job.BytesSent += static_cast<std::int32_t>(written);
      done += written;
      if (ok && written > 0) continue;
      error = ok ? ERROR_GEN_FAILURE : c.Platform.GetLastError();
      abandon();
      c.ShowMessage(queue + ": the spooler stopped taking the file after " + std::to_string(c.Job.BytesSent) +
                    " bytes: " + c.Platform.Reason(error) + ". " + JobCalled(job) + " was deleted.");
      return;
    }
    c.Job.BlocksSent += 1;
  }
  if (c.Job.CancelRequested) {
    CancelJob(c, printer.Get(), job, queue);
    spooler.EndDocPrinter(printer.Get());
    return;
  }
  if (!spooler.EndDocPrinter(printer.Get())) {
    error = c.Platform.GetLastError();
    spooler.SetJobA(printer.Get(), job, JOB_CONTROL_DELETE);
    c.ShowMessage(queue + ": the spooler did not take the end of " + JobCalled(job) + ": " + c.Platform.Reason(error) +
                  ". The job was deleted.");
    return;
  }
  if (Follow(c, printer.Get(), job, queue)) c.Job.TransferDone = true;
}

}  // namespace vornex
