// Printers on the network with faults a real network has: a printer that
// reads slowly and resets, one that never reads, a link cut with the file
// still in the send queue, a printer that never stops talking, one that
// takes everything and keeps the connection, replies that would drive the
// terminal, a name whose first address does not answer, and a resolver that
// never answers. The program runs in a network and a mount namespace of its
// own (only loopback, its own hosts file and resolver, nft rules that touch
// no one else), made in main before any thread starts; it must run as root,
// and says why when it cannot.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netdb.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/MainForm.h"
#include "os/posix/PosixPlatform.h"
#include "os/posix/PosixSockets.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/HeadlessHost.h"
#include "tests/support/NetworkFaults.h"
#include "tests/support/TempDir.h"
#include "upload/NetworkTransport.h"

namespace vornex::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The names the hosts file gives: two addresses for one printer.
constexpr char DualName[] = "dual.vx";
// A name only the resolver could answer, which never does.
constexpr char SilentName[] = "silent.example";

// vornex-send as a user runs it; a run still going after two minutes is
// killed.
TRun RunSend(const std::vector<std::string>& args, TRunOptions options = {}) {
  std::vector<std::string> argv{VORNEX_SEND};
  argv.insert(argv.end(), args.begin(), args.end());
  if (options.KillAfterMs == 0) options.KillAfterMs = 120000;
  return RunProgram(argv, options);
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The window on the Linux platform, on virtual time for its timers.
class NetworkFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    Form = std::make_unique<TMainForm>(Host, Platform);
    Host.Attach(*Form);
    Form->Show();
  }
  void TearDown() override { Form.reset(); }

  void Start(const std::string& port, const std::vector<std::uint8_t>& data) {
    Form->ComboBox1.SetText(port);
    Form->EdFileName.SetText(Dir.Write("job.bin", data));
    ASSERT_TRUE(Host.Click(Form->BuStart));
  }
  // The monitor's clock a second at a time until it gives up, the worker
  // given a moment of real time between ticks. False if no time-out came
  // within realMs.
  bool AdvanceUntilTimeOut(int realMs = 60000) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(realMs);
    while (Host.LastMessage() != "Time Out") {
      if (Clock::now() > deadline) return false;
      Host.Advance(1000);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }
  // The whole file taken by the system (or sent): every block has gone out.
  bool AllBlocksOut(std::size_t size, int timeoutMs = 20000) {
    const auto blocks = static_cast<std::int32_t>((size + 511) / 512);
    return Host.WaitUntil([&] { return Form->Job.BlocksSent >= blocks; }, timeoutMs);
  }

  TPosixPlatform Platform{TPosixPlatform::TOptions{}};
  THeadlessHost Host;
  TTempDir Dir;
  std::unique_ptr<TMainForm> Form;
};

// A printer that never reads: its system takes a little, the rest stays in
// our queue, and the transfer is not done; the stall rule ends it.
TEST_F(NetworkFaults, APrinterThatNeverReadsLeavesTheTransferUndoneUntilTheTimeOut) {
  TFaults faults;
  faults.Reads = false;
  faults.ReceiveBuffer = 4096;
  TFaultyPrinter printer(faults);
  const auto data = RandomBytes(40000, 51);
  Start(printer.PortText(), data);
  ASSERT_TRUE(AllBlocksOut(data.size())) << "the system took the file";
  // Well past the time a printer has to close after the last byte.
  std::this_thread::sleep_for(std::chrono::milliseconds(3 * TNetworkTransport::DefaultFinishLimitMs / 2));
  EXPECT_TRUE(Form->Upload.Busy()) << "not done while the printer has not got it";
  EXPECT_FALSE(Form->Job.TransferDone);
  EXPECT_TRUE(AdvanceUntilTimeOut()) << Host.LastMessage();
  ASSERT_TRUE(Host.WaitUntil([&] { return !Form->Upload.Busy(); }, 5000));
  EXPECT_FALSE(Form->Job.TransferDone);
  EXPECT_LT(Form->Job.BytesSent, static_cast<std::int32_t>(data.size())) << "what the printer acknowledged";
  EXPECT_NE(Form->LaSendPer.Caption(), "100");
}

