#include "comm/Comm.h"

#include <thread>

#include "forms/Exception.h"

namespace vornex {

namespace {

constexpr char PortAlreadyOpen[] = "Port already assigned (open) (Error: %d)";
constexpr char PortNotOpen[] = "Port not open (Error: %d)";

// Applies a control block flag per option; no other bit is touched.
void SetOptionFlag(DCB& dcb, TCommOption option, bool on) {
  const DWORD v = on ? 1 : 0;
  switch (option) {
    case coParityCheck: dcb.fParity = v; break;
    case coDsrSensitivity: dcb.fDsrSensitivity = v; break;
    case coIgnoreXOff: dcb.fTXContinueOnXoff = v; break;
    case coErrorChar: dcb.fErrorChar = v; break;
    case coNullStrip: dcb.fNull = v; break;
  }
}

// The control block's handshake fields for a flow control: RTS/CTS, DTR/DSR
// or XON/XOFF, each alone; fcDefault leaves what the device reported.
void SetHandshake(DCB& dcb, TFlowControl flow) {
  if (flow == fcDefault) return;
  const bool cts = flow == fcCTS, dsr = flow == fcDTR, xonXoff = flow == fcSoftware;
  dcb.fOutxCtsFlow = cts ? 1 : 0;
  dcb.fRtsControl = cts ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
  dcb.fOutxDsrFlow = dsr ? 1 : 0;
  dcb.fDtrControl = dsr ? DTR_CONTROL_HANDSHAKE : DTR_CONTROL_ENABLE;
  dcb.fOutX = xonXoff ? 1 : 0;
  dcb.fInX = xonXoff ? 1 : 0;
}

}  // namespace

void RaiseCommError(const std::string& format, std::int32_t code) { RaiseCommError(format, code, {}); }

void RaiseCommError(const std::string& format, std::int32_t code, const std::string& reason) {
  std::string message = format;
  auto at = message.find("%d");
  if (at != std::string::npos) message.replace(at, 2, std::to_string(code));
  if (!reason.empty()) message += ": " + reason + ".";
  throw Exception(message);
}

// --- TCommEventChars -----------------------------------------------------------------

void TCommEventChars::SetChar(int index, char value) {
  if (index >= 1 && index <= 5) Chars[index] = value;
  if (OwnerComm) OwnerComm->UpdateDataControlBlockLock();
}

void TCommEventChars::Assign(const TPersistent& source) {
  if (auto* other = dynamic_cast<const TCommEventChars*>(&source)) {
    for (int i = 1; i <= 5; ++i) Chars[i] = other->Chars[i];
    return;
  }
  TPersistent::Assign(source);
}

// --- TThreadComm: settings ------------------------------------------------------------

TThreadComm::TThreadComm(TPlatform& platform, THost& host) : Platform(platform), Host(host) {}

TThreadComm::~TThreadComm() {
  Close();
  JoinEndedThreads();
}

void TThreadComm::SetDeviceName(const std::string& name) {
  if (!IsOpen) Device = name;
}

void TThreadComm::SetMonitorEvents(TCommEventTypes events) {
  if (!IsOpen) Monitor = events;
}

void TThreadComm::SetReadBufSize(std::uint16_t size) {
  if (!IsOpen) ReadBuf = size;
}

void TThreadComm::SetWriteBufSize(std::uint16_t size) {
  if (!IsOpen) WriteBuf = size;
}

void TThreadComm::SetSuspendTime(std::uint32_t ms) {
  if (!IsOpen) Suspend = ms;
}

void TThreadComm::SetBaudRate(TBaudRate value) {
  if (value == Baud) return;
  Baud = value;
  UpdateDataControlBlockLock();
}

void TThreadComm::SetParity(TParity value) {
  if (value == ParityValue_) return;
  ParityValue_ = value;
  UpdateDataControlBlockLock();
}

void TThreadComm::SetStopBits(TStopBits value) {
  if (value == Stop) return;
  Stop = value;
  UpdateDataControlBlockLock();
}

void TThreadComm::SetDataBits(TDataBits value) {
  if (value == Data) return;
  Data = value;
  UpdateDataControlBlockLock();
}

void TThreadComm::SetOptions(TCommOptions value) {
  if (value == Opts) return;
  Opts = value;
  UpdateDataControlBlockLock();
}

void TThreadComm::SetFlowControl(TFlowControl value) {
  if (value == Flow) return;
  Flow = value;
  UpdateDataControlBlockLock();
}

void TThreadComm::ChooseFlowControl(TFlowControl value) {
  if (value == Flow && FlowChosen) return;
  Flow = value;
  FlowChosen = true;
  UpdateDataControlBlockLock();
}

// --- control block and time-outs ----------------------------------------------------------

void TThreadComm::UpdateDataControlBlock() {
  if (!IsOpen) return;
  const THandle h = Port;
  if (!Platform.Devices().SetupComm(h, ReadBuf, WriteBuf))
    RaiseLastError("Error initializing Read/Write Buffers (Error: %d)");
  // Without the device's own settings the block would carry stale ones.
  if (!Platform.Devices().GetCommState(h, Dcb)) RaiseLastError("Error updating DataControlBlock (Error: %d)");
  Dcb.BaudRate = BaudRateValue[Baud];
  Dcb.Parity = ParityValue[ParityValue_];
  Dcb.StopBits = StopBitsValue[Stop];
  Dcb.ByteSize = DataBitsValue[Data];
  Dcb.XonChar = Chars.XOnChar();
  Dcb.XoffChar = Chars.XOffChar();
  Dcb.ErrorChar = Chars.ErrorChar();
  Dcb.EofChar = Chars.EofChar();
  Dcb.EvtChar = Chars.EvtChar();
  Dcb.XonLim = 1024;
  Dcb.XoffLim = 1024;
  for (TCommOption o : {coParityCheck, coDsrSensitivity, coIgnoreXOff, coErrorChar, coNullStrip})
    SetOptionFlag(Dcb, o, Opts.Contains(o));
  // Until a flow control is chosen the handshake stays as the device
  // reported it.
  if (FlowChosen) SetHandshake(Dcb, Flow);
  if (!Platform.Devices().SetCommState(h, Dcb))
    RaiseLastError("Error updating DataControlBlock (Error: %d)");
}

void TThreadComm::UpdateDataControlBlockLock() {
  std::lock_guard<std::recursive_mutex> hold(Mutex);
  UpdateDataControlBlock();
}

DWORD TThreadComm::WriteMultiplierOf(TBaudRate rate) {
  // The per-byte allowance follows the rate's place in the list, not its
  // speed. 110 bit/s stands first and would divide by zero: it gets the
  // allowance of the next slowest rate, the most generous there is.
  return rate == br110 ? 19200 : 19200 / static_cast<DWORD>(rate);
}

void TThreadComm::UpdateCommTimeouts() {
  COMMTIMEOUTS t;
  t.ReadIntervalTimeout = MAXDWORD;
  t.ReadTotalTimeoutMultiplier = 0;
  t.ReadTotalTimeoutConstant = 1000;
  t.WriteTotalTimeoutMultiplier = WriteMultiplierOf(Baud);
  t.WriteTotalTimeoutConstant = 0;
  if (!Platform.Devices().SetCommTimeouts(Port, t))
    RaiseLastError("Error updating CommTimeouts (Error: %d)");
}

// --- open and close ---------------------------------------------------------------------------

void TThreadComm::RaiseLastError(const std::string& format) {
  const DWORD code = Platform.GetLastError();
  RaiseCommError(format, static_cast<std::int32_t>(code), Platform.Reason(code));
}

void TThreadComm::CheckOpen() {
  if (IsOpen) RaiseCommError(PortAlreadyOpen, -1);
}

void TThreadComm::CreateHandle() {
  const THandle h = Platform.Devices().CreateFileA(Device, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING,
                                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED);
  Port = h;
  if (h == InvalidHandle) {
    IsOpen = false;
    return;
  }
  IsOpen = true;
  if (Platform.Devices().GetFileType(h) != FILE_TYPE_CHAR) {
    DestroyHandle();
    // A file is no port, as the caller asks of the last error.
    Platform.SetLastError(ERROR_BAD_DEVICE);
    return;
  }
  if (!Platform.Devices().SetCommMask(h, EventMaskOf(AllCommEvents))) {
    // A device that takes no event mask is no serial port either; its
    // reason stays for the caller.
    const DWORD error = Platform.GetLastError();
    DestroyHandle();
    Platform.SetLastError(error);
  }
}

void TThreadComm::DestroyHandle() {
  Platform.CloseHandle(Port);
  IsOpen = false;
  Port = InvalidHandle;
}

void TThreadComm::Open() {
  JoinEndedThreads();
  std::lock_guard<std::recursive_mutex> hold(Mutex);
  if (IsOpen) RaiseCommError(PortAlreadyOpen, -1);
  CreateHandle();
  if (!IsOpen) return;
  // Whatever fails from here closes the port before the failure is raised:
  // a port is open with its settings and its event thread, or not at all.
  try {
    UpdateCommTimeouts();
    UpdateDataControlBlock();
    if (!Platform.Devices().SetupComm(Port, ReadBuf, WriteBuf))
      RaiseLastError("Error initializing Read/Write Buffers (Error: %d)");
    auto thread = TCommEventThread::Create(Platform, Host.SyncQueue(), Port, Suspend, Monitor);
    if (!thread) RaiseLastError("Error setting CommMask (Error: %d)");
    thread->SetEventCallback([this](TCommEventThread&, std::uint32_t status) {
      // A handler's failure is shown, as the message loop shows it.
      try {
        HandleCommEvent(status);
      } catch (...) {
        Host.HandleException(std::current_exception());
      }
    });
    try {
      thread->Start();
    } catch (const std::system_error& e) {
      RaiseCommError("Error starting the event thread (Error: %d)", e.code().value(), e.what());
    }
    Thread = std::move(thread);
  } catch (...) {
    DestroyHandle();
    throw;
  }
}

void TThreadComm::Close() {
  if (!IsOpen) return;
  std::shared_ptr<TCommEventThread> ended;
  {
    std::lock_guard<std::recursive_mutex> hold(Mutex);
    if (!IsOpen) return;
    if (Thread) {
      Thread->SetEventCallback(nullptr);
      Thread->EndAtOnce();
      ended = std::move(Thread);
    }
    // Ends a wait the driver kept despite the empty mask.
    DestroyHandle();
  }
  // Joined without the lock: a handler running on the UI thread meanwhile
  // (a Read from OnRxChar) may need it, and the thread waits for that
  // handler to return.
  if (ended) Join(std::move(ended));
}

void TThreadComm::Join(std::shared_ptr<TCommEventThread> ended) {
  // A handler that closes the port runs inside the thread's own hand-over,
  // which the thread waits for: it ends once the handler has returned, and
  // is joined at the next Open or Close, or with the component.
  if (ended->Dispatching()) {
    std::lock_guard<std::mutex> hold(EndedLock);
    Ended.push_back(std::move(ended));
    return;
  }
  ended->Join();
}

void TThreadComm::JoinEndedThreads() {
  std::vector<std::shared_ptr<TCommEventThread>> ended;
  {
    std::lock_guard<std::mutex> hold(EndedLock);
    ended.swap(Ended);
  }
  for (auto& thread : ended) Join(std::move(thread));
}

std::shared_ptr<TCommEventThread> TThreadComm::EventThread() const {
  return Thread;
}

// --- reading and writing ------------------------------------------------------------------------

std::int32_t TThreadComm::Write(const void* buffer, std::uint32_t count) {
  if (!IsOpen) return -1;
  std::lock_guard<std::recursive_mutex> hold(Mutex);
  if (!IsOpen) return -1;
  DWORD written = 0;
  if (!Platform.Devices().WriteFile(Port, buffer, count, written, WriteAbortEvent)) {
    DWORD errors = 0;
    COMSTAT status;
    Platform.Devices().ClearCommError(Port, errors, status);
  }
  return static_cast<std::int32_t>(written);
}

std::int32_t TThreadComm::Read(void* buffer, std::uint32_t count) {
  if (!IsOpen) return -1;
  std::lock_guard<std::recursive_mutex> hold(Mutex);
  if (!IsOpen) return -1;
  DWORD errors = 0;
  COMSTAT status;
  Platform.Devices().ClearCommError(Port, errors, status);
  if (count == 0) {
    Platform.Devices().ClearCommError(Port, errors, status);
    return 0;
  }
  DWORD read = 0;
  if (!Platform.Devices().ReadFile(Port, buffer, count, read)) Platform.Devices().ClearCommError(Port, errors, status);
  return static_cast<std::int32_t>(read);
}

void TThreadComm::ReadStatus(DWORD& errors, COMSTAT& status) {
  errors = 0;
  status = COMSTAT();
  if (!IsOpen || !Platform.Devices().ClearCommError(Port, errors, status)) {
    errors = 0;
    status = COMSTAT();
  }
}

std::int32_t TThreadComm::InQueCount() {
  if (!IsOpen) return -1;
  DWORD errors;
  COMSTAT status;
  ReadStatus(errors, status);
  return static_cast<std::int32_t>(status.cbInQue);
}

std::int32_t TThreadComm::OutQueCount() {
  if (!IsOpen) return -1;
  DWORD errors;
  COMSTAT status;
  ReadStatus(errors, status);
  return static_cast<std::int32_t>(status.cbOutQue);
}

void TThreadComm::PurgeIn() {
  if (IsOpen) Platform.Devices().PurgeComm(Port, PURGE_RXABORT | PURGE_RXCLEAR);
}

void TThreadComm::PurgeOut() {
  if (IsOpen) Platform.Devices().PurgeComm(Port, PURGE_TXABORT | PURGE_TXCLEAR);
}

bool TThreadComm::GetModemState(std::int32_t index) {
  DWORD bit = 0;
  switch (index) {
    case 1: bit = MS_CTS_ON; break;
    case 2: bit = MS_DSR_ON; break;
    case 3: bit = MS_RING_ON; break;
    case 4: bit = MS_RLSD_ON; break;
    default: return false;
  }
  DWORD lines = 0;
  return IsOpen && Platform.Devices().GetCommModemStatus(Port, lines) && (lines & bit) != 0;
}

bool TThreadComm::GetComState(std::int32_t index) {
  DWORD errors;
  COMSTAT s;
  ReadStatus(errors, s);
  switch (index) {
    case 2: return s.fDsrHold;
    case 3: return s.fRlsdHold;
    case 4: return s.fXoffHold;
    case 5: return s.fXoffSent;
    default: return s.fCtsHold;
  }
}

void TThreadComm::EscapeComm(std::int32_t code) {
  if (!IsOpen) RaiseCommError(PortNotOpen, -1);
  bool ok;
  {
    std::lock_guard<std::recursive_mutex> hold(Mutex);
    ok = Platform.Devices().EscapeCommFunction(Port, static_cast<DWORD>(code));
  }
  if (!ok)
    RaiseLastError("EscapeCommFunction failure (Error: %d)");
}

void TThreadComm::SetDTRState(bool state) { EscapeComm(state ? SETDTR : CLRDTR); }
void TThreadComm::SetRTSState(bool state) { EscapeComm(state ? SETRTS : CLRRTS); }
void TThreadComm::SetXONState(bool state) { EscapeComm(state ? SETXON : SETXOFF); }

void TThreadComm::SetBREAKState(bool state) {
  EscapeComm(state ? SETBREAK : CLRBREAK);
  if (!IsOpen) return;
  std::lock_guard<std::recursive_mutex> hold(Mutex);
  Platform.Devices().PurgeComm(Port, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
}

// --- events -----------------------------------------------------------------------------------------

void TThreadComm::HandleCommEvent(std::uint32_t status) {
  DWORD errors;
  COMSTAT stat;
  ReadStatus(errors, stat);
  if (OnBreak && (status & EV_BREAK)) OnBreak(*this);
  if (OnCts && (status & EV_CTS)) OnCts(*this);
  if (OnDsr && (status & EV_DSR)) OnDsr(*this);
  if (OnError && (status & EV_ERR)) OnError(*this, static_cast<std::int32_t>(errors));
  if (OnRing && (status & EV_RING)) OnRing(*this);
  if (OnRlsd && (status & EV_RLSD)) OnRlsd(*this);
  if (OnRxChar && (status & EV_RXCHAR) && stat.cbInQue > 0) OnRxChar(*this, stat.cbInQue);
  if (OnRxFlag && (status & EV_RXFLAG)) OnRxFlag(*this);
  if (OnTxEmpty && (status & EV_TXEMPTY)) OnTxEmpty(*this);
  if (OnComStatEvent) OnComStatEvent(*this, status, stat);
}

// --- TCommEventThread ----------------------------------------------------------------------------------

TCommEventThread::TCommEventThread(TPlatform& platform, std::shared_ptr<TSyncQueue> ui,
                                   THandle port, std::uint32_t suspendTime)
    : Platform(platform), Ui(std::move(ui)), Port(port), Suspend(suspendTime) {}

std::shared_ptr<TCommEventThread> TCommEventThread::Create(TPlatform& platform,
                                                           std::shared_ptr<TSyncQueue> ui,
                                                           THandle port, std::uint32_t suspendTime,
                                                           TCommEventTypes events) {
  if (!platform.Devices().SetCommMask(port, EventMaskOf(events))) return nullptr;
  return std::shared_ptr<TCommEventThread>(new TCommEventThread(platform, std::move(ui), port, suspendTime));
}

TCommEventThread::~TCommEventThread() {
  // The body holds no reference to this object, so this never runs on it.
  if (Worker.joinable()) Worker.join();
}

void TCommEventThread::SetEventCallback(TCallback callback) {
  std::lock_guard<std::mutex> hold(Lock);
  Callback = std::move(callback);
}

void TCommEventThread::Start() {
  if (Worker.joinable()) return;
  Worker = std::thread([this] { Execute(); });
}

void TCommEventThread::EndAtOnce() {
  std::unique_lock<std::mutex> hold(Lock);
  Abandoned = true;
  Callback = nullptr;
  Withdrawn = true;
  hold.unlock();
  Ui->Withdraw();
  // A new mask ends a wait in progress; an empty one makes the next fail.
  Platform.Devices().SetCommMask(Port, 0);
  hold.lock();
  // Bounded: a port that never answers must not freeze the window for ever.
  Changed.wait_for(hold, std::chrono::milliseconds(EndWaitLimitMs), [&] { return !InWait; });
}

void TCommEventThread::Join() {
  if (Worker.joinable() && Worker.get_id() != std::this_thread::get_id()) Worker.join();
}

bool TCommEventThread::Dispatching() {
  std::lock_guard<std::mutex> hold(Lock);
  return DispatchingOn == std::this_thread::get_id();
}

void TCommEventThread::Terminate() {
  StopFlag = true;
  Platform.Devices().SetCommMask(Port, 0);
}

void TCommEventThread::DispatchEvent() {
  TCallback callback;
  {
    std::lock_guard<std::mutex> hold(Lock);
    callback = Callback;
    if (!callback) return;
    DispatchingOn = std::this_thread::get_id();
  }
  struct TDone {
    TCommEventThread& Thread;
    ~TDone() {
      std::lock_guard<std::mutex> hold(Thread.Lock);
      Thread.DispatchingOn = std::thread::id();
    }
  } done{*this};
  callback(*this, Mask);
}

void TCommEventThread::Execute() {
  while (!StopFlag) {
    {
      std::lock_guard<std::mutex> hold(Lock);
      if (Abandoned) break;
      InWait = true;
    }
    DWORD mask = 0;
    const bool happened = Platform.Devices().WaitCommEvent(Port, mask);
    {
      std::unique_lock<std::mutex> hold(Lock);
      InWait = false;
      Changed.notify_all();
      if (Abandoned) break;
      if (!happened) {
        // A port that fails its waits is retried, but not in a busy loop.
        Changed.wait_for(hold, std::chrono::milliseconds(20), [&] { return Abandoned || StopFlag.load(); });
        continue;
      }
    }
    if (mask == 0) continue;
    Mask = mask;
    auto self = shared_from_this();
    try {
      Ui->Run([self] { self->DispatchEvent(); }, Withdrawn);
    } catch (...) {
      // The callback shows its own failures; nothing may end this thread.
    }
  }
  {
    std::lock_guard<std::mutex> hold(Lock);
    if (!Abandoned) Platform.Devices().PurgeComm(Port, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
  }
  Done = true;
  // A UI thread waiting in WaitAndDrain for this end is woken.
  Ui->Poke();
}

}  // namespace vornex
