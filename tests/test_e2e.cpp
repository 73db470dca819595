// End to end: the main window and vornex-send over the real Linux platform,
// to the virtual printer, checked by what arrives there.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <thread>

#include "app/MainForm.h"
#include "os/posix/PosixPlatform.h"
#include "tests/support/HeadlessHost.h"
#include "tests/support/Sha256.h"
#include "tests/support/TempDir.h"
#include "tests/support/VirtualPrinter.h"

namespace vornex::test {
namespace {

// A printer that tells a transfer's end soon after its last byte. Without a
// USB printer, so that the port box decides where a file goes.
TPrinterOptions QuickPrinter(bool usb = false) {
  TPrinterOptions o;
  o.IdleMs = 150;
  o.Usb = usb;
  return o;
}

// The printer's settings, as the environment would give them.
void ExportEnvironment(const TVirtualPrinter& printer) {
  for (const auto& line : printer.Environment()) {
    auto eq = line.find('=');
    ::setenv(line.substr(0, eq).c_str(), line.substr(eq + 1).c_str(), 1);
  }
}

TPosixPlatform::TOptions PlatformFor(const TVirtualPrinter& printer) {
  ExportEnvironment(printer);
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
  TPosixPlatform Platform{PlatformFor(Printer)};
  THeadlessHost Host;
  TTempDir Dir;
  std::unique_ptr<TMainForm> Form;
};

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
};

TEST_P(EveryPort, FilesOfEverySizeArriveByteExact) {
  const std::string port = GetParam().PortText, arrivesAs = GetParam().ArrivesAs;
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
                                           TPortCase{"Common USB-2", "USB", true}));

TEST_P(EveryPort, AFarEndThatGoesAwayEndsTheTransferAndTheNextOneWorks) {
  const std::string port = GetParam().PortText, arrivesAs = GetParam().ArrivesAs;
  if (arrivesAs == "ZUV USB0") GTEST_SKIP() << "a library has no far end to lose";
  Printer.SetReading(arrivesAs, false);
  Form->ComboBox1.SetText(port);
  Form->EdFileName.SetText(Dir.Write("job.bin", RandomBytes(300000)));
  Host.Click(Form->BuStart);
  Host.WaitUntil([] { return false; }, 300);
  Printer.Vanish(arrivesAs);
  // Either the write fails at once, or it hangs until the time-out ends it.
  Host.WaitUntil([&] { return !Form->Upload.Busy(); }, 3000);
  for (int i = 0; i < 62 && Host.LastMessage() != "Time Out"; ++i) Host.Advance(1000);
  EXPECT_EQ(Host.LastMessage(), "Time Out");
  ASSERT_TRUE(Host.WaitUntil([&] { return !Form->Upload.Busy(); }, 10000));
  // A USB transfer ended by Cancel counts as done; the monitor has stopped
  // with the time-out all the same, so nothing repeats.
  if (arrivesAs != "USB") {
    EXPECT_FALSE(Form->Job.TransferDone);
  }
  EXPECT_FALSE(Form->TiRepeat.Enabled());

  Printer.Return(arrivesAs);
  Printer.SetReading(arrivesAs, true);
  Host.WaitUntil([] { return false; }, 300);  // what was stuck in the line drains
  const std::size_t before = Printer.Transfers().size();
  auto data = RandomBytes(5000, 8);
  ASSERT_TRUE(Send(port, data));
  ASSERT_TRUE(Printer.WaitForTransfers(before + 1));
  EXPECT_EQ(Printer.Transfers().back().Sha256, TSha256::Of(data));
}

TEST_F(EndToEndTest, ARepeatSeriesOfTwoDeliversThreeWholeCopies) {
  auto data = RandomBytes(3000, 3);
  Form->CBRepeat.SetChecked(true);
  Form->EdRepeatCount.SetText("2");
  Form->EdRepeatTime.SetText("0.2");
  ASSERT_TRUE(Send("COM1", data));
  for (int i = 0; i < 20 && Form->Job.RepeatDone < 2; ++i) {
    Host.WaitUntil([&] { return !Form->Upload.Busy(); }, 30000);
    Host.Advance(500);
  }
  Host.WaitUntil([&] { return !Form->Upload.Busy(); }, 30000);
  ASSERT_TRUE(Printer.WaitForTransfers(3));
  auto transfers = Printer.Transfers();
  ASSERT_EQ(transfers.size(), 3u);
  for (const auto& t : transfers) EXPECT_EQ(t.Sha256, TSha256::Of(data));
  EXPECT_EQ(Form->LaCount.Caption(), "2");
}

