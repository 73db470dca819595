// Print queues over the scripted spooler: the port text, the choice of the
// mode, the list, and the job from its first byte to its end, with every way
// it can go wrong.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "tests/support/MainFormFixture.h"
#include "tests/support/UsbPrinters.h"
#include "upload/PrintQueueName.h"

namespace vornex::test {
namespace {

TEST(PrintQueuePortText, NamesAreReadAsTypedOrListedAndTheLabelIsTriedWithout) {
  struct TCase {
    const char* Text;
    std::vector<std::string> Names;
  } cases[] = {
      {"PRINTER:Labels_Dock3", {"Labels_Dock3"}},
      {"PRINTER:office/raw", {"office/raw"}},
      {"PRINTER:  Labels Dock 3 ", {"Labels Dock 3"}},
      {"PRINTER:\\\\server\\queue (Zebra ZD420)", {"\\\\server\\queue (Zebra ZD420)", "\\\\server\\queue"}},
      // A Windows name may end in parentheses itself: tried as it stands first.
      {"PRINTER:HP (Copy 1) (HP Universal)", {"HP (Copy 1) (HP Universal)", "HP (Copy 1)"}},
      {"PRINTER:", {}},
      {"PRINTER: (label only)", {"(label only)"}},
      {"printer:labels", {}},
      {"TCP:10.0.0.7", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(PrintQueueNames(c.Text), c.Names) << c.Text;
  EXPECT_EQ(PrintQueuePortText("labels", "Line\nBreak "), "PRINTER:labels (Line Break)");
  EXPECT_EQ(PrintQueuePortText("labels"), "PRINTER:labels");
}

class PrintQueueTest : public MainFormTest {
 protected:
  void SetUp() override {
    MainFormTest::SetUp();
    Queue = Platform.AddQueue("labels");
    Form->PrintQueue.PollMs = 1;
    Form->Memo1.Clear();
    Form->ComboBox1.TypeText("PRINTER:labels");
  }
  // The spooler's calls, in order.
  std::vector<std::string> SpoolerCalls() {
    static const std::vector<std::string> spooler = {"OpenPrinter2A", "StartDocPrinterA", "WritePrinter",
                                                     "EndDocPrinter", "GetJobA",          "SetJobA",
                                                     "ClosePrinter"};
    std::vector<std::string> calls;
    for (const auto& call : Platform.Calls())
      if (std::find(spooler.begin(), spooler.end(), call) != spooler.end() &&
          (calls.empty() || calls.back() != call || call == "StartDocPrinterA"))
        calls.push_back(call);
    return calls;
  }
  void ExpectNothingCounted() {
    EXPECT_EQ(Form->Job.BytesSent, 0);
    EXPECT_FALSE(Form->Job.TransferDone);
    EXPECT_EQ(Platform.OpenPrinters(), 0);
  }
  // After a fault, a plain transfer goes through.
  void ExpectTheNextTransferWorks() {
    *Queue = TFakeQueue{};
    Platform.ClearFailures();
    Form->ComboBox1.TypeText("PRINTER:labels");
    const auto data = RandomBytes(3000, 77);
    const std::size_t messages = Host.Messages.size();
    SendFile(data);
    EXPECT_TRUE(Form->Job.TransferDone) << Host.LastMessage();
    EXPECT_EQ(Queue->Received, data);
    EXPECT_EQ(Host.Messages.size(), messages) << Host.LastMessage();
  }
  std::shared_ptr<TFakeQueue> Queue;
};

TJobInfo State(DWORD status, const std::string& text = "", DWORD pages = 0) {
  TJobInfo job;
  job.Status = status;
  job.StatusText = text;
  job.PagesPrinted = pages;
  return job;
}

TEST_F(PrintQueueTest, TheFileGoesAsOneRawJobInBlocksAndIsDoneOnlyOnceItHasPrinted) {
  Queue->States = {State(0), State(JOB_STATUS_PRINTING), State(JOB_STATUS_PRINTING | JOB_STATUS_PRINTED)};
  Form->Edit1.SetText("20000");
  Queue->TakePerWrite = 4000;  // the rest of each block is written again
  const auto data = RandomBytes(25000, 3);
  Form->EdFileName.SetText(Dir.Write("sub/label.prn", data));
  ASSERT_TRUE(Host.Click(Form->BuStart));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Form->Job.TransferMode, tmPrintQueue);
  EXPECT_FALSE(Form->BuSetupCom.Enabled());
  EXPECT_TRUE(Form->Job.TransferDone) << Host.LastMessage();
  EXPECT_EQ(Queue->Received, data);
  EXPECT_EQ(Form->Job.BytesSent, 25000);
  EXPECT_EQ(Queue->WriteSizes.front(), 10240u) << "blocks never outgrow the buffer";
  EXPECT_EQ(Queue->Datatypes, std::vector<std::string>{"RAW"});
  EXPECT_EQ(Queue->DocName, "label.prn");
  EXPECT_EQ(Queue->OpenOptions, std::vector<DWORD>{PRINTER_OPTION_NO_CACHE});
  EXPECT_EQ(SpoolerCalls(), (std::vector<std::string>{"OpenPrinter2A", "StartDocPrinterA", "WritePrinter",
                                                      "EndDocPrinter", "GetJobA", "ClosePrinter"}));
  EXPECT_EQ(Form->Memo1.Lines(), (std::vector<std::string>{"queued as job 42", "printing", "completed"}));
  EXPECT_TRUE(Host.Messages.empty()) << Host.LastMessage();
  EXPECT_EQ(Platform.OpenPrinters(), 0);

  // Picked from the list as PRINTER:NAME (label), and a name that holds
  // parentheses of its own.
  Platform.AddQueue("HP (Copy 1)")->DriverName = "HP Universal";
  Form->ComboBox1.DropDown();
  const auto& items = Form->ComboBox1.Items();
  const auto hp = std::find(items.begin(), items.end(), "PRINTER:HP (Copy 1) (HP Universal)");
  ASSERT_NE(hp, items.end()) << ::testing::PrintToString(items);
  Form->ComboBox1.Pick(static_cast<int>(hp - items.begin()));
  SendFile(data);
  EXPECT_TRUE(Form->Job.TransferDone) << Host.LastMessage();
}

TEST_F(PrintQueueTest, EveryStateIsLoggedOnceAndAJobThatEndsUnprintedSaysWhy) {
  struct TCase {
    std::deque<TJobInfo> States;
    std::vector<std::string> Log;  // after "queued as job 42"
    const char* Message;           // nullptr: printed, no message
  } cases[] = {
      {{State(JOB_STATUS_SPOOLING), State(JOB_STATUS_PAUSED, "the queue is paused"),
        State(JOB_STATUS_PAUSED, "the queue is paused"), State(JOB_STATUS_PRINTING | JOB_STATUS_PAPEROUT),
        State(JOB_STATUS_ERROR, "media-empty"), State(JOB_STATUS_PRINTING), State(JOB_STATUS_COMPLETE)},
       {"held by the queue: the queue is paused", "stopped: out of paper", "stopped: media-empty", "printing",
        "completed"},
       nullptr},
      {{State(JOB_STATUS_PRINTING), State(JOB_STATUS_DELETING), State(TFakeQueue::JobGone)},
       {"printing", "cancelled by someone else"},
       "PRINTER:labels: job 42 was cancelled by someone else. It did not print."},
      {{State(JOB_STATUS_ERROR | JOB_STATUS_DELETED, "aborted-by-system")},
       {"aborted: aborted-by-system"},
       "PRINTER:labels: job 42 was aborted: aborted-by-system. It did not print."},
      // Windows forgets a printed job; Wine forgets it once CUPS has it.
      {{State(JOB_STATUS_OFFLINE), State(TFakeQueue::JobGone)},
       {"waiting for the printer: the printer is offline", "completed"},
       nullptr},
  };
  for (auto& c : cases) {
    *Queue = TFakeQueue{};
    Queue->States = c.States;
    Form->Memo1.Clear();
    const std::size_t messages = Host.Messages.size();
    SendFile(RandomBytes(100));
    std::vector<std::string> log = {"queued as job 42"};
    log.insert(log.end(), c.Log.begin(), c.Log.end());
    EXPECT_EQ(Form->Memo1.Lines(), log);
    EXPECT_EQ(Form->Job.TransferDone, c.Message == nullptr);
    EXPECT_EQ(Form->Upload.Delivered(), c.Message == nullptr);
    if (c.Message) {
      ASSERT_EQ(Host.Messages.size(), messages + 1);
      EXPECT_EQ(Host.LastMessage(), c.Message);
    } else {
      EXPECT_EQ(Host.Messages.size(), messages) << Host.LastMessage();
    }
    EXPECT_TRUE(Queue->Controls.empty()) << "someone else's decision is not ours to repeat";
  }
}

TEST_F(PrintQueueTest, AJobThatStandsStillTimesOutWithItsLastStateAndIsDeleted) {
  Queue->States = {State(JOB_STATUS_PAUSED, "the queue is paused")};
  StartWith(RandomBytes(5000));
  ASSERT_TRUE(Host.WaitUntil([&] { return Form->Memo1.Lines().size() == 2; }));
  // The first tick sees the block written; 61 more without a change.
  Ticks(62);
  ASSERT_EQ(Host.LastMessage(), "Time Out: held by the queue: the queue is paused");
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Queue->Controls, (std::vector<std::pair<DWORD, DWORD>>{{42, JOB_CONTROL_DELETE}}));
  EXPECT_EQ(Form->Memo1.Lines().back(), "cancelled in the queue");
  EXPECT_FALSE(Form->Job.TransferDone);
  EXPECT_EQ(Platform.OpenPrinters(), 0);

  // Pages that go on printing move the job on; the same state did not.
  *Queue = TFakeQueue{};
  Form->Memo1.Clear();
  for (DWORD page = 1; page <= 2000; ++page) Queue->States.push_back(State(JOB_STATUS_PRINTING, "", page));
  Queue->States.push_back(State(JOB_STATUS_PRINTED));
  StartWith(RandomBytes(100));
  ASSERT_TRUE(Host.WaitUntil([&] { return Form->Memo1.Lines().size() == 2; }));
  for (int tick = 0; tick < 5; ++tick) {
    const std::int32_t blocks = Form->Job.BlocksSent;
    ASSERT_TRUE(Host.WaitUntil([&] { return Form->Job.BlocksSent != blocks; }));
    Ticks(1);
    EXPECT_EQ(Form->Upload.StallSeconds(), 0);
  }
  ASSERT_TRUE(WaitIdle());
  EXPECT_TRUE(Form->Job.TransferDone) << Host.LastMessage();
}

TEST_F(PrintQueueTest, CancelDeletesTheJobWhileItIsWrittenOrFollowed) {
  // While it waits in the queue.
  Queue->States = {State(JOB_STATUS_PAUSED)};
  StartWith(RandomBytes(5000));
  ASSERT_TRUE(Host.WaitUntil([&] { return Form->Memo1.Lines().size() == 2; }));
  ASSERT_TRUE(Host.Click(Form->BuCancel));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Form->Memo1.Lines(),
            (std::vector<std::string>{"queued as job 42", "held by the queue: the job is paused", "cancelled in the queue"}));
  EXPECT_EQ(Queue->Controls, (std::vector<std::pair<DWORD, DWORD>>{{42, JOB_CONTROL_DELETE}}));
  EXPECT_TRUE(Host.Messages.empty()) << Host.LastMessage();

