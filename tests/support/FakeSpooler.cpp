#include "tests/support/FakeRoles.h"

namespace vornex::test {

bool TFakeSpooler::EnumPrintersA(DWORD, std::vector<TPrinterInfo>& printers) {
  std::lock_guard<std::mutex> hold(P.Lock);
  printers.clear();
  if (P.Enter("EnumPrintersA")) return false;
  if (P.SpoolerListError != ERROR_SUCCESS) return P.Fail(P.SpoolerListError);
  for (const auto& [name, queue] : P.QueueList)
    printers.push_back(TPrinterInfo{name, queue->DriverName, queue->Comment});
  return true;
}

bool TFakeSpooler::OpenPrinter2A(const std::string& printerName, THandle& printer, DWORD options) {
  std::lock_guard<std::mutex> hold(P.Lock);
  printer = NoHandle;
  if (P.Enter("OpenPrinter2A")) return false;
  for (const auto& [name, queue] : P.QueueList) {
    if (name != printerName) continue;
    queue->OpenOptions.push_back(options);
    auto open = std::make_shared<TFakePlatform::TOpenPrinter>();
    open->Queue = queue;
    printer = P.Printers.Add(std::move(open));
    return true;
  }
  return P.Fail(ERROR_INVALID_PRINTER_NAME);
}

// The calls that change what a test may wait for tell the waiters.
struct TNotify {
  std::condition_variable& Changed;
  ~TNotify() { Changed.notify_all(); }
};

DWORD TFakeSpooler::StartDocPrinterA(THandle printer, const std::string& docName, const std::string& datatype) {
  TNotify notify{P.Changed};
  std::lock_guard<std::mutex> hold(P.Lock);
  if (P.Enter("StartDocPrinterA")) return 0;
  auto open = P.Printers.Find(printer);
  if (!open) return P.Fail(ERROR_INVALID_HANDLE), 0;
  auto& q = *open->Queue;
  q.Datatypes.push_back(datatype);
  if (q.RefusedDatatypes.count(datatype)) return P.Fail(ERROR_INVALID_DATATYPE), 0;
  q.DocName = docName;
  ++q.JobsStarted;
  open->JobId = q.NextJobId++;
  open->InDocument = true;
  return open->JobId;
}

bool TFakeSpooler::WritePrinter(THandle printer, const void* data, DWORD count, DWORD& written) {
  TNotify notify{P.Changed};
  std::unique_lock<std::mutex> hold(P.Lock);
  written = 0;
  if (P.Enter("WritePrinter")) return false;
  auto open = P.Printers.Find(printer);
  if (!open || !open->InDocument) return P.Fail(ERROR_INVALID_HANDLE);
  auto queue = open->Queue;
  P.WaitFor(
      hold, [&] { return !queue->HoldWrites; }, NoHandle, -1);
  queue->WriteSizes.push_back(count);
  if (queue->Received.size() + count > queue->FailAfter) return P.Fail(queue->WriteError);
  written = std::min(count, queue->TakePerWrite);
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  queue->Received.insert(queue->Received.end(), bytes, bytes + written);
  return true;
}

bool TFakeSpooler::EndDocPrinter(THandle printer) {
  TNotify notify{P.Changed};
  std::lock_guard<std::mutex> hold(P.Lock);
  if (P.Enter("EndDocPrinter")) return false;
  auto open = P.Printers.Find(printer);
  if (!open || !open->InDocument) return P.Fail(ERROR_INVALID_HANDLE);
  open->InDocument = false;
  ++open->Queue->JobsEnded;
  return true;
}

bool TFakeSpooler::GetJobA(THandle printer, DWORD jobId, TJobInfo& job) {
  std::lock_guard<std::mutex> hold(P.Lock);
  if (P.Enter("GetJobA")) return false;
  auto open = P.Printers.Find(printer);
  if (!open) return P.Fail(ERROR_INVALID_HANDLE);
  auto& states = open->Queue->States;
  // Nothing scripted: printed at once.
  TJobInfo now;
  now.Status = JOB_STATUS_PRINTED;
  if (!states.empty()) {
    now = states.front();
    if (states.size() > 1) states.pop_front();
  }
  if (now.Status == TFakeQueue::JobGone) return P.Fail(ERROR_INVALID_PARAMETER);
  job = now;
  job.JobId = jobId;
  return true;
}

bool TFakeSpooler::SetJobA(THandle printer, DWORD jobId, DWORD command) {
  TNotify notify{P.Changed};
  std::lock_guard<std::mutex> hold(P.Lock);
  if (P.Enter("SetJobA")) return false;
  auto open = P.Printers.Find(printer);
  if (!open) return P.Fail(ERROR_INVALID_HANDLE);
  open->Queue->Controls.emplace_back(jobId, command);
  return true;
}

bool TFakeSpooler::ClosePrinter(THandle printer) {
  TNotify notify{P.Changed};
  std::lock_guard<std::mutex> hold(P.Lock);
  P.Enter("ClosePrinter");
  if (!P.Printers.Remove(printer)) return P.Fail(ERROR_INVALID_HANDLE);
  return true;
}

}  // namespace vornex::test
