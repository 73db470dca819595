// A host for tests: timers on virtual time, message boxes recorded, dialogs
// answered from a script, and the user's actions checked against what a user
// could reach.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "forms/LoopHost.h"

namespace vornex::test {

class THeadlessHost : public TLoopHost {
 public:
  THeadlessHost();
  ~THeadlessHost() override;

  // Every message box shown, in order.
  std::vector<std::string> Messages;
  // Answers for the file-open dialog: a path, or nullopt for Cancel.
  std::deque<std::optional<std::string>> OpenDialogAnswers;
  // What the user does in each modal form; returns nothing, the form's own
  // buttons end it. Without a script a modal form ends with Cancel.
  std::deque<std::function<void(TForm&)>> ModalScripts;
  // Run while a message box is "shown" (the UI thread is inside it).
  std::function<void(const std::string&)> WhileMessageShown;

  void ShowMessage(const std::string& text) override;
  bool ExecuteOpenDialog(TOpenDialog& dialog) override;
  int ShowModal(TForm& form) override;

  // Moves virtual time on, firing the timers that fall due in order and
  // serving other threads' calls between them.
  void Advance(std::int64_t ms);
  std::int64_t Now() const { return VirtualNow; }
  // Serves the calls other threads are waiting on.
  void Pump() { CheckSynchronize(); }
  // Serves calls (real time) until done() holds; false on time-out.
  bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 10000);

  // A user's click: only on a control the user can reach.
  bool Click(TButton& button);

  std::string LastMessage() const { return Messages.empty() ? std::string() : Messages.back(); }

 protected:
  std::int64_t NowMs() const override { return VirtualNow; }

 private:
  std::int64_t VirtualNow = 0;
};

}  // namespace vornex::test
