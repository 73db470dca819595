// The serial port component: one serial device with its line settings,
// control block and time-outs, reads and writes, and a thread that turns
// port events into callbacks on the UI thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "comm/CommTypes.h"
#include "forms/Host.h"
#include "forms/Persistent.h"
#include "os/Platform.h"

namespace vornex {

class TThreadComm;
class TCommEventThread;

using TCommNotifyEvent = std::function<void(TThreadComm& sender)>;
using TCommErrorEvent = std::function<void(TThreadComm& sender, std::int32_t errors)>;
using TCommRxCharEvent = std::function<void(TThreadComm& sender, std::uint32_t count)>;
using TCommStatEvent =
    std::function<void(TThreadComm& sender, std::uint32_t status, COMSTAT comStat)>;

// Raises the component's failure: the format with its "%d" replaced by the
// code. Every failure of the component is an Exception raised here.
[[noreturn]] void RaiseCommError(const std::string& format, std::int32_t code);
// The same, with the system's words for the code after it: "Error updating
// CommTimeouts (Error: 87): Invalid argument."
[[noreturn]] void RaiseCommError(const std::string& format, std::int32_t code, const std::string& reason);

// The five special characters of the control block.
class TCommEventChars : public TPersistent {
 public:
  explicit TCommEventChars(TThreadComm* owner) : OwnerComm(owner) {}
  std::string ClassName() const override { return "TCommEventChars"; }

  char XOnChar() const { return Chars[1]; }
  char XOffChar() const { return Chars[2]; }
  char ErrorChar() const { return Chars[3]; }
  char EofChar() const { return Chars[4]; }
  char EvtChar() const { return Chars[5]; }
  // 1 XOn, 2 XOff, 3 Error, 4 Eof, 5 Evt; any other index stores nothing.
  // Every call rebuilds the owner's control block, the same value or not.
  void SetChar(int index, char value);
  // Copies another set's characters without rebuilding anything.
  void Assign(const TPersistent& source) override;

 private:
  TThreadComm* OwnerComm;
  char Chars[6] = {0, 17, 19, 0, 0, 0};
};

class TThreadComm {
 public:
  TThreadComm(TPlatform& platform, THost& host);
  TThreadComm(const TThreadComm&) = delete;
  TThreadComm& operator=(const TThreadComm&) = delete;
  virtual ~TThreadComm();

  // --- settings ---------------------------------------------------------------
  const std::string& DeviceName() const { return Device; }
  std::uint16_t ReadBufSize() const { return ReadBuf; }
  std::uint16_t WriteBufSize() const { return WriteBuf; }
  std::uint32_t SuspendTime() const { return Suspend; }
  TCommEventTypes MonitorEvents() const { return Monitor; }
  TBaudRate BaudRate() const { return Baud; }
  TParity Parity() const { return ParityValue_; }
  TStopBits StopBits() const { return Stop; }
  TDataBits DataBits() const { return Data; }
  TCommOptions Options() const { return Opts; }
  TFlowControl FlowControl() const { return Flow; }
  // The flow control reaches the line only once it has been chosen; until
  // then the handshake the device reports stays in force, so a cable that
  // works as it is keeps working.
  bool FlowControlChosen() const { return FlowChosen; }
  TCommEventChars& EventChars() { return Chars; }

  // Do nothing at all while the port is open; take effect at the next Open.
  void SetDeviceName(const std::string& name);
  void SetMonitorEvents(TCommEventTypes events);
  void SetReadBufSize(std::uint16_t size);
  void SetWriteBufSize(std::uint16_t size);
  void SetSuspendTime(std::uint32_t ms);
  // Store a new value and apply it to an open port at once.
  void SetBaudRate(TBaudRate value);
  void SetParity(TParity value);
  void SetStopBits(TStopBits value);
  void SetDataBits(TDataBits value);
  void SetOptions(TCommOptions value);
  void SetFlowControl(TFlowControl value);
  // The user's choice: stored and, from now on, applied to the line (at
  // once when the port is open). fcDefault keeps the device's handshake.
  void ChooseFlowControl(TFlowControl value);

  std::int32_t ReadTimeout = 1000;   // kept, not applied
  std::int32_t WriteTimeout = 1000;  // kept, not applied
  // When given, a Write in progress ends as soon as this event is signalled,
  // returning what went out: a cancelled transfer does not wait out the
  // write time-out of a port that takes nothing.
  THandle WriteAbortEvent = NoHandle;

  TCommNotifyEvent OnBreak, OnCts, OnDsr, OnRing, OnRlsd, OnRxFlag, OnTxEmpty;
  TCommErrorEvent OnError;
  TCommRxCharEvent OnRxChar;
  TCommStatEvent OnComStatEvent;

  // --- control block and time-outs -----------------------------------------------
  void UpdateDataControlBlock();
  void UpdateDataControlBlockLock();
  void UpdateCommTimeouts();
  // The write time-out per byte (ms) the port gets at Open.
  static DWORD WriteMultiplierOf(TBaudRate rate);
  const DCB& ControlBlock() const { return Dcb; }

  // --- the device ------------------------------------------------------------------
  void Open();
  void Close();
  bool Enabled() const { return IsOpen; }
  void CheckOpen();
  virtual void CreateHandle();
  void DestroyHandle();
  THandle PortHandle() const { return Port; }

