// The serial component's exact behaviour, over the scripted platform.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "comm/Comm.h"
#include "forms/Exception.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/HeadlessHost.h"

namespace vornex::test {
namespace {

std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.what();
  }
  return "(nothing raised)";
}

class CommTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Port = Platform.AddDevice("\\\\.\\COM1");
    Comm.SetDeviceName("\\\\.\\COM1");
  }
  void OpenPort() {
    Comm.Open();
    ASSERT_TRUE(Comm.Enabled());
  }

  THeadlessHost Host;
  TFakePlatform Platform;
  std::shared_ptr<TFakeDevice> Port;
  TComm Comm{Platform, Host};
};

TEST_F(CommTest, ANewComponentHasItsDeclaredDefaults) {
  TComm fresh(Platform, Host);
  EXPECT_EQ(fresh.DeviceName(), "Com2");
  EXPECT_EQ(fresh.BaudRate(), br9600);
  EXPECT_EQ(fresh.Parity(), paNone);
  EXPECT_EQ(fresh.StopBits(), sb10);
  EXPECT_EQ(fresh.DataBits(), da8);
  EXPECT_EQ(fresh.MonitorEvents(), AllCommEvents);
  EXPECT_TRUE(fresh.Options().Empty());
  EXPECT_EQ(fresh.FlowControl(), fcDefault);
  EXPECT_EQ(fresh.EventChars().XOnChar(), 17);
  EXPECT_EQ(fresh.EventChars().XOffChar(), 19);
  EXPECT_EQ(fresh.ReadBufSize(), 4096);
  EXPECT_EQ(fresh.WriteBufSize(), 2048);
  EXPECT_EQ(fresh.SuspendTime(), 5u);
  EXPECT_FALSE(fresh.Enabled());
  EXPECT_EQ(fresh.PortHandle(), InvalidHandle);
}

TEST_F(CommTest, TheRaisedMessageIsTheFormatWithTheCode) {
  EXPECT_EQ(MessageOf([] { RaiseCommError("Error updating CommTimeouts (Error: %d)", 87); }),
            "Error updating CommTimeouts (Error: 87)");
  EXPECT_EQ(MessageOf([] { RaiseCommError("Port not open (Error: %d)", -1); }),
            "Port not open (Error: -1)");
}

TEST_F(CommTest, SettersOfTheOpenPortAreRefusedSilentlyUntilItCloses) {
  OpenPort();
  Comm.SetDeviceName("\\\\.\\COM2");
  Comm.SetReadBufSize(100);
  Comm.SetWriteBufSize(100);
  Comm.SetSuspendTime(9);
  Comm.SetMonitorEvents({evRxChar});
  EXPECT_EQ(Comm.DeviceName(), "\\\\.\\COM1");
  EXPECT_EQ(Comm.ReadBufSize(), 4096);
  EXPECT_EQ(Comm.WriteBufSize(), 2048);
  EXPECT_EQ(Comm.SuspendTime(), 5u);
  EXPECT_EQ(Comm.MonitorEvents(), AllCommEvents);
  Comm.Close();
  Comm.SetDeviceName("\\\\.\\COM2");
  Comm.SetReadBufSize(100);
  EXPECT_EQ(Comm.DeviceName(), "\\\\.\\COM2");
  EXPECT_EQ(Comm.ReadBufSize(), 100);
}

