// The main window on the Linux platform over a fake sysfs tree: the port
// list, the probe, and the parallel-port and USB printer transfers to FIFOs
// read by a stand-in printer.
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "app/MainForm.h"
#include "os/posix/PosixPlatform.h"
#include "tests/support/FakeSysfs.h"
#include "tests/support/FifoReader.h"
#include "tests/support/HeadlessHost.h"
#include "tests/support/TempDir.h"

namespace vornex::test {
namespace {

class PosixWindowTest : public ::testing::Test {
 protected:
  void TearDown() override {
    Form.reset();
    Platform.reset();
  }
  void Build(const std::string& map = "") {
    TPosixPlatform::TOptions o;
    o.SysRoot = Tree.SysRoot();
    o.DevRoot = Tree.DevRoot();
    o.DeviceMap = map;
    Platform = std::make_unique<TPosixPlatform>(o);
    Form = std::make_unique<TMainForm>(Host, *Platform);
    Host.Attach(*Form);
    Form->Show();
  }
  // A printer of the maker at /dev/usb/lp0, read by a stand-in.
  TFifoReader& AddUsbPrinter() {
    Tree.AddUsbPrinter("lp0", "1-1", "2a3c", "0005", std::string("P1"));
    Printer = std::make_unique<TFifoReader>(Tree.DevPath("usb/lp0"));
    return *Printer;
  }
  void Send(const std::vector<std::uint8_t>& bytes, const std::string& blockSize = "512") {
    Form->Edit1.SetText(blockSize);
    Form->EdFileName.SetText(Dir.Write("job.bin", bytes));
    ASSERT_TRUE(Host.Click(Form->BuStart));
  }
  bool WaitIdle(int timeoutMs = 20000) {
    return Host.WaitUntil([&] { return !Form->Upload.Busy(); }, timeoutMs);
  }

