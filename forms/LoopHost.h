// A host without widgets: a message loop that runs timers and the calls
// other threads hand over. The command-line sender runs forms on it in real
// time; the tests run it on virtual time.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "forms/Controls.h"
#include "forms/Form.h"
#include "forms/Host.h"

namespace vornex {

class TLoopHost : public THost, public TObserver {
 public:
  TLoopHost();
  ~TLoopHost() override;

  void Attach(TForm& form) override;
  void ShowForm(TForm&, bool) override {}
  int ShowModal(TForm&) override { return mrCancel; }
  bool ExecuteOpenDialog(TOpenDialog&) override { return false; }
  // Real time: waits for handed-over calls and due timers until Terminate.
  int Run() override;
  void Terminate() override;
  bool Terminated() const { return Stopping; }
  // There is no screen: message boxes go to whoever listens.
  std::function<void(const std::string&)> OnMessage;
  void ShowMessage(const std::string& text) override {
    if (OnMessage) OnMessage(text);
  }

  void Changed(TComponent& component, TProp what) override;
  void Destroyed(TComponent& component) override;

 protected:
  // Milliseconds on the loop's clock.
  virtual std::int64_t NowMs() const;
  // Fires the earliest timer due at `now` or before; false when none is due.
  bool FireNextDueTimer(std::int64_t now);
  // When the next timer is due; INT64_MAX when none runs.
  std::int64_t NextDue() const;

 private:
  struct TTimerState {
    TTimer* Timer;
    std::int64_t Due;
  };
  void Schedule(TTimer& timer);
  std::vector<TTimerState> Timers;
  std::atomic<bool> Stopping{false};
};

}  // namespace vornex