  // Bytes written, fewer when the write time-out ended it; -1 when closed.
  std::int32_t Write(const void* buffer, std::uint32_t count);
  // Bytes read within the read time-outs; -1 when closed.
  std::int32_t Read(void* buffer, std::uint32_t count);
  std::int32_t InQueCount();
  std::int32_t OutQueCount();
  void PurgeIn();
  void PurgeOut();
  // 1 CTS, 2 DSR, 3 RING, 4 RLSD.
  bool GetModemState(std::int32_t index);
  // 1 CTS hold, 2 DSR hold, 3 RLSD hold, 4 XOFF hold, 5 XOFF sent; else CTS hold.
  bool GetComState(std::int32_t index);
  void EscapeComm(std::int32_t code);
  void SetDTRState(bool state);
  void SetRTSState(bool state);
  void SetBREAKState(bool state);
  void SetXONState(bool state);

  void Lock() { Mutex.lock(); }
  void Unlock() { Mutex.unlock(); }

  // One port event turned into callbacks, on the UI thread.
  void HandleCommEvent(std::uint32_t status);

  // The running event thread, or none; for tests.
  std::shared_ptr<TCommEventThread> EventThread() const;

 private:
  // Joins an ended event thread, or keeps it for later when it is inside
  // its own hand-over on this thread.
  void Join(std::shared_ptr<TCommEventThread> ended);
  void JoinEndedThreads();
  // RaiseCommError with the platform's last error and its words.
  [[noreturn]] void RaiseLastError(const std::string& format);
  // The status word and record of ClearCommError, zero when it fails.
  void ReadStatus(DWORD& errors, COMSTAT& status);

  TPlatform& Platform;
  THost& Host;
  std::atomic<THandle> Port{InvalidHandle};
  DCB Dcb;
  std::string Device = "Com2";
  std::recursive_mutex Mutex;
  std::uint16_t ReadBuf = 4096;
  std::uint16_t WriteBuf = 2048;
  std::uint32_t Suspend = 5;
  TCommEventTypes Monitor = AllCommEvents;
  TBaudRate Baud = br9600;
  TParity ParityValue_ = paNone;
  TStopBits Stop = sb10;
  TDataBits Data = da8;
  std::atomic<bool> IsOpen{false};
  std::shared_ptr<TCommEventThread> Thread;
  // Ended event threads not joined yet (see Join).
  std::mutex EndedLock;
  std::vector<std::shared_ptr<TCommEventThread>> Ended;
  TCommEventChars Chars{this};
  TCommOptions Opts;
  TFlowControl Flow = fcDefault;
  bool FlowChosen = false;
};

// The component as a form declares it.
class TComm : public TThreadComm {
 public:
  using TThreadComm::TThreadComm;
};

// Waits for port events and hands each one to the UI thread, waiting there
// until its callbacks have run. The component owns it and joins it: Close
// ends it at once (withdrawing a hand-over not yet run), and joins it
// without holding the component's lock.
class TCommEventThread : public std::enable_shared_from_this<TCommEventThread> {
 public:
  using TCallback = std::function<void(TCommEventThread& sender, std::uint32_t status)>;

  // Sets the port's event mask to the events; the thread does not run yet.
  // Null, with the platform's last error, when the port refuses the mask.
  static std::shared_ptr<TCommEventThread> Create(TPlatform& platform,
                                                  std::shared_ptr<TSyncQueue> ui, THandle port,
                                                  std::uint32_t suspendTime,
                                                  TCommEventTypes events);
  TCommEventThread(const TCommEventThread&) = delete;
  TCommEventThread& operator=(const TCommEventThread&) = delete;
  // Joins the thread if its owner has not.
  ~TCommEventThread();

  void SetEventCallback(TCallback callback);
  // Raises std::system_error when no thread can be made.
  void Start();
  // Ends the thread at once for Close: from the return on it calls nothing,
  // does not purge the port, and starts no new wait; a hand-over it has
  // queued and the UI thread has not run is withdrawn. A driver that
  // ignores the empty mask keeps its wait for at most EndWaitLimitMs;
  // closing the handle then ends it.
  void EndAtOnce();
  static constexpr int EndWaitLimitMs = 1000;
  // Waits for the thread to end, after EndAtOnce and the port's close.
  void Join();
  // True on the UI thread while the callback runs there: a handler that
  // closes the port cannot wait for this thread, which waits for it.
  bool Dispatching();
  // The stop flag: the thread leaves its loop and purges the port.
  void Terminate();
  bool Finished() const { return Done; }

  THandle PortHandle() const { return Port; }
  std::uint32_t EventMask() const { return Mask; }
  std::uint32_t SuspendTime() const { return Suspend; }

  // On the UI thread: the callback, if still bound.
  void DispatchEvent();

 private:
  TCommEventThread(TPlatform& platform, std::shared_ptr<TSyncQueue> ui, THandle port,
                   std::uint32_t suspendTime);
  void Execute();

  TPlatform& Platform;
  std::shared_ptr<TSyncQueue> Ui;
  const THandle Port;
  const std::uint32_t Suspend;
  std::atomic<std::uint32_t> Mask{0};
  std::mutex Lock;
  std::condition_variable Changed;
  TCallback Callback;
  bool Abandoned = false;
  bool InWait = false;
  // The thread the callback runs on, while it runs.
  std::thread::id DispatchingOn;
  // Set with Abandoned: a hand-over not yet run is taken back.
  std::atomic<bool> Withdrawn{false};
  std::atomic<bool> StopFlag{false};
  std::atomic<bool> Done{false};
  std::thread Worker;
};

}  // namespace vornex