// vornex-send as a user runs it.
struct TRun {
  int Status = -1;
  std::string Out, Err;
};

TRun RunSend(const std::vector<std::string>& args, int interruptAfterMs = -1) {
  int out[2], err[2];
  if (::pipe(out) != 0 || ::pipe(err) != 0) return {};
  pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    std::vector<char*> argv{const_cast<char*>(VORNEX_SEND)};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(VORNEX_SEND, argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  ::close(err[1]);
  std::thread interrupter;
  if (interruptAfterMs >= 0)
    interrupter = std::thread([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(interruptAfterMs));
      ::kill(pid, SIGINT);
    });
  TRun run;
  auto drain = [](int fd, std::string& into) {
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) into.append(buffer, static_cast<std::size_t>(n));
    ::close(fd);
  };
  std::thread errReader([&] { drain(err[0], run.Err); });
  drain(out[0], run.Out);
  errReader.join();
  if (interrupter.joinable()) interrupter.join();
  int status = 0;
  ::waitpid(pid, &status, 0);
  run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

class SendCommandTest : public ::testing::Test {
 protected:
  void SetUp() override { ExportEnvironment(Printer); }
  TVirtualPrinter Printer{QuickPrinter()};
  TTempDir Dir;
};

TEST_F(SendCommandTest, AFileArrivesAndThePrintersReplyIsPrinted) {
  auto data = RandomBytes(20000, 21);
  TRun run = RunSend({"--port", "COM1", Dir.Write("a.prn", data)});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out, "OK\n");
  ASSERT_TRUE(Printer.WaitForTransfers(1));
  EXPECT_EQ(Printer.Transfers()[0].Sha256, TSha256::Of(data));
  EXPECT_NE(run.Err.find("20000/20000 bytes 100%"), std::string::npos) << run.Err;
}

TEST_F(SendCommandTest, RepeatsAndFailuresAndUsage) {
  auto data = RandomBytes(3000, 22);
  TRun repeated = RunSend({"--port", "ZUV USB0", "--repeat", "2", "--delay", "0.2", Dir.Write("b.prn", data)});
  EXPECT_EQ(repeated.Status, 0) << repeated.Err;
  EXPECT_NE(repeated.Err.find("3 transfers completed"), std::string::npos) << repeated.Err;

  TRun missing = RunSend({Dir.Path("nothing.prn")});
  EXPECT_EQ(missing.Status, 1);
  EXPECT_NE(missing.Err.find("vornex-send: File not found Please renter file name"), std::string::npos)
      << missing.Err;

  TRun badBlock = RunSend({"--block-size", "big", Dir.Write("c.prn", data)});
  EXPECT_EQ(badBlock.Status, 1);
  EXPECT_NE(badBlock.Err.find("'big' is not a valid integer value"), std::string::npos) << badBlock.Err;

  // The printer's ports among whatever serial ports this machine has.
  TRun list = RunSend({"--list-ports"});
  EXPECT_EQ(list.Status, 0);
  auto com1 = list.Out.find("COM1\n"), lpt1 = list.Out.find("LPT1\n"), usb0 = list.Out.find("ZUV USB0\n");
  EXPECT_TRUE(com1 < lpt1 && lpt1 < usb0 && usb0 != std::string::npos) << list.Out;

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
  ExportEnvironment(slow);
  auto data = RandomBytes(200000, 23);
  TRun run = RunSend({"--port", "COM1", Dir.Write("d.prn", data)}, 1500);
  EXPECT_EQ(run.Status, 130) << run.Err;
  EXPECT_NE(run.Err.find("vornex-send: cancelled"), std::string::npos) << run.Err;
  ASSERT_TRUE(slow.WaitForTransfers(1));
  TReceived got = slow.Transfers()[0];
  EXPECT_GT(got.Bytes, 0u);
  EXPECT_LT(got.Bytes, data.size());
  EXPECT_EQ(got.Sha256, TSha256::Of({data.begin(), data.begin() + static_cast<long>(got.Bytes)}))
      << "a prefix of the file, and nothing else";
}

}  // namespace
}  // namespace vornex::test
