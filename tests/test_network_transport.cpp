// Printers on the network over the scripted platform: the port text, the
// choice of the network mode, the transfer with its faults, and the list.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "tests/support/MainFormFixture.h"
#include "tests/support/UsbPrinters.h"
#include "upload/NetworkAddress.h"

namespace vornex::test {
namespace {

TEST(NetworkPortText, AddressesAreReadAsTypedAndWrittenAsListed) {
  struct TCase {
    const char* Text;
    const char* Host;  // nullptr: no address
    int Port;
  } cases[] = {
      {"TCP:10.0.0.7", "10.0.0.7", 9100},
      {"TCP:10.0.0.7:9101", "10.0.0.7", 9101},
      {"TCP:printer.example", "printer.example", 9100},
      {"TCP:  printer.example:1", "printer.example", 1},
      {"TCP:[fe80::1%eth0]:9100", "fe80::1%eth0", 9100},
      {"TCP:[::1]", "::1", 9100},
      {"TCP:fd00::2", "fd00::2", 9100},
      // The list's label after the address is not part of it.
      {"TCP:192.168.1.9:9100 (Zebra ZD420)", "192.168.1.9", 9100},
      {"TCP:10.0.0.7:65535\t(x)", "10.0.0.7", 65535},
      {"TCP:", nullptr, 0},
      {"TCP: (name only)", nullptr, 0},
      {"TCP:10.0.0.7:0", nullptr, 0},
      {"TCP:10.0.0.7:65536", nullptr, 0},
      {"TCP:10.0.0.7:", nullptr, 0},
      {"TCP:10.0.0.7:91x", nullptr, 0},
      {"TCP:[fe80::1", nullptr, 0},
      {"TCP:[fe80::1]x", nullptr, 0},
      {"TCP:[printer]:9100", nullptr, 0},
      {"TCP:pr:in:ter", nullptr, 0},
      {"TCP:host/path", nullptr, 0},
      // Any case, as com1 is a serial port.
      {"tcp:10.0.0.7", "10.0.0.7", 9100},
      {"Tcp:[::1]:9101", "::1", 9101},
      // A port after a space is a mistake, not a label.
      {"TCP:printer.example 9101", nullptr, 0},
      {"TCP:printer.example\t 9101 (x)", nullptr, 0},
      {"TCP:10.0.0.7:9100 9101", nullptr, 0},
      {"TCP:10.0.0.7:9100 (9th floor)", "10.0.0.7", 9100},
      {"COM1", nullptr, 0},
  };
  for (const auto& c : cases) {
    TNetworkAddress a;
    const bool ok = ParseNetworkPortText(c.Text, a);
    ASSERT_EQ(ok, c.Host != nullptr) << c.Text;
    if (!ok) continue;
    EXPECT_EQ(a.Host, c.Host) << c.Text;
    EXPECT_EQ(a.Port, c.Port) << c.Text;
    // What the list shows reads back as the same address.
    TNetworkAddress again;
    ASSERT_TRUE(ParseNetworkPortText(NetworkPortText(a, "a name"), again)) << NetworkPortText(a, "a name");
    EXPECT_EQ(again.Host, a.Host);
    EXPECT_EQ(again.Port, a.Port);
  }
  EXPECT_EQ(NetworkPortText({"fe80::1%eth0", 9100}, "Line\nBreak\xe2\x80\xa8"), "TCP:[fe80::1%eth0]:9100 (Line\\x0aBreak\\u2028)");
  EXPECT_EQ(NetworkPortText({"10.0.0.7", 9100}), "TCP:10.0.0.7:9100");
}

class NetworkTest : public MainFormTest {
 protected:
  void SetUp() override {
    MainFormTest::SetUp();
    Printer = Platform.AddPeer("10.0.0.7", 9100);
    Form->Network.ConnectLimitMs = 300;
    Form->Network.FinishLimitMs = 300;
    Form->ComboBox1.TypeText("TCP:10.0.0.7");
  }
  // The printer as new: the last transfer's bytes and faults gone.
  void FreshPrinter() { *Printer = TFakePeer{}; }
  // Read under the platform's lock, which the sender's shutdown takes.
  bool ShutdownSeen() { return Platform.WaitUntil([&] { return Printer->ShutdownSeen; }, 0); }
  void ExpectNothingSent() {
    EXPECT_EQ(Form->Job.BytesSent, 0);
    EXPECT_EQ(Form->Job.BlocksSent, 0);
    EXPECT_FALSE(Form->Job.TransferDone);
    EXPECT_EQ(Platform.OpenSockets(), 0);
  }
  // After a fault, a plain transfer goes through.
  void ExpectTheNextTransferWorks(const std::string& port = "TCP:10.0.0.7") {
    FreshPrinter();
    Platform.ClearFailures();
    Form->ComboBox1.TypeText(port);
    const auto data = RandomBytes(3000, 99);
    const std::size_t messages = Host.Messages.size();
    SendFile(data);
    EXPECT_TRUE(Form->Job.TransferDone);
    EXPECT_EQ(Printer->Received, data);
    EXPECT_EQ(Host.Messages.size(), messages);
  }
  std::shared_ptr<TFakePeer> Printer;
};

TEST_F(NetworkTest, BlocksOfBlockSizeGoOutAndTheEndIsToldByClosingOurSide) {
  struct TCase {
    std::size_t Size;
    const char* BlockSize;
    std::vector<std::size_t> Sends;
  } cases[] = {{1000, "512", {512, 488}},
               {1024, "512", {512, 512}},
               {0, "512", {}},
               // Blocks never outgrow the buffer.
               {25000, "20000", {10240, 10240, 4520}}};
  for (const auto& c : cases) {
    FreshPrinter();
    Form->Edit1.SetText(c.BlockSize);
    const auto data = RandomBytes(c.Size, static_cast<unsigned>(c.Size));
    SendFile(data);
    EXPECT_EQ(Form->Job.TransferMode, tmNetwork);
    EXPECT_EQ(Printer->Received, data) << c.Size;
    EXPECT_EQ(Printer->SendSizes, c.Sends) << c.Size;
    EXPECT_EQ(Form->Job.BlocksSent, static_cast<std::int32_t>(c.Sends.size()));
    EXPECT_EQ(Form->Job.BytesSent, static_cast<std::int32_t>(c.Size));
    EXPECT_TRUE(Form->Job.TransferDone) << c.Size;
    EXPECT_TRUE(ShutdownSeen());
    EXPECT_EQ(Platform.OpenSockets(), 0);
  }
  EXPECT_EQ(Printer->Connections, 1);
  // Our side is shut after the last block, and the socket closed after that.
  const auto calls = Platform.Calls();
  const auto last = [&](const char* call) { return std::find(calls.rbegin(), calls.rend(), call) - calls.rbegin(); };
  EXPECT_GT(last("send"), last("shutdown"));
  EXPECT_GT(last("shutdown"), last("closesocket"));
  EXPECT_TRUE(Host.Messages.empty()) << Host.LastMessage();
  EXPECT_FALSE(Form->BuSetupCom.Enabled());
}

// A system that cannot tell what was acknowledged (Windows before 10 1703):
// the file counts as there once sent, and a printer that keeps the
// connection is given its time to close, not failed by the stall rule.
TEST_F(NetworkTest, WhereTheSystemCannotTellAcknowledgementTheFileIsDoneOnceSent) {
  Printer->ClosesAfterShutdown = false;
  Form->Network.FinishLimitMs = 300;
  Platform.FailCall("GetUnacknowledged", WSAEOPNOTSUPP);
  const auto data = RandomBytes(20000, 41);
  SendFile(data);
  EXPECT_TRUE(Form->Job.TransferDone);
  EXPECT_EQ(Form->Job.BytesSent, 20000);
  EXPECT_EQ(Printer->Received, data);
  EXPECT_TRUE(Host.Messages.empty()) << Host.LastMessage();
}

TEST_F(NetworkTest, EachAddressOfANameIsTriedInTurn) {
  Platform.HostAddresses["printer.example"] = {"10.0.0.5", "10.0.0.7"};
  Form->ComboBox1.TypeText("TCP:printer.example");
  const auto data = RandomBytes(700);
  SendFile(data);
  EXPECT_EQ(Printer->Received, data);
  EXPECT_TRUE(Form->Job.TransferDone);
  EXPECT_EQ(Platform.CountCalls("connect"), 2);
  EXPECT_TRUE(Host.Messages.empty()) << Host.LastMessage();
}

TEST_F(NetworkTest, AConnectionThatCannotBeMadeNamesTheHostAndTheReason) {
  struct TCase {
    const char* Port;
    std::function<void()> Arrange;
    const char* Message;
  } cases[] = {
      {"TCP:10.0.0.7:9200", [] {}, "Cannot connect to 10.0.0.7:9200: system error 10061"},
      {"TCP:nowhere.example", [&] { Platform.LookupErrors["nowhere.example"] = WSAHOST_NOT_FOUND; },
       "Cannot connect to nowhere.example:9100: system error 11001"},
      {"TCP:10.0.0.7", [&] { Printer->HoldConnect = true; }, "Cannot connect to 10.0.0.7:9100: system error 10060"},
      {"TCP:[fd00::7]:9100", [] {}, "Cannot connect to [fd00::7]:9100: system error 10061"},
      {"TCP:10.0.0.7", [&] { Platform.FailCall("socket", WSAEMFILE, false); },
       "Cannot connect to 10.0.0.7:9100: system error 10024"},
  };
  for (const auto& c : cases) {
    FreshPrinter();
    c.Arrange();
    Form->ComboBox1.TypeText(c.Port);
    SendFile(RandomBytes(100));
    EXPECT_EQ(Host.LastMessage(), c.Message);
    ExpectNothingSent();
    EXPECT_TRUE(Printer->Received.empty());
    Platform.ReleaseAll();
  }
  // As with a USB port that cannot be opened, the monitor then gives up.
  Ticks(61);
  EXPECT_EQ(Host.LastMessage(), "Time Out");
  ExpectTheNextTransferWorks();
}

TEST_F(NetworkTest, ATextThatIsNoAddressIsToldAtStartAndNothingIsLookedUp) {
  for (const char* text : {"TCP:10.0.0.7:99999", "TCP:", "TCP:[::1", "TCP:printer:port", "TCP:10.0.0.7 9101"}) {
    Form->ComboBox1.TypeText(text);
    SendFile(RandomBytes(10));
    EXPECT_EQ(Form->Job.TransferMode, tmNetwork) << text;
    EXPECT_EQ(Host.LastMessage(), NotANetworkPortText(text));
    ExpectNothingSent();
  }
  EXPECT_EQ(Platform.CountCalls("getaddrinfo"), 0);
}

TEST_F(NetworkTest, CancelEndsALookupAConnectAndASendAtOnceAndNothingRepeats) {
  Form->CBRepeat.SetChecked(true);
  struct TCase {
    std::function<void()> Hold;
    const char* BlockedIn;
  } cases[] = {{[&] { Platform.HoldLookups = true; }, "getaddrinfo"},
               {[&] { Printer->HoldConnect = true; }, "connect"},
               {[&] { Printer->HoldSends = true; }, "send"}};
  // Limits the test would notice: only Cancel may end these waits.
  Form->Network.ConnectLimitMs = 600000;
  for (const auto& c : cases) {
    FreshPrinter();
    c.Hold();
    const int before = Platform.CountCalls(c.BlockedIn);
    StartWith(RandomBytes(2000));
    ASSERT_TRUE(Host.WaitUntil([&] { return Platform.CountCalls(c.BlockedIn) > before; })) << c.BlockedIn;
    ASSERT_TRUE(Host.Click(Form->BuCancel));
    ASSERT_TRUE(WaitIdle(5000)) << c.BlockedIn << " was not ended by Cancel";
    EXPECT_FALSE(Form->Job.TransferDone);
    EXPECT_EQ(Platform.OpenSockets(), 0);
    EXPECT_TRUE(Host.Messages.empty()) << Host.LastMessage();
    Ticks(10);
    EXPECT_EQ(Platform.CountCalls("getaddrinfo"), static_cast<int>(&c - cases) + 1) << "no repetition";
    Platform.ReleaseAll();
  }
  ExpectTheNextTransferWorks();
}

TEST_F(NetworkTest, APrinterThatStopsReadingEndsInTimeOutAndTheSendIsEndedAtOnce) {
  Printer->HoldSends = true;
  StartWith(RandomBytes(5000));
  ASSERT_TRUE(Host.WaitUntil([&] { return Platform.CountCalls("send") == 1; }));
  Ticks(60);
  EXPECT_TRUE(Host.Messages.empty());
  Ticks(1);
  EXPECT_EQ(Host.Messages, std::vector<std::string>{"Time Out"});
  // Nothing released the send: the time-out itself ended it.
  ASSERT_TRUE(WaitIdle(5000));
  EXPECT_FALSE(Form->Job.TransferDone);
  EXPECT_EQ(Platform.OpenSockets(), 0);
  Printer->HoldSends = false;
  ExpectTheNextTransferWorks();
}

TEST_F(NetworkTest, APrinterThatResetsTheConnectionLeavesTheTransferUndoneAndSaysSo) {
  // Mid-job: part of the second block was taken before the reset.
  Printer->ResetAfter = 700;
  SendFile(RandomBytes(2000));
  EXPECT_EQ(Host.LastMessage(), ConnectionLostText("10.0.0.7:9100", 700, "system error 10054"));
  EXPECT_EQ(Form->Job.BytesSent, 700);
  EXPECT_EQ(Form->Job.BlocksSent, 1);
  EXPECT_FALSE(Form->Job.TransferDone);
  EXPECT_EQ(Platform.OpenSockets(), 0);
  ExpectTheNextTransferWorks();

  // After the last byte, while the printer is given time to close.
  FreshPrinter();
  Printer->ResetAfter = 1024;
  SendFile(RandomBytes(1024));
  EXPECT_EQ(Host.LastMessage(), ConnectionLostText("10.0.0.7:9100", 1024, "system error 10054"));
  EXPECT_FALSE(Form->Job.TransferDone);
  ExpectTheNextTransferWorks();

  // Shutting our side fails.
  Platform.FailCall("shutdown", WSAECONNRESET, false);
  SendFile(RandomBytes(10));
  EXPECT_EQ(Host.LastMessage(), ConnectionLostText("10.0.0.7:9100", 10, "system error 10054"));
  EXPECT_FALSE(Form->Job.TransferDone);
  ExpectTheNextTransferWorks();
}

// Done only once the printer's system has acknowledged every byte; until
// then the stall rule applies, and what is shown never claims more.
TEST_F(NetworkTest, ATransferIsDoneOnlyOnceThePrinterHasAcknowledgedEveryByte) {
  Printer->Acknowledges = 3000;
  StartWith(RandomBytes(5000));
  ASSERT_TRUE(Host.WaitUntil([&] { return ShutdownSeen() && Form->Job.BytesSent == 3000; }));
  Ticks(1);
  Ticks(60);
  EXPECT_TRUE(Form->Upload.Busy()) << "still waiting for the printer";
  EXPECT_TRUE(Host.Messages.empty()) << Host.LastMessage();
  Ticks(1);
  EXPECT_EQ(Host.Messages, std::vector<std::string>{"Time Out"});
  ASSERT_TRUE(WaitIdle(5000));
  EXPECT_FALSE(Form->Job.TransferDone);
  EXPECT_EQ(Form->Job.BytesSent, 3000) << "what the printer acknowledged, not what went out";
  EXPECT_EQ(Printer->Received.size(), 5000u);
  EXPECT_EQ(Platform.OpenSockets(), 0);

  // A printer that acknowledges on, slowly, is no stall.
  FreshPrinter();
  Printer->Acknowledges = 1000;
  const std::size_t messages = Host.Messages.size();
  StartWith(RandomBytes(5000));
  for (std::size_t acknowledged = 2000; acknowledged <= 5000; acknowledged += 1000) {
    ASSERT_TRUE(Host.WaitUntil([&] { return static_cast<std::size_t>(Form->Job.BytesSent) == acknowledged - 1000; }));
    Ticks(40);
    Platform.WaitUntil([&] { return (Printer->Acknowledges = acknowledged) > 0; }, 0);
  }
  ASSERT_TRUE(WaitIdle());
  EXPECT_TRUE(Form->Job.TransferDone);
  EXPECT_EQ(Form->Job.BytesSent, 5000);
  EXPECT_EQ(Host.Messages.size(), messages) << Host.LastMessage();
}

// Once the printer has it all, a Cancel only ends the wait for its close.
TEST_F(NetworkTest, ACancelAfterThePrinterAcknowledgedEverythingLeavesTheTransferDone) {
  Printer->ClosesAfterShutdown = false;
  Form->Network.FinishLimitMs = 600000;
  const auto data = RandomBytes(4000);
  StartWith(data);
  ASSERT_TRUE(Host.WaitUntil([&] { return Platform.CountCalls("GetUnacknowledged") > 0 && ShutdownSeen(); }));
  ASSERT_TRUE(Host.Click(Form->BuCancel));
  ASSERT_TRUE(WaitIdle(5000)) << "the wait for the close ended";
  EXPECT_TRUE(Form->Job.TransferDone);
  EXPECT_TRUE(Form->Upload.Delivered());
  EXPECT_EQ(Printer->Received, data);
  // Not yet acknowledged: the same Cancel stops the transfer short.
  FreshPrinter();
  Printer->Acknowledges = 100;
  StartWith(data);
  ASSERT_TRUE(Host.WaitUntil([&] { return ShutdownSeen(); }));
  ASSERT_TRUE(Host.Click(Form->BuCancel));
  ASSERT_TRUE(WaitIdle(5000));
  EXPECT_FALSE(Form->Job.TransferDone);
  EXPECT_EQ(Form->Job.BytesSent, 100);
}

// A printer that never stops talking: Cancel still ends the transfer at
// once, and the log shows a bounded part of what it said, and says so.
TEST_F(NetworkTest, APrinterThatKeepsTalkingIsStoppedByCancelAndItsRepliesAreBounded) {
  Form->Memo1.Clear();
  Printer->Floods = "OK;";
  Printer->Acknowledges = 0;
  StartWith(RandomBytes(200000));
  ASSERT_TRUE(Host.WaitUntil([&] { return Platform.CountCalls("recv") > 100; }));
  ASSERT_TRUE(Host.Click(Form->BuCancel));
  auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(WaitIdle(5000));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_FALSE(Form->Job.TransferDone);

  // Flooding while the printer's system holds back its acknowledgement,
  // until the time-out.
  FreshPrinter();
  Form->Memo1.Clear();
  Printer->Floods = "OK;";
  Printer->Acknowledges = 0;
  StartWith(RandomBytes(30000));
  ASSERT_TRUE(Host.WaitUntil([&] { return ShutdownSeen(); }));
  Ticks(1);
  Ticks(61);
  EXPECT_EQ(Host.LastMessage(), "Time Out");
  start = std::chrono::steady_clock::now();
  ASSERT_TRUE(WaitIdle(5000));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  const auto& lines = Form->Memo1.Lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_LE(lines.size(), TNetworkTransport::MaxShownReplyBytes / 3 + 1);
  EXPECT_EQ(lines.back().rfind("[", 0), 0u) << lines.back();
  EXPECT_NE(lines.back().find(" more bytes from the printer were not shown]"), std::string::npos) << lines.back();
}

// Each address of a name in turn, overlapping: one that does not answer
// holds up the next by a moment, not by the whole time limit.
TEST_F(NetworkTest, TheNextAddressIsTriedWhileOneThatDoesNotAnswerStillMight) {
  Form->Network.ConnectLimitMs = 10000;
  auto silent = Platform.AddPeer("10.0.0.5", 9100);
  silent->HoldConnect = true;
  Platform.HostAddresses["dual.example"] = {"10.0.0.5", "10.0.0.7"};
  Form->ComboBox1.TypeText("TCP:dual.example");
  const auto data = RandomBytes(700);
  const auto start = std::chrono::steady_clock::now();
  SendFile(data);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
  EXPECT_TRUE(Form->Job.TransferDone) << Host.LastMessage();
  EXPECT_EQ(Printer->Received, data);
  EXPECT_EQ(Platform.CountCalls("connect"), 2);
  EXPECT_EQ(Platform.OpenSockets(), 0) << "the attempt left behind is closed";

  // The families take turns: an IPv6 address that does not answer, then
  // the IPv4 one, before the system's second IPv6 address.
  auto six = Platform.AddPeer("fd00::5", 9100);
  six->HoldConnect = true;
  Platform.HostAddresses["both.example"] = {"fd00::5", "fd00::6", "10.0.0.7"};
  Form->ComboBox1.TypeText("TCP:both.example");
  FreshPrinter();
  const int connects = Platform.CountCalls("connect");
  SendFile(data);
  EXPECT_TRUE(Form->Job.TransferDone) << Host.LastMessage();
  EXPECT_EQ(Platform.CountCalls("connect") - connects, 2);

  // None answers: the time limit, and the reason.
  Form->Network.ConnectLimitMs = 700;
  Printer->HoldConnect = true;
  SendFile(RandomBytes(10));
  EXPECT_EQ(Host.LastMessage(), "Cannot connect to both.example:9100: system error 10060");
  EXPECT_EQ(Platform.OpenSockets(), 0);
  silent->HoldConnect = six->HoldConnect = false;
  Platform.ReleaseAll();
}

TEST_F(NetworkTest, WhatThePrinterSaysReachesTheLogAsSerialRepliesDo) {
  Form->Memo1.Clear();
  // Waiting when the job starts, and once our side is shut.
  Platform.Reply(Printer, "OK;P");
  Printer->ClosesAfterShutdown = false;
  StartWith(RandomBytes(3000));
  // Read under the platform's lock, while the host serves the worker.
  ASSERT_TRUE(Host.WaitUntil([&] { return ShutdownSeen(); }));
  Platform.Reply(Printer, "A");
  ASSERT_TRUE(WaitIdle());
  EXPECT_TRUE(Form->Job.TransferDone) << "a printer that keeps its side open is given up on, not failed";
  EXPECT_EQ(Form->Memo1.Lines(), std::vector<std::string>{"OK"});
  EXPECT_EQ(Form->RxLog.RxLine(), "PA");
  // A line left open is continued by the next transfer's first bytes.
  FreshPrinter();
  Platform.Reply(Printer, "\rDONE;");
  SendFile(RandomBytes(10));
  EXPECT_EQ(Form->Memo1.Lines(), (std::vector<std::string>{"OK", "PA", "DO", "E"}));
}

TEST_F(NetworkTest, AnAddressChoosesTheNetworkBeforeAUsbPrinterAndNothingIsProbed) {
  AddUsbPrinter(Platform, "VID_2A3C&PID_0002", "A");
  Form->ComboBox1.DropDown();
  Form->ComboBox1.TypeText("COM1");
  EXPECT_EQ(Form->Job.TransferMode, tmUsbPrinter);
  const int opens = Platform.CountCalls("CreateFileA");
  Form->ComboBox1.TypeText("TCP:10.0.0.7:9100");
  EXPECT_EQ(Form->Job.TransferMode, tmNetwork);
  EXPECT_FALSE(Form->BuSetupCom.Enabled());
  EXPECT_EQ(Platform.CountCalls("CreateFileA"), opens) << "no probe";
  const auto data = RandomBytes(600);
  SendFile(data);
  EXPECT_EQ(Printer->Received, data);
  EXPECT_FALSE(Form->BuSetupCom.Enabled()) << "still after the transfer";
  // In lower case too.
  Form->ComboBox1.TypeText("COM1");
  Form->ComboBox1.TypeText("tcp:10.0.0.7");
  EXPECT_EQ(Form->Job.TransferMode, tmNetwork);
  FreshPrinter();
  SendFile(data);
  EXPECT_EQ(Printer->Received, data);
}

TEST_F(NetworkTest, TheListEndsWithTheSpoolersRawPortsAndThePrintersTheSystemFinds) {
  const std::string ports = TcpIpPortsKeyPath;
  auto port = [&](const std::string& name, DWORD protocol, const std::string& hostName, const std::string& ip,
                  DWORD number) {
    Platform.SetDwordValue(ports + "\\" + name, "Protocol", protocol);
    Platform.SetValue(ports + "\\" + name, "HostName", hostName);
    Platform.SetValue(ports + "\\" + name, "IPAddress", ip);
    Platform.SetDwordValue(ports + "\\" + name, "PortNumber", number);
  };
  port("IP_10.0.0.7", 1, "", "10.0.0.7", 9100);
  port("Labels", 1, "labels.example", "10.0.0.8", 9101);
  port("LPR_10.0.0.9", 2, "", "10.0.0.9", 515);  // LPR: not raw
  port("Empty", 1, "", "", 9100);
  port("BadPort", 1, "", "10.0.0.10", 70000);
  Platform.SpoolerPorts = {"LPT1:"};
  Platform.NetworkPrinters = {{"192.168.1.9:9100", "Zebra ZD420"},
                              {"10.0.0.7:9100", "the same printer, announced"},
                              {"[fe80::1%eth0]:9100", "Six"},
                              {"queue.example", "A queue"},
                              {"not an address:x", "Bad"},
                              {"10.0.0.11:9100", "Two\xe2\x80\xa8lines \x1b[2J"}};
  // A source that failed is no message in the window.
  Platform.NetworkSourceFailures = {{"DNS-SD (Avahi)", ERROR_ACCESS_DENIED}};
  Platform.NetworkPrinterWaits.clear();
  Form->ComboBox1.DropDown();
  EXPECT_EQ(Form->ComboBox1.Items(),
            (std::vector<std::string>{"LPT1", "TCP:10.0.0.7:9100 (IP_10.0.0.7)", "TCP:labels.example:9101 (Labels)",
                                      "TCP:192.168.1.9:9100 (Zebra ZD420)", "TCP:[fe80::1%eth0]:9100 (Six)",
                                      "TCP:queue.example:9100 (A queue)",
                                      "TCP:10.0.0.11:9100 (Two\\u2028lines \\x1b[2J)"}));
  EXPECT_EQ(Platform.NetworkPrinterWaits, std::vector<DWORD>{200}) << "the window waits no longer than this";
  EXPECT_EQ(Platform.OpenKeys(), 0);
  EXPECT_TRUE(Host.Messages.empty()) << Host.LastMessage();
  ASSERT_EQ(Form->Ports.NetworkSearchFailures().size(), 1u);
  EXPECT_EQ(Form->Ports.NetworkSearchFailures()[0].Error, static_cast<DWORD>(ERROR_ACCESS_DENIED));

  // Picked from the list, an entry is sent to as it reads.
  Platform.AddPeer("labels.example", 9101);
  Form->ComboBox1.Pick(2);
  EXPECT_EQ(Form->Job.TransferMode, tmNetwork);
  SendFile(RandomBytes(100));
  EXPECT_TRUE(Form->Job.TransferDone);
  EXPECT_TRUE(Host.Messages.empty()) << Host.LastMessage();
}

}  // namespace
}  // namespace vornex::test
