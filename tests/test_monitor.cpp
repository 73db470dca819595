// The progress monitor: once-a-second display, the stall time-out, and the
// repeat series, on virtual time.
#include <gtest/gtest.h>

#include "tests/support/MainFormFixture.h"

namespace vornex::test {
namespace {

using MonitorTest = ScriptedTransferTest;

TEST_F(MonitorTest, ATransferThatFinishesBetweenTicksShowsItsTotalAtTheNextTick) {
  StartWith(RandomBytes(1000));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Form->LaSendCount.Caption(), "0") << "nothing is shown before the tick";
  Ticks(1);
  EXPECT_EQ(Form->LaSendCount.Caption(), "1000");
  EXPECT_EQ(Form->LaSendPer.Caption(), "100");
  EXPECT_EQ(Form->PBPer.Position(), 1000);
  EXPECT_FALSE(Form->TiCheck.Enabled());
  EXPECT_TRUE(Form->TiRepeat.Enabled()) << "every completion arms the repeat timer";
  EXPECT_EQ(Form->TiRepeat.Interval(), 3000);
}

TEST_F(MonitorTest, PerCentFollowsTheBytesSent) {
  Loop.Hold = true;
  StartWith(RandomBytes(300));
  ASSERT_TRUE(Host.WaitUntil([&] { return Loop.Inside.load(); }));
  Form->Job.BytesSent = 299;  // as a loop would have counted
  Ticks(1);
  EXPECT_EQ(Form->LaSendCount.Caption(), "299");
  EXPECT_EQ(Form->LaSendPer.Caption(), "99") << "truncated, not rounded";
  Form->Job.BytesSent = 0;
}

TEST_F(MonitorTest, AnEmptyFileIsShownAsAllSent) {
  StartWith({});
  ASSERT_TRUE(WaitIdle());
  Ticks(1);
  EXPECT_EQ(Form->LaSendCountTotal.Caption(), "/0");
  EXPECT_EQ(Form->LaSendPer.Caption(), "100");
  EXPECT_FALSE(Form->TiCheck.Enabled());
}

TEST_F(MonitorTest, AStallTimesOutOnTheSixtyFirstTickAfterTheLastPiece) {
  Loop.Hold = true;
  StartWith(RandomBytes(64));
  ASSERT_TRUE(Host.WaitUntil([&] { return Loop.Inside.load(); }));
  Ticks(5);
  Form->Job.BlocksSent = 1;  // one piece went out at second 5
  Ticks(61);
  EXPECT_TRUE(Host.Messages.empty()) << "60 ticks without progress are not yet a stall";
  Ticks(1);
  EXPECT_EQ(Host.Messages, std::vector<std::string>{"Time Out"});
  EXPECT_FALSE(Form->TiCheck.Enabled());
  EXPECT_TRUE(ControlsEnabled()) << "the controls come back at once";
  EXPECT_TRUE(Form->Job.CancelRequested);
  EXPECT_EQ(Form->Upload.StallSeconds(), 0);
  ASSERT_TRUE(WaitIdle());
  EXPECT_FALSE(Form->Job.TransferDone);
}

// vornex-send --stall-limit: the same rule with another limit.
TEST_F(MonitorTest, AShorterStallLimitTimesOutOnTheTickAfterIt) {
  Form->Upload.SetStallLimit(5);
  Loop.Hold = true;
  StartWith(RandomBytes(64));
  ASSERT_TRUE(Host.WaitUntil([&] { return Loop.Inside.load(); }));
  Ticks(5);
  EXPECT_TRUE(Host.Messages.empty());
  Ticks(1);
  EXPECT_EQ(Host.Messages, std::vector<std::string>{"Time Out"});
  EXPECT_TRUE(Form->Job.CancelRequested);
}

TEST_F(MonitorTest, TheTransferIsCancelledOnlyAfterTheTimeOutBoxIsClosed) {
  Loop.Hold = true;
  StartWith(RandomBytes(64));
  ASSERT_TRUE(Host.WaitUntil([&] { return Loop.Inside.load(); }));
  bool cancelledWhileShown = true;
  Host.WhileMessageShown = [&](const std::string&) { cancelledWhileShown = Form->Job.CancelRequested; };
  Ticks(61);
  EXPECT_EQ(Host.LastMessage(), "Time Out");
  EXPECT_FALSE(cancelledWhileShown);
  EXPECT_TRUE(Form->Job.CancelRequested);
}

TEST_F(MonitorTest, ACancelStopsTheMonitorAtOnceEvenWhileTheLoopIsStuck) {
  Loop.Hold = true;
  Loop.StuckInWrite = true;  // a write the cancel cannot end, as in the maker's library
  StartWith(RandomBytes(64));
  ASSERT_TRUE(Host.WaitUntil([&] { return Loop.Inside.load(); }));
  Ticks(3);
  ASSERT_TRUE(Host.Click(Form->BuCancel));
  Ticks(1);
  EXPECT_FALSE(Form->TiCheck.Enabled()) << "the tick that sees the cancel stops the monitor";
  EXPECT_EQ(Form->Upload.StallSeconds(), 0);
  Ticks(120);
  EXPECT_TRUE(Host.Messages.empty()) << "no \"Time Out\" after the user's own Cancel";
  EXPECT_FALSE(Form->BuStart.Enabled()) << "the controls wait for the loop";
  ASSERT_TRUE(Form->Upload.Busy());
  Form->Upload.BuStartClick();  // a Start meanwhile (the repeat timer's) is refused
  EXPECT_EQ(Host.LastMessage(), StillStoppingText);

  Loop.Release();
  ASSERT_TRUE(WaitIdle());
  EXPECT_TRUE(ControlsEnabled());
  Ticks(5);
  EXPECT_EQ(Host.Messages.size(), 1u);
  EXPECT_EQ(Loop.Runs, 1);
}

TEST_F(MonitorTest, WithoutLineCheckAStallNeverTimesOut) {
  Form->CBLineCheck.SetChecked(false);
  Loop.Hold = true;
  StartWith(RandomBytes(64));
  ASSERT_TRUE(Host.WaitUntil([&] { return Loop.Inside.load(); }));
  Ticks(300);
  EXPECT_TRUE(Host.Messages.empty());
  EXPECT_TRUE(Form->TiCheck.Enabled());
  EXPECT_FALSE(Form->Job.CancelRequested);
}

TEST_F(MonitorTest, WithRepeatUntickedTheRepeatTimerFiresOnceAndDoesNothing) {
  StartWith(RandomBytes(32));
  ASSERT_TRUE(WaitIdle());
  Ticks(1);
  ASSERT_TRUE(Form->TiRepeat.Enabled());
  Host.Advance(3000);
  EXPECT_FALSE(Form->TiRepeat.Enabled());
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Loop.Runs, 1);
  EXPECT_EQ(Form->LaCount.Caption(), "0");
}