TEST_F(CommTest, OpenAppliesTimeoutsControlBlockAndQueueSizes) {
  Comm.SetBaudRate(br19200);
  EXPECT_EQ(Platform.CountCalls("SetCommState"), 0) << "closed: only stored";
  Comm.SetWriteBufSize(4096);
  OpenPort();
  EXPECT_EQ(Port->State.BaudRate, 19200u);
  EXPECT_EQ(Port->Timeouts.ReadIntervalTimeout, MAXDWORD);
  EXPECT_EQ(Port->Timeouts.ReadTotalTimeoutMultiplier, 0u);
  EXPECT_EQ(Port->Timeouts.ReadTotalTimeoutConstant, 1000u);
  EXPECT_EQ(Port->Timeouts.WriteTotalTimeoutMultiplier, 2400u);
  EXPECT_EQ(Port->Timeouts.WriteTotalTimeoutConstant, 0u);
  EXPECT_EQ(Port->InQueue, 4096u);
  EXPECT_EQ(Port->OutQueue, 4096u);
  EXPECT_EQ(Port->State.XonLim, 1024);
  EXPECT_EQ(Port->State.XoffLim, 1024);
  EXPECT_EQ(Port->State.XonChar, 17);
  EXPECT_EQ(Port->State.XoffChar, 19);
  EXPECT_EQ(Port->State.ByteSize, 8);
  EXPECT_EQ(Port->Mask, EventMaskOf(AllCommEvents)) << "the event thread's mask";
  auto calls = Platform.Calls();
  auto timeouts = std::find(calls.begin(), calls.end(), "SetCommTimeouts");
  auto state = std::find(calls.begin(), calls.end(), "SetCommState");
  EXPECT_LT(timeouts, state) << "time-outs first, then the control block";
  // A rate change while open reaches the line at once, the time-out only at
  // the next open.
  Comm.SetBaudRate(br300);
  EXPECT_EQ(Port->State.BaudRate, 300u);
  EXPECT_EQ(Port->Timeouts.WriteTotalTimeoutMultiplier, 2400u);
}

TEST_F(CommTest, TheWriteAllowanceFollowsTheRatesPlaceAndNeverDividesByZero) {
  EXPECT_EQ(TThreadComm::WriteMultiplierOf(br9600), 3200u);
  EXPECT_EQ(TThreadComm::WriteMultiplierOf(br14400), 2742u);
  EXPECT_EQ(TThreadComm::WriteMultiplierOf(br256000), 1371u);
  EXPECT_EQ(TThreadComm::WriteMultiplierOf(br110), TThreadComm::WriteMultiplierOf(br300));
  Comm.SetBaudRate(br110);
  OpenPort();
  EXPECT_EQ(Port->State.BaudRate, 110u);
  EXPECT_EQ(Port->Timeouts.WriteTotalTimeoutMultiplier, 19200u);
}

TEST_F(CommTest, OnlyChangesRebuildTheBlockAndEachOptionSetsItsOwnFlag) {
  OpenPort();
  const int rebuilds = Platform.CountCalls("SetCommState");
  Comm.SetParity(paNone);
  EXPECT_EQ(Platform.CountCalls("SetCommState"), rebuilds) << "same value: device untouched";
  Comm.SetParity(paOdd);
  EXPECT_EQ(Port->State.Parity, 1);
  Comm.SetParity(paEven);
  EXPECT_EQ(Port->State.Parity, 2);
  Comm.SetStopBits(sb20);
  EXPECT_EQ(Port->State.StopBits, TWOSTOPBITS);
  Comm.SetDataBits(da7);
  EXPECT_EQ(Port->State.ByteSize, 7);

  // What the device reports for the option flags is overwritten; the rest kept.
  Port->State.fParity = 1;
  Port->State.fDsrSensitivity = 1;
  Port->State.fErrorChar = 1;
  Port->State.fNull = 1;
  Port->State.fOutxCtsFlow = 1;
  Port->State.fRtsControl = RTS_CONTROL_HANDSHAKE;
  Port->State.fAbortOnError = 1;
  Comm.SetOptions({coIgnoreXOff});
  EXPECT_EQ(Port->State.fTXContinueOnXoff, 1u);
  EXPECT_EQ(Port->State.fParity, 0u);
  EXPECT_EQ(Port->State.fDsrSensitivity, 0u);
  EXPECT_EQ(Port->State.fErrorChar, 0u);
  EXPECT_EQ(Port->State.fNull, 0u);
  EXPECT_EQ(Port->State.fAbortOnError, 1u);

  // Flow control is kept and rebuilds, but leaves the handshake as it was.
  const int before = Platform.CountCalls("SetCommState");
  Comm.SetFlowControl(fcNone);
  EXPECT_EQ(Platform.CountCalls("SetCommState"), before + 1);
  EXPECT_EQ(Port->State.fOutxCtsFlow, 1u);
  EXPECT_EQ(Port->State.fRtsControl, DWORD(RTS_CONTROL_HANDSHAKE));
  EXPECT_EQ(Comm.FlowControl(), fcNone);
}