  // While it is written: no end of the document follows.
  *Queue = TFakeQueue{};
  Queue->HoldWrites = true;
  StartWith(RandomBytes(50000));
  ASSERT_TRUE(Platform.WaitUntil([&] { return !Queue->WriteSizes.empty() || Queue->JobsStarted > 0; }));
  ASSERT_TRUE(Host.Click(Form->BuCancel));
  Platform.ReleaseAll();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Queue->Controls, (std::vector<std::pair<DWORD, DWORD>>{{42, JOB_CONTROL_DELETE}}));
  EXPECT_LT(Queue->Received.size(), 50000u);
  EXPECT_FALSE(Form->Job.TransferDone);
  EXPECT_TRUE(Host.Messages.empty()) << Host.LastMessage();

  // A delete the spooler refuses is told.
  *Queue = TFakeQueue{};
  Queue->States = {State(0)};
  Platform.FailCall("SetJobA", ERROR_ACCESS_DENIED);
  Platform.MessageTexts[ERROR_ACCESS_DENIED] = "Access is denied.";
  Form->Memo1.Clear();
  StartWith(RandomBytes(100));
  ASSERT_TRUE(Host.WaitUntil([&] { return !Form->Memo1.Lines().empty(); }));
  ASSERT_TRUE(Host.Click(Form->BuCancel));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Host.LastMessage(), "PRINTER:labels: job 42 could not be cancelled: Access is denied");
  ExpectTheNextTransferWorks();
}