// The link goes down with the file in the send queue: nothing more is
// acknowledged, and the transfer ends in "Time Out", not "done".
TEST_F(NetworkFaults, ALinkCutWithTheFileInTheSendQueueEndsInTimeOut) {
  TFaults faults;
  faults.ReadRate = 100000;
  TFaultyPrinter printer(faults);
  const auto data = RandomBytes(400000, 52);
  Start(printer.PortText(), data);
  ASSERT_TRUE(AllBlocksOut(data.size())) << "the system took the file";
  TFirewall firewall;
  ASSERT_TRUE(firewall.Drop("tcp dport " + std::to_string(printer.Port())));
  ASSERT_TRUE(firewall.Drop("tcp sport " + std::to_string(printer.Port())));
  ASSERT_LT(printer.Received(), data.size()) << "cut while the file was on its way";
  EXPECT_TRUE(AdvanceUntilTimeOut()) << Host.LastMessage();
  ASSERT_TRUE(Host.WaitUntil([&] { return !Form->Upload.Busy(); }, 5000));
  EXPECT_FALSE(Form->Job.TransferDone);
  EXPECT_LT(Form->Job.BytesSent, static_cast<std::int32_t>(data.size()));
}

// A printer that reads part of the file slowly and then resets: the run
// fails, naming what was acknowledged, and the exit status says so.
TEST_F(NetworkFaults, APrinterThatResetsAfterReadingPartOfTheFileFailsTheRun) {
  TFaults faults;
  faults.ReadRate = 400000;
  faults.ResetAfter = 203000;
  TFaultyPrinter printer(faults);
  const auto data = RandomBytes(600000, 53);
  const TRun run = RunSend({"--port", printer.PortText(), Dir.Write("r.prn", data)});
  EXPECT_EQ(run.Status, 1) << run.Err;
  const std::string lost = "The connection to 127.0.0.1:" + std::to_string(printer.Port()) + " was lost after ";
  ASSERT_TRUE(Contains(run.Err, lost)) << run.Err;
  const long acknowledged = std::stol(run.Err.substr(run.Err.find(lost) + lost.size()));
  EXPECT_GE(acknowledged, 203000);
  EXPECT_LT(acknowledged, static_cast<long>(data.size()));
  EXPECT_FALSE(Contains(run.Err, "100%")) << run.Err;
}

// Once the printer's system has the whole file, a Ctrl-C only ends the wait
// for its close: the run ends as completed.
TEST_F(NetworkFaults, ACtrlCAfterThePrinterHasEverythingEndsAsCompleted) {
  TFaults faults;
  faults.ClosesAtEnd = false;
  TFaultyPrinter printer(faults);
  const auto data = RandomBytes(300000, 54);
  TRunOptions late;
  late.SignalWhen = [&] { return printer.SawEnd(); };
  const TRun run = RunSend({"--port", printer.PortText(), Dir.Write("c.prn", data)}, late);
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_FALSE(Contains(run.Err, "cancelled")) << run.Err;
  EXPECT_EQ(printer.Received(), data.size());
}

// A printer that never stops talking: Ctrl-C and the time-out still end the
// transfer at once, and what is shown of its talk is bounded.
TEST_F(NetworkFaults, APrinterThatKeepsTalkingIsStoppedAtOnce) {
  TFaults faults;
  faults.ReadRate = 20000;
  faults.Floods = "BUSY;";
  TFaultyPrinter printer(faults);
  const auto data = RandomBytes(5000000, 55);
  TRunOptions interrupt;
  interrupt.SignalWhen = [&] { return printer.Received() > 50000; };
  const TRun run = RunSend({"--port", printer.PortText(), Dir.Write("f.prn", data)}, interrupt);
  EXPECT_EQ(run.Status, 130) << run.Err;
  EXPECT_GE(run.SignalToEndMs, 0);
  EXPECT_LT(run.SignalToEndMs, 1500) << "whatever the printer sends";
  const auto lines = static_cast<std::size_t>(std::count(run.Out.begin(), run.Out.end(), '\n'));
  EXPECT_LE(lines, TNetworkTransport::MaxShownReplyBytes / 2 + 2);
  EXPECT_TRUE(Contains(run.Out, " more bytes from the printer were not shown]\n")) << run.Out.substr(0, 200);

  // The window's time-out.
  TFaultyPrinter flooding(faults);
  Start(flooding.PortText(), data);
  ASSERT_TRUE(Host.WaitUntil([&] { return flooding.Received() > 50000; }));
  EXPECT_TRUE(AdvanceUntilTimeOut()) << Host.LastMessage();
  const auto timedOut = Clock::now();
  ASSERT_TRUE(Host.WaitUntil([&] { return !Form->Upload.Busy(); }, 5000));
  EXPECT_LT(Clock::now() - timedOut, std::chrono::milliseconds(1500));
  EXPECT_FALSE(Form->Job.TransferDone);
}

