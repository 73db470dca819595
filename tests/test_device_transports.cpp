// The parallel-port and USB printer transfers, driven through the main
// window over the scripted platform.
#include <gtest/gtest.h>

#include "ports/UsbDeviceKey.h"
#include "tests/support/MainFormFixture.h"
#include "tests/support/UsbPrinters.h"

namespace vornex::test {
namespace {

class ParallelTest : public MainFormTest {
 protected:
  void SetUp() override {
    MainFormTest::SetUp();
    Port = Platform.AddDevice("LPT1");
    Port->IsComm = false;
    Form->ComboBox1.TypeText("LPT1");
  }
  std::shared_ptr<TFakeDevice> Port;
};

TEST_F(ParallelTest, BlocksOf512GoOutAndTheLastOneEndsTheTransfer) {
  struct TCase {
    std::size_t Size;
    std::vector<std::size_t> Writes;
    std::int32_t Blocks;
  } cases[] = {{1000, {512, 488}, 2}, {1024, {512, 512}, 2}, {0, {0}, 1}, {511, {511}, 1}};
  for (const auto& c : cases) {
    Port->Written.clear();
    Port->WriteSizes.clear();
    const auto data = RandomBytes(c.Size, static_cast<unsigned>(c.Size));
    StartWith(data);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Port->Written, data) << c.Size;
    EXPECT_EQ(Port->WriteSizes, c.Writes) << c.Size;
    EXPECT_EQ(Form->Job.BlocksSent, c.Blocks) << c.Size;
    EXPECT_EQ(Form->Job.BytesSent, static_cast<std::int32_t>(c.Size));
    EXPECT_TRUE(Form->Job.TransferDone);
    EXPECT_EQ(Port->OpenHandles, 0) << "the port is closed after each transfer";
  }
  EXPECT_EQ(Platform.EventsCreated(), 2) << "the engine's cancel event and one write event";
  EXPECT_TRUE(Host.Messages.empty());
  EXPECT_FALSE(Form->BuSetupCom.Enabled());
}

TEST_F(ParallelTest, APortThatCannotBeOpenedStopsWithoutSayingSo) {
  Form->ComboBox1.TypeText("LPT7");
  for (std::size_t size : {100u, 0u}) {
    StartWith(RandomBytes(size));
    ASSERT_TRUE(WaitIdle());
    EXPECT_FALSE(Form->Job.TransferDone) << size << ": nothing reached a port";
    EXPECT_EQ(Form->Job.BlocksSent, 0);
    EXPECT_TRUE(Host.Messages.empty());
    // Not shown by the window, but kept for those who ask (vornex-send).
    EXPECT_EQ(Form->Job.StopReason, "Port LPT7 can't be opened: there is no such port.");
  }
  Ticks(61);
  EXPECT_EQ(Host.LastMessage(), "Time Out");
}

// A file where the port should be would be overwritten; a port another
// sender holds would get two files mixed. Both are refused at once, said,
// and not written to.
TEST_F(ParallelTest, AFileOrAPortInUseIsRefusedWithAMessageAndNothingWritten) {
  struct TCase {
    DWORD FileType, OpenError;
    std::string Message;
  } cases[] = {
      {FILE_TYPE_DISK, ERROR_SUCCESS, "Port LPT1 can't be opened: it is a file or a folder, not a port."},
      {FILE_TYPE_CHAR, ERROR_SHARING_VIOLATION,
       "Port LPT1 can't be opened: it is in use by another program."},
  };
  for (const auto& c : cases) {
    Host.Messages.clear();
    Port->FileType = c.FileType;
    Port->OpenError = c.OpenError;
    StartWith(RandomBytes(1000));
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Host.Messages, std::vector<std::string>{c.Message});
    EXPECT_TRUE(Port->Written.empty());
    EXPECT_EQ(Platform.CountCalls("WriteFileTimed"), 0);
    EXPECT_FALSE(Form->Job.TransferDone);
    EXPECT_EQ(Form->Job.BytesSent, 0);
  }
  // A port that is free is held alone while the transfer runs.
  Port->FileType = FILE_TYPE_CHAR;
  Port->OpenError = ERROR_SUCCESS;
  SendFile(RandomBytes(1000));
  EXPECT_TRUE(Form->Job.TransferDone);
  EXPECT_EQ(Port->ShareMode, 0u);
}

