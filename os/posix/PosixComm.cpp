// The comm calls on a Linux tty. The line settings go through termios2, so
// every rate of the list (14400, 56000, 128000 and 256000 included) can be set.
#include "os/posix/PosixComm.h"

#include <asm/ioctls.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "os/posix/PosixDevices.h"
#include "os/posix/PosixErrors.h"
#include "os/posix/SerialSettings.h"

namespace vornex {

namespace posix {

// Three threads meet here for every piece sent (the writer, the event wait,
// the status read on the UI thread), so what they share is atomic and the
// lock is kept for the rest.
struct TCommState {
  std::mutex Lock;
  COMMTIMEOUTS Timeouts;
  std::atomic<DWORD> WriteMultiplier{0}, WriteConstant{0};
  std::atomic<DWORD> Mask{0};
  // Bumped by SetCommMask: a wait in progress ends with an empty mask.
  std::atomic<std::uint64_t> MaskGeneration{0};
  // Wakes a wait: a new mask, or bytes written. A bare eventfd, set and
  // drained without a lock: the writer that sets it must not hold up the
  // wait it has just woken.
  TFd Kick{::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)};
  void WakeWait() {
    std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(Kick.Get(), &one, sizeof one);
  }
  void TakeWake() {
    std::uint64_t count = 0;
    [[maybe_unused]] auto n = ::read(Kick.Get(), &count, sizeof count);
  }
  // Bytes went out since the last transmit-empty report.
  std::atomic<bool> TxPending{false};
  // The event wait sleeps in poll: only then does a write need to kick it.
  // (Both sides store, then load the other's flag, in one order for all
  // threads, so a write is never missed.)
  std::atomic<bool> Sleeping{false};
  // Input queue size at the last receive report; a report needs more.
  std::atomic<int> LastInQue{0};
  // What termios cannot hold, kept as last set.
  DCB Extra;
  // Line counters for modem and error events, where the driver keeps them.
  bool HasCounters = false;
  serial_icounter_struct Counters{};
  DWORD Errors = 0;
  // CTS handshake on: the hold bit is worth reading.
  std::atomic<bool> CtsFlow{false};
};

namespace {

int Ioctl(int fd, unsigned long request, void* arg) {
  int r;
  do {
    r = ::ioctl(fd, request, arg);
  } while (r < 0 && errno == EINTR);
  return r;
}

bool GetTermios(int fd, termios2& t) { return Ioctl(fd, TCGETS2, &t) == 0; }
bool SetTermios(int fd, const termios2& t) { return Ioctl(fd, TCSETS2, const_cast<termios2*>(&t)) == 0; }

int QueueCount(int fd, unsigned long request) {
  int n = 0;
  return Ioctl(fd, request, &n) == 0 ? std::max(n, 0) : 0;
}

bool ReadCounters(int fd, serial_icounter_struct& c) { return Ioctl(fd, TIOCGICOUNT, &c) == 0; }

DWORD ModemStatusBits(int lines) {
  DWORD s = 0;
  if (lines & TIOCM_CTS) s |= MS_CTS_ON;
  if (lines & TIOCM_DSR) s |= MS_DSR_ON;
  if (lines & TIOCM_RNG) s |= MS_RING_ON;
  if (lines & TIOCM_CD) s |= MS_RLSD_ON;
  return s;
}

// Events and error flags from the change of the driver's line counters.
DWORD CounterEvents(const serial_icounter_struct& was, const serial_icounter_struct& now,
                    DWORD& errors) {
  DWORD events = 0;
  if (now.cts != was.cts) events |= EV_CTS;
  if (now.dsr != was.dsr) events |= EV_DSR;
  if (now.rng != was.rng) events |= EV_RING;
  if (now.dcd != was.dcd) events |= EV_RLSD;
  if (now.brk != was.brk) {
    events |= EV_BREAK;
    errors |= CE_BREAK;
  }
  DWORD e = 0;
  if (now.frame != was.frame) e |= CE_FRAME;
  if (now.overrun != was.overrun) e |= CE_OVERRUN;
  if (now.parity != was.parity) e |= CE_RXPARITY;
  if (now.buf_overrun != was.buf_overrun) e |= CE_RXOVER;
  if (e) events |= EV_ERR;
  errors |= e;
  return events;
}

// Bits on the wire per character, for how long a queue takes to drain.
int BitsPerChar(const termios2& t) {
  return 1 + DataBits(t.c_cflag) + ((t.c_cflag & PARENB) ? 1 : 0) + ((t.c_cflag & CSTOPB) ? 2 : 1);
}

}  // namespace

bool OpenComm(TFileObject& file) {
  termios2 t{};
  if (!GetTermios(file.Fd.Get(), t)) return false;
  // Raw bytes both ways, the receiver on, modem lines not waited for.
  t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
  t.c_oflag &= ~OPOST;
  t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~(CSIZE | PARENB);
  t.c_cflag |= CS8 | CREAD | CLOCAL;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  if (!SetTermios(file.Fd.Get(), t)) return false;
  auto state = std::make_shared<TCommState>();
  if (state->Kick.Get() < 0) return false;
  // A fresh port's settings, as a Windows driver reports them.
  state->Extra.fBinary = 1;
  state->Extra.fDtrControl = DTR_CONTROL_ENABLE;
  state->Extra.fRtsControl = RTS_CONTROL_ENABLE;
  state->Extra.XonLim = 2048;
  state->Extra.XoffLim = 512;
  state->HasCounters = ReadCounters(file.Fd.Get(), state->Counters);
  file.Comm = std::move(state);
  return true;
}

std::int64_t CommWriteDeadline(TFileObject& file, std::uint32_t count, std::int64_t nowMs) {
  const std::int64_t total =
      std::int64_t(file.Comm->WriteMultiplier.load()) * count + file.Comm->WriteConstant.load();
  return total == 0 ? -1 : nowMs + total;
}

void CommWritten(TFileObject& file, std::uint32_t count) {
  if (count == 0) return;
  file.Comm->TxPending = true;
  if (file.Comm->Sleeping) file.Comm->WakeWait();
}

bool CommRead(TFileObject& file, void* data, std::uint32_t count, std::uint32_t& read,
              std::uint32_t& error) {
  read = 0;
  COMMTIMEOUTS t;
  {
    std::lock_guard<std::mutex> hold(file.Comm->Lock);
    t = file.Comm->Timeouts;
  }
  const int fd = file.Fd.Get();
  auto* bytes = static_cast<std::uint8_t*>(data);
  // Windows' read time-out rules.
  const bool intervalOff = t.ReadIntervalTimeout == MAXDWORD;
  const bool returnAtOnce = intervalOff && t.ReadTotalTimeoutMultiplier == 0 &&
                            t.ReadTotalTimeoutConstant == 0;
  const bool firstByteOnly = intervalOff && t.ReadTotalTimeoutMultiplier == MAXDWORD &&
                             t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != MAXDWORD;
  std::int64_t total = firstByteOnly ? t.ReadTotalTimeoutConstant
                                     : std::int64_t(t.ReadTotalTimeoutMultiplier) * count +
                                           t.ReadTotalTimeoutConstant;
  const std::int64_t deadline = total > 0 ? NowMs() + total : -1;
  const bool useInterval = !intervalOff && t.ReadIntervalTimeout != 0;
  const int interval = static_cast<int>(std::min<DWORD>(t.ReadIntervalTimeout, INT_MAX));
  while (read < count) {
    ssize_t n = ::read(fd, bytes + read, count - read);
    if (n > 0) {
      read += static_cast<std::uint32_t>(n);
      if (firstByteOnly) break;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      error = ErrorFromErrno(errno);
      return false;
    }
    if (returnAtOnce || (intervalOff && total == 0 && read > 0)) break;
    int wait = Remaining(deadline);
    if (useInterval && read > 0) wait = wait < 0 ? interval : std::min(wait, interval);
    if (wait == 0) break;
    short revents = 0;
    TWaitOutcome w = WaitForFd(fd, POLLIN, -1, file.Closed.PollFd(), wait, &revents);
    if (w == TWaitOutcome::TimedOut) break;
    if (w != TWaitOutcome::Ready) {
      error = ERROR_OPERATION_ABORTED;
      return false;
    }
    if ((revents & (POLLHUP | POLLERR)) && !(revents & POLLIN)) {
      error = ERROR_DEVICE_NOT_CONNECTED;
      return false;
    }
  }
  file.Comm->LastInQue = QueueCount(fd, FIONREAD);
  return true;
}

}  // namespace posix

