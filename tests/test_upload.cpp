// Start, Cancel and the worker, driven through the main window.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>

#include "tests/support/MainFormFixture.h"

namespace vornex::test {
namespace {

class UploadTest : public ScriptedTransferTest {
 protected:
  void UseFile(const std::vector<std::uint8_t>& bytes) {
    Form->EdFileName.SetText(Dir.Write("job.bin", bytes));
  }
};

TEST_F(UploadTest, StartWithAMissingFileSaysSoAndSendsNothing) {
  Form->EdFileName.SetText(Dir.Path("missing.bin"));
  Form->LaSendPer.SetCaption("57");
  ASSERT_TRUE(Host.Click(Form->BuStart));
  EXPECT_EQ(Host.Messages, std::vector<std::string>{"File not found Please renter file name"});
  EXPECT_EQ(Form->LaSendPer.Caption(), "0");
  EXPECT_FALSE(Form->Upload.Busy());
  EXPECT_FALSE(Form->TiCheck.Enabled());
  EXPECT_TRUE(ControlsEnabled());
  EXPECT_EQ(Loop.Runs, 0);
}

TEST_F(UploadTest, StartArmsTheJobAndTheControlsComeBackWhenTheLoopReturns) {
  auto data = RandomBytes(40);
  UseFile(data);
  Loop.Hold = true;
  ASSERT_TRUE(Host.Click(Form->BuStart));
  ASSERT_TRUE(Host.WaitUntil([&] { return Loop.Inside.load(); }));
  EXPECT_FALSE(Form->BuStart.Enabled());
  EXPECT_FALSE(Form->BuBrowse.Enabled());
  EXPECT_FALSE(Form->BuSetupCom.Enabled());
  EXPECT_FALSE(Form->CBLineCheck.Enabled());
  EXPECT_TRUE(Form->BuCancel.Enabled());
  EXPECT_TRUE(Form->BuExit.Enabled());
  EXPECT_FALSE(Host.Click(Form->BuStart)) << "a disabled Start cannot be pressed";
  EXPECT_EQ(Form->LaTOK.Caption(), "Loading");
  EXPECT_EQ(Form->LaSendCountTotal.Caption(), "/40");
  EXPECT_EQ(Form->PBPer.Max(), 40);
  EXPECT_TRUE(Form->TiCheck.Enabled());

  Loop.Release();
  ASSERT_TRUE(WaitIdle());
  EXPECT_TRUE(ControlsEnabled());
  EXPECT_TRUE(Form->BuSetupCom.Enabled()) << "mode 1 brings Port setup back";
  ASSERT_EQ(Loop.Copies().size(), 1u);
  EXPECT_EQ(Loop.Copies()[0], data);
  EXPECT_EQ(Form->Job.BytesSent, 40);
  EXPECT_EQ(Form->Job.BlocksSent, 3);
  EXPECT_TRUE(Form->Job.TransferDone);
  EXPECT_TRUE(Host.Messages.empty());
}

TEST_F(UploadTest, PortSetupStaysDisabledAfterTransfersInOtherModes) {
  UseFile(RandomBytes(10));
  for (std::int32_t mode : {2, 3, 4}) {
    Form->Job.TransferMode = mode;
    ASSERT_TRUE(Host.Click(Form->BuStart));
    ASSERT_TRUE(WaitIdle());
    EXPECT_FALSE(Form->BuSetupCom.Enabled()) << "mode " << mode;
    EXPECT_TRUE(Form->BuStart.Enabled());
  }
  EXPECT_EQ(Loop.Runs, 3);
}

TEST_F(UploadTest, CancelStopsBeforeTheNextPieceAndNothingRepeats) {
  UseFile(RandomBytes(100));
  Form->CBRepeat.SetChecked(true);
  Loop.Hold = true;
  ASSERT_TRUE(Host.Click(Form->BuStart));
  ASSERT_TRUE(Host.WaitUntil([&] { return Loop.Inside.load(); }));
  ASSERT_TRUE(Host.Click(Form->BuCancel));
  ASSERT_TRUE(WaitIdle());
  EXPECT_FALSE(Form->Job.TransferDone);
  EXPECT_EQ(Form->Job.BytesSent, 0);
  Ticks(1);
  EXPECT_FALSE(Form->TiCheck.Enabled()) << "the monitor stops at the next tick";
  Ticks(10);
  EXPECT_EQ(Loop.Runs, 1) << "a cancelled transfer is not repeated";
  EXPECT_TRUE(Host.Messages.empty());
}

TEST_F(UploadTest, EveryStartReloadsTheFileAndZeroesTheCounters) {
  UseFile(RandomBytes(64, 1));
  ASSERT_TRUE(Host.Click(Form->BuStart));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Form->Job.BytesSent, 64);

