// The printers on the network Linux knows of: raw-socket CUPS queues and
// DNS-SD announcements (Avahi), each source searched on a thread of its own
// that this object owns, so that nobody waits longer than they choose to.
// Internal to os/posix.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "os/Discovery.h"
#include "os/ReasonTexts.h"

namespace vornex::posix {

class TNetworkPrinters {
 public:
  // How long one search may take at most, each source.
  static constexpr int BrowseLimitMs = 3000;
  static constexpr int CupsLimitMs = 2000;

  // Why a source failed is kept among the platform's texts.
  explicit TNetworkPrinters(TReasonTexts& reasons);
  // Interrupts the searches in progress and waits for their threads: none
  // is left inside a library once this object is gone.
  ~TNetworkPrinters();
  TNetworkPrinters(const TNetworkPrinters&) = delete;
  TNetworkPrinters& operator=(const TNetworkPrinters&) = delete;

  // Starts a search of each source unless one runs and waits up to waitMs
  // for them to finish; a source that takes longer answers with what it
  // has found so far beside what its last finished search found.
  TNetworkSearch Find(DWORD waitMs);

  // One source: its searcher thread and what it found.
  struct TSource;

 private:
  void Run(TSource& source);

  TReasonTexts& Reasons;
  std::mutex Lock;
  std::condition_variable Changed;
  bool Started = false;
  bool Stop = false;
  std::vector<std::unique_ptr<TSource>> Sources;
};

}  // namespace vornex::posix
