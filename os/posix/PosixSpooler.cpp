#include "os/posix/PosixSpooler.h"

#include <cups/cups.h>
#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "os/posix/DynamicLibrary.h"
#include "os/posix/PosixErrors.h"

namespace vornex {

using namespace posix;

struct TPosixSpooler::TApi {
  TDynamicLibrary Cups{"libcups.so.2"};
  decltype(&::cupsServer) Server = nullptr;
  decltype(&::ippPort) Port = nullptr;
  decltype(&::cupsEncryption) Encryption = nullptr;
  decltype(&::httpConnect2) Connect = nullptr;
  decltype(&::httpClose) Close = nullptr;
  decltype(&::httpReconnect2) Reconnect = nullptr;
  decltype(&::httpError) Error = nullptr;
  decltype(&::httpSetTimeout) SetTimeout = nullptr;
  decltype(&::cupsGetDests2) GetDests = nullptr;
  decltype(&::cupsGetNamedDest) GetNamedDest = nullptr;
  decltype(&::cupsGetOption) GetOption = nullptr;
  decltype(&::cupsFreeDests) FreeDests = nullptr;
  decltype(&::cupsCreateJob) CreateJob = nullptr;
  decltype(&::cupsStartDocument) StartDocument = nullptr;
  decltype(&::cupsWriteRequestData) WriteRequestData = nullptr;
  decltype(&::cupsFinishDocument) FinishDocument = nullptr;
  decltype(&::cupsCancelJob2) CancelJob = nullptr;
  decltype(&::cupsLastError) LastError = nullptr;
  decltype(&::cupsLastErrorString) LastErrorString = nullptr;
  decltype(&::ippNewRequest) NewRequest = nullptr;
  decltype(&::ippAddString) AddString = nullptr;
  decltype(&::ippAddStrings) AddStrings = nullptr;
  decltype(&::ippAddInteger) AddInteger = nullptr;
  decltype(&::cupsDoRequest) DoRequest = nullptr;
  decltype(&::ippFindAttribute) FindAttribute = nullptr;
  decltype(&::ippGetCount) GetCount = nullptr;
  decltype(&::ippGetInteger) GetInteger = nullptr;
  decltype(&::ippGetBoolean) GetBoolean = nullptr;
  decltype(&::ippGetString) GetString = nullptr;
  decltype(&::ippDelete) Delete = nullptr;

  bool Bound() {
    TDynamicLibrary& l = Cups;
    return l.Bind(Server, "cupsServer") && l.Bind(Port, "ippPort") && l.Bind(Encryption, "cupsEncryption") &&
           l.Bind(Connect, "httpConnect2") && l.Bind(Close, "httpClose") && l.Bind(Reconnect, "httpReconnect2") &&
           l.Bind(Error, "httpError") && l.Bind(SetTimeout, "httpSetTimeout") &&
           l.Bind(GetDests, "cupsGetDests2") && l.Bind(GetNamedDest, "cupsGetNamedDest") &&
           l.Bind(GetOption, "cupsGetOption") && l.Bind(FreeDests, "cupsFreeDests") &&
           l.Bind(CreateJob, "cupsCreateJob") && l.Bind(StartDocument, "cupsStartDocument") &&
           l.Bind(WriteRequestData, "cupsWriteRequestData") && l.Bind(FinishDocument, "cupsFinishDocument") &&
           l.Bind(CancelJob, "cupsCancelJob2") && l.Bind(LastError, "cupsLastError") &&
           l.Bind(LastErrorString, "cupsLastErrorString") && l.Bind(NewRequest, "ippNewRequest") &&
           l.Bind(AddString, "ippAddString") && l.Bind(AddStrings, "ippAddStrings") &&
           l.Bind(AddInteger, "ippAddInteger") && l.Bind(DoRequest, "cupsDoRequest") &&
           l.Bind(FindAttribute, "ippFindAttribute") && l.Bind(GetCount, "ippGetCount") &&
           l.Bind(GetInteger, "ippGetInteger") && l.Bind(GetBoolean, "ippGetBoolean") &&
           l.Bind(GetString, "ippGetString") && l.Bind(Delete, "ippDelete");
  }
};

struct TPosixSpooler::TConnection {
  TApi& Api;
  http_t* Http;
  ~TConnection() { Api.Close(Http); }
};

struct TPosixSpooler::TPrinter {
  TApi& Api;
  std::string Queue;
  std::unique_ptr<TConnection> Link;
  // The destination with its options (an instance's, the user's defaults),
  // given to every job as lp gives them.
  cups_dest_t* Dest = nullptr;
  int JobId = 0;
  bool InDocument = false;

