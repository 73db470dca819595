#include "os/posix/NetworkPrinters.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "os/posix/CupsQueues.h"
#include "os/posix/DnsSdBrowser.h"

namespace vornex::posix {

struct TNetworkPrinters::TState {
  std::mutex Lock;
  std::condition_variable Changed;
  bool Started = false;    // the searcher thread runs
  bool Wanted = false;     // a search is asked for
  bool Searching = false;  // one runs
  bool Stop = false;
  unsigned Finished = 0;   // searches finished so far
  std::vector<TNetworkPrinter> Found;
  // Made by the searcher; set under Lock, so that Stop can interrupt them.
  std::unique_ptr<TDnsSdBrowser> DnsSd;
  std::unique_ptr<TCupsQueues> Cups;

  // The searcher thread: one search each time one is wanted, until Stop.
  void Run() {
    // The libraries are bound here, not on the caller's thread.
    auto dnsSd = std::make_unique<TDnsSdBrowser>();
    auto cups = std::make_unique<TCupsQueues>();
    std::unique_lock<std::mutex> hold(Lock);
    DnsSd = std::move(dnsSd);
    Cups = std::move(cups);
    for (;;) {
      if (Stop) {
        DnsSd->Interrupt();
        Cups->Interrupt();
      }
      Changed.wait(hold, [&] { return Wanted || Stop; });
      if (Stop) return;
      Wanted = false;
      Searching = true;
      hold.unlock();
      std::vector<TNetworkPrinter> found = Cups->Find(CupsLimitMs);
      for (auto& p : DnsSd->Browse(BrowseLimitMs)) found.push_back(std::move(p));
      hold.lock();
      Searching = false;
      ++Finished;
      Found = std::move(found);
      Changed.notify_all();
    }
  }
};

TNetworkPrinters::TNetworkPrinters() : State(std::make_shared<TState>()) {}

TNetworkPrinters::~TNetworkPrinters() {
  std::lock_guard<std::mutex> hold(State->Lock);
  State->Stop = true;
  if (State->DnsSd) State->DnsSd->Interrupt();
  if (State->Cups) State->Cups->Interrupt();
  State->Changed.notify_all();
}

std::vector<TNetworkPrinter> TNetworkPrinters::Find(DWORD waitMs) {
  TState& s = *State;
  std::unique_lock<std::mutex> hold(s.Lock);
  if (!s.Started) {
    try {
      std::thread([state = State] { state->Run(); }).detach();
    } catch (const std::system_error&) {
      // No thread to search with: no printers on the network, no wait.
      return {};
    }
    s.Started = true;
  }
  // A search under way answers; it started at most a few seconds ago.
  const unsigned before = s.Finished;
  if (!s.Searching) {
    s.Wanted = true;
    s.Changed.notify_all();
  }
  s.Changed.wait_for(hold, std::chrono::milliseconds(waitMs), [&] { return s.Finished != before; });
  return s.Found;
}

}  // namespace vornex::posix
