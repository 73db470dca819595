#include "os/posix/NetworkPrinters.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <system_error>
#include <thread>

#include "os/posix/CupsQueues.h"
#include "os/posix/DnsSdBrowser.h"
#include "os/posix/DynamicLibrary.h"

namespace vornex::posix {

namespace {

using TProgress = TDnsSdBrowser::TProgress;

// Avahi's client and libcups both talk through libdbus, each on its own
// search thread; libdbus makes its global locks on first use unless told
// to make them first, and two threads coming at once would race there.
void MakeDbusLocks() {
  static const bool made = [] {
    TDynamicLibrary dbus("libdbus-1.so.3");
    int (*init)() = nullptr;
    // Without libdbus neither source can use it: nothing to make.
    return dbus.Bind(init, "dbus_threads_init_default") && init() != 0;
  }();
  (void)made;
}

// A source as the searcher threads use it.
class TSearcher {
 public:
  virtual ~TSearcher() = default;
  // 0, or why the source could not be asked.
  virtual DWORD Search(std::vector<TNetworkPrinter>& found, const TProgress& progress) = 0;
  // Any thread: ends a search in progress, and every later one.
  virtual void Interrupt() = 0;
};

class TCupsSearcher : public TSearcher {
 public:
  explicit TCupsSearcher(TReasonTexts& reasons) : Queues(reasons) {}
  DWORD Search(std::vector<TNetworkPrinter>& found, const TProgress&) override {
    return Queues.Find(TNetworkPrinters::CupsLimitMs, found);
  }
  void Interrupt() override { Queues.Interrupt(); }

 private:
  TCupsQueues Queues;
};

class TDnsSdSearcher : public TSearcher {
 public:
  explicit TDnsSdSearcher(TReasonTexts& reasons) : Browser(reasons) {}
  DWORD Search(std::vector<TNetworkPrinter>& found, const TProgress& progress) override {
    return Browser.Browse(TNetworkPrinters::BrowseLimitMs, found, progress);
  }
  void Interrupt() override { Browser.Interrupt(); }

 private:
  TDnsSdBrowser Browser;
};

}  // namespace

struct TNetworkPrinters::TSource {
  std::string Name;
  std::function<std::unique_ptr<TSearcher>(TReasonTexts&)> Make;
  std::thread Thread;
  // Made and destroyed by the thread; set under Lock, so that Stop can
  // interrupt it.
  TSearcher* Searcher = nullptr;
  bool Wanted = false;     // a search is asked for
  bool Searching = false;  // one runs
  unsigned Finished = 0;   // searches finished so far
  std::vector<TNetworkPrinter> Partial;  // the running search's so far
  std::vector<TNetworkPrinter> Last;     // the last finished search's
  DWORD LastError = 0;                   // and why it failed, if it did
};

TNetworkPrinters::TNetworkPrinters(TReasonTexts& reasons) : Reasons(reasons) {
  auto add = [&](const char* name, std::function<std::unique_ptr<TSearcher>(TReasonTexts&)> make) {
    auto source = std::make_unique<TSource>();
    source->Name = name;
    source->Make = std::move(make);
    Sources.push_back(std::move(source));
  };
  add("CUPS", [](TReasonTexts& r) { return std::make_unique<TCupsSearcher>(r); });
  add("DNS-SD (Avahi)", [](TReasonTexts& r) { return std::make_unique<TDnsSdSearcher>(r); });
}

TNetworkPrinters::~TNetworkPrinters() {
  {
    std::lock_guard<std::mutex> hold(Lock);
    Stop = true;
    for (auto& source : Sources)
      if (source->Searcher) source->Searcher->Interrupt();
  }
  Changed.notify_all();
  for (auto& source : Sources)
    if (source->Thread.joinable()) source->Thread.join();
}

void TNetworkPrinters::Run(TSource& source) {
  // The library is bound here, not on the caller's thread.
  std::unique_ptr<TSearcher> searcher = source.Make(Reasons);
  std::unique_lock<std::mutex> hold(Lock);
  source.Searcher = searcher.get();
  for (;;) {
    Changed.wait(hold, [&] { return source.Wanted || Stop; });
    if (Stop) break;
    source.Wanted = false;
    source.Searching = true;
    source.Partial.clear();
    hold.unlock();
    std::vector<TNetworkPrinter> found;
    const DWORD error = searcher->Search(found, [&](const std::vector<TNetworkPrinter>& soFar) {
      {
        std::lock_guard<std::mutex> progress(Lock);
        source.Partial = soFar;
      }
      Changed.notify_all();
    });
    hold.lock();
    source.Searching = false;
    ++source.Finished;
    source.Last = std::move(found);
    source.LastError = error;
    source.Partial.clear();
    Changed.notify_all();
  }
  source.Searcher = nullptr;
  hold.unlock();
}

TNetworkSearch TNetworkPrinters::Find(DWORD waitMs) {
  std::unique_lock<std::mutex> hold(Lock);
  if (!Started) {
    Started = true;
    MakeDbusLocks();
    for (auto& source : Sources) {
      try {
        source->Thread = std::thread([this, s = source.get()] { Run(*s); });
      } catch (const std::system_error& e) {
        // No thread to search with: this source answers with nothing.
        source->LastError = Reasons.Code(std::string("no thread could be started for the search: ") + e.what());
        ++source->Finished;
      }
    }
  }
  // A search under way answers; it started at most a few seconds ago.
  std::vector<unsigned> before;
  for (auto& source : Sources) {
    before.push_back(source->Finished);
    if (source->Thread.joinable() && !source->Searching) source->Wanted = true;
  }
  Changed.notify_all();
  auto allFinished = [&] {
    for (std::size_t i = 0; i < Sources.size(); ++i)
      if (Sources[i]->Thread.joinable() && Sources[i]->Finished == before[i]) return false;
    return true;
  };
  Changed.wait_for(hold, std::chrono::milliseconds(waitMs), allFinished);

  TNetworkSearch answer;
  for (std::size_t i = 0; i < Sources.size(); ++i) {
    const TSource& s = *Sources[i];
    const bool fresh = s.Finished != before[i] || !s.Thread.joinable();
    if (!fresh) {
      answer.Printers.insert(answer.Printers.end(), s.Partial.begin(), s.Partial.end());
      // What the last search found and this one has not (yet): a name is
      // one printer, wherever this search finds it now.
      for (const TNetworkPrinter& p : s.Last)
        if (std::none_of(s.Partial.begin(), s.Partial.end(), [&](const TNetworkPrinter& q) { return q.Name == p.Name; }))
          answer.Printers.push_back(p);
    } else {
      answer.Printers.insert(answer.Printers.end(), s.Last.begin(), s.Last.end());
    }
    if (s.Finished > 0 && s.LastError != 0 && s.LastError != ERROR_OPERATION_ABORTED)
      answer.Failures.push_back(TSourceFailure{s.Name, s.LastError});
  }
  return answer;
}

}  // namespace vornex::posix
