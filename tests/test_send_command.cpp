// vornex-send goes where it is told: the serial line set as asked, a device
// named by its path taken for what it is, a named port used even beside a USB
// printer, the file from standard input, and one line that says how a run
// ended.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <thread>

#include "app/SendCommand.h"
#include "os/posix/PosixPlatform.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/PrinterRuns.h"
#include "tests/support/PtyFarEnd.h"
#include "tests/support/TempDir.h"
#include "upload/Job.h"
#include "upload/Sha256.h"

namespace vornex::test {
namespace {

using printer::TVirtualPrinter;

// The last line a run printed on standard error.
std::string LastLine(const std::string& text) {
  std::string t = text;
  if (!t.empty() && t.back() == '\n') t.pop_back();
  return t.substr(t.rfind('\n') == std::string::npos ? 0 : t.rfind('\n') + 1);
}

class SendCommandRun : public ::testing::Test {
 protected:
  explicit SendCommandRun(bool usb = false) : Printer(QuickPrinter(usb)) {}
  TVirtualPrinter Printer;
  TPrinterEnvironment Environment{Printer};
  TTempDir Dir;
};

// A printer listening on a local socket, taking one connection.
class TSocketPrinter {
 public:
  explicit TSocketPrinter(const std::string& path) {
    Listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    if (::bind(Listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(Listener, 1) != 0)
      throw std::runtime_error("no socket at " + path);
    Reader = std::thread([this] {
      const int connection = ::accept(Listener, nullptr, nullptr);
      char buffer[65536];
      ssize_t n;
      while (connection >= 0 && (n = ::read(connection, buffer, sizeof buffer)) > 0)
        Bytes.insert(Bytes.end(), buffer, buffer + n);
      if (connection >= 0) ::close(connection);
    });
  }
  ~TSocketPrinter() {
    Received();
    ::close(Listener);
  }
  // What came over the connection, once the sender is done: a connection
  // is read to its end, and a wait for one that never came ends.
  std::vector<std::uint8_t> Received() {
    // A connection still waiting to be taken is taken; else the wait ends.
    pollfd pending{Listener, POLLIN, 0};
    if (::poll(&pending, 1, 0) == 0) ::shutdown(Listener, SHUT_RDWR);
    if (Reader.joinable()) Reader.join();
    return Bytes;
  }

 private:
  int Listener = -1;
  std::thread Reader;
  std::vector<std::uint8_t> Bytes;
};

// --- the serial line's settings --------------------------------------------------------------

TEST(SendCommandLine, SerialSettingsAreReadAndBadOnesNameTheValuesTaken) {
  TParsedCommand good = ParseSendCommand({"--port", "COM1", "--baud", "115200", "--data-bits", "7", "--parity",
                                          "even", "--stop-bits", "1.5", "--flow", "xonxoff", "f.prn"});
  ASSERT_TRUE(good.Options) << good.Error;
  const TSerialOptions& s = good.Options->Serial;
  EXPECT_EQ(s.BaudRate, br115200);
  EXPECT_EQ(s.DataBits, da7);
  EXPECT_EQ(s.Parity, paEven);
  EXPECT_EQ(s.StopBits, sb15);
  EXPECT_EQ(s.FlowControl, fcSoftware);
  for (const auto& [flow, value] : {std::pair<const char*, TFlowControl>{"none", fcNone}, {"hardware", fcCTS},
                                    {"dtr", fcDTR}, {"XON/XOFF", fcSoftware}}) {
    TParsedCommand p = ParseSendCommand({"--port", "COM1", "--flow", flow, "f.prn"});
    ASSERT_TRUE(p.Options) << flow;
    EXPECT_EQ(p.Options->Serial.FlowControl, value) << flow;
  }
  EXPECT_FALSE(ParseSendCommand({"--port", "COM1", "f.prn"}).Options->Serial.FlowControl)
      << "not given: the port's own handshake stays";

  const std::pair<std::vector<std::string>, std::string> bad[] = {
      {{"--baud", "12345"}, "--baud takes 110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, "
                            "115200, 128000, 256000, not '12345'"},
      {{"--data-bits", "9"}, "--data-bits takes 4, 5, 6, 7 or 8, not '9'"},
      {{"--parity", "weird"}, "--parity takes none, even, odd, mark or space, not 'weird'"},
      {{"--stop-bits", "3"}, "--stop-bits takes 1, 1.5 or 2, not '3'"},
      {{"--flow", "maybe"}, "--flow takes none, hardware, xonxoff or dtr, not 'maybe'"},
  };
  for (const auto& [args, error] : bad) {
    std::vector<std::string> all{"--port", "COM1"};
    all.insert(all.end(), args.begin(), args.end());
    all.push_back("f.prn");
    TParsedCommand p = ParseSendCommand(all);
    EXPECT_FALSE(p.Options) << args[0];
    EXPECT_EQ(p.Error, error);
  }
}

// What the far end of the line sees while the file comes, and what a bad
// value leaves it: nothing opened, nothing sent.
TEST(SendSerial, TheSettingsGivenReachTheLineAndABadOneOpensNothing) {
  TPtyFarEnd farEnd;
  TEnvironment environment;
  environment.Set("VORNEX_DEVICE_MAP", "COM1=" + farEnd.SlavePath());
  TTempDir dir;
  auto data = RandomBytes(5000, 41);
  const std::string file = dir.Write("s.prn", data);

  TRun xon = RunSend({"--port", "COM1", "--baud", "115200", "--stop-bits", "2", "--flow", "xonxoff", file});
  EXPECT_EQ(xon.Status, 0) << xon.Err;
  ASSERT_TRUE(farEnd.WaitForCount(data.size()));
  EXPECT_EQ(farEnd.Received(), data);
  TLineSettings line = farEnd.LineSettings();
  EXPECT_EQ(line.Speed, 115200u);
  EXPECT_TRUE(line.TwoStopBits);
  EXPECT_TRUE(line.XonXoffOut);
  EXPECT_TRUE(line.XonXoffIn);
  EXPECT_FALSE(line.RtsCts);

  TRun rtsCts = RunSend({"--port", "COM1", "--baud", "57600", "--flow", "hardware", file});
  EXPECT_EQ(rtsCts.Status, 0) << rtsCts.Err;
  ASSERT_TRUE(farEnd.WaitForCount(2 * data.size()));
  line = farEnd.LineSettings();
  EXPECT_EQ(line.Speed, 57600u);
  EXPECT_FALSE(line.TwoStopBits);
  EXPECT_TRUE(line.RtsCts);
  EXPECT_FALSE(line.XonXoffOut);

  TRun bad = RunSend({"--port", "COM1", "--baud", "12345", file});
  EXPECT_EQ(bad.Status, 2);
  EXPECT_TRUE(Contains(bad.Err, "--baud takes 110, 300,")) << bad.Err;
  EXPECT_TRUE(Contains(bad.Err, "usage:")) << bad.Err;
  EXPECT_EQ(farEnd.LineSettings().Speed, 57600u) << "the line was not opened";
  EXPECT_FALSE(farEnd.WaitForCount(2 * data.size() + 1, 500));
}

// --- where the file goes ------------------------------------------------------------------------

class SendBesideAUsbPrinter : public SendCommandRun {
 protected:
  SendBesideAUsbPrinter() : SendCommandRun(true) {}
};

// A port given by its path is the device behind it: a terminal whatever it
// is called, a FIFO or a socket as itself, and neither goes to the USB
// printer that is plugged in.
TEST_F(SendBesideAUsbPrinter, ADevicePathIsTakenForWhatTheDeviceIs) {
  auto data = RandomBytes(3000, 42);
  const std::string file = Dir.Write("p.prn", data);
  std::size_t arrived = 0;
  auto arrivesAt = [&] {
    if (!Printer.WaitForTransfers(arrived + 1)) return std::string("nothing arrived");
    const auto got = Printer.Transfers()[arrived++];
    return got.Sha256 == TSha256::Of(data) ? got.Port : "a different file at " + got.Port;
  };

  // A serial adapter's name holds "USB"; what counts is that it is a tty.
  const std::string adapter = Dir.Path("ttyUSB0");
  std::filesystem::create_symlink(Printer.Dir() + "/com1", adapter);
  TRun serial = RunSend({"--port", adapter, file});
  EXPECT_EQ(serial.Status, 0) << serial.Err;
  EXPECT_EQ(arrivesAt(), "COM1");

  TRun fifo = RunSend({"--port", Printer.Dir() + "/dev/lp0", file});
  EXPECT_EQ(fifo.Status, 0) << fifo.Err;
  EXPECT_EQ(arrivesAt(), "LPT1");

  {
    TSocketPrinter socketPrinter(Dir.Path("printer.sock"));
    TRun socket = RunSend({"--port", Dir.Path("printer.sock"), file});
    EXPECT_EQ(socket.Status, 0) << socket.Err;
    EXPECT_EQ(socketPrinter.Received(), data);
  }

  const std::pair<std::string, std::string> refused[] = {
      {"/dev/null", "Port /dev/null can't be opened: it is a file or a folder, not a port."},
      {Dir.Root.string(), "Port " + Dir.Root.string() + " can't be opened: it is a file or a folder, not a port."},
      {Dir.Path("ttyUSB9"), "Port " + Dir.Path("ttyUSB9") + " can't be opened: there is no such port."},
  };
  for (const auto& [port, message] : refused) {
    TRun run = RunSend({"--port", port, file});
    EXPECT_EQ(run.Status, 1) << port;
    EXPECT_EQ(LastLine(run.Err), "vornex-send: " + message);
  }
  EXPECT_FALSE(Printer.WaitForTransfers(arrived + 1, 1500)) << "nothing else arrived, at the USB printer least";
}

TEST_F(SendBesideAUsbPrinter, TheNamedPortIsTheOneUsedAndThereIsNoDefault) {
  auto data = RandomBytes(2000, 43);
  const std::string file = Dir.Write("n.prn", data);
  std::size_t arrived = 0;
  for (const auto& [port, arrivesAs] : {std::pair<std::string, std::string>{"COM1", "COM1"}, {"LPT1", "LPT1"},
                                        {"Common USB-2", "USB"}}) {
    TRun run = RunSend({"--port", port, file});
    EXPECT_EQ(run.Status, 0) << port << ": " << run.Err;
    ASSERT_TRUE(Printer.WaitForTransfers(arrived + 1)) << port;
    EXPECT_EQ(Printer.Transfers()[arrived].Port, arrivesAs);
    EXPECT_EQ(Printer.Transfers()[arrived++].Sha256, TSha256::Of(data));
  }

  TRun none = RunSend({file});
  EXPECT_EQ(none.Status, 2);
  EXPECT_TRUE(Contains(none.Err, "vornex-send: which port? Name it with --port; the ports found here:\n"
                                 "  Common USB-2\n  COM1\n  LPT1\n"))
      << none.Err;
  EXPECT_FALSE(Printer.WaitForTransfers(arrived + 1, 1500)) << "nothing was sent";
}

// --- standard input -------------------------------------------------------------------------------

TEST_F(SendCommandRun, AFileFromStandardInputArrivesWholeForEveryRepetition) {
  auto data = RandomBytes(300000, 44);
  const std::string file = Dir.Write("in.prn", data);
  TRunOptions bounded;
  bounded.KillAfterMs = 60000;
  TRun piped = RunProgram({"/bin/sh", "-c",
                           "cat " + ShellWord(file) + " | " + ShellWord(VORNEX_SEND) +
                               " --port LPT1 --repeat 1 --delay 0 -"},
                          bounded);
  EXPECT_EQ(piped.Status, 0) << piped.Err;
  EXPECT_EQ(LastLine(piped.Err).rfind("vornex-send: 2 transfers completed: 600000 bytes in ", 0), 0u) << piped.Err;
  ASSERT_TRUE(Printer.WaitForTransfers(2));
  for (const auto& got : Printer.Transfers()) {
    EXPECT_EQ(got.Port, "LPT1");
    EXPECT_EQ(got.Sha256, TSha256::Of(data));
  }
  TRun empty = RunProgram({"/bin/sh", "-c", ShellWord(VORNEX_SEND) + " --port LPT1 - < /dev/null"}, bounded);
  EXPECT_EQ(empty.Status, 0) << empty.Err;
  EXPECT_EQ(LastLine(empty.Err).rfind("vornex-send: completed: 0 bytes in 0:00", 0), 0u) << empty.Err;
}

TEST(SendInput, StandardInputIsReadWholeOrNotAtAll) {
  std::vector<std::uint8_t> bytes{1, 2, 3};
  std::istringstream none("");
  EXPECT_EQ(ReadWholeInput(none, bytes), "");
  EXPECT_TRUE(bytes.empty());
  const auto data = RandomBytes(200000, 45);
  std::istringstream some(std::string(data.begin(), data.end()));
  EXPECT_EQ(ReadWholeInput(some, bytes), "");
  EXPECT_EQ(bytes, data);
  std::istringstream broken("abc");
  broken.setstate(std::ios::badbit);
  EXPECT_EQ(ReadWholeInput(broken, bytes), "Cannot read standard input.");
  EXPECT_TRUE(bytes.empty());
}

// --- what the terminal shows ----------------------------------------------------------------------

TEST(SendProgress, AnEstimateWhileThingsMoveAndStalledWhileNothingDoes) {
  TProgress p;
  p.Sent = 5000;
  p.Total = 10000;
  p.Seconds = 5;
  p.StillSeconds = 0.1;
  EXPECT_EQ(ProgressText(p, false), "5000/10000 bytes 50% 1000 B/s 0:05 left");
  EXPECT_EQ(ProgressText(p, true), "[##########..........] 50%  5000/10000 bytes  1000 B/s  0:05 left");
  p.Seconds = 12;
  p.StillSeconds = 7.4;
  EXPECT_EQ(ProgressText(p, false), "5000/10000 bytes 50% 416 B/s stalled 7 s");
  p.Final = true;
  EXPECT_EQ(ProgressText(p, false), "5000/10000 bytes 50% 416 B/s");

  TRunSummary s;
  s.Completed = 1;
  s.BytesDelivered = 20000;
  s.Seconds = 2;
  EXPECT_EQ(SummaryLine(s), "completed: 20000 bytes in 0:02, 10000 B/s");
  s.Completed = 3;
  s.BytesDelivered = 60000;
  s.Seconds = 6;
  EXPECT_EQ(SummaryLine(s), "3 transfers completed: 60000 bytes in 0:06, 10000 B/s");
  s.Cancelled = true;
  s.Sent = 4096;
  s.Total = 20000;
  EXPECT_EQ(SummaryLine(s), "cancelled: 4096 of 20000 bytes sent, after 3 completed transfers");
  TRunSummary failed;
  failed.Stopped = "Port LPT1 took no data for 10 s.";
  EXPECT_EQ(SummaryLine(failed), "Port LPT1 took no data for 10 s.");
  failed.Sent = 65536;
  failed.Total = 1048576;
  EXPECT_EQ(SummaryLine(failed), "Port LPT1 took no data for 10 s. (65536 of 1048576 bytes sent)");
}

// A port that takes nothing: the progress says for how long, not an
// estimate that grows, and the run ends with what was sent.
TEST_F(SendCommandRun, AStalledPortSaysSoAndTheLastLineSaysWhatWasSent) {
  Printer.SetReading("LPT1", false);
  const std::string file = Dir.Write("st.prn", RandomBytes(1 << 20, 46));
  TRun run = RunSend({"--port", "LPT1", file});
  EXPECT_EQ(run.Status, 1);
  EXPECT_TRUE(std::regex_search(run.Err, std::regex(R"(\n\d+/1048576 bytes \d+% \d+ B/s stalled [3-9] s\n)")))
      << run.Err;
  EXPECT_TRUE(std::regex_search(LastLine(run.Err),
                                std::regex(R"(^vornex-send: Port LPT1 took no data for 10 s\. \(\d+ of 1048576 bytes sent\)$)")))
      << run.Err;
  // Once stalled, no estimate comes back while nothing moves.
  const std::string err = run.Err;
  EXPECT_EQ(err.find(" left\n", err.find("stalled")), std::string::npos) << err;
}

// On a terminal the bar stands on the last line without a line end; what
// the printer says goes to a line of its own.
TEST_F(SendCommandRun, WhatThePrinterSaysNeverSharesALineWithTheBar) {
  auto data = RandomBytes(40000, 47);
  TVirtualPrinter replying([&] {
    printer::TPrinterOptions o = ReplyingAt(data.size() / 2);
    o.SerialRate = 20000;
    return o;
  }());
  Environment.Export(replying);
  TPosixPlatform platform;
  TLoopHost host;
  std::ostringstream terminal;
  TSendCommand command(host, platform, terminal, terminal, true);
  TSendOptions options;
  options.Port = "COM1";
  options.File = Dir.Write("r.prn", data);
  EXPECT_EQ(command.Run(options), SendOk) << terminal.str();
  const std::string shown = terminal.str();
  const auto reply = shown.find("OK\n");
  ASSERT_NE(reply, std::string::npos) << shown;
  ASSERT_GE(reply, 4u);
  EXPECT_TRUE(shown.compare(reply - 4, 4, "\r\033[K") == 0 || shown[reply - 1] == '\n')
      << "glued to: " << shown.substr(reply > 80 ? reply - 80 : 0, 84);
  EXPECT_NE(shown.rfind("[", reply), std::string::npos) << "a bar was shown before the reply";
}

// Permission denied on a serial device says which group opens it; a port
// that cannot be opened gives the reason.
TEST(SendPermission, ASerialPortRefusedForWantOfPermissionNamesTheGroup) {
  TFakePlatform platform;
  platform.AddDevice("\\\\.\\COM1")->OpenError = ERROR_ACCESS_DENIED;
  TLoopHost host;
  std::ostringstream out, err;
  TSendCommand command(host, platform, out, err, false);
  TTempDir dir;
  TSendOptions options;
  options.Port = "COM1";
  options.File = dir.Write("d.prn", RandomBytes(100));
  EXPECT_EQ(command.Run(options), SendFailed);
  EXPECT_EQ(LastLine(err.str()),
            "vornex-send: Port COM1 can't be opened: access is denied. Serial ports belong to a group (dialout on "
            "Debian and Ubuntu): join it with 'sudo usermod -aG dialout $USER', then log in again.")
      << err.str();
  EXPECT_FALSE(Contains(err.str(), "Port can't Open"));

  // A USB printer gives its reason too, where the window says "USB Port
  // INVALID".
  auto printer = platform.AddDevice("/dev/usb/lp0");
  printer->IsComm = false;
  printer->OpenError = ERROR_ACCESS_DENIED;
  platform.DeviceKinds["/dev/usb/lp0"] = TDeviceKind::UsbPrinter;
  TLoopHost usbHost;
  std::ostringstream usbOut, usbErr;
  TSendCommand usb(usbHost, platform, usbOut, usbErr, false);
  options.Port = "/dev/usb/lp0";
  EXPECT_EQ(usb.Run(options), SendFailed);
  EXPECT_EQ(LastLine(usbErr.str()), "vornex-send: The USB printer can't be opened: access is denied.") << usbErr.str();
  EXPECT_EQ(PermissionHint(platform, tmParallel, "LPT1", "Port LPT1 can't be opened: access is denied."),
            "Port LPT1 can't be opened: access is denied.")
      << "only a serial port's";
}

// --- the virtual printer's settings -----------------------------------------------------------------

TEST(VirtualPrinterSettings, PastedIntoAShellTheyReachVornex) {
  TTempDir dir;
  const std::string where = dir.Path("the printer's; folder");
  TBackground printer({VORNEX_PRINTER, "--dir", where, "--no-usb"});
  ASSERT_TRUE(printer.WaitForOutput("VORNEX_TCP", 20000)) << printer.Output();
  std::string pasted;
  std::istringstream lines(printer.Output());
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("  ", 0) == 0) pasted += line.substr(2) + "\n";
  ASSERT_TRUE(Contains(pasted, "export VORNEX_DEVICE_MAP=")) << pasted;
  TRun list = RunProgram({"/bin/sh", "-c", pasted + "exec " + ShellWord(VORNEX_SEND) + " --list-ports"});
  EXPECT_EQ(list.Status, 0) << list.Err;
  // The printer's ports first (printers announced on the network may follow).
  EXPECT_EQ(list.Out.substr(0, 19), "COM1\nLPT1\nZUV USB0\n") << list.Err;
  TRun map = RunProgram({"/bin/sh", "-c", pasted + "printf %s \"$VORNEX_DEVICE_MAP\""});
  EXPECT_EQ(map.Out, "COM1=" + where + "/com1;LPT1=" + where + "/dev/lp0");
}

}  // namespace
}  // namespace vornex::test
