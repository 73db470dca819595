#include "os/posix/DnsSdBrowser.h"

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/address.h>
#include <avahi-common/error.h>
#include <avahi-common/simple-watch.h>
#include <net/if.h>

#include <algorithm>
#include <deque>
#include <map>
#include <set>
#include <utility>

#include "os/posix/DynamicLibrary.h"
#include "os/posix/PosixObjects.h"

namespace vornex::posix {

struct TDnsSdBrowser::TApi {
  TDynamicLibrary Common{"libavahi-common.so.3"};
  TDynamicLibrary Client{"libavahi-client.so.3"};
  decltype(&::avahi_simple_poll_new) PollNew = nullptr;
  decltype(&::avahi_simple_poll_get) PollGet = nullptr;
  decltype(&::avahi_simple_poll_iterate) PollIterate = nullptr;
  decltype(&::avahi_simple_poll_wakeup) PollWakeup = nullptr;
  decltype(&::avahi_simple_poll_free) PollFree = nullptr;
  decltype(&::avahi_address_snprint) AddressText = nullptr;
  decltype(&::avahi_strerror) ErrorText = nullptr;
  decltype(&::avahi_client_new) ClientNew = nullptr;
  decltype(&::avahi_client_free) ClientFree = nullptr;
  decltype(&::avahi_client_errno) ClientErrno = nullptr;
  decltype(&::avahi_service_browser_new) BrowserNew = nullptr;
  decltype(&::avahi_service_resolver_new) ResolverNew = nullptr;
  decltype(&::avahi_service_resolver_free) ResolverFree = nullptr;

  bool Bound() {
    return Common.Bind(PollNew, "avahi_simple_poll_new") && Common.Bind(PollGet, "avahi_simple_poll_get") &&
           Common.Bind(PollIterate, "avahi_simple_poll_iterate") &&
           Common.Bind(PollWakeup, "avahi_simple_poll_wakeup") && Common.Bind(PollFree, "avahi_simple_poll_free") &&
           Common.Bind(AddressText, "avahi_address_snprint") && Common.Bind(ErrorText, "avahi_strerror") &&
           Client.Bind(ClientNew, "avahi_client_new") && Client.Bind(ClientFree, "avahi_client_free") &&
           Client.Bind(ClientErrno, "avahi_client_errno") && Client.Bind(BrowserNew, "avahi_service_browser_new") &&
           Client.Bind(ResolverNew, "avahi_service_resolver_new") &&
           Client.Bind(ResolverFree, "avahi_service_resolver_free");
  }
  // The loader's words for the library or function that is missing.
  std::string Failure() const { return Common.Failure().empty() ? Client.Failure() : Common.Failure(); }
};

namespace {

// A service is one name in one domain, however many interfaces and
// protocols it is seen on.
using TServiceKey = std::pair<std::string, std::string>;

bool LinkLocal(const AvahiAddress& a) {
  return a.proto == AVAHI_PROTO_INET6 && a.data.ipv6.address[0] == 0xfe && (a.data.ipv6.address[1] & 0xc0) == 0x80;
}

}  // namespace

struct TDnsSdBrowser::TSearch {
  explicit TSearch(TApi& api) : Api(api) {}
  TApi& Api;
  AvahiSimplePoll* Poll = nullptr;
  AvahiClient* Client = nullptr;
  int Error = 0;  // Avahi's code, once the daemon failed us
  bool AllForNow = false;
  bool AddressFailed = false;
  bool Changed = false;  // since progress was last told
  const AvahiIfIndex Loopback = static_cast<AvahiIfIndex>(::if_nametoindex("lo"));

  struct TService {
    std::set<std::pair<AvahiIfIndex, AvahiProtocol>> Seen;
    AvahiServiceResolver* Resolver = nullptr;
    bool Queued = false;
    std::string Address;  // once resolved
  };
  std::map<TServiceKey, TService> Services;
  std::deque<TServiceKey> Queue;  // to be resolved
  std::size_t Resolving = 0;