TEST_F(ParallelTest, AShortWriteStopsTheTransferUncounted) {
  Port->TakePerWrite = 100;
  StartWith(RandomBytes(1000));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Port->WriteSizes, std::vector<std::size_t>{100});
  EXPECT_EQ(Form->Job.BlocksSent, 0);
  EXPECT_EQ(Form->Job.BytesSent, 0);
  EXPECT_FALSE(Form->Job.TransferDone);
  EXPECT_EQ(Port->OpenHandles, 0);
}

TEST_F(ParallelTest, AWriteThatTakesTooLongIsCancelledAndThePortClosed) {
  Form->Parallel.WriteLimitMs = 30;
  Port->HoldWrites = true;
  StartWith(RandomBytes(1000));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Platform.CountCalls("CancelIo"), 1);
  EXPECT_EQ(Port->OpenHandles, 0);
  EXPECT_EQ(Form->Job.BlocksSent, 0);
  EXPECT_FALSE(Form->Job.TransferDone);
  EXPECT_TRUE(Host.Messages.empty());
}

TEST_F(ParallelTest, AFailedWaitIsReportedAndStopsTheTransfer) {
  Platform.FailCall("WriteFileTimed", ERROR_GEN_FAILURE, false);
  StartWith(RandomBytes(1000));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Host.Messages, std::vector<std::string>{"Undefine error on write prn"});
  EXPECT_FALSE(Form->Job.TransferDone);
  EXPECT_EQ(Port->OpenHandles, 0);
}

// Cancel ends a write the port does not take at once, however long the
// write's own limit.
TEST_F(ParallelTest, CancelEndsAWaitingWriteAndNothingRepeats) {
  Form->Parallel.WriteLimitMs = 600000;
  Port->HoldWrites = true;
  Form->CBRepeat.SetChecked(true);
  StartWith(RandomBytes(2000));
  ASSERT_TRUE(Host.WaitUntil([&] { return Platform.CountCalls("WriteFileTimed") == 1; }));
  ASSERT_TRUE(Host.Click(Form->BuCancel));
  ASSERT_TRUE(WaitIdle());
  EXPECT_TRUE(Port->Written.empty());
  EXPECT_EQ(Form->Job.BlocksSent, 0);
  EXPECT_FALSE(Form->Job.TransferDone);
  EXPECT_EQ(Form->Job.StopReason, "") << "a cancel is no failure";
  EXPECT_EQ(Port->OpenHandles, 0);
  Ticks(10);
  EXPECT_EQ(Platform.CountCalls("WriteFileTimed"), 1) << "a cancelled transfer is not repeated";
}

class UsbPrinterTest : public MainFormTest {
 protected:
  void SetUp() override {
    MainFormTest::SetUp();
    Printer = AddUsbPrinter(Platform, Key, "A");
    Form->ComboBox1.DropDown();
    Form->ComboBox1.Pick(0);
    ASSERT_EQ(Form->Job.TransferMode, tmUsbPrinter);
  }
  void Send(const std::vector<std::uint8_t>& bytes, const std::string& blockSize = "512") {
    Form->Edit1.SetText(blockSize);
    StartWith(bytes);
  }
  const std::string Key = std::string("VID_") + MakerVendorId + "&PID_0002";
  std::shared_ptr<TFakeDevice> Printer;
};

TEST_F(UsbPrinterTest, BlocksOfTheBlockSizeGoToTheFirstPrinter) {
  auto second = AddUsbPrinter(Platform, Key, "B");
  Form->ComboBox1.DropDown();
  Form->ComboBox1.TypeText("LPT1");  // whatever the box shows
  struct TCase {
    std::size_t Size;
    std::string BlockSize;
    std::vector<std::size_t> Writes;
  } cases[] = {
      {1000, "512", {512, 488}},
      {0, "512", {}},
      {1000, "1", std::vector<std::size_t>(1000, 1)},
      {25000, "20000", {10240, 10240, 4520}},  // never more than the block buffer
  };
  for (const auto& c : cases) {
    Printer->Written.clear();
    Printer->WriteSizes.clear();
    const auto data = RandomBytes(c.Size);
    Send(data, c.BlockSize);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Printer->WriteSizes, c.Writes) << c.Size << "/" << c.BlockSize;
    EXPECT_EQ(Printer->Written, data);
    EXPECT_EQ(Form->Job.BlocksSent, static_cast<std::int32_t>(c.Writes.size()));
    EXPECT_EQ(Form->Job.BytesSent, static_cast<std::int32_t>(c.Size));
    EXPECT_TRUE(Form->Job.TransferDone);
    EXPECT_TRUE(Form->Upload.Delivered());
    EXPECT_EQ(Printer->OpenHandles, 0);
  }
  EXPECT_TRUE(second->Written.empty());
  EXPECT_TRUE(Host.Messages.empty());
  EXPECT_EQ(Form->BuExit.Caption(), "Exit");
}

