#include "tests/support/HeadlessHost.h"

#include <chrono>

#include "forms/Controls.h"
#include "forms/Form.h"

namespace vornex::test {

THeadlessHost::THeadlessHost() = default;

THeadlessHost::~THeadlessHost() = default;

void THeadlessHost::ShowMessage(const std::string& text) {
  Messages.push_back(text);
  if (WhileMessageShown) WhileMessageShown(text);
}

bool THeadlessHost::ExecuteOpenDialog(TOpenDialog& dialog) {
  if (OpenDialogAnswers.empty()) return false;
  auto answer = OpenDialogAnswers.front();
  OpenDialogAnswers.pop_front();
  if (!answer) return false;
  dialog.FileName = *answer;
  return true;
}

int THeadlessHost::ShowModal(TForm& form) {
  form.SetVisible(true);
  if (!ModalScripts.empty()) {
    auto script = ModalScripts.front();
    ModalScripts.pop_front();
    script(form);
  }
  if (form.ModalResult() == 0) form.SetModalResult(2);
  form.SetVisible(false);
  return form.ModalResult();
}

void THeadlessHost::Advance(std::int64_t ms) {
  const std::int64_t target = VirtualNow + ms;
  for (;;) {
    CheckSynchronize();
    std::int64_t due = NextDue();
    if (due > target) break;
    VirtualNow = due;
    FireNextDueTimer(due);
  }
  VirtualNow = target;
  CheckSynchronize();
}

bool THeadlessHost::WaitUntil(const std::function<bool()>& done, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    CheckSynchronize();
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    SyncQueue()->WaitAndDrain(2);
  }
}

bool THeadlessHost::Click(TButton& button) {
  if (!button.Reachable()) return false;
  button.Click();
  return true;
}

}  // namespace vornex::test