using namespace posix;

std::shared_ptr<TFileObject> TPosixDevices::CommFile(THandle h) {
  auto f = Kernel.Files.Find(h);
  if (!f || !f->Comm) {
    Fail(f ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return f;
}

bool TPosixDevices::SetupComm(THandle file, DWORD, DWORD) {
  // The kernel sizes its own queues.
  return CommFile(file) != nullptr;
}

bool TPosixDevices::GetCommState(THandle file, DCB& dcb) {
  auto f = CommFile(file);
  if (!f) return false;
  termios2 t{};
  if (!GetTermios(f->Fd.Get(), t)) return Fail(ErrorFromErrno(errno));
  std::lock_guard<std::mutex> hold(f->Comm->Lock);
  dcb = f->Comm->Extra;
  DcbFromTermios(t, dcb);
  return true;
}

bool TPosixDevices::SetCommState(THandle file, const DCB& dcb) {
  auto f = CommFile(file);
  if (!f) return false;
  termios2 t{};
  if (!GetTermios(f->Fd.Get(), t)) return Fail(ErrorFromErrno(errno));
  const termios2 before = t;
  if (!TermiosFromDcb(dcb, t)) return Fail(ERROR_INVALID_PARAMETER);
  if (!SetTermios(f->Fd.Get(), t)) return Fail(ErrorFromErrno(errno));
  // A device that kept another rate refuses this one, as Windows does. (A
  // pseudo-terminal keeps every rate but always frames 8 bits without
  // parity: it has no wire, so that is not refused.)
  termios2 check{};
  if (GetTermios(f->Fd.Get(), check) && check.c_ospeed != dcb.BaudRate &&
      std::abs(std::int64_t(check.c_ospeed) - std::int64_t(dcb.BaudRate)) * 50 > std::int64_t(dcb.BaudRate)) {
    // The line keeps what it had, as the state we report does.
    SetTermios(f->Fd.Get(), before);
    return Fail(ERROR_INVALID_PARAMETER);
  }
  // The DTR and RTS lines follow their settings where the device has them.
  int dtr = TIOCM_DTR, rts = TIOCM_RTS;
  Ioctl(f->Fd.Get(), dcb.fDtrControl == DTR_CONTROL_DISABLE ? TIOCMBIC : TIOCMBIS, &dtr);
  if (dcb.fRtsControl == RTS_CONTROL_DISABLE || dcb.fRtsControl == RTS_CONTROL_ENABLE)
    Ioctl(f->Fd.Get(), dcb.fRtsControl == RTS_CONTROL_DISABLE ? TIOCMBIC : TIOCMBIS, &rts);
  std::lock_guard<std::mutex> hold(f->Comm->Lock);
  f->Comm->Extra = dcb;
  f->Comm->CtsFlow = (t.c_cflag & CRTSCTS) != 0;
  return true;
}

bool TPosixDevices::SetCommTimeouts(THandle file, const COMMTIMEOUTS& timeouts) {
  auto f = CommFile(file);
  if (!f) return false;
  if (timeouts.ReadIntervalTimeout == MAXDWORD && timeouts.ReadTotalTimeoutMultiplier == MAXDWORD &&
      timeouts.ReadTotalTimeoutConstant == MAXDWORD)
    return Fail(ERROR_INVALID_PARAMETER);
  std::lock_guard<std::mutex> hold(f->Comm->Lock);
  f->Comm->Timeouts = timeouts;
  f->Comm->WriteMultiplier = timeouts.WriteTotalTimeoutMultiplier;
  f->Comm->WriteConstant = timeouts.WriteTotalTimeoutConstant;
  return true;
}

bool TPosixDevices::SetCommMask(THandle file, DWORD mask) {
  auto f = CommFile(file);
  if (!f) return false;
  f->Comm->Mask = mask;
  ++f->Comm->MaskGeneration;
  f->Comm->WakeWait();
  return true;
}

bool TPosixDevices::WaitCommEvent(THandle file, DWORD& mask) {
  mask = 0;
  auto f = CommFile(file);
  if (!f) return false;
  TCommState& s = *f->Comm;
  const int fd = f->Fd.Get();
  const std::uint64_t generation = s.MaskGeneration;
  const DWORD wanted = s.Mask;
  if (wanted == 0) return Fail(ERROR_INVALID_PARAMETER);
  const bool watchLines = s.HasCounters && (wanted & (EV_CTS | EV_DSR | EV_RING | EV_RLSD | EV_BREAK | EV_ERR));
  const int kickFd = s.Kick.Get(), closedFd = f->Closed.PollFd();
  // Whether the last poll saw input arrive.
  bool inputSeen = false;
  for (;;) {
    if (s.MaskGeneration != generation) return true;  // ended by a new mask
    DWORD events = 0;
    int pollTimeout = -1;
    bool watchInput = false;
    const bool txWasPending = s.TxPending;
    if ((wanted & EV_TXEMPTY) && txWasPending) {
      const int outq = QueueCount(fd, TIOCOUTQ);
      if (outq == 0) {
        if (s.TxPending.exchange(false)) events |= EV_TXEMPTY;
      } else {
        // Look again once the queue should have drained.
        termios2 t{};
        int ms = 20;
        if (GetTermios(fd, t) && t.c_ospeed > 0)
          ms = static_cast<int>(std::int64_t(outq) * BitsPerChar(t) * 1000 / t.c_ospeed);
        pollTimeout = std::clamp(ms, 1, 20);
      }
    }
    if (wanted & EV_RXCHAR) {
      // While the queue was empty when last asked, the poll below watches
      // for input, and the driver is asked only once it says some came.
      const int last = s.LastInQue;
      const int inq = last == 0 && !inputSeen ? 0 : QueueCount(fd, FIONREAD);
      if (inq > last) events |= EV_RXCHAR;
      if (inq == 0 || inq > last) s.LastInQue = inq;
      // Bytes already reported and still unread must not wake us again
      // and again: only a growth of the queue is news.
      if (inq == 0)
        watchInput = true;
      else
        pollTimeout = pollTimeout < 0 ? 20 : std::min(pollTimeout, 20);
    }
    if (watchLines) {
      serial_icounter_struct now{};
      if (ReadCounters(fd, now)) {
        std::lock_guard<std::mutex> hold(s.Lock);
        events |= CounterEvents(s.Counters, now, s.Errors) & wanted;
        s.Counters = now;
      }
      pollTimeout = pollTimeout < 0 ? 20 : std::min(pollTimeout, 20);
    }
    if (events) {
      mask = events;
      return true;
    }
    // A write that came since the look above is looked at now rather than
    // slept through.
    s.Sleeping = true;
    if ((wanted & EV_TXEMPTY) && !txWasPending && s.TxPending) {
      s.Sleeping = false;
      continue;
    }
    short revents = 0;
    TWaitOutcome w = WaitForFd(watchInput ? fd : -1, POLLIN, kickFd, closedFd, pollTimeout, &revents);
    s.Sleeping = false;
    inputSeen = watchInput && (revents & (POLLIN | POLLHUP | POLLERR));
    switch (w) {
      case TWaitOutcome::Aborted:
        s.TakeWake();
        break;
      case TWaitOutcome::Closed: return Fail(ERROR_OPERATION_ABORTED);
      case TWaitOutcome::Failed: return Fail(ErrorFromErrno(errno));
      case TWaitOutcome::TimedOut: break;
      case TWaitOutcome::Ready:
        if ((revents & (POLLHUP | POLLERR)) && !(revents & POLLIN)) return Fail(ERROR_DEVICE_NOT_CONNECTED);
        break;
    }
  }
}

bool TPosixDevices::ClearCommError(THandle file, DWORD& errors, COMSTAT& status) {
  auto f = CommFile(file);
  if (!f) return false;
  const int fd = f->Fd.Get();
  TCommState& s = *f->Comm;
  {
    std::lock_guard<std::mutex> hold(s.Lock);
    serial_icounter_struct now{};
    if (s.HasCounters && ReadCounters(fd, now)) {
      CounterEvents(s.Counters, now, s.Errors);
      s.Counters = now;
    }
    errors = s.Errors;
    s.Errors = 0;
  }
  status = COMSTAT();
  status.cbInQue = static_cast<DWORD>(QueueCount(fd, FIONREAD));
  status.cbOutQue = static_cast<DWORD>(QueueCount(fd, TIOCOUTQ));
  int lines = 0;
  if (s.CtsFlow && Ioctl(fd, TIOCMGET, &lines) == 0) status.fCtsHold = (lines & TIOCM_CTS) == 0;
  return true;
}

bool TPosixDevices::PurgeComm(THandle file, DWORD flags) {
  auto f = CommFile(file);
  if (!f) return false;
  const bool rx = flags & (PURGE_RXCLEAR | PURGE_RXABORT);
  const bool tx = flags & (PURGE_TXCLEAR | PURGE_TXABORT);
  if (!rx && !tx) return true;
  long queue = rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH;
  if (Ioctl(f->Fd.Get(), TCFLSH, reinterpret_cast<void*>(queue)) != 0) return Fail(ErrorFromErrno(errno));
  if (rx) f->Comm->LastInQue = 0;
  return true;
}

bool TPosixDevices::EscapeCommFunction(THandle file, DWORD function) {
  auto f = CommFile(file);
  if (!f) return false;
  const int fd = f->Fd.Get();
  int bits = 0;
  int r;
  switch (function) {
    case SETDTR: bits = TIOCM_DTR; r = Ioctl(fd, TIOCMBIS, &bits); break;
    case CLRDTR: bits = TIOCM_DTR; r = Ioctl(fd, TIOCMBIC, &bits); break;
    case SETRTS: bits = TIOCM_RTS; r = Ioctl(fd, TIOCMBIS, &bits); break;
    case CLRRTS: bits = TIOCM_RTS; r = Ioctl(fd, TIOCMBIC, &bits); break;
    case SETBREAK: r = Ioctl(fd, TIOCSBRK, nullptr); break;
    case CLRBREAK: r = Ioctl(fd, TIOCCBRK, nullptr); break;
    case SETXOFF: r = Ioctl(fd, TCXONC, reinterpret_cast<void*>(long(TCOOFF))); break;
    case SETXON: r = Ioctl(fd, TCXONC, reinterpret_cast<void*>(long(TCOON))); break;
    default: return Fail(ERROR_INVALID_PARAMETER);
  }
  return r == 0 || Fail(ErrorFromErrno(errno));
}

bool TPosixDevices::GetCommModemStatus(THandle file, DWORD& modemStatus) {
  modemStatus = 0;
  auto f = CommFile(file);
  if (!f) return false;
  int lines = 0;
  // A device without modem lines (a pseudo-terminal) has no status to give.
  if (Ioctl(f->Fd.Get(), TIOCMGET, &lines) != 0) return Fail(ErrorFromErrno(errno));
  modemStatus = ModemStatusBits(lines);
  return true;
}

}  // namespace vornex