  bool Settled() const { return Error != 0 || (AllForNow && Queue.empty() && Resolving == 0); }

  std::vector<TNetworkPrinter> Printers() const {
    std::vector<TNetworkPrinter> printers;
    for (const auto& [key, service] : Services)
      if (!service.Address.empty()) printers.push_back(TNetworkPrinter{service.Address, key.first});
    return printers;
  }

  void Failed() {
    if (Error == 0) Error = Client ? Api.ClientErrno(Client) : AVAHI_ERR_FAILURE;
    if (Error == 0) Error = AVAHI_ERR_FAILURE;
  }

  // Starts resolutions from the queue while there is room: each is a call
  // to the daemon, answered later.
  void TopUp() {
    while (Resolving < MaxResolving && !Queue.empty()) {
      const TServiceKey key = Queue.front();
      Queue.pop_front();
      auto it = Services.find(key);
      if (it == Services.end() || !it->second.Queued) continue;
      TService& service = it->second;
      service.Queued = false;
      // Where it is seen from elsewhere rather than on the loopback, over
      // IPv4 if it is seen there: the address others would reach it at.
      auto where = *service.Seen.begin();
      for (const auto& seen : service.Seen) {
        const auto rank = [&](const auto& s) { return (s.first == Loopback) * 2 + (s.second != AVAHI_PROTO_INET); };
        if (rank(seen) < rank(where)) where = seen;
      }
      const AvahiProtocol family = where.second == AVAHI_PROTO_INET ? AVAHI_PROTO_INET : AVAHI_PROTO_UNSPEC;
      service.Resolver = Api.ResolverNew(Client, where.first, where.second, key.first.c_str(), RawPrinterServiceType,
                                         key.second.c_str(), family, static_cast<AvahiLookupFlags>(0), OnResolve,
                                         this);
      if (service.Resolver) ++Resolving;
    }
  }

  static void OnClient(AvahiClient* client, AvahiClientState state, void* self) {
    auto& s = *static_cast<TSearch*>(self);
    if (state == AVAHI_CLIENT_FAILURE && s.Error == 0) s.Error = s.Api.ClientErrno(client);
  }

  static void OnBrowse(AvahiServiceBrowser*, AvahiIfIndex interface, AvahiProtocol protocol,
                       AvahiBrowserEvent event, const char* name, const char*, const char* domain,
                       AvahiLookupResultFlags, void* self) {
    auto& s = *static_cast<TSearch*>(self);
    switch (event) {
      case AVAHI_BROWSER_NEW: {
        const TServiceKey key{name ? name : "", domain ? domain : ""};
        TService& service = s.Services[key];
        service.Seen.insert({interface, protocol});
        if (service.Address.empty() && !service.Resolver && !service.Queued) {
          service.Queued = true;
          s.Queue.push_back(key);
        }
        break;
      }
      case AVAHI_BROWSER_REMOVE: {
        auto it = s.Services.find({name ? name : "", domain ? domain : ""});
        if (it == s.Services.end()) break;
        it->second.Seen.erase({interface, protocol});
        if (!it->second.Seen.empty()) break;
        if (it->second.Resolver) {
          s.Api.ResolverFree(it->second.Resolver);
          --s.Resolving;
        }
        s.Changed = s.Changed || !it->second.Address.empty();
        s.Services.erase(it);
        break;
      }
      case AVAHI_BROWSER_ALL_FOR_NOW: s.AllForNow = true; break;
      case AVAHI_BROWSER_FAILURE: s.Failed(); break;
      default: break;
    }
  }

