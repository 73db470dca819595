#include "os/posix/CupsQueues.h"

#include <cups/cups.h>

#include "os/posix/DynamicLibrary.h"

namespace vornex::posix {

struct TCupsQueues::TApi {
  TDynamicLibrary Cups{"libcups.so.2"};
  decltype(&::cupsServer) Server = nullptr;
  decltype(&::ippPort) Port = nullptr;
  decltype(&::cupsEncryption) Encryption = nullptr;
  decltype(&::httpConnect2) Connect = nullptr;
  decltype(&::httpClose) Close = nullptr;
  decltype(&::httpSetTimeout) SetTimeout = nullptr;
  decltype(&::cupsGetDests2) GetDests = nullptr;
  decltype(&::cupsGetOption) GetOption = nullptr;
  decltype(&::cupsFreeDests) FreeDests = nullptr;
  decltype(&::cupsLastError) LastError = nullptr;
  decltype(&::cupsLastErrorString) LastErrorString = nullptr;

  bool Bound() {
    return Cups.Bind(Server, "cupsServer") && Cups.Bind(Port, "ippPort") && Cups.Bind(Encryption, "cupsEncryption") &&
           Cups.Bind(Connect, "httpConnect2") && Cups.Bind(Close, "httpClose") &&
           Cups.Bind(SetTimeout, "httpSetTimeout") && Cups.Bind(GetDests, "cupsGetDests2") &&
           Cups.Bind(GetOption, "cupsGetOption") && Cups.Bind(FreeDests, "cupsFreeDests") &&
           Cups.Bind(LastError, "cupsLastError") && Cups.Bind(LastErrorString, "cupsLastErrorString");
  }
};

namespace {

// How often libcups asks, while it waits for the server, whether to go on.
constexpr double AskEverySeconds = 0.1;

bool IsSet(const int& flag) { return __atomic_load_n(&flag, __ATOMIC_SEQ_CST) != 0; }

struct TPatience {
  const int& Interrupted;
  int AsksLeft;
};

// libcups waits for an answer as long as this says yes.
int GoOn(http_t*, void* patience) {
  auto& p = *static_cast<TPatience*>(patience);
  return !IsSet(p.Interrupted) && --p.AsksLeft > 0;
}

}  // namespace

std::string SocketUriAddress(const std::string& uri) {
  const std::string scheme = "socket://";
  if (uri.compare(0, scheme.size(), scheme) != 0) return {};
  // What follows the authority (a path, ?waiteof=...) is the backend's.
  std::string rest = uri.substr(scheme.size());
  return rest.substr(0, rest.find_first_of("/?"));
}

TCupsQueues::TCupsQueues(TReasonTexts& reasons) : Reasons(reasons), Api(std::make_unique<TApi>()) {
  if (!Api->Bound()) {
    LoadError = Reasons.Code(Api->Cups.Failure());
    Api.reset();
  }
}

TCupsQueues::~TCupsQueues() = default;

void TCupsQueues::Interrupt() { __atomic_store_n(&Interrupted, 1, __ATOMIC_SEQ_CST); }

DWORD TCupsQueues::Find(int limitMs, std::vector<TNetworkPrinter>& queues) {
  queues.clear();
  if (!Api) return LoadError;
  if (IsSet(Interrupted)) return ERROR_OPERATION_ABORTED;
  const std::string server = Api->Server() ? Api->Server() : "";
  http_t* http = Api->Connect(server.c_str(), Api->Port(), nullptr, AF_UNSPEC, Api->Encryption(), 1, limitMs,
                              &Interrupted);
  if (!http) {
    if (IsSet(Interrupted)) return ERROR_OPERATION_ABORTED;
    // libcups keeps its own words for it (errno is not kept).
    const char* why = Api->LastError() > IPP_STATUS_OK_CONFLICTING ? Api->LastErrorString() : nullptr;
    return Reasons.Code("the server " + server + " cannot be reached (" +
                        (why && *why ? why : "it did not answer in time") + ")");
  }
  // A server that takes the connection and then says nothing is not
  // waited for beyond the limit, nor once interrupted.
  TPatience patience{Interrupted, static_cast<int>(limitMs / (AskEverySeconds * 1000)) + 1};
  Api->SetTimeout(http, AskEverySeconds, GoOn, &patience);
  cups_dest_t* dests = nullptr;
  const int count = Api->GetDests(http, &dests);
  DWORD failure = 0;
  // No queue at all is an answer too; a refusal or no answer is not.
  if (count == 0 && Api->LastError() > IPP_STATUS_OK_CONFLICTING) {
    const char* why = Api->LastErrorString();
    failure = IsSet(Interrupted) ? ERROR_OPERATION_ABORTED
                                 : Reasons.Code("the server " + server + " did not list its queues: " +
                                                (why && *why ? why : "no answer"));
  }
  for (int i = 0; i < count; ++i) {
    const cups_dest_t& d = dests[i];
    if (d.instance || !d.name) continue;
    const char* uri = Api->GetOption("device-uri", d.num_options, d.options);
    const std::string address = uri ? SocketUriAddress(uri) : std::string();
    if (!address.empty()) queues.push_back(TNetworkPrinter{address, d.name});
  }
  Api->FreeDests(count, dests);
  Api->Close(http);
  return failure;
}

}  // namespace vornex::posix