  THeadlessHost Host;
  TFakeSysfs Tree;
  TTempDir Dir;
  std::unique_ptr<TFifoReader> Printer;
  std::unique_ptr<TPosixPlatform> Platform;
  std::unique_ptr<TMainForm> Form;
};

TEST_F(PosixWindowTest, ThePortListShowsWhatLinuxHas) {
  AddUsbPrinter();
  Tree.AddTty("ttyUSB0", true);
  Tree.AddTty("tty3", true);
  Tree.AddNode("lp0");
  Build("COM1=/dev/null");
  EXPECT_EQ(Form->Ports.WindowsLevel(), 2000);
  EXPECT_EQ(Form->ComboBox1.Items(),
            (std::vector<std::string>{"Common USB-5", "COM1", "COM:ttyUSB0", "LPT1"}));
  ASSERT_EQ(Form->Ports.UsbPrinterPaths().size(), 1u);
  EXPECT_EQ(Platform->ResolveDeviceName(Form->Ports.UsbPrinterPaths()[0]), Tree.DevPath("usb/lp0"));
}

TEST_F(PosixWindowTest, APseudoTerminalHasNoModemLinesSoItsProbeFindsNoDevice) {
  int master = -1, slave = -1;
  char name[128];
  ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
  ::close(slave);
  Tree.AddTty("ttyUSB0", true);
  Tree.AddNode("ttyUSB0");  // a plain file, not a serial device
  Build(std::string("COM1=") + name);
  Form->ComboBox1.Pick(0);
  ASSERT_EQ(Form->ComboBox1.Text(), "COM1");
  EXPECT_EQ(Host.Messages, std::vector<std::string>{"Device not found"});
  EXPECT_EQ(Form->LaRTS.Caption(), "0");
  Form->ComboBox1.Pick(1);
  ASSERT_EQ(Form->ComboBox1.Text(), "COM:ttyUSB0");
  EXPECT_EQ(Form->Job.TransferMode, tmSerial);
  EXPECT_EQ(Host.LastMessage(), "Port can't Open");
  EXPECT_FALSE(Form->Comm1.Enabled());
  ::close(master);
}

TEST_F(PosixWindowTest, FilesGoToAParallelPortByteForByte) {
  TFifoReader port(Dir.Path("lpt"));
  Build("LPT1=" + Dir.Path("lpt"));
  Form->ComboBox1.TypeText("LPT1");
  ASSERT_EQ(Form->Job.TransferMode, tmParallel);
  for (std::size_t size : {1000u, 1024u, 0u, 300000u}) {
    port.Clear();
    const auto data = RandomBytes(size, static_cast<unsigned>(size));
    Send(data);
    ASSERT_TRUE(WaitIdle());
    ASSERT_TRUE(port.WaitForCount(size));
    EXPECT_EQ(port.Received(), data) << size;
    EXPECT_TRUE(Form->Job.TransferDone) << size;
    EXPECT_EQ(Form->Job.BytesSent, static_cast<std::int32_t>(size));
  }
  EXPECT_TRUE(Host.Messages.empty());
}

TEST_F(PosixWindowTest, AParallelPortThatStopsTakingDataTimesOut) {
  TFifoReader port(Dir.Path("lpt"));
  Build("LPT1=" + Dir.Path("lpt"));
  Form->Parallel.WriteLimitMs = 200;
  Form->ComboBox1.TypeText("LPT1");
  port.SetReading(false);
  const auto data = RandomBytes(1 << 20);
  Send(data);
  ASSERT_TRUE(WaitIdle());
  EXPECT_FALSE(Form->Job.TransferDone);
  EXPECT_GT(Form->Job.BlocksSent, 0) << "the pipe took blocks until it was full";
  EXPECT_LT(Form->Job.BytesSent, static_cast<std::int32_t>(data.size()));
  EXPECT_TRUE(Host.Messages.empty());

  // Cancel while a write waits: the write is ended and the transfer stops.
  port.SetReading(true);
  ASSERT_TRUE(port.WaitForCount(static_cast<std::size_t>(Form->Job.BytesSent.load())));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // and a block cut short
  port.SetReading(false);
  Form->Parallel.WriteLimitMs = 10000;
  Send(data);
  ASSERT_TRUE(Host.WaitUntil([&] { return Form->Job.BlocksSent > 0; }));
  ASSERT_TRUE(Host.Click(Form->BuCancel));
  port.SetReading(true);
  ASSERT_TRUE(WaitIdle());
  EXPECT_FALSE(Form->Job.TransferDone);
  EXPECT_LT(Form->Job.BytesSent, static_cast<std::int32_t>(data.size()));
}

TEST_F(PosixWindowTest, FilesGoToTheUsbPrinterByteForByte) {
  TFifoReader& printer = AddUsbPrinter();
  Build();
  struct TCase {
    std::size_t Size;
    std::string BlockSize;
  } cases[] = {{1000, "512"}, {1024, "512"}, {0, "512"}, {100000, "10240"}, {100000, "20000"}};
  for (const auto& c : cases) {
    printer.Clear();
    const auto data = RandomBytes(c.Size, static_cast<unsigned>(c.Size));
    Send(data, c.BlockSize);
    ASSERT_TRUE(WaitIdle());
    ASSERT_TRUE(printer.WaitForCount(c.Size));
    EXPECT_EQ(printer.Received(), data) << c.Size << "/" << c.BlockSize;
    EXPECT_TRUE(Form->Job.TransferDone);
  }
  EXPECT_TRUE(Host.Messages.empty());
  EXPECT_EQ(Form->BuExit.Caption(), "Exit");
}

// Linux's usblp never times a write out: a printer off line keeps it
// waiting for ever. Cancel must end it, and the next Start must work.
TEST_F(PosixWindowTest, CancelEndsAUsbPrinterWriteThatNeverCompletes) {
  TFifoReader& printer = AddUsbPrinter();
  Build();
  printer.SetReading(false);
  Send(RandomBytes(1 << 20));
  ASSERT_TRUE(Host.WaitUntil([&] { return Form->Job.BlocksSent > 0; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the pipe is full by now
  ASSERT_TRUE(Form->Upload.Busy());
  ASSERT_TRUE(Host.Click(Form->BuCancel));
  ASSERT_TRUE(WaitIdle(5000));
  EXPECT_TRUE(Host.Messages.empty());
  EXPECT_EQ(Form->BuExit.Caption(), "Exit");

  printer.SetReading(true);
  const auto data = RandomBytes(5000, 3);
  ASSERT_TRUE(Host.WaitUntil([&] { return Form->BuStart.Enabled(); }));
  Send(data);
  ASSERT_TRUE(WaitIdle());
  // What the pipe still held from the cancelled transfer comes first.
  auto endsWithData = [&] {
    const auto got = printer.Received();
    return got.size() >= data.size() &&
           std::equal(data.begin(), data.end(), got.end() - static_cast<long>(data.size()));
  };
  EXPECT_TRUE(Host.WaitUntil(endsWithData));
  EXPECT_TRUE(Form->Job.TransferDone);
}

TEST_F(PosixWindowTest, TheTimeOutEndsAUsbPrinterWriteThatNeverCompletes) {
  TFifoReader& printer = AddUsbPrinter();
  Build();
  printer.SetReading(false);
  Send(RandomBytes(1 << 20));
  ASSERT_TRUE(Host.WaitUntil([&] { return Form->Job.BlocksSent > 0; }));
  // The monitor's clock, not the wall's: 61 ticks without a new block time
  // out. Real time passes between them, so a pipe still filling up only
  // starts the count over.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (Host.Messages.empty() && std::chrono::steady_clock::now() < deadline) {
    Host.Advance(1000);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(Host.Messages, std::vector<std::string>{"Time Out"});
  ASSERT_TRUE(WaitIdle(5000)) << "the write is ended, not waited out";
  EXPECT_TRUE(Form->BuStart.Enabled());
}

TEST_F(PosixWindowTest, APrinterThatCannotBeOpenedAtStartIsReported) {
  AddUsbPrinter();
  Build();
  ASSERT_EQ(Form->Ports.UsbPrinterPaths().size(), 1u);
  // Gone meanwhile.
  Printer.reset();
  std::filesystem::remove(Tree.DevPath("usb/lp0"));
  Send(RandomBytes(100));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Host.Messages, std::vector<std::string>{"USB Port INVALID"});
  EXPECT_FALSE(Form->Job.TransferDone);
}

// Only a device or a pipe is a port: a file or a folder standing where one
// should be is refused by name, and a file keeps what it held.
TEST_F(PosixWindowTest, AFileOrAFolderInAPortsPlaceIsRefusedAndLeftAsItWas) {
  AddUsbPrinter();
  Build();
  ASSERT_EQ(Form->Ports.UsbPrinterPaths().size(), 1u);
  Printer.reset();
  const std::string node = Tree.DevPath("usb/lp0");
  std::filesystem::remove(node);
  std::filesystem::create_directory(node);
  Send(RandomBytes(100));
  ASSERT_TRUE(WaitIdle());
  std::filesystem::remove(node);
  Dir.Write(node, "not a printer");
  Send(RandomBytes(100));
  ASSERT_TRUE(WaitIdle());
  const std::string refused = "The USB printer can't be opened: it is a file or a folder, not a port.";
  EXPECT_EQ(Host.Messages, (std::vector<std::string>{refused, refused}));
  EXPECT_EQ(ReadAll(node), (std::vector<std::uint8_t>{'n', 'o', 't', ' ', 'a', ' ', 'p', 'r', 'i', 'n', 't',
                                                        'e', 'r'}));
  Form->ComboBox1.DropDown();
  EXPECT_TRUE(Form->Ports.UsbPrinterPaths().empty()) << "a file is not listed as a printer";
}

TEST_F(PosixWindowTest, AFileNamedInTheParallelPortsTextIsNeverWritten) {
  const std::string notes = Dir.Write("LPTnotes", "keep me");
  Build();
  // A path is looked at for what it is, whatever letters it holds: a file
  // is refused at Start, before any port is opened.
  Form->ComboBox1.TypeText(notes);
  Send(RandomBytes(1000));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Host.Messages,
            std::vector<std::string>{"Port " + notes + " can't be opened: it is a file or a folder, not a port."});
  EXPECT_EQ(ReadAll(notes), (std::vector<std::uint8_t>{'k', 'e', 'e', 'p', ' ', 'm', 'e'}));
  EXPECT_FALSE(Form->Job.TransferDone);

  // A relative text is no path into the current folder, even where a pipe
  // by that name is read there.
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(Dir.Root);
  {
    TFifoReader local(Dir.Path("LPT1x"));
    Form->ComboBox1.TypeText("LPT1x");
    Send(RandomBytes(1000));
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Form->Job.StopReason, "Port LPT1x can't be opened: there is no such port.");
    EXPECT_TRUE(local.Received().empty());
  }
  std::filesystem::current_path(cwd);
  EXPECT_FALSE(Form->Job.TransferDone);
}

// One sender at a time: a port that another program holds is refused at
// once, and what that program sends is not disturbed.
TEST_F(PosixWindowTest, APortHeldByAnotherSenderIsRefusedAndTheOtherTransferUntouched) {
  TFifoReader port(Dir.Path("lpt"));
  Build("LPT1=" + Dir.Path("lpt"));
  TPosixPlatform other([&] {
    TPosixPlatform::TOptions o;
    o.DeviceMap = "LPT1=" + Dir.Path("lpt");
    return o;
  }());
  const THandle held = other.Devices().OpenPortA("LPT1", GENERIC_WRITE, 0, FILE_FLAG_OVERLAPPED);
  ASSERT_NE(held, InvalidHandle);
  Form->ComboBox1.TypeText("LPT1");
  Send(RandomBytes(1000));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Host.Messages, std::vector<std::string>{"Port LPT1 can't be opened: it is in use by another program."});
  EXPECT_TRUE(port.Received().empty());

  const std::string theirs = "the other program's file";
  DWORD written = 0;
  ASSERT_TRUE(other.Devices().WriteFile(held, theirs.data(), static_cast<DWORD>(theirs.size()), written));
  other.CloseHandle(held);
  ASSERT_TRUE(port.WaitForCount(theirs.size()));
  EXPECT_EQ(port.Received(), std::vector<std::uint8_t>(theirs.begin(), theirs.end()));

  // Free again: the next Start sends.
  port.Clear();
  const auto data = RandomBytes(1000, 5);
  Send(data);
  ASSERT_TRUE(WaitIdle());
  ASSERT_TRUE(port.WaitForCount(data.size()));
  EXPECT_EQ(port.Received(), data);
}

}  // namespace
}  // namespace vornex::test