  static void OnResolve(AvahiServiceResolver* r, AvahiIfIndex interface, AvahiProtocol, AvahiResolverEvent event,
                        const char* name, const char*, const char* domain, const char*, const AvahiAddress* a,
                        std::uint16_t port, AvahiStringList*, AvahiLookupResultFlags, void* self) {
    auto& s = *static_cast<TSearch*>(self);
    auto it = s.Services.find({name ? name : "", domain ? domain : ""});
    if (it != s.Services.end() && it->second.Resolver == r) {
      it->second.Resolver = nullptr;
      --s.Resolving;
      // One that does not resolve (gone meanwhile, or silent) is left out.
      if (event == AVAHI_RESOLVER_FOUND && a && port != 0) {
        char text[AVAHI_ADDRESS_STR_MAX] = {};
        if (!s.Api.AddressText(text, sizeof text, a)) {
          s.AddressFailed = true;
        } else {
          std::string address = text;
          if (a->proto == AVAHI_PROTO_INET6) {
            // A link-local address means nothing without its interface.
            char ifname[IF_NAMESIZE] = {};
            if (LinkLocal(*a) && interface >= 0 && ::if_indextoname(static_cast<unsigned>(interface), ifname))
              address += std::string("%") + ifname;
            address = "[" + address + "]";
          }
          it->second.Address = address + ":" + std::to_string(port);
          s.Changed = true;
        }
      }
    }
    s.Api.ResolverFree(r);
  }
};

TDnsSdBrowser::TDnsSdBrowser(TReasonTexts& reasons) : Reasons(reasons), Api(std::make_unique<TApi>()) {
  if (!Api->Bound()) {
    LoadError = Reasons.Code(Api->Failure());
    Api.reset();
  }
}

TDnsSdBrowser::~TDnsSdBrowser() = default;

void TDnsSdBrowser::Interrupt() {
  std::lock_guard<std::mutex> hold(Lock);
  Interrupted = true;
  if (Active) Api->PollWakeup(Active);
}

DWORD TDnsSdBrowser::Browse(int limitMs, std::vector<TNetworkPrinter>& found, const TProgress& progress) {
  found.clear();
  if (!Api) return LoadError;
  auto interrupted = [&] {
    std::lock_guard<std::mutex> hold(Lock);
    return Interrupted;
  };
  if (interrupted()) return ERROR_OPERATION_ABORTED;
  TSearch search(*Api);
  search.Poll = Api->PollNew();
  if (!search.Poll) return Reasons.Code("Avahi's event loop could not be made");
  {
    std::lock_guard<std::mutex> hold(Lock);
    Active = search.Poll;
  }
  // Without a daemon (or a system bus) the client fails here, at once.
  int error = 0;
  search.Client = Api->ClientNew(Api->PollGet(search.Poll), static_cast<AvahiClientFlags>(0), TSearch::OnClient,
                                 &search, &error);
  if (!search.Client) {
    search.Error = error ? error : AVAHI_ERR_FAILURE;
  } else if (!Api->BrowserNew(search.Client, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, RawPrinterServiceType, nullptr,
                              static_cast<AvahiLookupFlags>(0), TSearch::OnBrowse, &search)) {
    search.Failed();
  } else {
    const std::int64_t deadline = NowMs() + limitMs;
    std::int64_t told = NowMs();
    while (!interrupted()) {
      search.TopUp();
      if (search.Settled()) break;
      const int left = Remaining(deadline);
      if (left == 0) break;
      if (Api->PollIterate(search.Poll, std::min(left, ProgressEveryMs)) != 0) {
        search.Failed();
        break;
      }
      if (progress && search.Changed && NowMs() - told >= ProgressEveryMs) {
        progress(search.Printers());
        search.Changed = false;
        told = NowMs();
      }
    }
  }
  {
    std::lock_guard<std::mutex> hold(Lock);
    Active = nullptr;
  }
  found = search.Printers();
  // Freeing the client frees its browser and resolvers.
  if (search.Client) Api->ClientFree(search.Client);
  Api->PollFree(search.Poll);
  if (interrupted()) return ERROR_OPERATION_ABORTED;
  if (search.Error != 0) return Reasons.Code(Api->ErrorText(search.Error));
  if (search.AddressFailed) return Reasons.Code("an address the Avahi daemon gave could not be written out");
  return 0;
}

}  // namespace vornex::posix
