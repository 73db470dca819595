// The main window on the headless host and the scripted platform, driven as
// a user would drive it.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "app/MainForm.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/HeadlessHost.h"
#include "tests/support/ScriptedLoop.h"
#include "tests/support/TempDir.h"

namespace vornex::test {

class MainFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Form = std::make_unique<TMainForm>(Host, Platform);
    Host.Attach(*Form);
    Form->Show();
  }
  void TearDown() override {
    Platform.ReleaseAll();
    Form.reset();
  }

  // Waits until the worker has let go of the job.
  bool WaitIdle(int timeoutMs = 10000) {
    return Host.WaitUntil([&] { return !Form->Upload.Busy(); }, timeoutMs);
  }
  // Advances virtual time one second per tick.
  void Ticks(int n) {
    for (int i = 0; i < n; ++i) Host.Advance(1000);
  }
  // Writes the file, names it in the file box and presses Start.
  void StartWith(const std::vector<std::uint8_t>& bytes) {
    Form->EdFileName.SetText(Dir.Write("job.bin", bytes));
    ASSERT_TRUE(Host.Click(Form->BuStart));
  }
  // The same, and waits until the worker is done with it.
  void SendFile(const std::vector<std::uint8_t>& bytes) {
    StartWith(bytes);
    ASSERT_TRUE(WaitIdle());
  }
  bool ControlsEnabled() const {
    return Form->BuStart.Enabled() && Form->BuBrowse.Enabled() && Form->CBLineCheck.Enabled();
  }

  THeadlessHost Host;
  TFakePlatform Platform;
  TTempDir Dir;
  std::unique_ptr<TMainForm> Form;
};

// The same, with every send loop replaced by a scripted one: for what happens
// around a transfer rather than in it.
class ScriptedTransferTest : public MainFormTest {
 protected:
  void SetUp() override {
    MainFormTest::SetUp();
    for (int mode = 1; mode <= LastTransferMode; ++mode) Form->Upload.SetSendLoop(mode, &Loop);
    // A port text that names no port kind leaves the mode as the test sets it.
    Form->ComboBox1.SetText("TEST");
  }
  void TearDown() override {
    Loop.Release();
    MainFormTest::TearDown();
  }
  TScriptedLoop Loop;
};

}  // namespace vornex::test