// A block of nothing sends nothing: it would end as done with the printer
// none the wiser. Refused before the printer (or any port) is opened.
TEST_F(UsbPrinterTest, ABlockSizeBelowOneIsRefusedBeforeAnythingIsOpened) {
  const int opens = Platform.CountCalls("OpenPortA");
  for (const char* size : {"0", "-1", "-2147483648"}) {
    Host.Messages.clear();
    Send(RandomBytes(1000), size);
    EXPECT_EQ(Host.Messages, std::vector<std::string>{BlockSizeTooSmallText}) << size;
    EXPECT_FALSE(Form->Upload.Busy()) << size;
    EXPECT_FALSE(Form->TiCheck.Enabled()) << size << ": no transfer to watch";
    EXPECT_TRUE(ControlsEnabled()) << size;
  }
  EXPECT_EQ(Platform.CountCalls("OpenPortA"), opens);
  EXPECT_TRUE(Printer->Written.empty());
  EXPECT_FALSE(Form->Job.TransferDone);
  EXPECT_EQ(Form->Job.BlockSize, 512) << "the last good size stays";
  Ticks(5);
  EXPECT_FALSE(Form->TiRepeat.Enabled()) << "nothing completed, nothing repeats";
}

TEST_F(UsbPrinterTest, APrinterInUseOrAFileInItsPlaceIsRefusedWithAMessage) {
  struct TCase {
    DWORD FileType, OpenError;
    std::string Message;
  } cases[] = {
      {FILE_TYPE_CHAR, ERROR_SHARING_VIOLATION,
       "The USB printer can't be opened: it is in use by another program."},
      {FILE_TYPE_DISK, ERROR_SUCCESS, "The USB printer can't be opened: it is a file or a folder, not a port."},
  };
  for (const auto& c : cases) {
    Host.Messages.clear();
    Printer->FileType = c.FileType;
    Printer->OpenError = c.OpenError;
    Send(RandomBytes(1000));
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Host.Messages, std::vector<std::string>{c.Message});
    EXPECT_TRUE(Printer->Written.empty());
    EXPECT_FALSE(Form->Job.TransferDone);
  }
  Printer->FileType = FILE_TYPE_CHAR;
  Printer->OpenError = ERROR_SUCCESS;
  Send(RandomBytes(1000));
  ASSERT_TRUE(WaitIdle());
  EXPECT_TRUE(Form->Job.TransferDone);
  EXPECT_EQ(Printer->ShareMode, 0u) << "held alone while it prints";
}

TEST_F(UsbPrinterTest, AWriteThatTakesPartOfABlockGoesOnWithTheRest) {
  Printer->TakePerWrite = 100;
  const auto data = RandomBytes(1000);
  Send(data);
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Printer->Written, data);
  EXPECT_EQ(Form->Job.BlocksSent, 2);
  EXPECT_EQ(Form->BuExit.Caption(), "Exit");
}

TEST_F(UsbPrinterTest, AFailedWriteIsSentOnceMoreAndTheExitButtonSaysSo) {
  Printer->FailingWrites = 1;
  const auto data = RandomBytes(1000);
  Send(data);
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Printer->Written, data) << "the failed block went again before the next";
  EXPECT_EQ(Form->Job.BlocksSent, 2);
  EXPECT_TRUE(Form->Job.TransferDone);
  EXPECT_EQ(Form->BuExit.Caption(), "USB Send Err Resend");
  EXPECT_TRUE(Host.Messages.empty());
}

TEST_F(UsbPrinterTest, AResendAfterAPartlyTakenBlockCarriesOnlyTheRest) {
  Printer->TakePerWrite = 300;
  Printer->WritesBeforeFailing = 1;
  Printer->FailingWrites = 1;
  const auto data = RandomBytes(1000);
  Send(data);
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Printer->Written, data) << "no byte twice";
  EXPECT_EQ(Printer->WriteSizes, (std::vector<std::size_t>{300, 212, 300, 188}));
  EXPECT_EQ(Form->Job.BlocksSent, 2);
  EXPECT_TRUE(Form->Job.TransferDone);
  EXPECT_EQ(Form->BuExit.Caption(), "USB Send Err Resend");
}

