// Print queues of a real CUPS server that the test starts itself: raw
// queues whose socket backend prints to the virtual printer's TCP listener,
// reached through the window and through vornex-send.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/MainForm.h"
#include "os/posix/PosixPlatform.h"
#include "printer/VirtualPrinter.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/CupsServer.h"
#include "tests/support/Environment.h"
#include "tests/support/HeadlessHost.h"
#include "tests/support/TempDir.h"
#include "upload/Sha256.h"

namespace vornex::test {
namespace {

using printer::TPrinterOptions;
using printer::TVirtualPrinter;

TPrinterOptions NetworkOnly(bool stall = false) {
  TPrinterOptions o;
  o.Usb = false;
  o.Vendor = false;
  o.TcpStall = stall;
  return o;
}

bool Has(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// One server for the suite (it takes a moment to start); each test its own
// queues and the window over the real Linux platform.
class PrintQueues : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { Cups = new TCupsServer; }
  static void TearDownTestSuite() { delete Cups; }
  void SetUp() override {
    ASSERT_EQ(Cups->Reason(), "");
    // libcups reads it once per thread: set before the window's first look.
    Environment.Set("CUPS_SERVER", Cups->Socket());
    Queue = "Vornex" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()).substr(0, 20);
    ASSERT_EQ(Cups->AddRawQueue(Queue, "socket://127.0.0.1:" + std::to_string(Printer.TcpPort()), "Dock labels"), "");
    Form = std::make_unique<TMainForm>(Host, Platform);
    Host.Attach(*Form);
    Form->Show();
    Form->PrintQueue.PollMs = 100;
    Form->Memo1.Clear();
  }
  void TearDown() override {
    Form.reset();
    Cups->Run({"lpadmin", "-x", Queue});
  }
  void Start(const std::string& port, const std::vector<std::uint8_t>& data) {
    Form->ComboBox1.SetText(port);
    Form->EdFileName.SetText(Dir.Write("label.prn", data));
    ASSERT_TRUE(Host.Click(Form->BuStart));
  }
  bool WaitIdle() { return Host.WaitUntil([&] { return !Form->Upload.Busy(); }, 60000); }
  bool WaitForLine(const std::string& line) {
    return Host.WaitUntil([&] { return Has(Form->Memo1.Lines(), line); }, 30000);
  }
  std::string Port() const { return "PRINTER:" + Queue; }
  // The job id the log gave: "queued as job N".
  std::string LoggedJob() const {
    for (const auto& line : Form->Memo1.Lines())
      if (line.rfind("queued as job ", 0) == 0) return Queue + "-" + line.substr(14);
    return {};
  }

  static TCupsServer* Cups;
  TEnvironment Environment;
  TVirtualPrinter Printer{NetworkOnly()};
  std::string Queue;
  THeadlessHost Host;
  TPosixPlatform Platform;
  TTempDir Dir;
  std::unique_ptr<TMainForm> Form;
};
TCupsServer* PrintQueues::Cups = nullptr;

TEST_F(PrintQueues, TheWindowListsTheQueueAndEverySizeArrivesByteExactOnceTheJobHasCompleted) {
  // The queue prints to a raw socket: its TCP: entry, which the network
  // search adds a moment later, stays as it is.
  const std::string entry = Port() + " (Dock labels)";
  const auto& items = Form->ComboBox1.Items();
  ASSERT_TRUE(Host.WaitUntil(
      [&] {
        Form->ComboBox1.DropDown();
        return Has(items, entry) && Has(items, Printer.TcpPortText() + " (" + Queue + ")");
      },
      15000))
      << ::testing::PrintToString(items);
  const auto found = std::find(items.begin(), items.end(), entry);
  Form->ComboBox1.Pick(static_cast<int>(found - items.begin()));
  EXPECT_EQ(Form->Job.TransferMode, tmPrintQueue);

  std::size_t received = 0;
  for (std::size_t size : {1u, 15u, 16u, 17u, 511u, 512u, 513u, 10240u, 1048576u}) {
    Form->Memo1.Clear();
    const auto data = RandomBytes(size, static_cast<unsigned>(size));
    Form->EdFileName.SetText(Dir.Write("label.prn", data));
    ASSERT_TRUE(Host.Click(Form->BuStart));
    ASSERT_TRUE(WaitIdle());
    ASSERT_TRUE(Form->Job.TransferDone) << size << ": " << Host.LastMessage();
    ASSERT_TRUE(Printer.WaitForTransfers(++received));
    EXPECT_EQ(Printer.Transfers().back().Sha256, TSha256::Of(data)) << size;
    const auto& log = Form->Memo1.Lines();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front().rfind("queued as job ", 0), 0u) << size;
    EXPECT_EQ(log.back(), "completed") << size;
    EXPECT_EQ(Cups->PendingJobs(Queue), std::vector<std::string>{});
  }
  EXPECT_TRUE(Host.Messages.empty()) << Host.LastMessage();
}

