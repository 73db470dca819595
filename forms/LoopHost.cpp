#include "forms/LoopHost.h"

#include <algorithm>
#include <chrono>
#include <climits>

namespace vornex {

TLoopHost::TLoopHost() = default;

TLoopHost::~TLoopHost() = default;

void TLoopHost::Attach(TForm& form) {
  for (TComponent* c : form.Components()) {
    c->SetObserver(this);
    if (auto* timer = dynamic_cast<TTimer*>(c)) Schedule(*timer);
  }
}

void TLoopHost::Changed(TComponent& component, TProp what) {
  if (what != TProp::Timer) return;
  if (auto* timer = dynamic_cast<TTimer*>(&component)) Schedule(*timer);
}

void TLoopHost::Destroyed(TComponent& component) {
  Timers.erase(std::remove_if(Timers.begin(), Timers.end(),
                              [&](const TTimerState& t) { return t.Timer == &component; }),
               Timers.end());
}

void TLoopHost::Schedule(TTimer& timer) {
  Timers.erase(std::remove_if(Timers.begin(), Timers.end(),
                              [&](const TTimerState& t) { return t.Timer == &timer; }),
               Timers.end());
  if (timer.Enabled() && timer.Interval() > 0)
    Timers.push_back({&timer, NowMs() + timer.Interval()});
}

std::int64_t TLoopHost::NowMs() const {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::int64_t TLoopHost::NextDue() const {
  std::int64_t next = INT64_MAX;
  for (const auto& t : Timers) next = std::min(next, t.Due);
  return next;
}

bool TLoopHost::FireNextDueTimer(std::int64_t now) {
  auto it = std::min_element(Timers.begin(), Timers.end(),
                             [](const TTimerState& a, const TTimerState& b) { return a.Due < b.Due; });
  if (it == Timers.end() || it->Due > now) return false;
  TTimer* timer = it->Timer;
  // The next interval counts from this tick, as a native timer's does.
  it->Due = now + std::max(1, timer->Interval());
  timer->Tick();
  return true;
}

int TLoopHost::Run() {
  // A Terminate that came first (another thread may end the loop) is kept.
  while (!Stopping) {
    CheckSynchronize();
    std::int64_t now = NowMs();
    if (FireNextDueTimer(now)) continue;
    std::int64_t wait = std::min<std::int64_t>(NextDue() - now, 1000);
    SyncQueue()->WaitAndDrain(static_cast<int>(std::max<std::int64_t>(wait, 1)));
  }
  return 0;
}

void TLoopHost::Terminate() {
  Stopping = true;
  SyncQueue()->Poke();
}

}  // namespace vornex
