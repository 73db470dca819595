// Printers announced with DNS-SD as raw TCP printers (_pdl-datastream._tcp),
// found through the Avahi daemon. libavahi-client is bound at run time:
// without it, or without its daemon, a browse finds nothing at once.
// Internal to os/posix.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "os/Platform.h"

struct AvahiSimplePoll;

namespace vornex::posix {

inline constexpr char RawPrinterServiceType[] = "_pdl-datastream._tcp";

class TDnsSdBrowser {
 public:
  TDnsSdBrowser();
  ~TDnsSdBrowser();
  TDnsSdBrowser(const TDnsSdBrowser&) = delete;
  TDnsSdBrowser& operator=(const TDnsSdBrowser&) = delete;

  // Browses until the daemon has told what it knows and every service is
  // resolved, limitMs pass, or Interrupt. One entry per service, at its
  // best address.
  std::vector<TNetworkPrinter> Browse(int limitMs);
  // Any thread: ends a browse in progress, and every later one, at once.
  void Interrupt();

  struct TApi;
  // What one browse has learnt so far; filled by Avahi's callbacks.
  struct TSearch;

 private:
  std::unique_ptr<TApi> Api;
  std::mutex Lock;
  AvahiSimplePoll* Active = nullptr;  // the browse's loop, while it runs
  std::atomic<bool> Interrupted{false};
};

}  // namespace vornex::posix