TEST_F(PrintQueues, APausedQueueEndsInTimeOutWithItsReasonAndTheJobLeavesTheQueue) {
  ASSERT_EQ(Cups->Run({"cupsdisable", "-r", "Out of labels", Queue}), "");
  Start(Port(), RandomBytes(20000));
  ASSERT_TRUE(WaitForLine("held by the queue: the queue is paused (Out of labels)"))
      << ::testing::PrintToString(Form->Memo1.Lines());
  ASSERT_EQ(Cups->PendingJobs(Queue), std::vector<std::string>{LoggedJob()});
  // The monitor's minute, on the window's virtual time.
  for (int tick = 0; tick < 62; ++tick) Host.Advance(1000);
  EXPECT_EQ(Host.LastMessage(), "Time Out: held by the queue: the queue is paused (Out of labels)");
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Form->Memo1.Lines().back(), "cancelled in the queue");
  EXPECT_FALSE(Form->Job.TransferDone);
  EXPECT_EQ(Cups->PendingJobs(Queue), std::vector<std::string>{});

  // Cancelled by someone else while it waits.
  Form->Memo1.Clear();
  const std::size_t messages = Host.Messages.size();
  Start(Port(), RandomBytes(20000));
  ASSERT_TRUE(WaitForLine("held by the queue: the queue is paused (Out of labels)"));
  const std::string job = LoggedJob();
  ASSERT_EQ(Cups->Run({"cancel", job}), "");
  ASSERT_TRUE(WaitIdle());
  ASSERT_EQ(Host.Messages.size(), messages + 1);
  EXPECT_EQ(Host.LastMessage(), Port() + ": job " + job.substr(Queue.size() + 1) +
                                    " was cancelled by someone else. It did not print.");
  EXPECT_FALSE(Form->Job.TransferDone);

  // Going again, the queue prints what comes next.
  ASSERT_EQ(Cups->Run({"cupsenable", Queue}), "");
  const auto data = RandomBytes(3000, 5);
  Start(Port(), data);
  ASSERT_TRUE(WaitIdle());
  EXPECT_TRUE(Form->Job.TransferDone) << Host.LastMessage();
  ASSERT_TRUE(Printer.WaitForTransfers(1));
  EXPECT_EQ(Printer.Transfers().back().Sha256, TSha256::Of(data));
}

TEST_F(PrintQueues, ARejectingOrMissingQueueIsRefusedAtOnceAndTheNextTransferWorks) {
  ASSERT_EQ(Cups->Run({"cupsreject", "-r", "Out of labels", Queue}), "");
  Start(Port(), RandomBytes(3000));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Host.LastMessage(), Port() + ": the queue is not accepting jobs (Out of labels)");
  EXPECT_EQ(Form->Job.BytesSent, 0);
  EXPECT_EQ(Form->Memo1.Lines(), std::vector<std::string>{});
  EXPECT_EQ(Cups->PendingJobs(Queue), std::vector<std::string>{});

  Start("PRINTER:NoSuchVornexQueue", RandomBytes(3000));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Host.LastMessage(), "PRINTER:NoSuchVornexQueue: no such print queue");
  EXPECT_EQ(Form->Job.BytesSent, 0);

  ASSERT_EQ(Cups->Run({"cupsaccept", Queue}), "");
  const std::size_t messages = Host.Messages.size();
  const auto data = RandomBytes(3000, 6);
  Start(Port(), data);
  ASSERT_TRUE(WaitIdle());
  EXPECT_TRUE(Form->Job.TransferDone) << Host.LastMessage();
  EXPECT_EQ(Host.Messages.size(), messages);
  ASSERT_TRUE(Printer.WaitForTransfers(1));
  EXPECT_EQ(Printer.Transfers().back().Sha256, TSha256::Of(data));
}

