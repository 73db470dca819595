// The form model and its host services: events, timers, hand-over between
// threads.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "forms/Controls.h"
#include "forms/Form.h"
#include "forms/Thread.h"
#include "tests/support/HeadlessHost.h"

namespace vornex::test {
namespace {

class TSampleForm : public TForm {
 public:
  explicit TSampleForm(THost& host) : TForm(host, "Sample", "Sample", {0, 0, 100, 100}) {}
  TGroupBox Box{this, "Box", "Box", {0, 0, 50, 50}};
  TComboBox Combo{&Box, "Combo", "COM1", {1, 1, 40, 20}};
  TEdit Edit{this, "Edit", "5", {0, 60, 30, 20}};
  TUpDown Spin{this, "Spin", Edit, 1, 10, 5, false};
  TMemo Memo{this, "Memo", {}, {0, 80, 10, 10}};
  TButton Ok{this, "Ok", "Ok", {0, 90, 10, 10}};
  TButton Cancel{this, "Cancel", "Cancel", {10, 90, 10, 10}};
  TTimer Timer{this, "Timer", 1000, false};
};

class FormsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Host.Attach(Form);
    Form.Show();
  }
  THeadlessHost Host;
  TSampleForm Form{Host};
};

TEST_F(FormsTest, TheComboBoxRaisesChangeForTheUserOnly) {
  int changes = 0, dropDowns = 0;
  Form.Combo.OnChange = [&] { ++changes; };
  Form.Combo.OnDropDown = [&] {
    ++dropDowns;
    Form.Combo.SetItems({"COM1", "LPT1"});
  };
  Form.Combo.SetText("COM2");
  EXPECT_EQ(changes, 0);
  Form.Combo.DropDown();
  EXPECT_EQ(dropDowns, 1);
  EXPECT_EQ(Form.Combo.Text(), "COM2") << "rebuilding the list keeps the edit text";
  Form.Combo.Pick(1);
  EXPECT_EQ(Form.Combo.Text(), "LPT1");
  EXPECT_EQ(Form.Combo.ItemIndex(), 1);
  EXPECT_EQ(changes, 1);
  Form.Combo.TypeText("LPT");
  EXPECT_EQ(Form.Combo.ItemIndex(), -1) << "typing chooses no item";
  EXPECT_EQ(changes, 2);
  Form.Combo.Pick(5);
  EXPECT_EQ(changes, 2) << "no such item";
}

TEST_F(FormsTest, TheSpinnerStepsFromTheTypedNumberWithinItsRange) {
  Form.Spin.Step(true);
  EXPECT_EQ(Form.Edit.Text(), "6");
  Form.Edit.SetText("10");
  Form.Spin.Step(true);
  EXPECT_EQ(Form.Edit.Text(), "10");
  Form.Edit.SetText("junk");
  Form.Spin.Step(false);
  EXPECT_EQ(Form.Edit.Text(), "9") << "an unreadable text steps from the last position";
  EXPECT_EQ(Form.Spin.Bounds().Left, 30) << "it sits at the right end of its buddy";
}

TEST_F(FormsTest, AFailureInAHandlerIsShownAndTheLoopGoesOn) {
  Form.Ok.OnClick = [] { throw std::runtime_error("broken"); };
  ASSERT_TRUE(Host.Click(Form.Ok));
  EXPECT_EQ(Host.Messages, std::vector<std::string>{"broken"});
}

TEST_F(FormsTest, DisabledOrHiddenControlsCannotBeClicked) {
  int clicks = 0;
  Form.Ok.OnClick = [&] { ++clicks; };
  Form.Ok.SetEnabled(false);
  EXPECT_FALSE(Host.Click(Form.Ok));
  Form.Ok.SetEnabled(true);
  Form.Box.SetVisible(false);
  EXPECT_TRUE(Host.Click(Form.Ok));
  EXPECT_EQ(clicks, 1);
  EXPECT_FALSE(Form.Combo.Reachable()) << "inside a hidden group box";
}

TEST_F(FormsTest, ModalFormsEndWithTheirButtonsResultOrEscape) {
  Form.Ok.ModalResult = mrOk;
  Form.Cancel.ModalResult = mrCancel;
  Form.Cancel.Cancel = true;
  Host.ModalScripts.push_back([&](TForm&) { Host.Click(Form.Ok); });
  EXPECT_EQ(Form.ShowModal(), mrOk);
  Host.ModalScripts.push_back([&](TForm& f) { f.PressEscape(); });
  EXPECT_EQ(Form.ShowModal(), mrCancel);
  EXPECT_EQ(Form.ShowModal(), mrCancel) << "no answer: the user closed it";
}