// Once chosen, a flow control is one handshake alone on the line; until
// then the device's own stays, whatever the property holds.
TEST_F(CommTest, AChosenFlowControlSetsTheHandshakeFieldsAndOnlyThen) {
  Port->State.fOutxCtsFlow = 1;
  Port->State.fRtsControl = RTS_CONTROL_HANDSHAKE;
  Port->State.fOutX = 1;
  Comm.SetFlowControl(fcNone);
  OpenPort();
  EXPECT_FALSE(Comm.FlowControlChosen());
  EXPECT_EQ(Port->State.fOutxCtsFlow, 1u) << "not chosen: the device's handshake stays";
  EXPECT_EQ(Port->State.fOutX, 1u);

  struct TCase {
    TFlowControl Flow;
    DWORD Cts, Rts, Dsr, Dtr, OutX, InX;
  } cases[] = {
      {fcCTS, 1, RTS_CONTROL_HANDSHAKE, 0, DTR_CONTROL_ENABLE, 0, 0},
      {fcNone, 0, RTS_CONTROL_ENABLE, 0, DTR_CONTROL_ENABLE, 0, 0},
      {fcSoftware, 0, RTS_CONTROL_ENABLE, 0, DTR_CONTROL_ENABLE, 1, 1},
      {fcDTR, 0, RTS_CONTROL_ENABLE, 1, DTR_CONTROL_HANDSHAKE, 0, 0},
  };
  for (const TCase& c : cases) {
    Comm.ChooseFlowControl(c.Flow);
    EXPECT_TRUE(Comm.FlowControlChosen());
    EXPECT_EQ(Comm.FlowControl(), c.Flow);
    const DCB& d = Port->State;
    EXPECT_EQ((std::vector<DWORD>{d.fOutxCtsFlow, d.fRtsControl, d.fOutxDsrFlow, d.fDtrControl, d.fOutX, d.fInX}),
              (std::vector<DWORD>{c.Cts, c.Rts, c.Dsr, c.Dtr, c.OutX, c.InX}))
        << "flow " << int(c.Flow);
  }
  // Choosing the value the property already holds still applies it.
  TComm declared(Platform, Host);
  declared.SetDeviceName("\\\\.\\COM1");
  declared.SetFlowControl(fcCTS);
  Comm.Close();
  declared.Open();
  ASSERT_TRUE(declared.Enabled());
  EXPECT_EQ(Port->State.fOutxDsrFlow, 1u) << "declared, not chosen: the line keeps what it had";
  declared.ChooseFlowControl(fcCTS);
  EXPECT_EQ(Port->State.fOutxDsrFlow, 0u);
  EXPECT_EQ(Port->State.fOutxCtsFlow, 1u);
  // fcDefault chosen keeps whatever the device reports.
  Port->State.fOutX = 1;
  declared.ChooseFlowControl(fcDefault);
  EXPECT_EQ(Port->State.fOutX, 1u);
  EXPECT_EQ(Port->State.fOutxCtsFlow, 1u);
}

TEST_F(CommTest, EverySetCharRebuildsButAssignDoesNot) {
  OpenPort();
  int before = Platform.CountCalls("SetCommState");
  Comm.EventChars().SetChar(1, 17);  // the value it already has
  EXPECT_EQ(Platform.CountCalls("SetCommState"), before + 1);
  Comm.EventChars().SetChar(5, '#');
  EXPECT_EQ(Port->State.EvtChar, '#');
  Comm.EventChars().SetChar(9, 'x');  // no such index: stores nothing, still rebuilds
  EXPECT_EQ(Platform.CountCalls("SetCommState"), before + 3);

  TCommEventChars other(nullptr);
  other.SetChar(1, 'a');
  other.SetChar(2, 'b');
  other.SetChar(3, 'c');
  other.SetChar(4, 'd');
  other.SetChar(5, 'e');
  before = Platform.CountCalls("SetCommState");
  Comm.EventChars().Assign(other);
  EXPECT_EQ(Platform.CountCalls("SetCommState"), before);
  EXPECT_EQ(Comm.EventChars().XOnChar(), 'a');
  EXPECT_EQ(Comm.EventChars().EvtChar(), 'e');

  class TOther : public TPersistent {
    std::string ClassName() const override { return "TFont"; }
  } font;
  EXPECT_EQ(MessageOf([&] { Comm.EventChars().Assign(font); }),
            "Cannot assign a TFont to a TCommEventChars");
}

