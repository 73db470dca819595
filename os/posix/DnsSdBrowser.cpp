#include "os/posix/DnsSdBrowser.h"

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/address.h>
#include <avahi-common/simple-watch.h>
#include <net/if.h>

#include <algorithm>

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
  decltype(&::avahi_client_new) ClientNew = nullptr;
  decltype(&::avahi_client_free) ClientFree = nullptr;
  decltype(&::avahi_service_browser_new) BrowserNew = nullptr;
  decltype(&::avahi_service_resolver_new) ResolverNew = nullptr;
  decltype(&::avahi_service_resolver_free) ResolverFree = nullptr;

  bool Bound() {
    return Common.Bind(PollNew, "avahi_simple_poll_new") && Common.Bind(PollGet, "avahi_simple_poll_get") &&
           Common.Bind(PollIterate, "avahi_simple_poll_iterate") &&
           Common.Bind(PollWakeup, "avahi_simple_poll_wakeup") && Common.Bind(PollFree, "avahi_simple_poll_free") &&
           Common.Bind(AddressText, "avahi_address_snprint") && Client.Bind(ClientNew, "avahi_client_new") &&
           Client.Bind(ClientFree, "avahi_client_free") && Client.Bind(BrowserNew, "avahi_service_browser_new") &&
           Client.Bind(ResolverNew, "avahi_service_resolver_new") &&
           Client.Bind(ResolverFree, "avahi_service_resolver_free");
  }
};

namespace {

// Which address of a service is listed: one that reaches it from elsewhere
// first, IPv4 before IPv6, the loopback and link-local ones last.
int Rank(const AvahiAddress& a) {
  if (a.proto == AVAHI_PROTO_INET) {
    const auto* b = reinterpret_cast<const std::uint8_t*>(&a.data.ipv4.address);
    return b[0] == 127 ? 2 : 0;
  }
  const std::uint8_t* b = a.data.ipv6.address;
  const bool linkLocal = b[0] == 0xfe && (b[1] & 0xc0) == 0x80;
  const bool loopback = std::all_of(b, b + 15, [](std::uint8_t x) { return x == 0; }) && b[15] == 1;
  return linkLocal || loopback ? 3 : 1;
}

}  // namespace

struct TDnsSdBrowser::TSearch {
  explicit TSearch(TApi& api) : Api(api) {}
  TApi& Api;
  AvahiSimplePoll* Poll = nullptr;
  AvahiClient* Client = nullptr;
  bool Failed = false;
  bool AllForNow = false;
  int Resolving = 0;
  struct TFound {
    std::string Address;
    int Rank = 99;
  };
  // By interface, protocol, name and domain: a service is seen once on each.
  using TKey = std::tuple<AvahiIfIndex, AvahiProtocol, std::string, std::string>;
  std::map<TKey, TFound> Services;

  bool Settled() const { return Failed || (AllForNow && Resolving == 0); }

  static void OnClient(AvahiClient*, AvahiClientState state, void* self) {
    if (state == AVAHI_CLIENT_FAILURE) static_cast<TSearch*>(self)->Failed = true;
  }

  static void OnBrowse(AvahiServiceBrowser*, AvahiIfIndex interface, AvahiProtocol protocol,
                       AvahiBrowserEvent event, const char* name, const char* type, const char* domain,
                       AvahiLookupResultFlags, void* self) {
    auto& s = *static_cast<TSearch*>(self);
    switch (event) {
      case AVAHI_BROWSER_NEW:
        if (s.Api.ResolverNew(s.Client, interface, protocol, name, type, domain, AVAHI_PROTO_UNSPEC,
                              static_cast<AvahiLookupFlags>(0), OnResolve, self))
          ++s.Resolving;
        break;
      case AVAHI_BROWSER_REMOVE: s.Services.erase(TKey{interface, protocol, name, domain ? domain : ""}); break;
      case AVAHI_BROWSER_ALL_FOR_NOW: s.AllForNow = true; break;
      case AVAHI_BROWSER_FAILURE: s.Failed = true; break;
      default: break;
    }
  }

  static void OnResolve(AvahiServiceResolver* r, AvahiIfIndex interface, AvahiProtocol protocol,
                        AvahiResolverEvent event, const char* name, const char*, const char* domain,
                        const char*, const AvahiAddress* a, std::uint16_t port, AvahiStringList*,
                        AvahiLookupResultFlags, void* self) {
    auto& s = *static_cast<TSearch*>(self);
    if (event == AVAHI_RESOLVER_FOUND && a && port != 0) {
      char text[AVAHI_ADDRESS_STR_MAX] = {};
      s.Api.AddressText(text, sizeof text, a);
      std::string address = text;
      if (a->proto == AVAHI_PROTO_INET6) {
        // A link-local address means nothing without its interface.
        char ifname[IF_NAMESIZE] = {};
        if (Rank(*a) == 3 && interface >= 0 && ::if_indextoname(static_cast<unsigned>(interface), ifname))
          address += std::string("%") + ifname;
        address = "[" + address + "]";
      }
      s.Services[TKey{interface, protocol, name, domain ? domain : ""}] =
          TFound{address + ":" + std::to_string(port), Rank(*a)};
    }
    s.Api.ResolverFree(r);
    --s.Resolving;
  }
};

TDnsSdBrowser::TDnsSdBrowser() : Api(std::make_unique<TApi>()) {
  if (!Api->Bound()) Api.reset();
}

TDnsSdBrowser::~TDnsSdBrowser() = default;

void TDnsSdBrowser::Interrupt() {
  std::lock_guard<std::mutex> hold(Lock);
  Interrupted = true;
  if (Active) Api->PollWakeup(Active);
}

std::vector<TNetworkPrinter> TDnsSdBrowser::Browse(int limitMs) {
  if (!Api || Interrupted) return {};
  TSearch search(*Api);
  search.Poll = Api->PollNew();
  if (!search.Poll) return {};
  {
    std::lock_guard<std::mutex> hold(Lock);
    Active = search.Poll;
  }
  // Without a daemon (or a system bus) the client fails here, at once.
  int error = 0;
  search.Client = Api->ClientNew(Api->PollGet(search.Poll), static_cast<AvahiClientFlags>(0), TSearch::OnClient,
                                 &search, &error);
  if (search.Client &&
      Api->BrowserNew(search.Client, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, RawPrinterServiceType, nullptr,
                      static_cast<AvahiLookupFlags>(0), TSearch::OnBrowse, &search)) {
    const std::int64_t deadline = NowMs() + limitMs;
    while (!search.Settled() && !Interrupted) {
      const int left = Remaining(deadline);
      if (left == 0 || Api->PollIterate(search.Poll, left) != 0) break;
    }
  }
  {
    std::lock_guard<std::mutex> hold(Lock);
    Active = nullptr;
  }
  // Freeing the client frees its browser and resolvers.
  if (search.Client) Api->ClientFree(search.Client);
  Api->PollFree(search.Poll);

  // One entry per service name and domain, at the best address seen.
  std::map<std::pair<std::string, std::string>, TSearch::TFound> best;
  for (const auto& [key, found] : search.Services) {
    auto& b = best[{std::get<2>(key), std::get<3>(key)}];
    if (found.Rank < b.Rank) b = found;
  }
  std::vector<TNetworkPrinter> printers;
  for (const auto& [name, found] : best) printers.push_back(TNetworkPrinter{found.Address, name.first});
  return printers;
}

}  // namespace vornex::posix
