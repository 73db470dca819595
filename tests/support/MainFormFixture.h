// The main window on the headless host and the scripted platform, driven as
// a user would drive it.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "app/MainForm.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/HeadlessHost.h"
#include "tests/support/TempDir.h"

namespace vornex::test {

class MainFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Form = std::make_unique<TMainForm>(Host, Platform);
    Host.Attach(*Form);
    Form->Show();
  }
  void TearDown() override { Form.reset(); }

  // Waits until the worker has let go of the job.
  bool WaitIdle(int timeoutMs = 10000) {
    return Host.WaitUntil([&] { return !Form->Upload.Busy(); }, timeoutMs);
  }
  // Advances virtual time one second per tick.
  void Ticks(int n) {
    for (int i = 0; i < n; ++i) Host.Advance(1000);
  }
  bool ControlsEnabled() const {
    return Form->BuStart.Enabled() && Form->BuBrowse.Enabled() && Form->CBLineCheck.Enabled();
  }

  THeadlessHost Host;
  TFakePlatform Platform;
  TTempDir Dir;
  std::unique_ptr<TMainForm> Form;
};

}  // namespace vornex::test