TEST_F(CommTest, ARefusedControlBlockKeepsTheNewValueAndRaisesWithTheCode) {
  OpenPort();
  Platform.FailCall("SetCommState", ERROR_INVALID_PARAMETER);
  Platform.MessageTexts[ERROR_INVALID_PARAMETER] = "The parameter is incorrect.";
  EXPECT_EQ(MessageOf([&] { Comm.SetDataBits(da4); }),
            "Error updating DataControlBlock (Error: 87): The parameter is incorrect.")
      << "the system's words follow the code";
  EXPECT_EQ(Comm.DataBits(), da4);
  // The lock is recursive, so only another thread can tell it was given back.
  auto other = std::async(std::launch::async, [&] {
    Comm.Lock();
    Comm.Unlock();
  });
  const bool givenBack = other.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  if (!givenBack) Comm.Unlock();  // the hold left behind here, so that the other thread can end
  ASSERT_TRUE(givenBack) << "the lock was given back";

  // And that asking another thread is a test at all: held here, it waits.
  Comm.Lock();
  other = std::async(std::launch::async, [&] {
    Comm.Lock();
    Comm.Unlock();
  });
  EXPECT_EQ(other.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  Comm.Unlock();
  EXPECT_EQ(other.wait_for(std::chrono::seconds(10)), std::future_status::ready);
}

TEST_F(CommTest, OpenFailuresLeaveThePortAsDescribed) {
  TComm missing(Platform, Host);
  missing.SetDeviceName("\\\\.\\COM7");
  EXPECT_NO_THROW(missing.Open());
  EXPECT_FALSE(missing.Enabled());

  auto file = Platform.AddDevice("\\\\.\\COM8");
  file->FileType = FILE_TYPE_DISK;
  TComm notComm(Platform, Host);
  notComm.SetDeviceName("\\\\.\\COM8");
  EXPECT_NO_THROW(notComm.Open());
  EXPECT_FALSE(notComm.Enabled());
  EXPECT_EQ(file->OpenHandles, 0) << "opened, found not to be a port, closed";

  OpenPort();
  auto thread = Comm.EventThread();
  EXPECT_EQ(MessageOf([&] { Comm.Open(); }), "Port already assigned (open) (Error: -1)");
  EXPECT_TRUE(Comm.Enabled());
  EXPECT_EQ(Comm.EventThread(), thread);
  EXPECT_EQ(MessageOf([&] { Comm.CheckOpen(); }), "Port already assigned (open) (Error: -1)");
  Comm.Close();
  EXPECT_NO_THROW(Comm.CheckOpen());
}

// Every call of Open is checked, and a failing one leaves nothing open: the
// port is closed again before the failure is raised with its code.
TEST_F(CommTest, AnOpenThatFailsPartWayClosesWhatItOpenedAndRaisesWithTheCode) {
  struct TCase {
    const char* Call;
    int After;  // successful calls before the failing one
    std::string Message;
  } cases[] = {
      {"SetCommTimeouts", 0, "Error updating CommTimeouts (Error: 31): system error 31."},
      {"SetupComm", 0, "Error initializing Read/Write Buffers (Error: 31): system error 31."},
      {"GetCommState", 0, "Error updating DataControlBlock (Error: 31): system error 31."},
      {"SetCommState", 0, "Error updating DataControlBlock (Error: 31): system error 31."},
      {"SetupComm", 1, "Error initializing Read/Write Buffers (Error: 31): system error 31."},
      {"SetCommMask", 1, "Error setting CommMask (Error: 31): system error 31."},
  };
  for (const auto& c : cases) {
    const int statesSet = Platform.CountCalls("SetCommState");
    Platform.FailCall(c.Call, 31, false, c.After);
    EXPECT_EQ(MessageOf([&] { Comm.Open(); }), c.Message) << c.Call;
    EXPECT_FALSE(Comm.Enabled()) << c.Call;
    EXPECT_EQ(Comm.EventThread(), nullptr) << c.Call;
    EXPECT_EQ(Port->OpenHandles, 0) << c.Call;
    if (std::string(c.Call) == "GetCommState") {
      EXPECT_EQ(Platform.CountCalls("SetCommState"), statesSet) << "no block of stale settings is written";
    }
    Platform.ClearFailures();
  }
  // The port opens again once the device agrees.
  OpenPort();
  EXPECT_NE(Comm.EventThread(), nullptr);
  Comm.Close();

  // A device that takes no event mask is no serial port: it is closed and
  // Open returns without raising, its reason left for the caller.
  Platform.FailCall("SetCommMask", 50, false);
  EXPECT_NO_THROW(Comm.Open());
  EXPECT_FALSE(Comm.Enabled());
  EXPECT_EQ(Platform.GetLastError(), 50u);
  EXPECT_EQ(Port->OpenHandles, 0);
}

// A rebuild while open checks the device's answers too.
TEST_F(CommTest, ARebuildThatCannotReadTheDevicesSettingsWritesNone) {
  OpenPort();
  const int statesSet = Platform.CountCalls("SetCommState");
  Platform.FailCall("GetCommState", 5, false);
  EXPECT_EQ(MessageOf([&] { Comm.SetBaudRate(br19200); }), "Error updating DataControlBlock (Error: 5): system error 5.");
  EXPECT_EQ(Platform.CountCalls("SetCommState"), statesSet);
  Platform.FailCall("SetupComm", 6, false);
  EXPECT_EQ(MessageOf([&] { Comm.SetBaudRate(br38400); }),
            "Error initializing Read/Write Buffers (Error: 6): system error 6.");
  EXPECT_TRUE(Comm.Enabled()) << "a refused change leaves the port open";
}

TEST_F(CommTest, AClosedPortAnswersWithItsClosedResults) {
  char buffer[4];
  EXPECT_NO_THROW(Comm.Close());
  EXPECT_EQ(Comm.Write(buffer, 4), -1);
  EXPECT_EQ(Comm.Read(buffer, 4), -1);
  EXPECT_EQ(Comm.InQueCount(), -1);
  EXPECT_EQ(Comm.OutQueCount(), -1);
  EXPECT_FALSE(Comm.GetModemState(1));
  EXPECT_FALSE(Comm.GetComState(1));
  Comm.PurgeIn();
  Comm.PurgeOut();
  EXPECT_EQ(Platform.CountCalls("PurgeComm"), 0);
  EXPECT_EQ(MessageOf([&] { Comm.SetDTRState(true); }), "Port not open (Error: -1)");
}

TEST_F(CommTest, ReadsWritesAndQueueCounts) {
  OpenPort();
  Port->Incoming = {'a', 'b', 'c'};
  char buffer[8] = {};
  EXPECT_EQ(Comm.InQueCount(), 3);
  const int reads = Platform.CountCalls("ReadFile");
  EXPECT_EQ(Comm.Read(buffer, 0), 0);
  EXPECT_EQ(Platform.CountCalls("ReadFile"), reads) << "a count of 0 reads nothing";
  EXPECT_EQ(Comm.Read(buffer, 8), 3);
  EXPECT_EQ(std::string(buffer, 3), "abc");
  EXPECT_EQ(Comm.Write("hello", 5), 5);
  Port->TakePerWrite = 2;
  EXPECT_EQ(Comm.Write("hello", 5), 2) << "a write cut short reports what went";
  EXPECT_EQ(std::string(Port->Written.begin(), Port->Written.end()), "hellohe");
  Port->FailingWrites = 1;
  const int clears = Platform.CountCalls("ClearCommError");
  EXPECT_EQ(Comm.Write("x", 1), 0);
  EXPECT_GT(Platform.CountCalls("ClearCommError"), clears) << "a failed write clears the error";
  Comm.PurgeIn();
  Comm.PurgeOut();
  EXPECT_EQ(Port->Purges, (std::vector<DWORD>{0x0A, 0x05}));
}

TEST_F(CommTest, ModemAndHoldLinesByIndex) {
  OpenPort();
  Port->ModemStatus = MS_DSR_ON | MS_RLSD_ON;
  EXPECT_FALSE(Comm.GetModemState(1));
  EXPECT_TRUE(Comm.GetModemState(2));
  EXPECT_FALSE(Comm.GetModemState(3));
  EXPECT_TRUE(Comm.GetModemState(4));
  Port->ModemStatus = 0xFFFF;
  EXPECT_FALSE(Comm.GetModemState(0));
  EXPECT_FALSE(Comm.GetModemState(5));
  Port->ModemStatusFails = true;
  EXPECT_FALSE(Comm.GetModemState(2)) << "a device without modem lines shows all off";

  Port->Stat.fCtsHold = 1;
  Port->Stat.fXoffSent = 1;
  EXPECT_TRUE(Comm.GetComState(1));
  EXPECT_TRUE(Comm.GetComState(0));
  EXPECT_TRUE(Comm.GetComState(9));
  EXPECT_FALSE(Comm.GetComState(2));
  EXPECT_TRUE(Comm.GetComState(5));
}

TEST_F(CommTest, LineControlSendsItsCodesAndBreakPurgesBothWays) {
  OpenPort();
  Comm.SetDTRState(true);
  Comm.SetDTRState(false);
  Comm.SetRTSState(true);
  Comm.SetRTSState(false);
  Comm.SetXONState(true);
  Comm.SetXONState(false);
  Comm.SetBREAKState(true);
  Comm.SetBREAKState(false);
  EXPECT_EQ(Port->Escapes, (std::vector<DWORD>{5, 6, 3, 4, 2, 1, 8, 9}));
  EXPECT_EQ(Port->Purges, (std::vector<DWORD>{0x0F, 0x0F}));
  Platform.FailCall("EscapeCommFunction", 22);
  EXPECT_EQ(MessageOf([&] { Comm.SetBREAKState(true); }), "EscapeCommFunction failure (Error: 22): system error 22.");
  EXPECT_EQ(Port->Purges.size(), 2u) << "no purge after a refused break";
}

TEST_F(CommTest, ACombinedEventCallsItsCallbacksInTheFixedOrder) {
  std::vector<std::string> calls;
  Comm.OnCts = [&](TThreadComm& s) { calls.push_back(&s == &Comm ? "cts" : "?"); };
  Comm.OnTxEmpty = [&](TThreadComm&) { calls.push_back("txempty"); };
  Comm.OnRxChar = [&](TThreadComm&, std::uint32_t n) { calls.push_back("rx" + std::to_string(n)); };
  Comm.OnError = [&](TThreadComm&, std::int32_t e) { calls.push_back("err" + std::to_string(e)); };
  Comm.OnComStatEvent = [&](TThreadComm&, std::uint32_t status, COMSTAT) {
    calls.push_back("stat" + std::to_string(status));
  };
  OpenPort();
  Comm.HandleCommEvent(EV_TXEMPTY | EV_CTS);
  EXPECT_EQ(calls, (std::vector<std::string>{"cts", "txempty", "stat12"}));
  calls.clear();
  Comm.HandleCommEvent(EV_RXCHAR);
  EXPECT_EQ(calls, (std::vector<std::string>{"stat1"})) << "nothing queued: no receive callback";
  calls.clear();
  Port->Incoming = {1, 2};
  Port->CommErrors = CE_FRAME;
  Comm.HandleCommEvent(EV_RXCHAR | EV_ERR | EV_RING);
  EXPECT_EQ(calls, (std::vector<std::string>{"err8", "rx2", "stat385"})) << "no OnRing bound";
}

TEST_F(CommTest, EventsReachTheCallbacksOnTheUiThreadUntilClose) {
  int txEmpty = 0;
  Comm.OnTxEmpty = [&](TThreadComm&) { ++txEmpty; };
  OpenPort();
  Platform.RaiseCommEvent("COM1", EV_TXEMPTY);
  ASSERT_TRUE(Host.WaitUntil([&] { return txEmpty == 1; }));

  // An event handed over before Close arrives after it and calls nothing.
  auto thread = Comm.EventThread();
  Platform.RaiseCommEvent("COM1", EV_TXEMPTY);
  ASSERT_TRUE(Platform.WaitUntil([&] { return Port->PendingEvents.empty(); }));
  Comm.Close();
  EXPECT_TRUE(thread->Finished()) << "ended and joined by Close";
  Host.Pump();
  EXPECT_EQ(txEmpty, 1);
  EXPECT_EQ(Port->Purges.size(), 0u) << "Close does not purge through the thread";
}

TEST_F(CommTest, ClosingAPortWhoseDriverKeepsItsWaitStillEnds) {
  Port->MaskChangeEndsWait = false;
  OpenPort();
  auto thread = Comm.EventThread();
  // The fake enters its wait under the lock that counts the call.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (Platform.CountCalls("WaitCommEvent") == 0) {
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the event thread never began its wait";
    std::this_thread::yield();
  }
  auto closing = std::async(std::launch::async, [&] { Comm.Close(); });
  ASSERT_EQ(closing.wait_for(std::chrono::seconds(20)), std::future_status::ready)
      << "Close waits for the driver no longer than its limit";
  EXPECT_FALSE(Comm.Enabled());
  EXPECT_EQ(Port->OpenHandles, 0);
  EXPECT_TRUE(thread->Finished()) << "the closed handle ends the wait, and Close joins the thread";
  EXPECT_EQ(Port->Purges.size(), 0u);
}

