// End to end: the main window and vornex-send over the real Linux platform,
// to the virtual printer, checked by what arrives there.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <filesystem>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <sstream>
#include <thread>
#include <utility>

#include "app/MainForm.h"
#include "app/SendCommand.h"
#include "os/posix/PosixPlatform.h"
#include "forms/LoopHost.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Environment.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/HeadlessHost.h"
#include "tests/support/PrinterRuns.h"
#include "upload/Sha256.h"
#include "tests/support/TempDir.h"
#include "printer/VirtualPrinter.h"

namespace vornex::test {
namespace {

using printer::TPrinterOptions;
using printer::TReceived;
using printer::TVirtualPrinter;

TPosixPlatform::TOptions PlatformFor() {
  TPosixPlatform::TOptions o = TPosixPlatform::OptionsFromEnvironment();
  o.LibraryDirs = {VORNEX_USBAPI_DIR};
  return o;
}

class EndToEndTest : public ::testing::Test {
 protected:
  explicit EndToEndTest(TPrinterOptions options = QuickPrinter()) : Printer(options) {}
  void SetUp() override {
    Form = std::make_unique<TMainForm>(Host, Platform);
    Host.Attach(*Form);
    Form->Show();
  }
  void TearDown() override { Form.reset(); }

  // Sends through the window's Start; true when the transfer completed.
  bool Send(const std::string& port, const std::vector<std::uint8_t>& data) {
    Form->ComboBox1.SetText(port);
    Form->EdFileName.SetText(Dir.Write("job.bin", data));
    Host.Click(Form->BuStart);
    Host.WaitUntil([&] { return !Form->Upload.Busy(); }, 120000);
    return Form->Job.TransferDone;
  }
  // The printer's next report, or an empty one after a wait.
  TReceived NextArrival(std::size_t already) {
    if (!Printer.WaitForTransfers(already + 1, 20000)) return {};
    return Printer.Transfers()[already];
  }