TEST_F(PrintQueueTest, FailuresNameTheQueueAndTheReasonCountNothingAndLeaveTheNextTransferWorking) {
  Platform.MessageTexts[ERROR_ACCESS_DENIED] = "Access is denied.";
  Platform.MessageTexts[ERROR_GEN_FAILURE] = "The device does not work.";
  struct TCase {
    const char* Port;
    std::function<void()> Fault;
    const char* Message;
  } cases[] = {
      {"PRINTER:nosuch", [] {}, "PRINTER:nosuch: no such print queue"},
      {"PRINTER:labels", [&] { Platform.FailCall("OpenPrinter2A", ERROR_ACCESS_DENIED); },
       "PRINTER:labels: Access is denied"},
      {"PRINTER:labels (Zebra)", [&] { Platform.FailCall("StartDocPrinterA", ERROR_ACCESS_DENIED); },
       "PRINTER:labels: Access is denied"},
      {"PRINTER:labels", [&] { Queue->RefusedDatatypes = {"RAW", "XPS_PASS"}; },
       "PRINTER:labels: the queue's print processor takes neither RAW nor XPS_PASS data, so the file cannot "
       "reach the printer unchanged. Nothing was sent."},
      {"PRINTER:", [] {}, "\"PRINTER:\" names no print queue: write PRINTER:NAME."},
  };
  for (const auto& c : cases) {
    *Queue = TFakeQueue{};
    c.Fault();
    Form->ComboBox1.TypeText(c.Port);
    SendFile(RandomBytes(3000));
    EXPECT_EQ(Host.LastMessage(), c.Message) << c.Port;
    ExpectNothingCounted();
    EXPECT_EQ(Queue->JobsStarted, 0) << c.Port;
    ExpectTheNextTransferWorks();
  }

  // The empty file: nothing to queue.
  const int opened = Platform.CountCalls("OpenPrinter2A");
  Form->ComboBox1.TypeText("PRINTER:labels");
  SendFile({});
  EXPECT_EQ(Host.LastMessage(),
            "PRINTER:labels: the file is empty, and a print queue takes no empty job. Nothing was sent.");
  EXPECT_EQ(Platform.CountCalls("OpenPrinter2A"), opened) << "the queue is not even opened";

  // A print processor without RAW takes XPS_PASS.
  *Queue = TFakeQueue{};
  Queue->RefusedDatatypes = {"RAW"};
  SendFile(RandomBytes(3000));
  EXPECT_TRUE(Form->Job.TransferDone);
  EXPECT_EQ(Queue->Datatypes, (std::vector<std::string>{"RAW", "XPS_PASS"}));

  // The spooler stops taking the file: the half job is deleted.
  *Queue = TFakeQueue{};
  Queue->FailAfter = 1500;
  Form->Edit1.SetText("1000");
  SendFile(RandomBytes(3000));
  EXPECT_EQ(Host.LastMessage(),
            "PRINTER:labels: the spooler stopped taking the file after 1000 bytes: The device does not work. job 42 "
            "was deleted.");
  EXPECT_EQ(Queue->Controls, (std::vector<std::pair<DWORD, DWORD>>{{42, JOB_CONTROL_DELETE}}));
  EXPECT_FALSE(Form->Job.TransferDone);
  EXPECT_EQ(Platform.OpenPrinters(), 0);
  ExpectTheNextTransferWorks();

  // The end of the job refused.
  *Queue = TFakeQueue{};
  Platform.FailCall("EndDocPrinter", ERROR_ACCESS_DENIED);
  SendFile(RandomBytes(3000));
  EXPECT_EQ(Host.LastMessage(),
            "PRINTER:labels: the spooler did not take the end of job 42: Access is denied. The job was deleted.");
  EXPECT_FALSE(Form->Job.TransferDone);
  EXPECT_EQ(Queue->Controls, (std::vector<std::pair<DWORD, DWORD>>{{42, JOB_CONTROL_DELETE}}));
  ExpectTheNextTransferWorks();
}