TEST_F(UsbPrinterTest, ABlockRefusedTwiceIsNotCountedAndTheUserIsTold) {
  Printer->FailingWrites = 2;
  Send(RandomBytes(1000));
  ASSERT_TRUE(WaitIdle());
  EXPECT_TRUE(Printer->Written.empty());
  EXPECT_EQ(Form->Job.BlocksSent, 0);
  EXPECT_EQ(Form->Job.BytesSent, 0);
  EXPECT_FALSE(Form->Job.TransferDone) << "not reported as completed";
  EXPECT_EQ(Host.Messages, std::vector<std::string>{UsbNotDeliveredText});
  EXPECT_EQ(Form->BuExit.Caption(), "USB Send Err Resend");
  EXPECT_EQ(Printer->OpenHandles, 0);
}

TEST_F(UsbPrinterTest, APrinterThatCannotBeOpenedAtStartIsReported) {
  Printer->OpenError = ERROR_ACCESS_DENIED;
  Send(RandomBytes(100));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Host.Messages, std::vector<std::string>{"USB Port INVALID"});
  EXPECT_FALSE(Form->Job.TransferDone);
  EXPECT_EQ(Form->Job.BlocksSent, 0);
}

// A printer that is off line takes nothing, and the driver may never give
// up on the write: Cancel and the time-out must still end the transfer.
TEST_F(UsbPrinterTest, CancelEndsAWriteThePrinterNeverTakes) {
  Printer->HoldWrites = true;
  Send(RandomBytes(1000));
  ASSERT_TRUE(Host.WaitUntil([&] { return Platform.CountCalls("WriteFile") == 1; }));
  ASSERT_TRUE(Host.Click(Form->BuCancel));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Platform.CountCalls("WriteFile"), 1) << "no resend after a cancel";
  EXPECT_EQ(Form->BuExit.Caption(), "Exit");
  EXPECT_EQ(Form->Job.BlocksSent, 0);
  EXPECT_TRUE(Form->Job.TransferDone) << "a cancelled USB transfer counts as finished";
  EXPECT_TRUE(Host.Messages.empty());
  EXPECT_EQ(Printer->OpenHandles, 0);
}

TEST_F(UsbPrinterTest, TheTimeOutEndsAWriteThePrinterNeverTakesAndTheNextStartWorks) {
  Printer->HoldWrites = true;
  Send(RandomBytes(1000));
  ASSERT_TRUE(Host.WaitUntil([&] { return Platform.CountCalls("WriteFile") == 1; }));
  Ticks(61);
  EXPECT_EQ(Host.Messages, std::vector<std::string>{"Time Out"});
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Printer->OpenHandles, 0);

  Platform.ReleaseWrites(UsbPrinterPath(Key, "A"));
  const auto data = RandomBytes(700, 9);
  Send(data);
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Printer->Written, data);
  EXPECT_TRUE(Form->Job.TransferDone);
  EXPECT_EQ(Host.Messages.size(), 1u);
}

TEST_F(UsbPrinterTest, ADropDownDuringATransferLeavesItItsPrinter) {
  Printer->HoldWrites = true;
  const auto data = RandomBytes(3000);
  Send(data);
  ASSERT_TRUE(Host.WaitUntil([&] { return Platform.CountCalls("WriteFile") == 1; }));
  // The printer is busy with us: a second open would fail, as on Linux.
  Printer->OpenError = ERROR_SHARING_VIOLATION;
  auto other = AddUsbPrinter(Platform, Key, "B");
  const int opens = Platform.CountCalls("OpenPortA");
  Form->ComboBox1.DropDown();
  EXPECT_EQ(Form->Ports.UsbPrinterPaths(),
            (std::vector<std::string>{UsbPrinterPath(Key, "A"), UsbPrinterPath(Key, "B")}))
      << "the printer in use is still listed";
  EXPECT_EQ(Platform.CountCalls("OpenPortA"), opens + 1) << "only the other one is test-opened";

  // Gone from the registry meanwhile: the list changes, the transfer does not.
  Platform.Key(std::string(UsbEnumKeyPath) + Key).SubKeys = {"B"};
  Form->ComboBox1.DropDown();
  EXPECT_EQ(Form->Ports.UsbPrinterPaths(), std::vector<std::string>{UsbPrinterPath(Key, "B")});
  Platform.ReleaseWrites(UsbPrinterPath(Key, "A"));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Printer->Written, data);
  EXPECT_TRUE(other->Written.empty());
}

}  // namespace
}  // namespace vornex::test