  TPrinter(TApi& api, std::string queue, std::unique_ptr<TConnection> link, cups_dest_t* dest)
      : Api(api), Queue(std::move(queue)), Link(std::move(link)), Dest(dest) {}
  TPrinter(const TPrinter&) = delete;
  TPrinter& operator=(const TPrinter&) = delete;
  ~TPrinter() {
    if (Dest) Api.FreeDests(1, Dest);
  }
};

namespace {

bool Succeeded(ipp_status_t status) { return status < IPP_STATUS_REDIRECTION_OTHER_SITE; }

std::string PrinterUri(const std::string& queue) { return "ipp://localhost/printers/" + queue; }

// A printer's state as Get-Printer-Attributes tells it.
struct TPrinterState {
  int State = IPP_PSTATE_IDLE;
  std::vector<std::string> Reasons;  // without "none"
  std::string Message;
  bool Accepting = true;
};

std::vector<std::string> Keywords(TPosixSpooler::TApi& api, ipp_t* response, const char* name) {
  std::vector<std::string> words;
  ipp_attribute_t* a = api.FindAttribute(response, name, IPP_TAG_KEYWORD);
  for (int i = 0, n = a ? api.GetCount(a) : 0; i < n; ++i) {
    const char* w = api.GetString(a, i, nullptr);
    if (w && std::strcmp(w, "none") != 0) words.emplace_back(w);
  }
  return words;
}

bool AskPrinterState(TPosixSpooler::TApi& api, http_t* http, const std::string& queue, TPrinterState& state) {
  ipp_t* request = api.NewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
  api.AddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, PrinterUri(queue).c_str());
  static const char* const wanted[] = {"printer-state", "printer-state-reasons", "printer-state-message",
                                       "printer-is-accepting-jobs"};
  api.AddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 4, nullptr, wanted);
  ipp_t* response = api.DoRequest(http, request, "/");
  if (!response || !Succeeded(api.LastError())) {
    api.Delete(response);
    return false;
  }
  if (ipp_attribute_t* a = api.FindAttribute(response, "printer-state", IPP_TAG_ENUM))
    state.State = api.GetInteger(a, 0);
  state.Reasons = Keywords(api, response, "printer-state-reasons");
  if (ipp_attribute_t* a = api.FindAttribute(response, "printer-state-message", IPP_TAG_TEXT))
    if (const char* text = api.GetString(a, 0, nullptr)) state.Message = text;
  if (ipp_attribute_t* a = api.FindAttribute(response, "printer-is-accepting-jobs", IPP_TAG_BOOLEAN))
    state.Accepting = api.GetBoolean(a, 0) != 0;
  api.Delete(response);
  return true;
}

// A state reason's keyword in the user's words: the severity suffix goes,
// and the commonest reason is said plainly.
std::string ReasonWords(std::string keyword) {
  for (const char* suffix : {"-error", "-warning", "-report"}) {
    const std::size_t n = std::strlen(suffix);
    if (keyword.size() > n && keyword.compare(keyword.size() - n, n, suffix) == 0) {
      keyword.resize(keyword.size() - n);
      break;
    }
  }
  if (keyword == "paused") return "the queue is paused";
  return keyword;
}

