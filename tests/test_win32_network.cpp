// A printer on the network from Windows itself (Wine here): the main window
// over Winsock to a printer that listens inside the test, and the spooler's
// raw TCP/IP ports from the registry.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "app/MainForm.h"
#include "tests/support/HeadlessHost.h"
#include "tests/support/TempDir.h"
// Windows headers last: they turn many of the names above into macros.
#include "os/win32/Win32Platform.h"
#include "tests/support/Win32Registry.h"
#include <winsock2.h>
#include <ws2tcpip.h>

namespace vornex::test {
namespace {

// A printer on 127.0.0.1, one connection a file: it reads to the end, answers
// "OK;" and closes. A stalled one takes connections and reads nothing.
class TListeningPrinter {
 public:
  explicit TListeningPrinter(bool reads = true) : Reads(reads) {
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    Listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof a;
    ::bind(Listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(Listener, 4);
    ::getsockname(Listener, reinterpret_cast<sockaddr*>(&a), &length);
    Port = ntohs(a.sin_port);
    Thread = std::thread([this] { Serve(); });
  }
  ~TListeningPrinter() {
    {
      std::lock_guard<std::mutex> hold(Lock);
      Stopping = true;
    }
    Changed.notify_all();
    ::closesocket(Listener);
    Thread.join();
    ::WSACleanup();
  }
  std::string PortText() const { return "TCP:127.0.0.1:" + std::to_string(Port); }
  // Waits until n files have come whole.
  bool WaitForFiles(std::size_t n) {
    std::unique_lock<std::mutex> hold(Lock);
    return Changed.wait_for(hold, std::chrono::seconds(30), [&] { return Files.size() >= n; });
  }
  std::vector<std::vector<std::uint8_t>> Received() {
    std::lock_guard<std::mutex> hold(Lock);
    return Files;
  }
  std::uint16_t Port = 0;

 private:
  void Serve() {
    for (;;) {
      SOCKET c = ::accept(Listener, nullptr, nullptr);
      if (c == INVALID_SOCKET) return;
      if (!Reads) {
        std::unique_lock<std::mutex> hold(Lock);
        Changed.wait(hold, [&] { return Stopping; });
        ::closesocket(c);
        return;
      }
      std::vector<std::uint8_t> file;
      char buffer[65536];
      int n;
      while ((n = ::recv(c, buffer, sizeof buffer, 0)) > 0) file.insert(file.end(), buffer, buffer + n);
      ::send(c, "OK;", 3, 0);
      ::closesocket(c);
      {
        std::lock_guard<std::mutex> hold(Lock);
        Files.push_back(std::move(file));
      }
      Changed.notify_all();
    }
  }

  const bool Reads;
  SOCKET Listener = INVALID_SOCKET;
  std::mutex Lock;
  std::condition_variable Changed;
  std::vector<std::vector<std::uint8_t>> Files;
  bool Stopping = false;
  std::thread Thread;
};

class Win32NetworkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Form = std::make_unique<TMainForm>(Host, Platform);
    Host.Attach(*Form);
    Form->Show();
  }
  void TearDown() override { Form.reset(); }
  bool Send(const std::string& port, const std::vector<std::uint8_t>& data) {
    Form->ComboBox1.SetText(port);
    Form->EdFileName.SetText(Dir.Write("job.bin", data));
    EXPECT_TRUE(Host.Click(Form->BuStart));
    EXPECT_TRUE(Host.WaitUntil([&] { return !Form->Upload.Busy(); }, 60000));
    return Form->Job.TransferDone;
  }

