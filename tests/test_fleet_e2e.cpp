// vornex-send to many printers at once, end to end: virtual printers on
// loopback (healthy, refusing, stalling, resetting, slow), every kind of port
// in one run, Ctrl-C, retries, and the input refused before anything is sent.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/FleetCommand.h"
#include "os/posix/PosixPlatform.h"
#include "printer/VirtualPrinter.h"
#include "tests/support/PrinterRuns.h"
#include "tests/support/PtyFarEnd.h"
#include "tests/support/TempDir.h"
#include "upload/Sha256.h"

namespace vornex::test {
namespace {

using printer::TPrinterOptions;
using printer::TReceived;
using printer::TVirtualPrinter;

std::string ReadText(const std::string& path) {
  const auto bytes = ReadAll(path);
  return {bytes.begin(), bytes.end()};
}

// The line of a text that starts with a port and a space (the summary
// table's, the CSV report's), or the JSON report's object for the port.
std::string LineOf(const std::string& text, const std::string& port) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);)
    if (Contains(line, "\"port\": \"" + port + "\"") || line.rfind(port + ",", 0) == 0 || line.rfind(port + " ", 0) == 0)
      return line;
  return {};
}

// Network printers only, n of them, and what else they do.
TPrinterOptions NetworkPrinters(std::size_t n) {
  TPrinterOptions o;
  o.Usb = false;
  o.Vendor = false;
  o.TcpListeners = n;
  return o;
}