bool EndsWith(const std::string& text, const char* suffix) {
  const std::size_t n = std::strlen(suffix);
  return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

// Reasons that say nothing is wrong: reports, warnings, and the backend
// waiting for the printer to finish.
bool Harmless(const std::string& reason) {
  return EndsWith(reason, "-report") || EndsWith(reason, "-warning") || reason == "cups-waiting-for-job-completed";
}

bool SameWords(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

// The reasons, then the printer's message where it adds to them.
std::string StatusText(const std::vector<std::string>& reasons, const std::string& message) {
  std::string text;
  bool said = false;
  for (const std::string& r : reasons) {
    const std::string words = ReasonWords(r);
    text += (text.empty() ? "" : ", ") + words;
    said = said || SameWords(message, ReasonWords(r)) || SameWords(message, r) ||
           (r == "paused" && SameWords(message, "Paused"));
  }
  if (!message.empty() && !said) text += text.empty() ? message : " (" + message + ")";
  return text;
}

// Job reasons that only restate the job's state.
bool SaysOnlyTheState(const std::string& reason) {
  static const char* const plain[] = {
      "job-incoming",     "job-queued",        "job-printing", "job-completed-successfully", "processing-to-stop-point",
      "job-data-insufficient", "printer-stopped", "job-canceled-at-device"};
  for (const char* p : plain)
    if (reason == p) return true;
  return false;
}

}  // namespace

TPosixSpooler::TPosixSpooler(TKernel& kernel) : Kernel(kernel), Printers(kernel.Numbers) {}

TPosixSpooler::~TPosixSpooler() { Printers.RemoveAll(); }

TPosixSpooler::TApi* TPosixSpooler::Cups() {
  std::lock_guard<std::mutex> hold(BindLock);
  if (!BindTried) {
    BindTried = true;
    auto api = std::make_unique<TApi>();
    if (!api->Cups.Loaded()) {
      const char* why = ::dlerror();
      LoadError = Kernel.Reasons.Code(std::string("CUPS's library could not be loaded: ") +
                                      (why ? why : "libcups.so.2 is missing"));
    } else if (!api->Bound()) {
      LoadError = Kernel.Reasons.Code("CUPS's library (libcups.so.2) lacks the calls for printing");
    } else {
      Api = std::move(api);
    }
  }
  return Api.get();
}

std::unique_ptr<TPosixSpooler::TConnection> TPosixSpooler::Connect(int limitMs) {
  TApi* api = Cups();
  if (!api) {
    Fail(LoadError);
    return nullptr;
  }
  // Made first and connected after, so that the reason a connection fails
  // is read before the connection is closed.
  http_t* http = api->Connect(api->Server(), api->Port(), nullptr, AF_UNSPEC, api->Encryption(), 1, 0, nullptr);
  const std::string server = api->Server();
  if (!http) {
    Fail(Kernel.Reasons.Code("CUPS's server " + server + " cannot be found"));
    return nullptr;
  }
  if (api->Reconnect(http, limitMs, nullptr) != 0) {
    const int error = api->Error(http);
    api->Close(http);
    Fail(Kernel.Reasons.Code("CUPS (" + server + ") does not answer: " +
                             (error ? std::strerror(error) : "no connection")));
    return nullptr;
  }
  // A server that takes the connection and then says nothing is given up.
  api->SetTimeout(http, limitMs / 1000.0, nullptr, nullptr);
  return std::unique_ptr<TConnection>(new TConnection{*api, http});
}

DWORD TPosixSpooler::CupsFailure() {
  const ipp_status_t status = Api->LastError();
  switch (status) {
    case IPP_STATUS_ERROR_NOT_FOUND:
      return ERROR_INVALID_PRINTER_NAME;
    case IPP_STATUS_ERROR_FORBIDDEN:
    case IPP_STATUS_ERROR_NOT_AUTHORIZED:
    case IPP_STATUS_ERROR_NOT_AUTHENTICATED:
    case IPP_STATUS_ERROR_CUPS_AUTHENTICATION_CANCELED:
      return ERROR_ACCESS_DENIED;
    default:
      break;
  }
  const char* text = Api->LastErrorString();
  std::string reason = text && *text ? text : "CUPS refused the request (IPP status " + std::to_string(status) + ")";
  while (!reason.empty() && reason.back() == '.') reason.pop_back();
  return Kernel.Reasons.Code(reason);
}

// --- the queues ----------------------------------------------------------------------------

bool TPosixSpooler::EnumPrintersA(DWORD, std::vector<TPrinterInfo>& printers) {
  printers.clear();
  // Without CUPS the system has no queue, as Windows may have none.
  if (!Cups()) return true;
  auto link = Connect(ListLimitMs);
  if (!link) return false;
  cups_dest_t* dests = nullptr;
  const int count = Api->GetDests(link->Http, &dests);
  for (int i = 0; i < count; ++i) {
    const cups_dest_t& d = dests[i];
    if (!d.name) continue;
    TPrinterInfo info;
    info.PrinterName = d.name;
    if (d.instance) info.PrinterName += std::string("/") + d.instance;
    if (const char* v = Api->GetOption("printer-make-and-model", d.num_options, d.options)) info.DriverName = v;
    if (const char* v = Api->GetOption("printer-info", d.num_options, d.options)) info.Comment = v;
    printers.push_back(std::move(info));
  }
  Api->FreeDests(count, dests);
  return true;
}

bool TPosixSpooler::OpenPrinter2A(const std::string& printerName, THandle& printer, DWORD) {
  printer = NoHandle;
  // An empty name would be CUPS's default destination; Windows names none.
  const std::size_t slash = printerName.find('/');
  const std::string queue = printerName.substr(0, slash);
  const std::string instance = slash == std::string::npos ? std::string() : printerName.substr(slash + 1);
  if (queue.empty()) return Fail(ERROR_INVALID_PRINTER_NAME);
  auto link = Connect(RequestLimitMs);
  if (!link) return false;
  cups_dest_t* dest = Api->GetNamedDest(link->Http, queue.c_str(), instance.empty() ? nullptr : instance.c_str());
  if (!dest) return Fail(Api->LastError() == IPP_STATUS_OK ? ERROR_INVALID_PRINTER_NAME : CupsFailure());
  auto p = std::make_shared<TPrinter>(*Api, queue, std::move(link), dest);
  printer = Printers.Add(std::move(p));
  return true;
}

DWORD TPosixSpooler::StartDocPrinterA(THandle printer, const std::string& docName, const std::string& datatype) {
  auto p = Printers.Find(printer);
  if (!p) return Fail(ERROR_INVALID_HANDLE), 0;
  // Nothing but raw bytes: the file goes to the printer as it is.
  if (!SameWords(datatype, "RAW")) return Fail(ERROR_INVALID_DATATYPE), 0;
  if (p->InDocument) return Fail(ERROR_INVALID_PARAMETER), 0;
  http_t* http = p->Link->Http;
  const int job = Api->CreateJob(http, p->Queue.c_str(), docName.c_str(), p->Dest->num_options, p->Dest->options);
  if (job <= 0) {
    if (Api->LastError() == IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS) {
      // Why it is closed, when whoever closed it said.
      TPrinterState state;
      AskPrinterState(*Api, http, p->Queue, state);
      // "Rejecting Jobs" is what cupsreject says when it is given no reason.
      const std::string why = SameWords(state.Message, "Rejecting Jobs") ? std::string() : state.Message;
      return Fail(Kernel.Reasons.Code(StatusText({"the queue is not accepting jobs"}, why))), 0;
    }
    return Fail(CupsFailure()), 0;
  }
  if (Api->StartDocument(http, p->Queue.c_str(), job, docName.c_str(), CUPS_FORMAT_RAW, 1) != HTTP_STATUS_CONTINUE) {
    const DWORD error = CupsFailure();
    // A job without its document would wait in the queue for ever.
    Api->CancelJob(http, p->Queue.c_str(), job, 0);
    return Fail(error), 0;
  }
  p->JobId = job;
  p->InDocument = true;
  return static_cast<DWORD>(job);
}

bool TPosixSpooler::WritePrinter(THandle printer, const void* data, DWORD count, DWORD& written) {
  written = 0;
  auto p = Printers.Find(printer);
  if (!p) return Fail(ERROR_INVALID_HANDLE);
  if (!p->InDocument) return Fail(ERROR_INVALID_PARAMETER);
  if (count == 0) return true;
  errno = 0;
  if (Api->WriteRequestData(p->Link->Http, static_cast<const char*>(data), count) != HTTP_STATUS_CONTINUE) {
    const int error = errno;
    return Fail(error ? ErrorFromErrno(error) : CupsFailure());
  }
  written = count;
  return true;
}

bool TPosixSpooler::EndDocPrinter(THandle printer) {
  auto p = Printers.Find(printer);
  if (!p) return Fail(ERROR_INVALID_HANDLE);
  if (!p->InDocument) return Fail(ERROR_INVALID_PARAMETER);
  p->InDocument = false;
  if (!Succeeded(Api->FinishDocument(p->Link->Http, p->Queue.c_str()))) return Fail(CupsFailure());
  return true;
}

bool TPosixSpooler::GetJobA(THandle printer, DWORD jobId, TJobInfo& job) {
  auto p = Printers.Find(printer);
  if (!p) return Fail(ERROR_INVALID_HANDLE);
  if (p->InDocument) return Fail(ERROR_INVALID_PARAMETER);
  http_t* http = p->Link->Http;
  ipp_t* request = Api->NewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
  Api->AddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, PrinterUri(p->Queue).c_str());
  Api->AddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", static_cast<int>(jobId));
  static const char* const wanted[] = {"job-state", "job-state-reasons", "job-impressions-completed"};
  Api->AddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 3, nullptr, wanted);
  ipp_t* response = Api->DoRequest(http, request, "/");
  const ipp_status_t status = Api->LastError();
  if (!response || !Succeeded(status)) {
    Api->Delete(response);
    // As Windows says of a job that is no longer in the queue.
    return Fail(status == IPP_STATUS_ERROR_NOT_FOUND ? ERROR_INVALID_PARAMETER : CupsFailure());
  }
  int state = IPP_JSTATE_PENDING;
  if (ipp_attribute_t* a = Api->FindAttribute(response, "job-state", IPP_TAG_ENUM)) state = Api->GetInteger(a, 0);
  std::vector<std::string> jobReasons;
  for (std::string& r : Keywords(*Api, response, "job-state-reasons"))
    if (!SaysOnlyTheState(r)) jobReasons.push_back(std::move(r));
  job = TJobInfo{};
  job.JobId = jobId;
  if (ipp_attribute_t* a = Api->FindAttribute(response, "job-impressions-completed", IPP_TAG_INTEGER))
    job.PagesPrinted = static_cast<DWORD>(std::max(0, Api->GetInteger(a, 0)));
  Api->Delete(response);

  // A job that waits or prints is held up by its printer; one that has
  // ended says why in its own reasons.
  TPrinterState printerState;
  const bool ended = state == IPP_JSTATE_CANCELED || state == IPP_JSTATE_ABORTED || state == IPP_JSTATE_COMPLETED;
  if (!ended && !AskPrinterState(*Api, http, p->Queue, printerState)) return Fail(CupsFailure());
  std::vector<std::string> trouble;
  for (const std::string& r : printerState.Reasons)
    if (!Harmless(r)) trouble.push_back(r);
  auto has = [&](const char* prefix) {
    for (const std::string& r : trouble)
      if (r.rfind(prefix, 0) == 0) return true;
    return false;
  };
  switch (state) {
    case IPP_JSTATE_PENDING:
      if (printerState.State == IPP_PSTATE_STOPPED) {
        job.Status = JOB_STATUS_PAUSED;
        job.StatusText =
            StatusText(trouble.empty() ? std::vector<std::string>{"paused"} : trouble, printerState.Message);
      }
      break;
    case IPP_JSTATE_HELD:
      job.Status = JOB_STATUS_PAUSED;
      job.StatusText = StatusText(jobReasons.empty() ? std::vector<std::string>{"job-held"} : jobReasons, {});
      break;
    case IPP_JSTATE_PROCESSING:
      job.Status = JOB_STATUS_PRINTING;
      if (has("connecting-to-device") || has("offline") || has("timed-out"))
        job.Status |= JOB_STATUS_OFFLINE;
      else if (has("media-empty") || has("media-needed"))
        job.Status |= JOB_STATUS_PAPEROUT;
      else if (!trouble.empty())
        job.Status |= JOB_STATUS_ERROR;
      // The backend's own words on how it goes ("Connected to printer.",
      // "The printer may not exist or is unavailable at this time.").
      job.StatusText = StatusText(trouble, printerState.Message);
      break;
    case IPP_JSTATE_STOPPED:
      job.Status = JOB_STATUS_ERROR;
      job.StatusText = StatusText(trouble.empty() ? jobReasons : trouble, printerState.Message);
      break;
    case IPP_JSTATE_CANCELED:
      job.Status = JOB_STATUS_DELETED;
      job.StatusText = StatusText(jobReasons, {});
      break;
    case IPP_JSTATE_ABORTED:
      job.Status = JOB_STATUS_ERROR | JOB_STATUS_DELETED;
      job.StatusText = StatusText(jobReasons, {});
      break;
    default:  // completed
      job.Status = JOB_STATUS_PRINTED | JOB_STATUS_COMPLETE;
      break;
  }
  return true;
}

bool TPosixSpooler::SetJobA(THandle printer, DWORD jobId, DWORD command) {
  auto p = Printers.Find(printer);
  if (!p) return Fail(ERROR_INVALID_HANDLE);
  if (command != JOB_CONTROL_DELETE && command != JOB_CONTROL_CANCEL) return Fail(ERROR_INVALID_PARAMETER);
  // The printer's own connection is busy while a document goes.
  std::unique_ptr<TConnection> other;
  if (p->InDocument && !(other = Connect(RequestLimitMs))) return false;
  http_t* http = other ? other->Http : p->Link->Http;
  if (!Succeeded(Api->CancelJob(http, p->Queue.c_str(), static_cast<int>(jobId), 0))) return Fail(CupsFailure());
  return true;
}

bool TPosixSpooler::ClosePrinter(THandle printer) {
  auto p = Printers.Remove(printer);
  if (!p) return Fail(ERROR_INVALID_HANDLE);
  if (p->InDocument) {
    // A document left half-way would hold its job in the queue.
    if (auto other = Connect(RequestLimitMs)) Api->CancelJob(other->Http, p->Queue.c_str(), p->JobId, 0);
  }
  return true;
}

}  // namespace vornex
