#include "os/posix/NetworkPrinters.h"

#include <chrono>

#include "os/posix/CupsQueues.h"
#include "os/posix/DnsSdBrowser.h"

namespace vornex::posix {

TNetworkPrinters::TNetworkPrinters() = default;

TNetworkPrinters::~TNetworkPrinters() {
  {
    std::lock_guard<std::mutex> hold(Lock);
    Stop = true;
    if (DnsSd) DnsSd->Interrupt();
    if (Cups) Cups->Interrupt();
  }
  Changed.notify_all();
  if (Searcher.joinable()) Searcher.join();
}

std::vector<TNetworkPrinter> TNetworkPrinters::Find(DWORD waitMs) {
  std::unique_lock<std::mutex> hold(Lock);
  // The libraries are bound and the first search made on the searcher's
  // thread, not the caller's.
  if (!Searcher.joinable()) Searcher = std::thread([this] { Run(); });
  // A search under way answers; it started at most a few seconds ago.
  const unsigned before = Finished;
  if (!Searching) {
    Wanted = true;
    Changed.notify_all();
  }
  Changed.wait_for(hold, std::chrono::milliseconds(waitMs), [&] { return Finished != before; });
  return Found;
}

void TNetworkPrinters::Run() {
  {
    auto dnsSd = std::make_unique<TDnsSdBrowser>();
    auto cups = std::make_unique<TCupsQueues>();
    std::lock_guard<std::mutex> hold(Lock);
    DnsSd = std::move(dnsSd);
    Cups = std::move(cups);
    if (Stop) {
      DnsSd->Interrupt();
      Cups->Interrupt();
    }
  }
  std::unique_lock<std::mutex> hold(Lock);
  for (;;) {
    Changed.wait(hold, [&] { return Wanted || Stop; });
    if (Stop) return;
    Wanted = false;
    Searching = true;
    hold.unlock();
    std::vector<TNetworkPrinter> found = Cups->Find(ConnectLimitMs);
    for (auto& p : DnsSd->Browse(BrowseLimitMs)) found.push_back(std::move(p));
    hold.lock();
    Searching = false;
    ++Finished;
    Found = std::move(found);
    Changed.notify_all();
  }
}

}  // namespace vornex::posix
