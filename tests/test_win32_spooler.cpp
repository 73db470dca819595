// Print queues from Windows itself: Wine's spooler, whose printers are the
// queues of a CUPS server that tests/support/with-cups.sh starts for this
// program. The queue prints to a port on 127.0.0.1 where the test listens.
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "app/MainForm.h"
#include "tests/support/HeadlessHost.h"
#include "tests/support/TempDir.h"
// Windows headers last: they turn many of the names above into macros.
#include "os/win32/Win32Platform.h"
#include <winsock2.h>

namespace vornex::test {
namespace {

std::string Setting(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// What the queue's printer receives: each connection's bytes, read to the end.
class TQueuePrinter {
 public:
  explicit TQueuePrinter(std::uint16_t port) {
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    Listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    Listening = ::bind(Listener, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(Listener, 4) == 0;
    Thread = std::thread([this] {
      for (SOCKET c; (c = ::accept(Listener, nullptr, nullptr)) != INVALID_SOCKET; ::closesocket(c)) {
        std::vector<std::uint8_t> file;
        char buffer[65536];
        for (int n; (n = ::recv(c, buffer, sizeof buffer, 0)) > 0;) file.insert(file.end(), buffer, buffer + n);
        std::lock_guard<std::mutex> hold(Lock);
        Files.push_back(std::move(file));
        Changed.notify_all();
      }
    });
  }
  ~TQueuePrinter() {
    ::closesocket(Listener);
    Thread.join();
    ::WSACleanup();
  }
  bool WaitForFiles(std::size_t n) {
    std::unique_lock<std::mutex> hold(Lock);
    return Changed.wait_for(hold, std::chrono::seconds(30), [&] { return Files.size() >= n; });
  }
  std::vector<std::vector<std::uint8_t>> Received() {
    std::lock_guard<std::mutex> hold(Lock);
    return Files;
  }
  bool Listening = false;

 private:
  SOCKET Listener = INVALID_SOCKET;
  std::mutex Lock;
  std::condition_variable Changed;
  std::vector<std::vector<std::uint8_t>> Files;
  std::thread Thread;
};

class Win32SpoolerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(Queue, "") << "run by with-cups.sh, which starts the CUPS server and names its queue";
    ASSERT_TRUE(Printer.Listening) << "port " << Setting("VORNEX_TEST_QUEUE_PORT");
    Form = std::make_unique<TMainForm>(Host, Platform);
    Host.Attach(*Form);
    Form->Show();
    Form->PrintQueue.PollMs = 100;
  }
  void TearDown() override { Form.reset(); }
  bool Send(const std::string& port, const std::vector<std::uint8_t>& data) {
    Form->ComboBox1.SetText(port);
    Form->EdFileName.SetText(Dir.Write("label.prn", data));
    Form->Memo1.Clear();
    EXPECT_TRUE(Host.Click(Form->BuStart));
    EXPECT_TRUE(Host.WaitUntil([&] { return !Form->Upload.Busy(); }, 60000));
    return Form->Job.TransferDone;
  }

  const std::string Queue = Setting("VORNEX_TEST_QUEUE");
  TQueuePrinter Printer{static_cast<std::uint16_t>(std::atoi(Setting("VORNEX_TEST_QUEUE_PORT").c_str()))};
  THeadlessHost Host;
  TWin32Platform Platform;
  TTempDir Dir;
  std::unique_ptr<TMainForm> Form;
};

TEST_F(Win32SpoolerTest, TheSpoolersQueueIsListedAndARawJobArrivesByteExact) {
  std::vector<TPrinterInfo> queues;
  ASSERT_TRUE(Platform.Spooler().EnumPrintersA(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, queues));
  const auto queue = std::find_if(queues.begin(), queues.end(), [&](const TPrinterInfo& q) { return q.PrinterName == Queue; });
  ASSERT_NE(queue, queues.end());
  EXPECT_EQ(queue->Comment, "Vornex test queue");

  Form->ComboBox1.DropDown();
  const auto& items = Form->ComboBox1.Items();
  const auto entry = std::find(items.begin(), items.end(), "PRINTER:" + Queue + " (Vornex test queue)");
  ASSERT_NE(entry, items.end()) << ::testing::PrintToString(items);
  Form->ComboBox1.Pick(static_cast<int>(entry - items.begin()));
  EXPECT_EQ(Form->Job.TransferMode, tmPrintQueue);

  std::size_t files = 0;
  for (std::size_t size : {1u, 513u, 1048576u}) {
    const auto data = RandomBytes(size, static_cast<unsigned>(size));
    ASSERT_TRUE(Send(Form->ComboBox1.Text(), data)) << size << ": " << Host.LastMessage();
    ASSERT_TRUE(Printer.WaitForFiles(++files));
    EXPECT_EQ(Printer.Received().back(), data) << size;
    // Wine hands the job to CUPS when it ends, and forgets it: it is done
    // for Windows' spooler from then on.
    const auto& log = Form->Memo1.Lines();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front().rfind("queued as job ", 0), 0u) << size;
    EXPECT_EQ(log.back(), "completed") << size;
  }
  EXPECT_TRUE(Host.Messages.empty()) << Host.LastMessage();
}

TEST_F(Win32SpoolerTest, AMissingOrRejectingQueueIsToldAndTheNextTransferWorks) {
  EXPECT_FALSE(Send("PRINTER:NoSuchVornexQueue", RandomBytes(3000)));
  EXPECT_EQ(Host.LastMessage(), "PRINTER:NoSuchVornexQueue: no such print queue");
  EXPECT_EQ(Form->Job.BytesSent, 0);

  // Wine takes the job and hands it to CUPS at its end, where CUPS refuses
  // it: EndDocPrinter fails (with Wine's ERROR_INVALID_HANDLE, not CUPS's
  // reason).
  const std::string rejecting = "PRINTER:" + Setting("VORNEX_TEST_REJECTING_QUEUE");
  EXPECT_FALSE(Send(rejecting, RandomBytes(3000)));
  EXPECT_EQ(Host.LastMessage().rfind(rejecting + ": the spooler did not take the end of job ", 0), 0u)
      << Host.LastMessage();
  EXPECT_TRUE(Printer.Received().empty());
  const auto data = RandomBytes(3000, 2);
  EXPECT_TRUE(Send("PRINTER:" + Queue, data)) << Host.LastMessage();
  ASSERT_TRUE(Printer.WaitForFiles(1));
  EXPECT_EQ(Printer.Received().back(), data);
}

}  // namespace
}  // namespace vornex::test