// What the printer sends back never drives the terminal.
TEST_F(NetworkFaults, RepliesThatWouldDriveTheTerminalArePrintedEscaped) {
  TFaults faults;
  faults.ReplyAtEnd = "\x1b[2J;\x1b[?1049h;\x1b[?1000h;\x9b" "2J;\xe2\x80\xae;\x7f;";
  TFaultyPrinter printer(faults);
  const TRun run = RunSend({"--port", printer.PortText(), Dir.Write("e.prn", RandomBytes(1000, 56))});
  EXPECT_EQ(run.Status, 0) << run.Err;
  for (char c : run.Out)
    EXPECT_FALSE((static_cast<unsigned char>(c) < 0x20 && c != '\n') || static_cast<unsigned char>(c) >= 0x7f)
        << "raw byte " << int(static_cast<unsigned char>(c)) << " in " << run.Out;
  EXPECT_TRUE(Contains(run.Out, "\\x1b[\n")) << run.Out;
  EXPECT_TRUE(Contains(run.Out, "\\x9b2\n")) << run.Out;
}

// A name whose first address does not answer (its SYN dropped): the second
// is tried beside it within a moment, not after the whole time limit.
TEST_F(NetworkFaults, ANameWhoseFirstAddressIsSilentReachesItsSecondAtOnce) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  ASSERT_EQ(::getaddrinfo(DualName, "9100", &hints, &list), 0) << "the hosts file names it";
  std::vector<std::string> order;
  for (addrinfo* a = list; a; a = a->ai_next) {
    char text[INET_ADDRSTRLEN];
    ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr, text, sizeof text);
    order.push_back(text);
  }
  ::freeaddrinfo(list);
  ASSERT_EQ(order.size(), 2u);
  TFaults faults;
  faults.Address = "0.0.0.0";
  TFaultyPrinter printer(faults);
  TFirewall firewall;
  // The first address the system gives is the silent one.
  ASSERT_TRUE(firewall.Drop("ip daddr " + order[0] + " tcp dport " + std::to_string(printer.Port()) +
                            " tcp flags & (syn | ack) == syn"));
  const auto data = RandomBytes(20000, 57);
  const auto start = Clock::now();
  const TRun run =
      RunSend({"--port", std::string("TCP:") + DualName + ":" + std::to_string(printer.Port()), Dir.Write("d.prn", data)});
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(printer.Received(), data.size());
  EXPECT_LT(seconds, 3.0) << "the second address waited for the first's time limit";
}

// A resolver that never answers: Ctrl-C ends the run at once, and lookups
// given up on do not pile up threads or hold up the platform's end.
TEST_F(NetworkFaults, ALookupTheResolverNeverAnswersHoldsNothingUp) {
  TSilentNameServer silent;
  ASSERT_EQ(silent.Why, "");
  TRunOptions interrupt;
  const auto start = Clock::now();
  interrupt.SignalWhen = [&] { return Clock::now() - start > std::chrono::milliseconds(500); };
  const TRun run = RunSend({"--port", std::string("TCP:") + SilentName, Dir.Write("s.prn", RandomBytes(100, 58))},
                           interrupt);
  EXPECT_EQ(run.Status, 130) << run.Err;
  EXPECT_GE(run.SignalToEndMs, 0);
  EXPECT_LT(run.SignalToEndMs, 1500);

  const auto threads = [] {
    return std::distance(fs::directory_iterator("/proc/self/task"), fs::directory_iterator());
  };
  auto platform = std::make_unique<TPosixPlatform>(TPosixPlatform::TOptions{});
  TPlatformHandle cancel(*platform, platform->CreateEventA(true, false));
  const auto before = threads();
  for (int i = 0; i < 40; ++i) {
    std::vector<TSocketAddress> addresses;
    const int r = platform->Sockets().getaddrinfo(SilentName, "9100", addresses, 20, cancel.Get());
    EXPECT_EQ(r, static_cast<int>(WSAETIMEDOUT));
  }
  EXPECT_GT(static_cast<TPosixSockets&>(platform->Sockets()).LookupsPending(), 0u);
  if (TPosixSockets::SharedResolverThreads) {
    EXPECT_LT(threads() - before, 25) << "the resolver's own threads, not one a lookup";
  }
  platform->SetEvent(cancel.Get());
  std::vector<TSocketAddress> addresses;
  EXPECT_EQ(platform->Sockets().getaddrinfo(SilentName, "9100", addresses, 60000, cancel.Get()),
            static_cast<int>(ERROR_OPERATION_ABORTED));
  cancel.Reset();
  const auto ending = Clock::now();
  platform.reset();
  EXPECT_LT(Clock::now() - ending, std::chrono::milliseconds(500)) << "nothing waited for";
}

}  // namespace
}  // namespace vornex::test

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Before any thread: a process with threads cannot leave its mounts.
  const std::string why = vornex::test::EnterOwnNetwork(
      {std::string("127.0.0.1 ") + vornex::test::DualName, std::string("127.0.0.2 ") + vornex::test::DualName});
  if (!why.empty()) {
    std::fprintf(stderr, "vornex_network_fault_tests cannot run: it needs %s\n", why.c_str());
    return 1;
  }
  return RUN_ALL_TESTS();
}