  TVirtualPrinter Printer;
  TPrinterEnvironment Environment{Printer};
  TPosixPlatform Platform{PlatformFor()};
  THeadlessHost Host;
  TTempDir Dir;
  std::unique_ptr<TMainForm> Form;
};

// Moves the monitor's clock on a second at a time until it gives up on a
// stuck transfer. The writer gets a moment of real time between ticks: while
// it still gets bytes into the line, the count moves and the monitor starts
// over. False if no time-out came within realMs.
bool AdvanceUntilTimeOut(THeadlessHost& host, int realMs = 30000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
  while (host.LastMessage() != "Time Out") {
    if (std::chrono::steady_clock::now() > deadline) return false;
    host.Advance(1000);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Messages a transfer may raise without failing: a pseudo-terminal has no
// modem lines for the port probe to see.
std::vector<std::string> Failures(const std::vector<std::string>& messages) {
  std::vector<std::string> out;
  for (const auto& m : messages)
    if (m != "Device not found") out.push_back(m);
  return out;
}

struct TPortCase {
  const char* PortText;  // what the user picks
  const char* ArrivesAs;
  bool UsbPrinter;       // a USB printer is plugged in
};

class EveryPort : public EndToEndTest, public ::testing::WithParamInterface<TPortCase> {
 protected:
  EveryPort() : EndToEndTest(QuickPrinter(GetParam().UsbPrinter)) {}
  // The network printer's port is known once it listens.
  std::string PortText() const {
    const std::string text = GetParam().PortText;
    return text == "TCP" ? Printer.TcpPortText() : text;
  }
};

TEST_P(EveryPort, FilesOfEverySizeArriveByteExact) {
  const std::string port = PortText(), arrivesAs = GetParam().ArrivesAs;
  for (std::size_t size : {0u, 1u, 15u, 16u, 17u, 511u, 512u, 513u, 10240u, 1048576u}) {
    auto data = RandomBytes(size, static_cast<unsigned>(size) + 11);
    const std::size_t before = Printer.Transfers().size();
    ASSERT_TRUE(Send(port, data)) << port << ", " << size << " bytes";
    if (size == 0) continue;  // nothing arrives to tell of
    TReceived got = NextArrival(before);
    EXPECT_EQ(got.Port, arrivesAs);
    EXPECT_EQ(got.Bytes, size) << port;
    EXPECT_EQ(got.Sha256, TSha256::Of(data)) << port << ", " << size << " bytes";
  }
  EXPECT_TRUE(Failures(Host.Messages).empty()) << Failures(Host.Messages).front();
}

INSTANTIATE_TEST_SUITE_P(Ports, EveryPort,
                         ::testing::Values(TPortCase{"COM1", "COM1", false}, TPortCase{"LPT1", "LPT1", false},
                                           TPortCase{"ZUV USB0", "ZUV USB0", false},
                                           // With a USB printer present it takes every file.
                                           TPortCase{"Common USB-2", "USB", true},
                                           // An address wins even over a USB printer.
                                           TPortCase{"TCP", "TCP", true}));

TEST_P(EveryPort, AFarEndThatGoesAwayEndsTheTransferAndTheNextOneWorks) {
  const std::string port = PortText(), arrivesAs = GetParam().ArrivesAs;
  if (arrivesAs == "ZUV USB0") GTEST_SKIP() << "a library has no far end to lose";
  Printer.SetReading(arrivesAs, false);
  Form->ComboBox1.SetText(port);
  Form->EdFileName.SetText(Dir.Write("job.bin", RandomBytes(300000)));
  Host.Click(Form->BuStart);
  // Under way: the line has taken its first blocks.
  ASSERT_TRUE(Host.WaitUntil([&] { return Form->Job.BlocksSent > 0; }));
  Printer.Vanish(arrivesAs);
  // Either the write fails at once, or it hangs until the time-out ends it.
  Host.WaitUntil([&] { return !Form->Upload.Busy(); }, 3000);
  EXPECT_TRUE(AdvanceUntilTimeOut(Host)) << Host.LastMessage();
  ASSERT_TRUE(Host.WaitUntil([&] { return !Form->Upload.Busy(); }, 10000));
  // A USB transfer ended by Cancel counts as done; the monitor has stopped
  // with the time-out all the same, so nothing repeats.
  if (arrivesAs != "USB") {
    EXPECT_FALSE(Form->Job.TransferDone);
  }
  EXPECT_FALSE(Form->TiRepeat.Enabled());

  Printer.Return(arrivesAs);
  Printer.SetReading(arrivesAs, true);
  const std::size_t before = Printer.Transfers().size();
  auto data = RandomBytes(5000, 8);
  ASSERT_TRUE(Send(port, data));
  // The file arrives whole, as a transfer of its own: nothing of the one
  // that was cut off comes before it.
  ASSERT_TRUE(Printer.WaitForTransfers(before + 1));
  const auto transfers = Printer.Transfers();
  EXPECT_EQ(transfers.size(), before + 1);
  EXPECT_EQ(transfers.back().Bytes, data.size());
  EXPECT_EQ(transfers.back().Sha256, TSha256::Of(data));
}

TEST_F(EndToEndTest, ARepeatSeriesOfTwoDeliversThreeWholeCopies) {
  auto data = RandomBytes(3000, 3);
  Form->CBRepeat.SetChecked(true);
  Form->EdRepeatCount.SetText("2");
  Form->EdRepeatTime.SetText("0.2");
  ASSERT_TRUE(Send("COM1", data));
  // The printer tells one copy from the next by the quiet between them, so
  // each repetition is let go only once the copy before it was reported
  // (waiting on the UI thread's terms: a copy under way needs it).
  for (std::size_t copies = 1; copies < 3; ++copies) {
    ASSERT_TRUE(Host.WaitUntil([&] { return Printer.Transfers().size() >= copies; }, 30000)) << copies;
    const std::int32_t repeated = Form->Job.RepeatDone;
    for (int i = 0; i < 20 && Form->Job.RepeatDone == repeated; ++i) {
      Host.WaitUntil([&] { return !Form->Upload.Busy(); }, 30000);
      Host.Advance(500);
    }
    ASSERT_EQ(Form->Job.RepeatDone, repeated + 1);
  }
  Host.WaitUntil([&] { return !Form->Upload.Busy(); }, 30000);
  ASSERT_TRUE(Printer.WaitForTransfers(3));
  auto transfers = Printer.Transfers();
  ASSERT_EQ(transfers.size(), 3u);
  for (const auto& t : transfers) EXPECT_EQ(t.Sha256, TSha256::Of(data));
  EXPECT_EQ(Form->LaCount.Caption(), "2");
}

// A printer on the network: the virtual printer's TCP listener, one
// connection a file.
class NetworkEndToEnd : public EndToEndTest {
 protected:
  // A file too large for the buffers between a sender and a printer that
  // stops reading (a few MiB on loopback).
  static constexpr std::size_t Large = 16u << 20;

  // Sends to port, and true when the file then arrives whole at printer as
  // a transfer of its own.
  bool ArrivesWhole(TVirtualPrinter& printer, const std::string& port, std::size_t size, unsigned seed) {
    const auto data = RandomBytes(size, seed);
    const std::size_t before = printer.Transfers().size();
    if (!Send(port, data) || !printer.WaitForTransfers(before + 1)) return false;
    const TReceived got = printer.Transfers().back();
    return got.Port == "TCP" && got.Bytes == size && got.Sha256 == TSha256::Of(data);
  }
  // The printer's report of a transfer cut off: a prefix of data, and not all of it.
  ::testing::AssertionResult APrefixArrived(const std::vector<std::uint8_t>& data, std::size_t before) {
    if (!Printer.WaitForTransfers(before + 1)) return ::testing::AssertionFailure() << "no report";
    const TReceived got = Printer.Transfers()[before];
    if (got.Bytes == 0 || got.Bytes >= data.size())
      return ::testing::AssertionFailure() << got.Bytes << " of " << data.size() << " bytes";
    if (got.Sha256 != TSha256::Of({data.begin(), data.begin() + static_cast<long>(got.Bytes)}))
      return ::testing::AssertionFailure() << "not a prefix of the file";
    return ::testing::AssertionSuccess();
  }
};

TEST_F(NetworkEndToEnd, ARepeatSeriesSendsEachCopyOnAConnectionOfItsOwn) {
  const auto data = RandomBytes(200000, 31);
  Form->CBRepeat.SetChecked(true);
  Form->EdRepeatCount.SetText("2");
  Form->EdRepeatTime.SetText("0.2");
  ASSERT_TRUE(Send(Printer.TcpPortText(), data));
  for (int i = 0; i < 40 && Form->Job.RepeatDone < 2; ++i) {
    Host.WaitUntil([&] { return !Form->Upload.Busy(); }, 30000);
    Host.Advance(500);
  }
  Host.WaitUntil([&] { return !Form->Upload.Busy(); }, 30000);
  ASSERT_TRUE(Printer.WaitForTransfers(3));
  const auto transfers = Printer.Transfers();
  ASSERT_EQ(transfers.size(), 3u);
  for (const auto& t : transfers) {
    EXPECT_EQ(t.Port, "TCP");
    EXPECT_EQ(t.Sha256, TSha256::Of(data));
  }
  EXPECT_EQ(Form->LaCount.Caption(), "2");
  EXPECT_TRUE(Failures(Host.Messages).empty()) << Failures(Host.Messages).front();
}

TEST_F(NetworkEndToEnd, APrinterThatStopsReadingIsLeftByCancelAndByTheTimeOutAndTheNextFileArrives) {
  const auto data = RandomBytes(Large, 32);
  for (const bool byTimeOut : {false, true}) {
    Printer.SetReading("TCP", false);
    const std::size_t before = Printer.Transfers().size();
    Form->ComboBox1.SetText(Printer.TcpPortText());
    Form->EdFileName.SetText(Dir.Write("large.bin", data));
    Host.Click(Form->BuStart);
    ASSERT_TRUE(Host.WaitUntil([&] { return Form->Job.BlocksSent > 0; }));
    if (byTimeOut) {
      EXPECT_TRUE(AdvanceUntilTimeOut(Host)) << Host.LastMessage();
    } else {
      // Until the buffers are full, the blocks keep going.
      std::int32_t seen = -1;
      while (seen != Form->Job.BlocksSent) {
        seen = Form->Job.BlocksSent;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
      Host.Click(Form->BuCancel);
    }
    // The blocked send ends at once, not when the printer reads again.
    ASSERT_TRUE(Host.WaitUntil([&] { return !Form->Upload.Busy(); }, 3000)) << (byTimeOut ? "time-out" : "cancel");
    EXPECT_FALSE(Form->Job.TransferDone);
    EXPECT_LT(Form->Job.BytesSent, static_cast<std::int32_t>(Large));
    EXPECT_EQ(Failures(Host.Messages), byTimeOut ? std::vector<std::string>{"Time Out"} : std::vector<std::string>{});
    Host.Messages.clear();
    // What the system had taken still reaches the printer, and nothing more.
    Printer.SetReading("TCP", true);
    EXPECT_TRUE(APrefixArrived(data, before));
    EXPECT_TRUE(ArrivesWhole(Printer, Printer.TcpPortText(), 70000, 33));
  }
}

TEST_F(NetworkEndToEnd, ARefusedConnectionAndAResetAreToldAndTheNextFileArrives) {
  // A port bound but not listening refuses every connection.
  const int closed = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof a;
  ASSERT_EQ(::bind(closed, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ::getsockname(closed, reinterpret_cast<sockaddr*>(&a), &length);
  const std::string refused = "127.0.0.1:" + std::to_string(ntohs(a.sin_port));
  EXPECT_FALSE(Send("TCP:" + refused, RandomBytes(1000, 34)));
  EXPECT_EQ(Host.LastMessage(), "Cannot connect to " + refused + ": Connection refused");
  EXPECT_EQ(Form->Job.BytesSent, 0);
  ::close(closed);
  EXPECT_TRUE(ArrivesWhole(Printer, Printer.TcpPortText(), 5000, 35));

  // A printer that resets the connection part-way: the transfer is not done.
  TVirtualPrinter resetting([] {
    TPrinterOptions o = QuickPrinter();
    o.TcpResetAfter = 100000;
    return o;
  }());
  const auto data = RandomBytes(1 << 20, 36);
  EXPECT_FALSE(Send(resetting.TcpPortText(), data));
  const std::string where = resetting.TcpPortText().substr(4);
  EXPECT_EQ(Host.LastMessage().rfind("The connection to " + where + " was lost after ", 0), 0u) << Host.LastMessage();
  EXPECT_NE(Host.LastMessage().find("Connection reset by peer"), std::string::npos) << Host.LastMessage();
  ASSERT_TRUE(resetting.WaitForTransfers(1));
  EXPECT_EQ(resetting.Transfers()[0].Bytes, 100000u);
  EXPECT_EQ(resetting.Transfers()[0].Sha256, TSha256::Of({data.begin(), data.begin() + 100000}));
  EXPECT_TRUE(ArrivesWhole(Printer, Printer.TcpPortText(), 5000, 37));
}

TEST_F(NetworkEndToEnd, WhatThePrinterSendsBackReachesTheLog) {
  // One printer answers once the file is in, another part-way through.
  TVirtualPrinter early([] {
    TPrinterOptions o = QuickPrinter();
    o.Reply = "READY;";
    o.ReplyAt = 1000;
    return o;
  }());
  Form->Memo1.Clear();
  ASSERT_TRUE(Send(Printer.TcpPortText(), RandomBytes(3000, 38)));
  ASSERT_TRUE(Send(early.TcpPortText(), RandomBytes(1 << 20, 39)));
  EXPECT_EQ(Form->Memo1.Lines(), (std::vector<std::string>{"OK", "RE", "DY"}));
}

// True while some program holds the port at path as a sender does.
bool HeldBySender(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
  ::close(fd);
  return held;
}

// True when the FIFO at path holds all it can: a writer waits.
bool PipeFull(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  int queued = 0;
  const int size = ::fcntl(fd, F_GETPIPE_SZ);
  const bool full = ::ioctl(fd, FIONREAD, &queued) == 0 && size > 0 && queued >= size;
  ::close(fd);
  return full;
}

class SendCommandTest : public ::testing::Test {
 protected:
  TVirtualPrinter Printer{QuickPrinter()};
  TPrinterEnvironment Environment{Printer};
  TTempDir Dir;
};

TEST_F(SendCommandTest, AFileArrivesAndThePrintersReplyIsPrinted) {
  auto data = RandomBytes(20000, 21);
  TVirtualPrinter replying(ReplyingAt(data.size()));
  Environment.Export(replying);
  TRun run = RunSend({"--port", "COM1", Dir.Write("a.prn", data)});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out, "OK\n");
  ASSERT_TRUE(replying.WaitForTransfers(1));
  EXPECT_EQ(replying.Transfers()[0].Sha256, TSha256::Of(data));
  EXPECT_NE(run.Err.find("20000/20000 bytes 100%"), std::string::npos) << run.Err;
}

TEST_F(SendCommandTest, AFileArrivesOverTheNetwork) {
  auto data = RandomBytes(300000, 24);
  TRun run = RunSend({"--port", Printer.TcpPortText(), Dir.Write("n.prn", data)});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out, "OK\n") << "the printer's answer, read before the connection closed";
  ASSERT_TRUE(Printer.WaitForTransfers(1));
  EXPECT_EQ(Printer.Transfers()[0].Port, "TCP");
  EXPECT_EQ(Printer.Transfers()[0].Sha256, TSha256::Of(data));
}

TEST_F(SendCommandTest, RepeatsAndFailuresAndUsage) {
  auto data = RandomBytes(3000, 22);
  TRun repeated = RunSend({"--port", "ZUV USB0", "--repeat", "2", "--delay", "0.2", Dir.Write("b.prn", data)});
  EXPECT_EQ(repeated.Status, 0) << repeated.Err;
  EXPECT_NE(repeated.Err.find("3 transfers completed"), std::string::npos) << repeated.Err;

  TRun missing = RunSend({"--port", "LPT1", Dir.Path("nothing.prn")});
  EXPECT_EQ(missing.Status, 1);
  EXPECT_NE(missing.Err.find("vornex-send: File not found Please renter file name"), std::string::npos)
      << missing.Err;

  TRun badBlock = RunSend({"--port", "ZUV USB0", "--block-size", "big", Dir.Write("c.prn", data)});
  EXPECT_EQ(badBlock.Status, 1);
  EXPECT_NE(badBlock.Err.find("'big' is not a valid integer value"), std::string::npos) << badBlock.Err;

  // The printer's ports and nothing else: its roots stand for /sys and
  // /dev, so none of this machine's own ports (nor a printer on them) shows.
  TRun list = RunSend({"--list-ports"});
  EXPECT_EQ(list.Status, 0);
  EXPECT_EQ(list.Out, "COM1\nLPT1\nZUV USB0\n");

  EXPECT_EQ(RunSend({"--frobnicate"}).Status, 2);
  EXPECT_EQ(RunSend({}).Status, 2);
  EXPECT_EQ(RunSend({"--help"}).Status, 0);
}

TEST_F(SendCommandTest, CtrlCCancelsAndOnlyAPrefixArrives) {
  TVirtualPrinter slow([] {
    TPrinterOptions o = QuickPrinter();
    o.SerialRate = 20000;
    return o;
  }());
  Environment.Export(slow);
  auto data = RandomBytes(200000, 23);
  // Ctrl-C once the printer has bytes: the transfer is under way by then.
  TRunOptions interrupt;
  interrupt.SignalWhen = [&] { return slow.Pending("COM1") > 0; };
  TRun run = RunSend({"--port", "COM1", Dir.Write("d.prn", data)}, interrupt);
  EXPECT_EQ(run.Status, 130) << run.Err;
  EXPECT_NE(run.Err.find("vornex-send: cancelled"), std::string::npos) << run.Err;
  ASSERT_TRUE(slow.WaitForTransfers(1));
  TReceived got = slow.Transfers()[0];
  EXPECT_GT(got.Bytes, 0u);
  EXPECT_LT(got.Bytes, data.size());
  EXPECT_EQ(got.Sha256, TSha256::Of({data.begin(), data.begin() + static_cast<long>(got.Bytes)}))
      << "a prefix of the file, and nothing else";
}

// A block of nothing would send nothing and still count as done.
TEST_F(SendCommandTest, ABlockSizeBelowOneIsRefusedAndNothingIsSentOrCounted) {
  const std::string file = Dir.Write("e.prn", RandomBytes(3000, 24));
  for (const char* size : {"0", "-1", "-2147483648"}) {
    TRun run = RunSend({"--port", "ZUV USB0", "--block-size", size, "--repeat", "2", "--delay", "0", file});
    EXPECT_EQ(run.Status, 1) << size;
    EXPECT_TRUE(Contains(run.Err, std::string("vornex-send: ") + BlockSizeTooSmallText)) << run.Err;
    EXPECT_FALSE(Contains(run.Err, "completed")) << run.Err;
  }
  EXPECT_FALSE(Printer.WaitForTransfers(1, 1500)) << "nothing arrived";
}

// A file named where a port should be keeps what it holds; a relative text
// is no file in the current folder.
TEST_F(SendCommandTest, APortTextNamingAFileIsRefusedAndTheFileKeepsItsContents) {
  const std::string file = Dir.Write("f.prn", RandomBytes(3000, 25));
  const std::string notes = Dir.Write("notes/LPTnotes", "keep me");
  TRun absolute = RunSend({"--port", notes, file});
  EXPECT_EQ(absolute.Status, 1);
  EXPECT_TRUE(Contains(absolute.Err, "Port " + notes + " can't be opened: it is a file or a folder, not a port."))
      << absolute.Err;
  const std::string local = Dir.Write("LPT1x", "keep me too");
  TRunOptions here;
  here.Cwd = Dir.Root.string();
  TRun relative = RunSend({"--port", "LPT1x", file}, here);
  EXPECT_EQ(relative.Status, 1);
  EXPECT_TRUE(Contains(relative.Err, "Port LPT1x can't be opened: there is no such port.")) << relative.Err;
  EXPECT_EQ(ReadAll(notes), (std::vector<std::uint8_t>{'k', 'e', 'e', 'p', ' ', 'm', 'e'}));
  EXPECT_EQ(ReadAll(local).size(), 11u);
  EXPECT_EQ(ReadAll(local)[0], 'k');
}

// Two senders on one port would mix their files at the printer.
TEST_F(SendCommandTest, ASecondSenderOnABusyPortIsRefusedAndTheFirstFileArrivesWhole) {
  const std::string lpt = Printer.Dir() + "/dev/lp0";
  Printer.SetReading("LPT1", false);
  const auto first = RandomBytes(1 << 20, 26);
  const std::string firstFile = Dir.Write("first.prn", first);
  TRun firstRun;
  std::thread sender([&] { firstRun = RunSend({"--port", "LPT1", firstFile}); });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!HeldBySender(lpt) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  TRun second = RunSend({"--port", "LPT1", Dir.Write("second.prn", RandomBytes(5000, 27))});
  Printer.SetReading("LPT1", true);
  sender.join();
  EXPECT_EQ(second.Status, 1);
  EXPECT_TRUE(Contains(second.Err, "vornex-send: Port LPT1 can't be opened: it is in use by another program."))
      << second.Err;
  EXPECT_EQ(firstRun.Status, 0) << firstRun.Err;
  ASSERT_TRUE(Printer.WaitForTransfers(1));
  const auto transfers = Printer.Transfers();
  ASSERT_EQ(transfers.size(), 1u);
  EXPECT_EQ(transfers[0].Bytes, first.size());
  EXPECT_EQ(transfers[0].Sha256, TSha256::Of(first));
}

// A printer whose reader goes away under a write ends the run with what
// happened, not with the broken pipe's signal. (libcups, once the network
// search has loaded it, ignores that signal for the whole process too; the
// program does not rely on it.)
TEST_F(SendCommandTest, APrinterThatGoesAwayUnderAWriteIsReportedNotASignal) {
  const std::string lpt = Printer.Dir() + "/dev/lp0";
  const std::string file = Dir.Write("p.prn", RandomBytes(1 << 20, 40));
  Printer.SetReading("LPT1", false);
  TRunOptions bounded;
  bounded.KillAfterMs = 30000;
  TRun run;
  std::thread sender([&] { run = RunSend({"--port", "LPT1", file}, bounded); });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!(HeldBySender(lpt) && PipeFull(lpt)) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  Printer.Vanish("LPT1");
  sender.join();
  Printer.Return("LPT1");
  EXPECT_EQ(run.Status, 1) << "not ended by SIGPIPE (141): " << run.Err;
  EXPECT_TRUE(Contains(run.Err, "vornex-send: Port LPT1 took ")) << run.Err;
}

TEST_F(SendCommandTest, ACtrlCAfterThePortTookTheLastByteEndsAsCompleted) {
  const auto data = RandomBytes(3000000, 28);
  TRunOptions late;
  late.SignalWhen = [&] { return Printer.Pending("LPT1") >= data.size() || !Printer.Transfers().empty(); };
  TRun run = RunSend({"--port", "LPT1", Dir.Write("g.prn", data)}, late);
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_FALSE(Contains(run.Err, "cancelled")) << run.Err;
  ASSERT_TRUE(Printer.WaitForTransfers(1));
  EXPECT_EQ(Printer.Transfers()[0].Sha256, TSha256::Of(data));
}

// Checked before a port is opened: the window would only read them once
// the first transfer is over.
// The list is searched once, with the longer wait for the network search.
TEST(SendCommandLine, ListPortsSearchesOnce) {
  TFakePlatform platform;
  platform.SpoolerPorts = {"LPT1:"};
  platform.NetworkPrinters = {{"10.0.0.5:9100", "Labels"}};
  TLoopHost host;
  std::ostringstream out, err;
  TSendCommand command(host, platform, out, err, false);
  TSendOptions options;
  options.ListPorts = true;
  EXPECT_EQ(command.Run(options), SendOk);
  EXPECT_EQ(out.str(), "LPT1\nTCP:10.0.0.5:9100 (Labels)\n");
  EXPECT_EQ(platform.CountCalls("EnumPortsA"), 1);
  EXPECT_EQ(platform.NetworkPrinterWaits, std::vector<DWORD>{4000});
}

TEST(SendCommandLine, RepeatAndDelayMustBeNumbersInRange) {
  for (const char* repeat : {"abc", "-1", "99999999999", "1e9", "", "1.5"}) {
    TParsedCommand parsed = ParseSendCommand({"--repeat", repeat, "f.prn"});
    EXPECT_FALSE(parsed.Options) << repeat;
    EXPECT_TRUE(Contains(parsed.Error, "--repeat")) << repeat << ": " << parsed.Error;
  }
  for (const char* delay : {"abc", "", "nan", "inf", "1e400", "-1", "3000000"}) {
    TParsedCommand parsed = ParseSendCommand({"--delay", delay, "f.prn"});
    EXPECT_FALSE(parsed.Options) << delay;
    EXPECT_TRUE(Contains(parsed.Error, "--delay")) << delay << ": " << parsed.Error;
  }
  for (const std::vector<std::string>& good :
       {std::vector<std::string>{"--repeat", "0"}, {"--repeat", "2147483647"}, {"--delay", "0"},
        {"--delay", "0.25"}, {"--delay", "2147483"}}) {
    std::vector<std::string> args = good;
    args.insert(args.end(), {"--port", "LPT1", "f.prn"});
    EXPECT_TRUE(ParseSendCommand(args).Options) << good[0] << " " << good[1];
  }
}

TEST_F(SendCommandTest, BadRepeatOptionsStopTheRunBeforeAnythingIsSent) {
  const std::string file = Dir.Write("h.prn", RandomBytes(3000, 29));
  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"--repeat", "abc"}, {"--repeat", "-1"}, {"--delay", "nan"}}) {
    std::vector<std::string> args{"--port", "LPT1"};
    args.insert(args.end(), bad.begin(), bad.end());
    args.push_back(file);
    TRun run = RunSend(args);
    EXPECT_EQ(run.Status, 2) << bad[1];
    EXPECT_TRUE(Contains(run.Err, "usage:")) << run.Err;
  }
  EXPECT_FALSE(Printer.WaitForTransfers(1, 1500)) << "nothing arrived";
}

// A transfer that stopped short leaves nothing to wait for: no minute until
// "Time Out", and without Line Check no wait for ever.
TEST_F(SendCommandTest, ATransferThatStopsShortEndsTheRunAtOnceWithItsReason) {
  const std::string file = Dir.Write("i.prn", RandomBytes(3000, 30));
  // A link to itself: the system's own words name what is wrong.
  std::filesystem::create_symlink("loop", Dir.Path("loop"));
  ::setenv("VORNEX_DEVICE_MAP",
           (Printer.DeviceMap() + ";LPT2=" + Dir.Path("missing") + ";LPT3=" + Dir.Path("loop")).c_str(), 1);
  struct TCase {
    std::vector<std::string> Args;
    std::string Reason;
  } cases[] = {
      {{"--port", "LPT9"}, "Port LPT9 can't be opened: there is no such port."},
      {{"--port", "LPT9", "--no-line-check"}, "Port LPT9 can't be opened: there is no such port."},
      {{"--port", ""}, "A port without a name can't be opened: there is no such port."},
      {{"--port", "C"}, "Port C can't be opened: there is no such port."},
      {{"--port", "LPT2"}, "Port LPT2 can't be opened: there is no such port."},
      {{"--port", "LPT3"}, "Port LPT3 can't be opened: Too many levels of symbolic links."},
  };
  TRunOptions bounded;
  bounded.KillAfterMs = 30000;
  for (const auto& c : cases) {
    std::vector<std::string> args = c.Args;
    args.push_back(file);
    TRun run = RunSend(args, bounded);
    EXPECT_EQ(run.Status, 1) << c.Reason << run.Err;
    EXPECT_TRUE(Contains(run.Err, "vornex-send: " + c.Reason + "\n")) << run.Err;
  }
  // The printer's parallel port without its reader.
  Printer.Vanish("LPT1");
  TRun gone = RunSend({"--port", "LPT1", file}, bounded);
  EXPECT_EQ(gone.Status, 1);
  EXPECT_TRUE(Contains(gone.Err, "vornex-send: Port LPT1 can't be opened: nothing is connected to it.\n"))
      << gone.Err;
}

TEST_F(SendCommandTest, CtrlCOrATerminationRequestEndsAStalledParallelWriteAtOnce) {
  const std::string lpt = Printer.Dir() + "/dev/lp0";
  const std::string file = Dir.Write("j.prn", RandomBytes(1 << 20, 31));
  Printer.SetReading("LPT1", false);
  for (const auto& [signal, status] : {std::pair<int, int>{SIGTERM, 143}, {SIGINT, 130}}) {
    TRunOptions stalled;
    stalled.Signal = signal;
    stalled.SignalWhen = [&] { return HeldBySender(lpt) && PipeFull(lpt); };
    TRun run = RunSend({"--port", "LPT1", file}, stalled);
    EXPECT_EQ(run.Status, status) << run.Err;
    EXPECT_TRUE(Contains(run.Err, "vornex-send: cancelled")) << run.Err;
    // The write may wait 10 s for the port; the signal does not.
    EXPECT_GE(run.SignalToEndMs, 0);
    EXPECT_LT(run.SignalToEndMs, 3000) << signal;
  }
}

TEST_F(SendCommandTest, OutputThatCannotBeWrittenFailsTheRun) {
  TRunOptions full;
  full.StdoutPath = "/dev/full";
  TRun list = RunSend({"--list-ports"}, full);
  EXPECT_EQ(list.Status, 1);
  EXPECT_TRUE(Contains(list.Err, "vornex-send: the port list could not be written to standard output")) << list.Err;
  EXPECT_EQ(RunSend({"--help"}, full).Status, 1);
  EXPECT_EQ(RunSend({"--version"}, full).Status, 1);

  // The printer's reply has nowhere to go: the file is printed, the run
  // says what was lost.
  auto data = RandomBytes(2000, 32);
  TVirtualPrinter replying(ReplyingAt(data.size()));
  Environment.Export(replying);
  TRun run = RunSend({"--port", "COM1", Dir.Write("k.prn", data)}, full);
  EXPECT_EQ(run.Status, 1);
  EXPECT_TRUE(Contains(run.Err, "vornex-send: what the printer sent could not be written to standard output"))
      << run.Err;
  ASSERT_TRUE(replying.WaitForTransfers(1));
  EXPECT_EQ(replying.Transfers()[0].Sha256, TSha256::Of(data));
}

// A slow line stays slow after a pause: the printer's pace builds up no
// credit while nothing comes, so a file sent after a quiet spell takes as
// long as the rate says.
TEST(VirtualPrinter, ARateHoldsFromTheFirstByteAfterAPause) {
  TPrinterOptions o = QuickPrinter();
  o.SerialRate = 20000;
  TVirtualPrinter printer(o);
  int line = ::open((printer.Dir() + "/com1").c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(line, 0);
  // Idle long enough to have earned the whole file at the old pace.
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  const auto data = RandomBytes(20000, 33);
  const auto start = std::chrono::steady_clock::now();
  std::thread writer([&] {
    std::size_t sent = 0;
    while (sent < data.size()) {
      const ssize_t n = ::write(line, data.data() + sent, data.size() - sent);
      if (n <= 0) break;
      sent += static_cast<std::size_t>(n);
    }
  });
  const auto deadline = start + std::chrono::seconds(20);
  while (printer.Pending("COM1") < data.size() && printer.Transfers().empty() &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  writer.join();
  ::close(line);
  EXPECT_GE(seconds, 0.9) << "20000 bytes at 20000 bytes a second";
  ASSERT_TRUE(printer.WaitForTransfers(1));
  EXPECT_EQ(printer.Transfers()[0].Sha256, TSha256::Of(data));
}

}  // namespace
}  // namespace vornex::test
