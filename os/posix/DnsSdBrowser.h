// Printers announced with DNS-SD as raw TCP printers (_pdl-datastream._tcp),
// found through the Avahi daemon. libavahi-client is bound at run time:
// without it, or without its daemon, a browse finds nothing at once and
// says why. Internal to os/posix.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "os/Discovery.h"
#include "os/ReasonTexts.h"

struct AvahiSimplePoll;

namespace vornex::posix {

inline constexpr char RawPrinterServiceType[] = "_pdl-datastream._tcp";

class TDnsSdBrowser {
 public:
  // Resolutions under way at once, at most: each is started by a call to
  // the daemon that waits for its reply behind the answers already queued,
  // so a few at a time, answered as they come, go fastest (and the daemon
  // serves each client a limited number of objects).
  static constexpr std::size_t MaxResolving = 32;
  // How often a browse tells what it has resolved so far.
  static constexpr int ProgressEveryMs = 20;

  using TProgress = std::function<void(const std::vector<TNetworkPrinter>&)>;

  // Reasons are kept among the platform's texts.
  explicit TDnsSdBrowser(TReasonTexts& reasons);
  ~TDnsSdBrowser();
  TDnsSdBrowser(const TDnsSdBrowser&) = delete;
  TDnsSdBrowser& operator=(const TDnsSdBrowser&) = delete;

  // Browses until the daemon has told what it knows and every service is
  // resolved, limitMs pass, or Interrupt. One entry per service, resolved
  // in parallel; what is resolved so far goes to progress every
  // ProgressEveryMs. 0, or the code of why the daemon could not be asked
  // (found then holds what was resolved before).
  DWORD Browse(int limitMs, std::vector<TNetworkPrinter>& found, const TProgress& progress);
  // Any thread: ends a browse in progress, and every later one, at once.
  void Interrupt();

  struct TApi;
  // What one browse has learnt so far; filled by Avahi's callbacks.
  struct TSearch;

 private:
  TReasonTexts& Reasons;
  std::unique_ptr<TApi> Api;
  DWORD LoadError = 0;
  std::mutex Lock;
  AvahiSimplePoll* Active = nullptr;  // the browse's loop, while it runs
  bool Interrupted = false;
};

}  // namespace vornex::posix