TEST_F(FormsTest, TheCloseBoxCancelsAModalFormClosesTheMainOneAndIsRefusedWithoutASystemMenu) {
  Host.ModalScripts.push_back([&](TForm& f) { EXPECT_TRUE(f.UserClose()); });
  EXPECT_EQ(Form.ShowModal(), mrCancel);
  EXPECT_FALSE(Host.Terminated()) << "a modal form only ends its showing";

  Form.SystemMenu = false;
  Form.Show();
  EXPECT_FALSE(Form.UserClose());
  EXPECT_TRUE(Form.Visible());

  Form.SystemMenu = true;
  Host.MainForm = &Form;
  EXPECT_TRUE(Form.UserClose());
  EXPECT_FALSE(Form.Visible());
  EXPECT_TRUE(Host.Terminated());
}

TEST_F(FormsTest, TimersRunOnVirtualTimeAndRestartWhenEnabledAgain) {
  std::vector<std::int64_t> ticks;
  Form.Timer.OnTimer = [&] { ticks.push_back(Host.Now()); };
  Form.Timer.SetEnabled(true);
  Host.Advance(2500);
  EXPECT_EQ(ticks, (std::vector<std::int64_t>{1000, 2000}));
  Form.Timer.SetEnabled(false);
  Form.Timer.SetEnabled(true);  // a full interval from now
  Host.Advance(999);
  EXPECT_EQ(ticks.size(), 2u);
  Host.Advance(1);
  EXPECT_EQ(ticks.back(), 3500);
  Form.Timer.SetInterval(100);
  Host.Advance(100);
  EXPECT_EQ(ticks.back(), 3600);
}

TEST_F(FormsTest, ATimerThatStopsItselfFiresOnce) {
  int fired = 0;
  Form.Timer.OnTimer = [&] {
    ++fired;
    Form.Timer.SetEnabled(false);
  };
  Form.Timer.SetEnabled(true);
  Host.Advance(10000);
  EXPECT_EQ(fired, 1);
}

TEST(SyncQueue, CallsFromOtherThreadsRunOnTheUiThreadAndFailuresComeBack) {
  THeadlessHost host;
  std::thread::id ranOn;
  std::atomic<bool> done{false};
  std::string failure;
  std::thread other([&] {
    host.Synchronize([&] { ranOn = std::this_thread::get_id(); });
    try {
      host.Synchronize([] { throw std::runtime_error("no"); });
    } catch (const std::exception& e) {
      failure = e.what();
    }
    done = true;
  });
  ASSERT_TRUE(host.WaitUntil([&] { return done.load(); }));
  other.join();
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_EQ(failure, "no");
}

TEST(SyncQueue, AClosedQueueReleasesWaitersUnrun) {
  auto queue = std::make_shared<TSyncQueue>(std::this_thread::get_id());
  std::atomic<bool> queued{false};
  queue->SetWaker([&] { queued = true; });
  std::atomic<int> results{-1};
  std::thread other([&] { results = queue->Run([] {}) ? 1 : 0; });
  // Closed only once the call waits in the queue, so it is a waiter that is
  // released, not a late call refused.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!queued && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_TRUE(queued);
  EXPECT_EQ(results, -1) << "nothing runs the call";
  queue->Close();
  other.join();
  EXPECT_EQ(results, 0);
}

class TWaitingThread : public TThread {
 public:
  using TThread::TThread;
  ~TWaitingThread() override {
    Terminate();
    WaitFor();
  }
  std::atomic<int> Handed{0};

 protected:
  void Execute() override {
    while (!Terminated()) {
      Synchronize([this] { ++Handed; });
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
};

TEST(Thread, WaitingForAThreadOnTheUiThreadServesItsHandOvers) {
  THeadlessHost host;
  {
    TWaitingThread thread(host);
    thread.Start();
    ASSERT_TRUE(host.WaitUntil([&] { return thread.Handed > 3; }));
  }  // would deadlock if WaitFor did not serve the thread's calls
  SUCCEED();
}

}  // namespace
}  // namespace vornex::test
