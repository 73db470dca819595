// The serial and vendor-USB send loops and the receive log, through the main
// window over the scripted platform.
#include <gtest/gtest.h>

#include "tests/support/MainFormFixture.h"

namespace vornex::test {
namespace {

class SerialTest : public MainFormTest {
 protected:
  void SetUp() override {
    MainFormTest::SetUp();
    Port = Platform.AddDevice("\\\\.\\COM1");
    Form->ComboBox1.SetText("COM1");
    Form->Job.TransferMode = tmSerial;
  }
  std::shared_ptr<TFakeDevice> Port;
};

TEST_F(SerialTest, FortyBytesGoOutAsSixteenSixteenAndEightEachAfterTxEmpty) {
  auto data = RandomBytes(40);
  SendFile(data);
  EXPECT_EQ(Port->WriteSizes, (std::vector<std::size_t>{16, 16, 8}));
  EXPECT_EQ(Port->Written, data);
  EXPECT_EQ(Form->Job.BlocksSent, 3);
  EXPECT_EQ(Form->Job.BytesSent, 40);
  EXPECT_TRUE(Form->Job.TransferDone);
  EXPECT_EQ(Port->OpenHandles, 0) << "the port is closed after the transfer";
  EXPECT_EQ(Platform.SleptMs, 500) << "the last piece is given time to drain";
  EXPECT_FALSE(Form->Comm1.Enabled());
  EXPECT_TRUE(Form->BuSetupCom.Enabled());
}

TEST_F(SerialTest, ThirtyTwoBytesAreTwoPiecesAndAnEmptyFileOneEmptyPiece) {
  SendFile(RandomBytes(32));
  EXPECT_EQ(Port->WriteSizes, (std::vector<std::size_t>{16, 16}));
  Port->WriteSizes.clear();
  SendFile({});
  EXPECT_EQ(Port->WriteSizes, (std::vector<std::size_t>{0}));
  EXPECT_EQ(Form->Job.BlocksSent, 1);
  EXPECT_EQ(Form->Job.BytesSent, 0);
  EXPECT_TRUE(Form->Job.TransferDone);
}

TEST_F(SerialTest, APortThatNeverReportsTxEmptyIsEndedByCancelWithoutAnotherPiece) {
  Port->TxEmptyAfterWrite = false;
  StartWith(RandomBytes(100));
  ASSERT_TRUE(Platform.WaitUntil([&] { return Port->WriteSizes.size() == 1; }));
  ASSERT_TRUE(Host.Click(Form->BuCancel));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Port->WriteSizes.size(), 1u);
  EXPECT_FALSE(Form->Job.TransferDone);
  EXPECT_EQ(Port->OpenHandles, 0);
}

TEST_F(SerialTest, APortThatDoesNotOpenSendsNothingAndTimesOutLater) {
  Form->ComboBox1.SetText("COM5");
  SendFile(RandomBytes(40));
  EXPECT_EQ(Form->Job.BytesSent, 0);
  EXPECT_FALSE(Form->Job.TransferDone);
  Ticks(61);
  EXPECT_EQ(Host.LastMessage(), "Time Out");
}

TEST_F(SerialTest, APortThatRefusesItsSettingsIsReportedAndClosed) {
  // The port probe at Start meets the refusal too, and swallows it.
  Platform.FailCall("SetCommState", ERROR_INVALID_PARAMETER);
  SendFile(RandomBytes(40));
  EXPECT_EQ(Host.LastMessage(), "Error updating DataControlBlock (Error: 87): system error 87.");
  Platform.ClearFailures();
  EXPECT_EQ(Port->OpenHandles, 0);
  EXPECT_FALSE(Form->Comm1.Enabled());
  EXPECT_TRUE(ControlsEnabled());
  SendFile(RandomBytes(40));
  EXPECT_TRUE(Form->Job.TransferDone) << "the next transfer opens the port again";
}

TEST_F(SerialTest, AWriteCutShortIsCountedAndEndsTheTransfer) {
  Port->TakePerWrite = 10;
  SendFile(RandomBytes(40));
  EXPECT_EQ(Form->Job.BytesSent, 10);
  EXPECT_EQ(Form->Job.BlocksSent, 0);
  EXPECT_FALSE(Form->Job.TransferDone);
}

TEST_F(SerialTest, ACancelEndsAWriteThePortDoesNotTake) {
  Port->HoldWrites = true;
  StartWith(RandomBytes(40));
  ASSERT_TRUE(Host.WaitUntil([&] { return Platform.CountCalls("WriteFile") == 1; }));
  Ticks(61);
  EXPECT_EQ(Host.LastMessage(), "Time Out");
  ASSERT_TRUE(WaitIdle());
  EXPECT_FALSE(Form->Job.TransferDone);
  EXPECT_EQ(Port->OpenHandles, 0);
}

class RxLogTest : public SerialTest {
 protected:
  std::vector<std::string> LogAfter(const std::string& bytes) {
    Form->Memo1.Clear();
    Port->Incoming.assign(bytes.begin(), bytes.end());
    Form->RxLog.Comm1RxChar(static_cast<std::uint32_t>(bytes.size()));
    return Form->Memo1.Lines();
  }
  void SetUp() override {
    SerialTest::SetUp();
    Form->Comm1.SetDeviceName("\\\\.\\COM1");
    Form->Comm1.Open();
  }
};

TEST_F(RxLogTest, TheReplyIsCutIntoLinesOfAtMostTwoCharacters) {
  EXPECT_EQ(LogAfter("OK;"), std::vector<std::string>{"OK"});
  EXPECT_EQ(LogAfter("OK\r\n"), (std::vector<std::string>{"OK", ""}));
  EXPECT_EQ(LogAfter("ABCDEFG"), (std::vector<std::string>{"AB", "DE"}));
  EXPECT_EQ(Form->RxLog.RxLine(), "G") << "C and F were dropped; G waits";
  EXPECT_EQ(LogAfter(std::string("\0A\0", 3) + ";"), std::vector<std::string>{"GA"})
      << "zero bytes are skipped and a partial line is continued";
}

TEST_F(RxLogTest, MoreThanTheReceiveBufferIsReadInPieces) {
  std::string many(12001, 'x');
  many.back() = ';';
  auto lines = LogAfter(many);
  EXPECT_TRUE(Port->Incoming.empty()) << "all of it was read";
  // Every third byte ends a line (two kept, the third dropped): 4000 lines
  // and an empty one, the log emptied whenever it passed 500.
  ASSERT_EQ(lines.size(), 4001u % 501u);
  EXPECT_EQ(lines.front(), "xx");
  EXPECT_EQ(lines.back(), "");
  EXPECT_EQ(Form->RxLog.RxLine(), "");
}

TEST_F(SerialTest, AReplyDuringTheTransferReachesTheLog) {
  Form->Memo1.Clear();
  Port->HoldWrites = true;
  StartWith(RandomBytes(64));
  ASSERT_TRUE(Host.WaitUntil([&] { return Platform.CountCalls("WriteFile") == 1; }));
  // The printer answers while the first piece is still going out: the read
  // waits for the write, then the reply is logged.
  Platform.Receive("COM1", "OK;");
  Platform.ReleaseWrites("COM1");
  ASSERT_TRUE(Host.WaitUntil([&] { return !Form->Memo1.Lines().empty(); }, 5000));
  EXPECT_EQ(Form->Memo1.Lines(), std::vector<std::string>{"OK"});
  ASSERT_TRUE(WaitIdle());
  EXPECT_TRUE(Form->Job.TransferDone);
}

class VendorTest : public MainFormTest {
 protected:
  void SetUp() override {
    MainFormTest::SetUp();
    Platform.VendorLibraryPresent = true;
    Platform.VendorDevices = {0, 3};
    Form->Job.TransferMode = tmVendorUsb;
    Form->ComboBox1.SetText("ZUV USB3");
    // Only the transfer's own calls count, not the port list's probing.
    Platform.VendorOpened.clear();
    Platform.VendorClosed.clear();
  }
};

TEST_F(VendorTest, AThousandBytesInBlocksOf512) {
  auto data = RandomBytes(1000);
  SendFile(data);
  EXPECT_EQ(Platform.VendorOpened, std::vector<std::int32_t>{3});
  EXPECT_EQ(Platform.VendorWriteSizes, (std::vector<std::int32_t>{512, 488}));
  EXPECT_EQ(Platform.VendorReceived[3], data);
  EXPECT_EQ(Platform.VendorClosed, std::vector<std::int32_t>{3});
  EXPECT_EQ(Form->Job.BlocksSent, 2);
  EXPECT_EQ(Form->Job.BytesSent, 1000);
  EXPECT_TRUE(Form->Job.TransferDone);
}

TEST_F(VendorTest, AnEmptyFileOrANonPositiveBlockSizeSendsNothingAndCompletes) {
  SendFile({});
  EXPECT_TRUE(Platform.VendorWriteSizes.empty());
  EXPECT_TRUE(Form->Job.TransferDone);
  EXPECT_EQ(Platform.VendorClosed.size(), 1u);
  Form->Edit1.SetText("0");
  SendFile(RandomBytes(100));
  EXPECT_TRUE(Platform.VendorWriteSizes.empty());
  EXPECT_EQ(Form->Job.BlocksSent, 0);
  EXPECT_TRUE(Form->Job.TransferDone);
}

TEST_F(VendorTest, ABlockSizeBeyondTheBufferSendsBlocksOfTheBufferSize) {
  Form->Edit1.SetText("100000");
  auto data = RandomBytes(25000);
  SendFile(data);
  EXPECT_EQ(Platform.VendorWriteSizes, (std::vector<std::int32_t>{10240, 10240, 4520}));
  EXPECT_EQ(Platform.VendorReceived[3], data);
}

TEST_F(VendorTest, TheDeviceDigitIsTheEighthCharacter) {
  EXPECT_EQ(TVendorUsbTransport::DeviceIndexOf("ZUV USB2"), 2);
  EXPECT_EQ(TVendorUsbTransport::DeviceIndexOf("ZUV USBA"), 'A' - 48);
  EXPECT_EQ(TVendorUsbTransport::DeviceIndexOf("ZUV USB\xff"), -1 - 48);
  Form->ComboBox1.SetText("ZUV USBx");
  SendFile(RandomBytes(10));
  EXPECT_EQ(Platform.VendorOpened, std::vector<std::int32_t>{'x' - 48});
  EXPECT_EQ(Host.LastMessage(), "USB Port INVALID");
  EXPECT_FALSE(Form->Job.TransferDone);
}

TEST_F(VendorTest, ATextTooShortToNameADeviceSendsNothingAndTheWorkerLives) {
  Form->ComboBox1.SetText("USB");
  SendFile(RandomBytes(10));
  EXPECT_TRUE(Platform.VendorOpened.empty());
  EXPECT_EQ(Host.LastMessage(), "USB Port INVALID");
  EXPECT_TRUE(ControlsEnabled());
  Form->ComboBox1.SetText("ZUV USB0");
  SendFile(RandomBytes(10));
  EXPECT_TRUE(Form->Job.TransferDone);
}

TEST_F(VendorTest, AFailedWriteIsSentAgainAndTheExitButtonSaysSo) {
  Platform.VendorFailingWrites = 1;
  auto data = RandomBytes(1000);
  SendFile(data);
  EXPECT_EQ(Platform.VendorWriteSizes, (std::vector<std::int32_t>{512, 512, 488}));
  EXPECT_EQ(Platform.VendorReceived[3], data);
  EXPECT_EQ(Form->BuExit.Caption(), "USB Send Err Resend");
  EXPECT_TRUE(Form->Job.TransferDone);
  EXPECT_EQ(Form->Job.BytesSent, 1000);
  ASSERT_TRUE(Host.Click(Form->BuExit)) << "the button still closes the window";
  EXPECT_TRUE(Host.Terminated());
}

TEST_F(VendorTest, ABlockRefusedTwiceIsNotCountedAndTheUserIsTold) {
  Platform.VendorFailingWrites = 2;
  SendFile(RandomBytes(1000));
  EXPECT_EQ(Platform.VendorWriteSizes, (std::vector<std::int32_t>{512, 512}));
  EXPECT_EQ(Form->Job.BytesSent, 0);
  EXPECT_EQ(Form->Job.BlocksSent, 0);
  EXPECT_FALSE(Form->Job.TransferDone);
  EXPECT_EQ(Platform.VendorClosed.size(), 1u);
  EXPECT_EQ(Host.LastMessage(), UsbNotDeliveredText);
}

TEST_F(VendorTest, CancelEndsBeforeTheNextBlockAndCountsAsDone) {
  Platform.VendorHoldWrites = true;
  Form->CBRepeat.SetChecked(true);
  StartWith(RandomBytes(5000));
  ASSERT_TRUE(Host.WaitUntil([&] { return Platform.CountCalls("VendorUsbWrite") == 1; }));
  ASSERT_TRUE(Host.Click(Form->BuCancel));
  Platform.ReleaseVendorWrites();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Platform.VendorWriteSizes.size(), 1u);
  EXPECT_TRUE(Form->Job.TransferDone) << "a cancelled USB transfer counts as finished";
  Ticks(1);
  EXPECT_TRUE(Form->TiRepeat.Enabled()) << "and with Repeat ticked it is sent again";
  EXPECT_FALSE(Form->TiCheck.Enabled());
}

}  // namespace
}  // namespace vornex::test