TEST_F(PrintQueueTest, AQueueIsChosenBeforeEveryOtherRuleAndListedLast) {
  // Even beside a USB printer, and with COM or LPT in its name.
  AddUsbPrinter(Platform, "VID_2A3C&PID_0002", "0001");
  Form->ComboBox1.DropDown();
  for (const char* text : {"PRINTER:COM1", "PRINTER:LPT1", "PRINTER:USB"}) {
    Form->ComboBox1.TypeText(text);
    EXPECT_EQ(Form->Job.TransferMode, tmPrintQueue) << text;
    EXPECT_FALSE(Form->BuSetupCom.Enabled()) << text;
  }
  EXPECT_EQ(Platform.CountCalls("GetCommModemStatus"), 0) << "nothing probed";

  Platform.AddQueue("office/raw")->Comment = "office/raw";  // CUPS's description when none was given
  auto dock = Platform.AddQueue("Labels Dock 3");
  dock->DriverName = "Zebra ZD420";
  dock->Comment = "By the loading dock";
  Platform.NetworkPrinters = {{"10.0.0.7:9100", "labels"}};
  Queue->DriverName = "Local Raw Printer";
  Form->ComboBox1.DropDown();
  auto items = Form->ComboBox1.Items();
  ASSERT_GE(items.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(items.end() - 4, items.end()),
            (std::vector<std::string>{"TCP:10.0.0.7:9100 (labels)", "PRINTER:labels (Local Raw Printer)",
                                      "PRINTER:office/raw", "PRINTER:Labels Dock 3 (By the loading dock)"}));

  // A spooler that cannot list: the other entries stay.
  Platform.SpoolerListError = ERROR_ACCESS_DENIED;
  Form->ComboBox1.DropDown();
  items = Form->ComboBox1.Items();
  EXPECT_EQ(items.back(), "TCP:10.0.0.7:9100 (labels)");
}

}  // namespace
}  // namespace vornex::test