TEST_F(MonitorTest, RepeatCountTwoWithHalfASecondSendsTheFileThreeTimes) {
  auto data = RandomBytes(48);
  Form->CBRepeat.SetChecked(true);
  Form->EdRepeatCount.SetText("2");
  Form->EdRepeatTime.SetText("0.5");
  StartWith(data);
  std::vector<std::int64_t> starts;  // virtual time of each repetition
  for (int i = 0; i < 20 && Form->Job.RepeatDone < 2; ++i) {
    ASSERT_TRUE(WaitIdle());
    int before = Form->Job.RepeatDone;
    Host.Advance(500);
    if (Form->Job.RepeatDone != before) starts.push_back(Host.Now());
  }
  ASSERT_TRUE(WaitIdle());
  Ticks(5);
  EXPECT_EQ(Loop.Runs, 3);
  EXPECT_EQ(Form->LaCount.Caption(), "2");
  EXPECT_EQ(Form->Job.RepeatDone, 2);
  EXPECT_FALSE(Form->CBRepeat.Checked()) << "the count reached unticks Repeat";
  for (const auto& copy : Loop.Copies()) EXPECT_EQ(copy, data);
  ASSERT_EQ(starts.size(), 2u);
  // Completion shows at the tick a second after Start; the repeat half a second later.
  EXPECT_EQ(starts[0], 1500);
  EXPECT_EQ(starts[1] - starts[0], 1500);
}

TEST_F(MonitorTest, ADelayThatIsNotANumberEndsTheSeriesWithAMessage) {
  Form->CBRepeat.SetChecked(true);
  Form->EdRepeatTime.SetText("soon");
  StartWith(RandomBytes(16));
  ASSERT_TRUE(WaitIdle());
  Ticks(1);
  EXPECT_EQ(Host.Messages, std::vector<std::string>{"'soon' is not a valid floating point value"});
  EXPECT_FALSE(Form->TiCheck.Enabled());
  EXPECT_FALSE(Form->TiRepeat.Enabled());
  Ticks(10);
  EXPECT_EQ(Loop.Runs, 1);
}

TEST_F(MonitorTest, ACountThatIsNotANumberIsReportedAfterTheRepetitionStarted) {
  Form->CBRepeat.SetChecked(true);
  Form->EdRepeatCount.SetText("twice");
  StartWith(RandomBytes(16));
  ASSERT_TRUE(WaitIdle());
  Ticks(1);
  Host.Advance(3000);
  EXPECT_EQ(Host.LastMessage(), "'twice' is not a valid integer value");
  EXPECT_EQ(Form->Job.RepeatDone, 1);
  EXPECT_FALSE(Form->TiRepeat.Enabled());
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Loop.Runs, 2);
}

TEST_F(MonitorTest, ARepetitionWhoseFileHasGoneEndsTheSeries) {
  Form->CBRepeat.SetChecked(true);
  Form->EdRepeatCount.SetText("5");
  StartWith(RandomBytes(16));
  ASSERT_TRUE(WaitIdle());
  std::filesystem::remove(Dir.Path("job.bin"));
  Ticks(1);
  Host.Advance(3000);
  EXPECT_EQ(Host.LastMessage(), "File not found Please renter file name");
  Ticks(10);
  EXPECT_EQ(Loop.Runs, 1);
  EXPECT_FALSE(Form->TiRepeat.Enabled());
  EXPECT_FALSE(Form->TiCheck.Enabled());
}

}  // namespace
}  // namespace vornex::test