  auto changed = RandomBytes(20, 2);
  Dir.Write("job.bin", changed);
  Loop.Hold = true;
  ASSERT_TRUE(Host.Click(Form->BuStart));
  ASSERT_TRUE(Host.WaitUntil([&] { return Loop.Inside.load(); }));
  EXPECT_EQ(Form->Job.BytesSent, 0);
  EXPECT_EQ(Form->Job.BlocksSent, 0);
  EXPECT_FALSE(Form->Job.TransferDone);
  EXPECT_FALSE(Form->Job.CancelRequested);
  EXPECT_EQ(Form->LaSendCountTotal.Caption(), "/20");
  Loop.Release();
  ASSERT_TRUE(WaitIdle());
  ASSERT_EQ(Loop.Copies().size(), 2u);
  EXPECT_EQ(Loop.Copies()[1], changed);
}

TEST_F(UploadTest, AModeOutsideOneToFourArmsTheJobAndSendsNothing) {
  UseFile(RandomBytes(30));
  Form->Job.TransferMode = 7;
  ASSERT_TRUE(Host.Click(Form->BuStart));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Loop.Runs, 0);
  EXPECT_TRUE(ControlsEnabled());
  EXPECT_FALSE(Form->BuSetupCom.Enabled());
}

TEST_F(UploadTest, AStartWhileALoopLeftByATimeOutStillRunsIsRefused) {
  auto first = RandomBytes(64, 3);
  UseFile(first);
  Loop.Hold = true;
  Loop.StuckInWrite = true;  // deaf to Cancel, like a device that never takes the bytes
  ASSERT_TRUE(Host.Click(Form->BuStart));
  ASSERT_TRUE(Host.WaitUntil([&] { return Loop.Inside.load(); }));
  Ticks(61);
  ASSERT_EQ(Host.LastMessage(), "Time Out");
  ASSERT_TRUE(ControlsEnabled());
  ASSERT_TRUE(Form->Upload.Busy());

  Dir.Write("job.bin", RandomBytes(8, 4));
  ASSERT_TRUE(Host.Click(Form->BuStart));
  EXPECT_EQ(Host.LastMessage(), StillStoppingText);
  EXPECT_EQ(Form->Job.FileData.Size(), 64u) << "the running loop keeps its data";
  EXPECT_TRUE(Form->Job.CancelRequested) << "nor is its cancel undone";

  Loop.Release();
  ASSERT_TRUE(WaitIdle());
  ASSERT_TRUE(Host.Click(Form->BuStart));
  ASSERT_TRUE(WaitIdle());
  ASSERT_EQ(Loop.Copies().size(), 2u);
  EXPECT_EQ(Loop.Copies()[1], RandomBytes(8, 4));
}

TEST_F(UploadTest, ALoopThatFailsLeavesTheWorkerAliveAndTheUserTold) {
  UseFile(RandomBytes(16));
  Loop.Throw = true;
  ASSERT_TRUE(Host.Click(Form->BuStart));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Host.LastMessage(), "the port said no");
  EXPECT_TRUE(ControlsEnabled());

  Loop.Throw = false;
  ASSERT_TRUE(Host.Click(Form->BuStart));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Loop.Runs, 2);
  EXPECT_TRUE(Form->Job.TransferDone);
}

