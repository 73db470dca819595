// The printers on the network Linux knows of: DNS-SD announcements (Avahi)
// and raw-socket CUPS queues, searched for on a thread of its own so that
// nobody waits longer than they choose to. Internal to os/posix.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "os/Platform.h"

namespace vornex::posix {

class TDnsSdBrowser;
class TCupsQueues;

class TNetworkPrinters {
 public:
  // How long one search may take at most, each source.
  static constexpr int BrowseLimitMs = 3000;
  static constexpr int ConnectLimitMs = 2000;

  TNetworkPrinters();
  // Ends a search in progress without waiting for it to finish.
  ~TNetworkPrinters();
  TNetworkPrinters(const TNetworkPrinters&) = delete;
  TNetworkPrinters& operator=(const TNetworkPrinters&) = delete;

  // Starts a search unless one runs and waits up to waitMs for it to
  // finish; when it takes longer, what the last finished search found.
  std::vector<TNetworkPrinter> Find(DWORD waitMs);

 private:
  void Run();

  std::unique_ptr<TDnsSdBrowser> DnsSd;
  std::unique_ptr<TCupsQueues> Cups;
  std::mutex Lock;
  std::condition_variable Changed;
  bool Wanted = false;     // a search is asked for
  bool Searching = false;  // one runs
  bool Stop = false;
  unsigned Finished = 0;   // searches finished so far
  std::vector<TNetworkPrinter> Found;
  std::thread Searcher;
};

}  // namespace vornex::posix