// A port bound on loopback that listens to nothing: connections to it are
// refused, and no one else takes it while the test runs.
class TClosedPort {
 public:
  TClosedPort() {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    ::bind(Fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(Fd, reinterpret_cast<sockaddr*>(&a), &length);
    Text = "TCP:127.0.0.1:" + std::to_string(ntohs(a.sin_port));
  }
  ~TClosedPort() { ::close(Fd); }
  TClosedPort(const TClosedPort&) = delete;
  TClosedPort& operator=(const TClosedPort&) = delete;
  std::string Text;

 private:
  int Fd = ::socket(AF_INET, SOCK_STREAM, 0);
};

// The files a printer took, whole and as sent.
::testing::AssertionResult EachArrivedWhole(TVirtualPrinter& printer, std::size_t n,
                                            const std::vector<std::uint8_t>& data) {
  if (!printer.WaitForTransfers(n)) return ::testing::AssertionFailure() << printer.Transfers().size() << " of " << n;
  for (const TReceived& got : printer.Transfers())
    if (got.Sha256 != TSha256::Of(data)) return ::testing::AssertionFailure() << got.Port << ": " << got.Bytes << " bytes";
  return ::testing::AssertionSuccess();
}

class FleetEndToEnd : public ::testing::Test {
 protected:
  // A list file: the ports between comments and blank lines, as a user
  // keeps one.
  std::string List(const std::vector<std::string>& ports, const std::string& name = "printers.txt") {
    std::string text = "# the warehouse's label printers\n\n";
    for (const auto& port : ports) text += "  " + port + "\r\n";
    return Dir.Write(name, text + "# end\n");
  }
  TTempDir Dir;
};

TEST_F(FleetEndToEnd, FortyNetworkPrintersEachGetTheFileOrTheirOwnReason) {
  TVirtualPrinter healthy(NetworkPrinters(30));
  TVirtualPrinter stalling([] {
    TPrinterOptions o = NetworkPrinters(3);
    o.TcpStall = true;
    return o;
  }());
  TVirtualPrinter resetting([] {
    TPrinterOptions o = NetworkPrinters(3);
    o.TcpResetAfter = 100000;
    return o;
  }());
  TVirtualPrinter slow([] {
    TPrinterOptions o = NetworkPrinters(1);
    o.TcpRate = 2000000;
    return o;
  }());
  TClosedPort refusing[3];
  // The faulty ones among the healthy ones, as in a real list.
  std::vector<std::string> ports = healthy.TcpPortTexts();
  for (int i = 0; i < 3; ++i) {
    ports.insert(ports.begin() + 9 * i + 1, stalling.TcpPortTexts()[static_cast<std::size_t>(i)]);
    ports.insert(ports.begin() + 9 * i + 3, resetting.TcpPortTexts()[static_cast<std::size_t>(i)]);
    ports.insert(ports.begin() + 9 * i + 5, refusing[i].Text);
  }
  ports.insert(ports.begin() + 20, slow.TcpPortText());
  ASSERT_EQ(ports.size(), 40u);
  const auto data = RandomBytes(1 << 20, 60);
  const std::string report = Dir.Path("result.json");
  TRun run = RunSend({"--ports-from", List(ports), "--jobs", "16", "--stall-limit", "2", "--report", report,
                      Dir.Write("label.prn", data)});
  EXPECT_EQ(run.Status, 1) << run.Err;
  EXPECT_TRUE(Contains(run.Out, "40 printers: 31 completed, 6 failed, 3 timed out\n")) << run.Out;
  EXPECT_TRUE(EachArrivedWhole(healthy, 30, data));
  EXPECT_TRUE(EachArrivedWhole(slow, 1, data));

  const std::string json = ReadText(report);
  EXPECT_EQ(json.front(), '[');
  const std::string sha = "\"sha256\": \"" + TSha256::Of(data) + "\"";
  auto expect = [&](const std::string& port, const std::string& result, const std::string& reason) {
    const std::string line = LineOf(json, port);
    EXPECT_TRUE(Contains(line, "\"result\": \"" + result + "\"")) << port << ": " << line;
    EXPECT_TRUE(Contains(line, reason)) << port << ": " << line;
    EXPECT_TRUE(Contains(line, sha)) << line;
    EXPECT_TRUE(Contains(line, "\"bytes_total\": 1048576")) << line;
  };
  for (const auto& port : healthy.TcpPortTexts()) expect(port, "completed", "\"reply\": \"OK\"");
  expect(slow.TcpPortText(), "completed", "\"bytes_sent\": 1048576");
  for (const auto& port : stalling.TcpPortTexts())
    expect(port, "timed out", "Time Out: no progress for more than 2 s; the printer had not taken the last ");
  for (const auto& port : resetting.TcpPortTexts())
    expect(port, "failed", "was lost after");
  for (const auto& closed : refusing)
    expect(closed.Text, "failed", "Cannot connect to " + closed.Text.substr(4) + ": Connection refused");
  // The same in the table, a line a printer.
  for (const auto& closed : refusing) EXPECT_TRUE(Contains(LineOf(run.Out, closed.Text), "  failed  ")) << run.Out;
}

TEST_F(FleetEndToEnd, EveryKindOfPortInOneRunAndOneDeviceByTwoNamesInTurn) {
  const auto data = RandomBytes(100000, 61);
  TVirtualPrinter printer([&] {
    TPrinterOptions o;
    o.IdleMs = 1000;
    o.ReplyAt = data.size();
    // What a printer sends back never reaches the terminal as it came.
    o.Reply = "\x1b[31mOK;";
    return o;
  }());
  TPrinterEnvironment environment(printer);
  // LPT2 is the same FIFO as LPT1 under another name.
  environment.Set("VORNEX_DEVICE_MAP", printer.DeviceMap() + ";LPT2=" + printer.Dir() + "/dev/lp0");
  const std::string report = Dir.Path("result.csv");
  TRun run = RunSend({"--port", "COM1", "--port", "LPT1", "--port", "LPT2", "--port", "Common USB-2", "--port",
                      printer.TcpPortText(), "--report", report, Dir.Write("label.prn", data)});
  EXPECT_EQ(run.Status, 0) << run.Err << run.Out;
  EXPECT_TRUE(Contains(run.Out, "5 printers: 5 completed")) << run.Out;
  // The FIFO behind LPT1 and LPT2 got the file twice, one after the other
  // (as one transfer when the second came before it saw the first end).
  std::vector<std::uint8_t> twice = data;
  twice.insert(twice.end(), data.begin(), data.end());
  std::map<std::string, std::vector<std::string>> got;
  ASSERT_TRUE(printer.WaitForTransfers(4));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < deadline) {
    got.clear();
    std::uint64_t parallel = 0;
    for (const TReceived& r : printer.Transfers()) {
      got[r.Port].push_back(r.Sha256);
      if (r.Port == "LPT1") parallel += r.Bytes;
    }
    // The serial line's transfer is counted once the line has gone quiet.
    if (parallel == twice.size() && got.count("COM1") && got.count("USB") && got.count("TCP")) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  for (const char* port : {"COM1", "USB", "TCP"})
    EXPECT_EQ(got[port], std::vector<std::string>{TSha256::Of(data)}) << port;
  EXPECT_TRUE(got["LPT1"] == std::vector<std::string>(2, TSha256::Of(data)) ||
              got["LPT1"] == std::vector<std::string>{TSha256::Of(twice)})
      << got["LPT1"].size();
  EXPECT_EQ(run.Out.find('\x1b'), std::string::npos) << "no byte of the printer's drives the terminal";
  EXPECT_EQ(run.Err.find('\x1b'), std::string::npos);
  EXPECT_TRUE(Contains(run.Out, "\\x1b[31mOK")) << run.Out;
  const std::string csv = ReadText(report);
  EXPECT_EQ(csv.rfind("port,result,bytes_sent,bytes_total,seconds,reason,reply,sha256\r\n", 0), 0u) << csv;
  EXPECT_TRUE(Contains(LineOf(csv, "COM1"), ",completed,100000,100000,")) << csv;
  EXPECT_TRUE(Contains(LineOf(csv, "COM1"), ",\\x1b[31mOK," + TSha256::Of(data))) << csv;
}

// The file from standard input goes to every printer, and the serial
// options given reach each serial line of the fleet, one named by its path too.
TEST_F(FleetEndToEnd, AFileFromStandardInputAndTheLineSettingsReachEveryPrinter) {
  const auto data = RandomBytes(50000, 62);
  const std::string file = Dir.Write("in.prn", data);
  // The line named by its path: a terminal, so paced and set up as a serial port.
  TPtyFarEnd line;
  TVirtualPrinter network(NetworkPrinters(2));
  TRunOptions bounded;
  bounded.KillAfterMs = 60000;
  TRun piped = RunProgram({"/bin/sh", "-c",
                           "cat " + ShellWord(file) + " | " + ShellWord(VORNEX_SEND) + " --port " +
                               ShellWord(line.SlavePath()) + " --port " +
                               ShellWord(network.TcpPortTexts()[0]) + " --port " +
                               ShellWord(network.TcpPortTexts()[1]) + " --baud 115200 --flow xonxoff -"},
                          bounded);
  EXPECT_EQ(piped.Status, 0) << piped.Err << piped.Out;
  EXPECT_TRUE(Contains(piped.Out, "3 printers: 3 completed")) << piped.Out;
  EXPECT_TRUE(EachArrivedWhole(network, 2, data));
  ASSERT_TRUE(line.WaitForCount(data.size()));
  EXPECT_EQ(line.Received(), data);
  const TLineSettings settings = line.LineSettings();
  EXPECT_EQ(settings.Speed, 115200u);
  EXPECT_TRUE(settings.XonXoffOut);

  // Standard input cannot be both the list and the file.
  TRun both = RunSend({"--ports-from", "-", "-"});
  EXPECT_EQ(both.Status, 2);
  EXPECT_TRUE(Contains(both.Err, "standard input holds either the list of ports or the file, not both")) << both.Err;
}

TEST_F(FleetEndToEnd, CtrlCCancelsWhatRunsAndTheReportIsStillWritten) {
  TVirtualPrinter fast(NetworkPrinters(1));
  TVirtualPrinter slow([] {
    TPrinterOptions o = NetworkPrinters(4);
    o.TcpRate = 2000000;
    return o;
  }());
  std::vector<std::string> ports{fast.TcpPortText()};
  for (const auto& port : slow.TcpPortTexts()) ports.push_back(port);
  // More than the buffers between sender and printer hold.
  const auto data = RandomBytes(12u << 20, 62);
  const std::string report = Dir.Path("result.json");
  // Once the fast one is done and two slow ones are under way.
  TRunOptions interrupt;
  interrupt.SignalWhen = [&] {
    return !fast.Transfers().empty() && slow.Pending("TCP") > 0 && slow.Pending("TCP2") > 0;
  };
  TRun run = RunSend({"--ports-from", List(ports), "--jobs", "2", "--report", report, Dir.Write("label.prn", data)},
                     interrupt);
  EXPECT_EQ(run.Status, 130) << run.Err;
  EXPECT_LT(run.SignalToEndMs, 3000);
  const std::string json = ReadText(report);
  EXPECT_TRUE(Contains(LineOf(json, fast.TcpPortText()), "\"result\": \"completed\"")) << json;
  // Two ran and were cancelled part-way; the other two never started.
  const auto slowPorts = slow.TcpPortTexts();
  for (std::size_t i = 0; i < slowPorts.size(); ++i) {
    const std::string line = LineOf(json, slowPorts[i]);
    EXPECT_TRUE(Contains(line, i < 2 ? "\"result\": \"cancelled\"" : "\"result\": \"not started\"")) << line;
  }
  EXPECT_TRUE(Contains(run.Out, "5 printers: 1 completed, 2 cancelled, 2 not started")) << run.Out;
  // What the cancelled ones took is the start of the file, and nothing more.
  ASSERT_TRUE(slow.WaitForTransfers(2));
  for (const TReceived& got : slow.Transfers()) {
    EXPECT_LT(got.Bytes, data.size());
    EXPECT_EQ(got.Sha256, TSha256::Of({data.begin(), data.begin() + static_cast<long>(got.Bytes)}));
  }
}

TEST_F(FleetEndToEnd, APrinterThatComesUpAfterTheFirstTryGetsTheFileOnARetry) {
  TVirtualPrinter late(NetworkPrinters(1));
  TVirtualPrinter early(NetworkPrinters(1));
  late.Vanish("TCP");
  const auto data = RandomBytes(300000, 63);
  const std::string report = Dir.Path("result.csv");
  TBackground run({VORNEX_SEND, "--port", late.TcpPortText(), "--port", early.TcpPortText(), "--retry", "3",
                   "--retry-delay", "1", "--report", report, Dir.Write("label.prn", data)});
  ASSERT_TRUE(run.WaitForOutput(late.TcpPortText() + ": not reached (Cannot connect to ", 20000)) << run.Output();
  late.Return("TCP");
  EXPECT_EQ(run.WaitForExit(30000), 0) << run.Output();
  EXPECT_TRUE(EachArrivedWhole(late, 1, data));
  EXPECT_TRUE(EachArrivedWhole(early, 1, data));
  EXPECT_TRUE(Contains(LineOf(ReadText(report), late.TcpPortText()), ",completed,300000,300000,")) << ReadText(report);
  EXPECT_TRUE(Contains(run.Output(), "reached on try 2; before: Cannot connect to ")) << run.Output();
}

// A printer that takes the connection and then reads nothing: even a file
// the system's buffers hold whole is not done, and the limit ends it.
TEST_F(FleetEndToEnd, AStallLimitEndsASinglePortThatTakesNothing) {
  TVirtualPrinter stalling([] {
    TPrinterOptions o = NetworkPrinters(1);
    o.TcpStall = true;
    return o;
  }());
  TRunOptions bounded;
  bounded.KillAfterMs = 30000;
  TRun run = RunSend({"--port", stalling.TcpPortText(), "--stall-limit", "2", Dir.Write("label.prn", RandomBytes(300000))},
                     bounded);
  EXPECT_EQ(run.Status, 1) << run.Err;
  EXPECT_TRUE(Contains(run.Err, "vornex-send: Time Out")) << run.Err;
}

TEST_F(FleetEndToEnd, BadInputIsRefusedBeforeAnythingIsSent) {
  TVirtualPrinter printer(NetworkPrinters(2));
  const auto ports = printer.TcpPortTexts();
  const std::string file = Dir.Write("label.prn", RandomBytes(5000));
  struct TCase {
    std::vector<std::string> Args;
    std::string Says;
  } cases[] = {
      {{"--ports-from", List({}, "none.txt")}, "none.txt names no printer"},
      {{"--ports-from", Dir.Write("odd.txt", ports[0] + "\n\x01" + ports[1] + "\n")},
       "line 2 of " + Dir.Path("odd.txt") + " cannot be read as a port text: it holds a control character (\\x01)"},
      {{"--port", ports[0], "--port", ports[1], "--port", ports[0]}, " is named twice ("},
      {{"--ports-from", List({ports[0], ports[1]}, "two.txt"), "--port", ports[1]}, " is named twice (--port "},
      {{"--ports-from", List({ports[0], "PRN"}, "prn.txt")}, "line 4 of " + Dir.Path("prn.txt") + ": \"PRN\" names no port"},
      {{"--ports-from", Dir.Path("missing.txt")}, "cannot be read"},
      {{"--port", ports[0], "--port", ports[1], "--jobs", "0"}, "--jobs takes a whole number"},
      {{"--port", ports[0], "--port", ports[1], "--stall-limit", "abc"}, "--stall-limit takes a whole number"},
      {{"--port", ports[0], "--report", Dir.Path("r.txt")}, "--report writes FILE.json or FILE.csv"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.Args;
    args.push_back(file);
    TRun run = RunSend(args);
    EXPECT_EQ(run.Status, 2) << c.Says << "\n" << run.Err;
    EXPECT_TRUE(Contains(run.Err, c.Says)) << run.Err;
  }
  EXPECT_FALSE(printer.WaitForTransfers(1, 1500)) << "nothing arrived";
}

// On a terminal: a line for each printer under way, drawn over each time,
// and one for each that ends.
TEST_F(FleetEndToEnd, ATerminalShowsTheRunningPrintersInPlace) {
  TVirtualPrinter printer([] {
    TPrinterOptions o = NetworkPrinters(2);
    o.TcpRate = 1000000;
    return o;
  }());
  TSendOptions options;
  options.Ports = printer.TcpPortTexts();
  options.File = Dir.Write("label.prn", RandomBytes(700000, 64));
  TLoopHost host;
  TPosixPlatform platform;
  std::istringstream in;
  std::ostringstream out, err;
  TFleetCommand command(host, platform, in, out, err, true);
  EXPECT_EQ(command.Run(options), 0) << err.str();
  const std::string shown = err.str();
  const std::string running = "\033[K" + options.Ports[0] + "  ";
  EXPECT_TRUE(Contains(shown, running)) << shown;
  EXPECT_TRUE(Contains(shown, "%  ")) << shown;
  EXPECT_TRUE(Contains(shown, "\r\033[2A")) << "two lines drawn over";
  EXPECT_TRUE(Contains(shown, "\033[K" + options.Ports[1] + ": completed, 700000/700000 bytes in ")) << shown;
  EXPECT_EQ(shown.substr(shown.size() - 3), "\033[J") << "the lines of the running ones are gone at the end";
  EXPECT_TRUE(Contains(out.str(), "2 printers: 2 completed")) << out.str();
}

}  // namespace
}  // namespace vornex::test