TEST_F(PrintQueues, CancelDuringALongJobRemovesItFromTheQueue) {
  // A printer that takes the connection and reads nothing: the job prints
  // for ever.
  TVirtualPrinter stalled(NetworkOnly(true));
  const std::string queue = Queue + "Stalled";
  ASSERT_EQ(Cups->AddRawQueue(queue, "socket://127.0.0.1:" + std::to_string(stalled.TcpPort())), "");
  Start("PRINTER:" + queue, RandomBytes(16u << 20, 8));
  ASSERT_TRUE(Host.WaitUntil(
      [&] {
        const auto& log = Form->Memo1.Lines();
        return !log.empty() && log.back().rfind("printing", 0) == 0;
      },
      30000))
      << ::testing::PrintToString(Form->Memo1.Lines());
  ASSERT_EQ(Cups->PendingJobs(queue).size(), 1u);
  ASSERT_TRUE(Host.Click(Form->BuCancel));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Form->Memo1.Lines().back(), "cancelled in the queue");
  EXPECT_FALSE(Form->Job.TransferDone);
  EXPECT_TRUE(Host.Messages.empty()) << Host.LastMessage();
  EXPECT_EQ(Cups->PendingJobs(queue), std::vector<std::string>{});
  Cups->Run({"lpadmin", "-x", queue});
}

TEST_F(PrintQueues, VornexSendDeliversListsAndSaysWhyNot) {
  TTempDir dir;
  const auto data = RandomBytes(70000, 9);
  const std::string file = dir.Write("label.prn", data);
  const TRun list = RunProgram({VORNEX_SEND, "--list-ports"});
  EXPECT_EQ(list.Status, 0) << list.Err;
  EXPECT_TRUE(Has(Lines(list.Out), Port() + " (Dock labels)")) << list.Out;

  // Done only once the job has completed; its states on standard output.
  const TRun sent = RunProgram({VORNEX_SEND, "--port", Port(), file});
  EXPECT_EQ(sent.Status, 0) << sent.Err;
  const auto states = Lines(sent.Out);
  ASSERT_FALSE(states.empty()) << sent.Err;
  EXPECT_EQ(states.front().rfind("queued as job ", 0), 0u) << sent.Out;
  EXPECT_EQ(states.back(), "completed") << sent.Out;
  ASSERT_TRUE(Printer.WaitForTransfers(1));
  EXPECT_EQ(Printer.Transfers().back().Sha256, TSha256::Of(data));

  // Among many printers: the queue beside a printer on the network, and a
  // missing queue failing on its own.
  const TRun fleet = RunProgram({VORNEX_SEND, "--port", Port(), "--port", Printer.TcpPortText(), "--port",
                                 "PRINTER:NoSuchVornexQueue", file});
  EXPECT_EQ(fleet.Status, 1) << fleet.Err;
  EXPECT_NE(fleet.Out.find("3 printers: 2 completed, 1 failed"), std::string::npos) << fleet.Out;
  EXPECT_NE(fleet.Out.find("PRINTER:NoSuchVornexQueue: no such print queue"), std::string::npos) << fleet.Out;
  ASSERT_TRUE(Printer.WaitForTransfers(3));
  for (const auto& got : Printer.Transfers()) EXPECT_EQ(got.Sha256, TSha256::Of(data));

  ASSERT_EQ(Cups->Run({"cupsreject", Queue}), "");
  TRun refused = RunProgram({VORNEX_SEND, "--port", Port(), file});
  EXPECT_EQ(refused.Status, 1);
  EXPECT_NE(refused.Err.find("vornex-send: " + Port() + ": the queue is not accepting jobs\n"), std::string::npos)
      << refused.Err;
  refused = RunProgram({VORNEX_SEND, "--port", "PRINTER:NoSuchVornexQueue", file});
  EXPECT_EQ(refused.Status, 1);
  EXPECT_NE(refused.Err.find("vornex-send: PRINTER:NoSuchVornexQueue: no such print queue\n"), std::string::npos)
      << refused.Err;
  refused = RunProgram({VORNEX_SEND, "--port", Port(), dir.Write("empty.prn", std::vector<std::uint8_t>{})});
  EXPECT_EQ(refused.Status, 1);
  EXPECT_NE(refused.Err.find("a print queue takes no empty job"), std::string::npos) << refused.Err;

  // Where no CUPS answers: the reason, and no queue in the list.
  TEnvironment nowhere;
  nowhere.Set("CUPS_SERVER", dir.Path("no-cups.sock"));
  refused = RunProgram({VORNEX_SEND, "--port", Port(), file});
  EXPECT_EQ(refused.Status, 1);
  // In libcups's words ("Host is down" for a socket that is not there).
  EXPECT_NE(refused.Err.find("vornex-send: " + Port() + ": CUPS (" + dir.Path("no-cups.sock") + ") does not answer: "),
            std::string::npos)
      << refused.Err;
  const TRun none = RunProgram({VORNEX_SEND, "--list-ports"});
  EXPECT_EQ(none.Status, 0);
  EXPECT_EQ(none.Out.find("PRINTER:"), std::string::npos) << none.Out;
  EXPECT_EQ(Printer.Transfers().size(), 3u);
}

}  // namespace
}  // namespace vornex::test
