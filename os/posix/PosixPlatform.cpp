#include "os/posix/PosixPlatform.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <thread>

#include "os/posix/Namespace.h"
#include "os/posix/NetworkPrinters.h"
#include "os/posix/PosixComm.h"
#include "os/posix/PosixObjects.h"
#include "os/posix/RegistryView.h"
#include "os/posix/VendorLibrary.h"

namespace vornex {

using namespace posix;

namespace {

thread_local DWORD LastError = 0;

std::string ExecutableDir() {
  char path[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return {};
  std::string p(path, static_cast<std::size_t>(n));
  auto slash = p.rfind('/');
  return slash == std::string::npos ? std::string() : p.substr(0, slash);
}

// Waits until a write may go on. Some drivers cannot be polled (the
// parallel port's lp says writable while its write still would block):
// once a write has been refused right after poll said yes, the wait becomes
// a short pause that the abort event and Close still end, not a spin.
class TWriteWait {
 public:
  static constexpr int RetryMs = 10;

  TWaitOutcome Wait(int fd, int abortFd, int closedFd, int timeoutMs, short* revents) {
    if (Pollable && WasReady) Pollable = false;
    if (Pollable) {
      TWaitOutcome outcome = WaitForFd(fd, POLLOUT, abortFd, closedFd, timeoutMs, revents);
      WasReady = outcome == TWaitOutcome::Ready;
      return outcome;
    }
    const int pause = timeoutMs < 0 ? RetryMs : std::min(timeoutMs, RetryMs);
    TWaitOutcome outcome = WaitForFd(-1, 0, abortFd, closedFd, pause);
    return outcome == TWaitOutcome::TimedOut && pause != timeoutMs ? TWaitOutcome::Ready : outcome;
  }
  // Bytes went out: poll told the truth.
  void Wrote() { WasReady = false; }

 private:
  bool Pollable = true;
  bool WasReady = false;
};

// How a write of a whole buffer ended.
enum class TWriteEnd { Done, TimedOut, Aborted, Closed, Failed, WaitFailed };

// Writes until every byte went, the deadline (-1: none) passed, or abortFd
// or closedFd became readable. `sent` says how much went; `error` why a
// write failed or was aborted.
TWriteEnd WriteAll(int fd, const std::uint8_t* bytes, DWORD count, DWORD& sent, int abortFd,
                   int closedFd, std::int64_t deadline, DWORD& error) {
  sent = 0;
  bool hungUp = false;
  TWriteWait writable;
  while (sent < count) {
    ssize_t n = ::write(fd, bytes + sent, count - sent);
    if (n > 0) {
      sent += static_cast<DWORD>(n);
      hungUp = false;
      writable.Wrote();
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if ((n < 0 && errno != EAGAIN) || hungUp) {
      error = hungUp ? ERROR_DEVICE_NOT_CONNECTED : ErrorFromErrno(errno);
      return TWriteEnd::Failed;
    }
    short revents = 0;
    switch (writable.Wait(fd, abortFd, closedFd, Remaining(deadline), &revents)) {
      case TWaitOutcome::Ready:
        hungUp = (revents & (POLLHUP | POLLERR)) != 0;
        break;
      case TWaitOutcome::Aborted:
        error = ERROR_OPERATION_ABORTED;
        return TWriteEnd::Aborted;
      case TWaitOutcome::Closed:
        error = ERROR_OPERATION_ABORTED;
        return TWriteEnd::Closed;
      case TWaitOutcome::TimedOut: return TWriteEnd::TimedOut;
      case TWaitOutcome::Failed:
        error = ErrorFromErrno(errno);
        return TWriteEnd::WaitFailed;
    }
  }
  return TWriteEnd::Done;
}

}  // namespace

TPosixPlatform::TOptions TPosixPlatform::OptionsFromEnvironment() {
  TOptions o;
  if (const char* map = std::getenv("VORNEX_DEVICE_MAP")) o.DeviceMap = map;
  // Another sysfs and /dev, for a printer that is made rather than plugged in.
  if (const char* root = std::getenv("VORNEX_SYS_ROOT"); root && *root) o.SysRoot = root;
  if (const char* root = std::getenv("VORNEX_DEV_ROOT"); root && *root) o.DevRoot = root;
  std::string dir = ExecutableDir();
  if (!dir.empty()) o.LibraryDirs.push_back(dir);
  return o;
}

TPosixPlatform::TPosixPlatform(TOptions options)
    : Options(std::move(options)),
      Map(Options.DeviceMap),
      Names(std::make_unique<TNamespace>(Options.SysRoot, Options.DevRoot, Map)),
      Vendor(std::make_unique<TVendorLibrary>(Options.LibraryDirs)),
      NetworkPrinters(std::make_unique<TNetworkPrinters>()) {
  // A printer that goes away under a write must give an error, not end us.
  ::signal(SIGPIPE, SIG_IGN);
}

TPosixPlatform::~TPosixPlatform() = default;

std::string TPosixPlatform::ResolveDeviceName(const std::string& name) { return Resolve(name); }

std::string TPosixPlatform::Resolve(const std::string& name) {
  std::shared_ptr<TRegistryView> view;
  {
    std::shared_lock<std::shared_mutex> hold(Lock);
    view = View;
  }
  return Names->Resolve(name, view ? view->UsbPrinters() : nullptr);
}

DWORD TPosixPlatform::GetLastError() { return LastError; }
void TPosixPlatform::SetLastError(DWORD code) { LastError = code; }

bool TPosixPlatform::Fail(DWORD code) {
  LastError = code;
  return false;
}

std::shared_ptr<TFileObject> TPosixPlatform::File(THandle h) {
  std::shared_lock<std::shared_mutex> hold(Lock);
  auto it = Files.find(h);
  return it == Files.end() ? nullptr : it->second;
}

std::shared_ptr<TEventObject> TPosixPlatform::Event(THandle h) {
  std::shared_lock<std::shared_mutex> hold(Lock);
  auto it = Events.find(h);
  return it == Events.end() ? nullptr : it->second;
}

std::shared_ptr<TKeyObject> TPosixPlatform::Key(THandle h) {
  std::shared_lock<std::shared_mutex> hold(Lock);
  auto it = Keys.find(h);
  return it == Keys.end() ? nullptr : it->second;
}

THandle TPosixPlatform::Issue(std::shared_ptr<TFileObject> file) {
  std::lock_guard<std::shared_mutex> hold(Lock);
  THandle h = NextHandle++;
  Files[h] = std::move(file);
  return h;
}

// --- devices and files ----------------------------------------------------------------

THandle TPosixPlatform::CreateFileA(const std::string& name, DWORD access, DWORD shareMode,
                                    DWORD creation, DWORD) {
  if (creation != OPEN_EXISTING) {
    Fail(ERROR_INVALID_PARAMETER);
    return InvalidHandle;
  }
  return Open(name, access, shareMode, false);
}

THandle TPosixPlatform::OpenPortA(const std::string& name, DWORD access, DWORD shareMode, DWORD) {
  return Open(name, access, shareMode, true);
}

namespace {

DWORD FileTypeOf(const struct stat& st) {
  if (S_ISCHR(st.st_mode)) return FILE_TYPE_CHAR;
  if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return FILE_TYPE_PIPE;
  if (S_ISREG(st.st_mode)) return FILE_TYPE_DISK;
  return FILE_TYPE_UNKNOWN;
}

bool IsPort(DWORD fileType) { return fileType == FILE_TYPE_CHAR || fileType == FILE_TYPE_PIPE; }

}  // namespace

THandle TPosixPlatform::Open(const std::string& name, DWORD access, DWORD shareMode, bool portOnly) {
  const std::string path = Resolve(name);
  if (path.empty()) {
    Fail(ERROR_FILE_NOT_FOUND);
    return InvalidHandle;
  }
  struct stat st {};
  // A port is looked at before it is opened: a file is never opened for
  // writing in its place.
  if (portOnly) {
    if (::stat(path.c_str(), &st) != 0) {
      Fail(ErrorFromErrno(errno));
      return InvalidHandle;
    }
    if (!IsPort(FileTypeOf(st))) {
      Fail(ERROR_BAD_DEVICE);
      return InvalidHandle;
    }
  }
  int mode = O_RDWR;
  if ((access & GENERIC_ALL) == 0) {
    bool read = access & GENERIC_READ, write = access & GENERIC_WRITE;
    mode = read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
  }
  // Never blocking at the descriptor: waits are done with poll, where Cancel
  // and Close can end them. A FIFO without a reader fails here rather than
  // hanging the open.
  int fd = ::open(path.c_str(), mode | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    Fail(ErrorFromErrno(errno));
    return InvalidHandle;
  }
  auto file = std::make_shared<TFileObject>();
  file->Fd.Reset(fd);
  // Without its close event a blocked write could never be ended by
  // CloseHandle: out of descriptors, the open fails instead.
  if (!file->Closed.Valid()) {
    Fail(ERROR_TOO_MANY_OPEN_FILES);
    return InvalidHandle;
  }
  ::fstat(fd, &st);
  file->FileType = FileTypeOf(st);
  // Replaced by a file between the look and the open: let go untouched.
  if (portOnly && !IsPort(file->FileType)) {
    Fail(ERROR_BAD_DEVICE);
    return InvalidHandle;
  }
  file->IsTty = file->FileType == FILE_TYPE_CHAR && ::isatty(fd) == 1;
  // No sharing asked: nobody else may hold the port meanwhile. The lock is
  // the one other senders take; the drivers of lp and usblp refuse a second
  // open of their own accord.
  if (shareMode == 0 && IsPort(file->FileType) && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    // In Windows' words: a serial port in use denies access; any other
    // device held is a sharing violation.
    if (errno != EWOULDBLOCK)
      Fail(ErrorFromErrno(errno));
    else
      Fail(file->IsTty ? ERROR_ACCESS_DENIED : ERROR_SHARING_VIOLATION);
    return InvalidHandle;
  }
  if (file->IsTty && !OpenComm(*file)) {
    Fail(ErrorFromErrno(errno));
    return InvalidHandle;
  }
  return Issue(std::move(file));
}

std::string TPosixPlatform::DeviceIdentity(const std::string& name) {
  const std::string path = Resolve(name);
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return {};
  // A device is its number, whatever node or link names it; anything else
  // (a FIFO) is its file.
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
    return "device " + std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
  return "file " + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

DWORD TPosixPlatform::GetFileType(THandle file) {
  auto f = File(file);
  if (!f) {
    Fail(ERROR_INVALID_HANDLE);
    return FILE_TYPE_UNKNOWN;
  }
  return f->FileType;
}

bool TPosixPlatform::CloseHandle(THandle handle) {
  std::shared_ptr<TFileObject> file;
  {
    std::lock_guard<std::shared_mutex> hold(Lock);
    auto f = Files.find(handle);
    if (f != Files.end()) {
      file = f->second;
      Files.erase(f);
    } else if (Events.erase(handle) || Keys.erase(handle)) {
      return true;
    } else {
      return Fail(ERROR_INVALID_HANDLE);
    }
  }
  // Calls still blocked on it return; the descriptor closes with the last
  // of them.
  file->Closed.Set();
  return true;
}

bool TPosixPlatform::WriteFile(THandle file, const void* data, DWORD count, DWORD& written,
                               THandle abortEvent) {
  written = 0;
  auto f = File(file);
  if (!f) return Fail(ERROR_INVALID_HANDLE);
  std::shared_ptr<TEventObject> abort = abortEvent != NoHandle ? Event(abortEvent) : nullptr;
  const int abortFd = abort ? abort->PollFd() : -1;
  // A comm write that does not go out in time ends short, and succeeds.
  const std::int64_t deadline = f->Comm ? CommWriteDeadline(*f, count, NowMs()) : -1;
  DWORD error = ERROR_SUCCESS;
  const TWriteEnd end = WriteAll(f->Fd.Get(), static_cast<const std::uint8_t*>(data), count, written,
                                 abortFd, f->Closed.PollFd(), deadline, error);
  if (f->Comm) CommWritten(*f, written);
  return end == TWriteEnd::Done || end == TWriteEnd::TimedOut || Fail(error);
}

bool TPosixPlatform::ReadFile(THandle file, void* data, DWORD count, DWORD& read) {
  read = 0;
  auto f = File(file);
  if (!f) return Fail(ERROR_INVALID_HANDLE);
  if (f->Comm) {
    DWORD error = ERROR_SUCCESS;
    return CommRead(*f, data, count, read, error) || Fail(error);
  }
  ssize_t n;
  do {
    n = ::read(f->Fd.Get(), data, count);
  } while (n < 0 && errno == EINTR);
  if (n < 0 && errno == EAGAIN) return true;
  if (n < 0) return Fail(ErrorFromErrno(errno));
  read = static_cast<DWORD>(n);
  return true;
}

DWORD TPosixPlatform::WriteFileTimed(THandle file, const void* data, DWORD count,
                                     THandle doneEvent, DWORD timeoutMs, DWORD& written,
                                     THandle abortEvent) {
  written = 0;
  auto done = Event(doneEvent);
  if (!done) return WAIT_FAILED;
  auto f = File(file);
  if (!f) {
    // A write that cannot start completes at once with nothing written.
    LastError = ERROR_INVALID_HANDLE;
    done->Set();
    return WAIT_OBJECT_0;
  }
  std::shared_ptr<TEventObject> abort = abortEvent != NoHandle ? Event(abortEvent) : nullptr;
  DWORD sent = 0, error = ERROR_SUCCESS;
  switch (WriteAll(f->Fd.Get(), static_cast<const std::uint8_t*>(data), count, sent,
                   abort ? abort->PollFd() : -1, f->Closed.PollFd(), NowMs() + timeoutMs, error)) {
    case TWriteEnd::Done: written = sent; break;
    case TWriteEnd::TimedOut: return WAIT_TIMEOUT;
    case TWriteEnd::WaitFailed: return WAIT_FAILED;
    case TWriteEnd::Aborted:
      written = sent;
      LastError = error;
      return WAIT_OBJECT_0 + 1;
    // A write that failed or was closed under completes with nothing counted.
    case TWriteEnd::Failed:
    case TWriteEnd::Closed: LastError = error; break;
  }
  done->Set();
  return WAIT_OBJECT_0;
}

bool TPosixPlatform::CancelIo(THandle file) {
  auto f = File(file);
  if (!f) return Fail(ERROR_INVALID_HANDLE);
  // Writes here finish or time out inside the call that started them, so a
  // cancel has nothing left to end.
  return true;
}

// --- events and time ---------------------------------------------------------------------

THandle TPosixPlatform::CreateEventA(bool manualReset, bool initialState) {
  auto event = std::make_shared<TEventObject>(manualReset, initialState);
  if (!event->Valid()) {
    Fail(ErrorFromErrno(errno));
    return NoHandle;
  }
  std::lock_guard<std::shared_mutex> hold(Lock);
  THandle h = NextHandle++;
  Events[h] = std::move(event);
  return h;
}

bool TPosixPlatform::SetEvent(THandle event) {
  auto e = Event(event);
  if (!e) return Fail(ERROR_INVALID_HANDLE);
  e->Set();
  return true;
}

bool TPosixPlatform::ResetEvent(THandle event) {
  auto e = Event(event);
  if (!e) return Fail(ERROR_INVALID_HANDLE);
  e->Reset();
  return true;
}

DWORD TPosixPlatform::WaitForSingleObject(THandle handle, DWORD timeoutMs) {
  auto e = Event(handle);
  if (!e) {
    Fail(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  const std::int64_t deadline = timeoutMs == INFINITE ? -1 : NowMs() + timeoutMs;
  for (;;) {
    if (e->TryConsume()) return WAIT_OBJECT_0;
    pollfd p{e->PollFd(), POLLIN, 0};
    int n = ::poll(&p, 1, Remaining(deadline));
    if (n < 0 && errno != EINTR) return WAIT_FAILED;
    if (n == 0) return e->TryConsume() ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
  }
}

void TPosixPlatform::Sleep(DWORD ms) {
  // As on Windows, a sleep of 0 gives up the rest of the time slice.
  if (ms == 0)
    std::this_thread::yield();
  else
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void TPosixPlatform::LowerThreadPriority() {
  const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
  errno = 0;
  int nice = ::getpriority(PRIO_PROCESS, tid);
  if (errno == 0) ::setpriority(PRIO_PROCESS, tid, nice + 1);
}

}  // namespace vornex