// Close takes back an event the thread has handed over and the UI thread
// has not run yet, so the thread ends and is joined before Close returns,
// from the UI thread or any other, and the event calls nothing.
TEST_F(CommTest, ACloseWhileAnEventIsHandedOverEndsAndJoinsTheThread) {
  int txEmpty = 0;
  Comm.OnTxEmpty = [&](TThreadComm&) { ++txEmpty; };
  auto handedOver = [&] {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Host.SyncQueue()->Waiting() == 0 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return Host.SyncQueue()->Waiting() == 1;
  };
  for (bool fromUiThread : {true, false}) {
    OpenPort();
    auto thread = Comm.EventThread();
    Platform.RaiseCommEvent("COM1", EV_TXEMPTY);
    ASSERT_TRUE(handedOver());
    if (fromUiThread) {
      Comm.Close();
    } else {
      // The UI thread runs nothing meanwhile: Close must not need it.
      auto closing = std::async(std::launch::async, [&] { Comm.Close(); });
      ASSERT_EQ(closing.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    }
    EXPECT_TRUE(thread->Finished()) << fromUiThread;
    EXPECT_EQ(Host.SyncQueue()->Waiting(), 0u) << "the hand-over is taken back";
    Host.Pump();
    EXPECT_EQ(txEmpty, 0);
    EXPECT_EQ(Port->OpenHandles, 0);
  }
}

// A handler that closes the port runs inside the thread's own hand-over,
// which the thread waits for: Close cannot wait for the thread there. The
// thread ends when the handler returns, and the next Open joins it.
TEST_F(CommTest, AHandlerThatClosesThePortDoesNotWaitForItsOwnThread) {
  Comm.OnTxEmpty = [&](TThreadComm& sender) { sender.Close(); };
  OpenPort();
  auto first = Comm.EventThread();
  Platform.RaiseCommEvent("COM1", EV_TXEMPTY);
  ASSERT_TRUE(Host.WaitUntil([&] { return !Comm.Enabled(); }));
  ASSERT_TRUE(Host.WaitUntil([&] { return first->Finished(); }));
  EXPECT_EQ(Port->OpenHandles, 0);
  Comm.OnTxEmpty = nullptr;
  OpenPort();
  EXPECT_NE(Comm.EventThread(), first);
  Comm.Close();
}

TEST_F(CommTest, AnEventNotMonitoredNeverFires) {
  int txEmpty = 0, rx = 0;
  Comm.OnTxEmpty = [&](TThreadComm&) { ++txEmpty; };
  Comm.OnRxChar = [&](TThreadComm&, std::uint32_t) { ++rx; };
  Comm.SetMonitorEvents({evRxChar});
  OpenPort();
  EXPECT_EQ(Port->Mask, EV_RXCHAR);
  Platform.RaiseCommEvent("COM1", EV_TXEMPTY);
  Port->Incoming = {'z'};
  Platform.RaiseCommEvent("COM1", EV_RXCHAR);
  ASSERT_TRUE(Host.WaitUntil([&] { return rx == 1; }));
  EXPECT_EQ(txEmpty, 0);
}

TEST_F(CommTest, AFailureInACallbackIsShownAndMonitoringGoesOn) {
  int calls = 0;
  Comm.OnTxEmpty = [&](TThreadComm&) {
    if (++calls == 1) throw Exception("handler broke");
  };
  OpenPort();
  Platform.RaiseCommEvent("COM1", EV_TXEMPTY);
  Platform.RaiseCommEvent("COM1", EV_TXEMPTY);
  ASSERT_TRUE(Host.WaitUntil([&] { return calls == 2; }));
  EXPECT_EQ(Host.Messages, std::vector<std::string>{"handler broke"});
}

}  // namespace
}  // namespace vornex::test