TEST_F(UploadTest, AFileOfTwoGibibytesIsRefusedBeforeAnythingIsRead) {
  std::string big = Dir.Path("big.bin");
  Dir.Write("big.bin", std::string());
  std::error_code ec;
  std::filesystem::resize_file(big, std::uintmax_t(1) << 31, ec);  // sparse
  if (ec) GTEST_SKIP() << "no sparse file here: " << ec.message();
  Form->EdFileName.SetText(big);
  ASSERT_TRUE(Host.Click(Form->BuStart));
  ASSERT_EQ(Host.Messages.size(), 1u);
  EXPECT_NE(Host.Messages[0].find("2 GiB"), std::string::npos) << Host.Messages[0];
  EXPECT_EQ(Form->Job.FileData.Size(), 0u);
  EXPECT_FALSE(Form->Upload.Busy());
  EXPECT_TRUE(ControlsEnabled());
  EXPECT_EQ(Loop.Runs, 0);
}

#ifndef _WIN32
// A FIFO: a name that exists but is no regular file.
TEST_F(UploadTest, AFileThatCannotBeReadIsReportedAndTheControlsComeBack) {
  std::string fifo = Dir.Path("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  Form->EdFileName.SetText(fifo);
  ASSERT_TRUE(Host.Click(Form->BuStart));
  ASSERT_EQ(Host.Messages.size(), 1u);
  EXPECT_NE(Host.Messages[0].find("Cannot open file"), std::string::npos) << Host.Messages[0];
  EXPECT_FALSE(Form->Upload.Busy());
  EXPECT_FALSE(Form->TiCheck.Enabled());
  EXPECT_TRUE(ControlsEnabled());
}
#endif

TEST_F(UploadTest, ABlockSizeThatIsNotANumberStartsNothing) {
  UseFile(RandomBytes(16));
  Form->Edit1.SetText("12x");
  ASSERT_TRUE(Host.Click(Form->BuStart));
  EXPECT_EQ(Host.Messages, std::vector<std::string>{"'12x' is not a valid integer value"});
  EXPECT_EQ(Form->Job.BlockSize, 512);
  EXPECT_FALSE(Form->Upload.Busy());
  EXPECT_TRUE(ControlsEnabled());

  Form->Edit1.SetText("1024");
  ASSERT_TRUE(Host.Click(Form->BuStart));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Form->Job.BlockSize, 1024);
}

TEST_F(UploadTest, BrowseFillsTheFileNameAndCancelLeavesIt) {
  Host.OpenDialogAnswers = {std::string("/data/label.prn"), std::nullopt};
  ASSERT_TRUE(Host.Click(Form->BuBrowse));
  EXPECT_EQ(Form->EdFileName.Text(), "/data/label.prn");
  ASSERT_TRUE(Host.Click(Form->BuBrowse));
  EXPECT_EQ(Form->EdFileName.Text(), "/data/label.prn");
}

TEST_F(UploadTest, TheLogIsEmptiedWhenItPassesFiveHundredLines) {
  for (int i = 0; i < 499; ++i) Form->Memo1.Add("x");
  EXPECT_EQ(Form->Memo1.Lines().size(), 500u) << "its first line \"Memo1\" counts";
  Form->Memo1.Add("y");
  EXPECT_TRUE(Form->Memo1.Lines().empty());
}

TEST_F(UploadTest, ExitClosesTheWindowEvenDuringATransfer) {
  UseFile(RandomBytes(64));
  Loop.Hold = true;
  ASSERT_TRUE(Host.Click(Form->BuStart));
  ASSERT_TRUE(Host.WaitUntil([&] { return Loop.Inside.load(); }));
  ASSERT_TRUE(Host.Click(Form->BuExit));
  EXPECT_TRUE(Host.Terminated());
  EXPECT_FALSE(Form->Visible());
}

}  // namespace
}  // namespace vornex::test