  THeadlessHost Host;
  TWin32Platform Platform;
  TTempDir Dir;
  TRegistryEntries Registry;
  std::unique_ptr<TMainForm> Form;
};

TEST_F(Win32NetworkTest, AFileArrivesByteExactTheAnswerIsLoggedAndARefusalIsTold) {
  TListeningPrinter printer;
  Form->Memo1.Clear();
  const auto data = RandomBytes(1 << 20, 51);
  ASSERT_TRUE(Send(printer.PortText(), data)) << Host.LastMessage();
  ASSERT_TRUE(printer.WaitForFiles(1));
  EXPECT_EQ(printer.Received()[0], data);
  EXPECT_EQ(Form->Job.BytesSent, 1 << 20);
  EXPECT_EQ(Form->Memo1.Lines(), std::vector<std::string>{"OK"});
  EXPECT_TRUE(Host.Messages.empty()) << Host.LastMessage();

  // A port bound but not listening: the system's reason, named with the
  // address.
  SOCKET closed = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof a;
  ASSERT_EQ(::bind(closed, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ::getsockname(closed, reinterpret_cast<sockaddr*>(&a), &length);
  const std::string refused = "127.0.0.1:" + std::to_string(ntohs(a.sin_port));
  EXPECT_FALSE(Send("TCP:" + refused, data));
  const std::string prefix = "Cannot connect to " + refused + ": ";
  EXPECT_EQ(Host.LastMessage().rfind(prefix, 0), 0u) << Host.LastMessage();
  EXPECT_GT(Host.LastMessage().size(), prefix.size());
  EXPECT_EQ(Form->Job.BytesSent, 0);
  ::closesocket(closed);

  ASSERT_TRUE(Send(printer.PortText(), data));
  ASSERT_TRUE(printer.WaitForFiles(2));
}

// After our end was sent: a printer that read it all has acknowledged it
// all, one that reads nothing has not, where the system can tell.
TEST(Win32Sockets, WhatAPrinterHasNotAcknowledgedIsToldOrNothingIs) {
  TWin32Platform p;
  const auto data = RandomBytes(4u << 20, 53);
  auto unacknowledged = [&](bool reads, DWORD& left) {
    TListeningPrinter printer(reads);
    std::vector<TSocketAddress> addresses;
    EXPECT_EQ(p.Sockets().getaddrinfo("127.0.0.1", std::to_string(printer.Port), addresses, 5000, NoHandle), 0);
    TPlatformSocket s(p.Sockets(), p.Sockets().socket(addresses.at(0).Family));
    DWORD error = 0;
    EXPECT_TRUE(p.Sockets().ConnectStart(s.Get(), addresses[0]));
    EXPECT_EQ(p.Sockets().WaitForConnect({s.Get()}, 5000, NoHandle, error), 0);
    EXPECT_EQ(error, 0u);
    TPlatformHandle abort(p, p.CreateEventA(true, false));
    std::thread stop([&] {
      // A printer that reads nothing leaves the send waiting: what it took is enough.
      std::this_thread::sleep_for(std::chrono::seconds(2));
      p.SetEvent(abort.Get());
    });
    DWORD sent = 0;
    p.Sockets().send(s.Get(), data.data(), static_cast<DWORD>(data.size()), sent, abort.Get());
    stop.join();
    EXPECT_TRUE(p.Sockets().shutdown(s.Get(), SD_SEND));
    if (reads) printer.WaitForFiles(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return p.Sockets().GetUnacknowledged(s.Get(), left);
  };
  DWORD read = 0, stalled = 0;
  const bool told = unacknowledged(true, read);
  EXPECT_EQ(unacknowledged(false, stalled), told) << "the system tells of both or of neither";
  if (told) {
    EXPECT_EQ(read, 0u);
    EXPECT_GT(stalled, 0u);
  }
}

TEST_F(Win32NetworkTest, CancelEndsASendThatAPrinterDoesNotTake) {
  TListeningPrinter stalled(false);
  Form->ComboBox1.SetText(stalled.PortText());
  Form->EdFileName.SetText(Dir.Write("large.bin", RandomBytes(32u << 20, 52)));
  ASSERT_TRUE(Host.Click(Form->BuStart));
  ASSERT_TRUE(Host.WaitUntil([&] { return Form->Job.BlocksSent > 0; }));
  std::int32_t seen = -1;
  while (seen != Form->Job.BlocksSent) {
    seen = Form->Job.BlocksSent;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  ASSERT_TRUE(Form->Upload.Busy()) << "the printer's buffers took the whole file";
  ASSERT_TRUE(Host.Click(Form->BuCancel));
  EXPECT_TRUE(Host.WaitUntil([&] { return !Form->Upload.Busy(); }, 5000));
  EXPECT_FALSE(Form->Job.TransferDone);
  EXPECT_TRUE(Host.Messages.empty()) << Host.LastMessage();
}

TEST_F(Win32NetworkTest, TheSpoolersRawTcpIpPortsAreListedAndReachTheirPrinter) {
  TListeningPrinter printer;
  const std::string ports = TcpIpPortsKeyPath;
  const std::string raw = ports + "\\VornexTest_127.0.0.1", lpr = ports + "\\VornexTest_LPR";
  Registry.Remember(raw);
  Registry.Remember(lpr);
  Registry.SetNumber(raw, "Protocol", 1);
  Registry.Set(raw, "HostName", "");
  Registry.Set(raw, "IPAddress", "127.0.0.1");
  Registry.SetNumber(raw, "PortNumber", printer.Port);
  Registry.SetNumber(lpr, "Protocol", 2);
  Registry.Set(lpr, "HostName", "127.0.0.2");
  Registry.SetNumber(lpr, "PortNumber", 515);
  Form->ComboBox1.DropDown();
  const auto& items = Form->ComboBox1.Items();
  const std::string entry = printer.PortText() + " (VornexTest_127.0.0.1)";
  const auto found = std::find(items.begin(), items.end(), entry);
  ASSERT_NE(found, items.end()) << ::testing::PrintToString(items);
  EXPECT_EQ(std::count_if(items.begin(), items.end(),
                          [](const std::string& item) { return item.find("VornexTest_LPR") != std::string::npos; }),
            0)
      << "an LPR port takes no raw file";

  Form->ComboBox1.Pick(static_cast<int>(found - items.begin()));
  EXPECT_EQ(Form->Job.TransferMode, tmNetwork);
  const auto data = RandomBytes(20000, 53);
  Form->EdFileName.SetText(Dir.Write("label.prn", data));
  ASSERT_TRUE(Host.Click(Form->BuStart));
  ASSERT_TRUE(Host.WaitUntil([&] { return !Form->Upload.Busy(); }, 60000));
  EXPECT_TRUE(Form->Job.TransferDone) << Host.LastMessage();
  ASSERT_TRUE(printer.WaitForFiles(1));
  EXPECT_EQ(printer.Received()[0], data);
}

}  // namespace
}  // namespace vornex::test
