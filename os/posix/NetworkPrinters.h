// The printers on the network Linux knows of: DNS-SD announcements (Avahi)
// and raw-socket CUPS queues, searched for on a thread of its own so that
// nobody waits longer than they choose to. Internal to os/posix.
#pragma once

#include <memory>
#include <vector>

#include "os/Platform.h"

namespace vornex::posix {

class TNetworkPrinters {
 public:
  // How long one search may take at most, each source.
  static constexpr int BrowseLimitMs = 3000;
  static constexpr int CupsLimitMs = 2000;

  TNetworkPrinters();
  // Interrupts a search in progress and lets it end on its own: a server
  // that does not answer never holds up the program's end.
  ~TNetworkPrinters();
  TNetworkPrinters(const TNetworkPrinters&) = delete;
  TNetworkPrinters& operator=(const TNetworkPrinters&) = delete;

  // Starts a search unless one runs and waits up to waitMs for it to
  // finish; when it takes longer, what the last finished search found.
  std::vector<TNetworkPrinter> Find(DWORD waitMs);

  // Shared by the searcher thread, which may outlive this object.
  struct TState;

 private:
  std::shared_ptr<TState> State;
};

}  // namespace vornex::posix
