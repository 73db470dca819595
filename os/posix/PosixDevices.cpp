// Devices and files: opened by their Windows names, never blocking at the
// descriptor, so that every wait is a poll that Cancel and Close can end.
#include "os/posix/PosixDevices.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "os/posix/DeviceKind.h"
#include "os/posix/Namespace.h"
#include "os/posix/PosixComm.h"
#include "os/posix/PosixErrors.h"
#include "os/posix/PosixRegistry.h"
#include "os/posix/RegistryView.h"

namespace vornex {

using namespace posix;

namespace {

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

// Writes until every byte went, the deadline (-1: none) passed, or the
// abort event (if any) or the file's close came. The write comes first; the
// events are polled only while the device would block. `sent` says how much
// went; `error` why a write failed or was aborted.
TWriteEnd WriteAll(int fd, const std::uint8_t* bytes, DWORD count, DWORD& sent, TEventObject* abort,
                   TEventObject& closed, std::int64_t deadline, DWORD& error) {
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
    switch (writable.Wait(fd, abort ? abort->PollFd() : -1, closed.PollFd(), Remaining(deadline), &revents)) {
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

TPosixDevices::TPosixDevices(TKernel& kernel, const TNamespace& names, TPosixRegistry& registry)
    : Kernel(kernel), Names(names), Registry(registry) {}

std::string TPosixDevices::Resolve(const std::string& name) {
  std::shared_ptr<TRegistryView> view = Registry.CurrentView();
  return Names.Resolve(name, view ? view->UsbPrinters() : nullptr);
}

// --- devices and files ----------------------------------------------------------------

THandle TPosixDevices::CreateFileA(const std::string& name, DWORD access, DWORD shareMode,
                                   DWORD creation, DWORD) {
  if (creation != OPEN_EXISTING) {
    Fail(ERROR_INVALID_PARAMETER);
    return InvalidHandle;
  }
  return Open(name, access, shareMode, false);
}

THandle TPosixDevices::OpenPortA(const std::string& name, DWORD access, DWORD shareMode, DWORD) {
  return Open(name, access, shareMode, true);
}

namespace {

DWORD FileTypeOf(const struct stat& st) {
  if (S_ISCHR(st.st_mode)) return FILE_TYPE_CHAR;
  if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return FILE_TYPE_PIPE;
  if (S_ISREG(st.st_mode)) return FILE_TYPE_DISK;
  return FILE_TYPE_UNKNOWN;
}

constexpr char EmptyMapEntryText[] = "VORNEX_DEVICE_MAP maps it to no path";

bool IsPort(DWORD fileType) { return fileType == FILE_TYPE_CHAR || fileType == FILE_TYPE_PIPE; }

// A local socket (a spooler or a printer's stand-in listening on a path)
// takes the file as a stream once connected; it cannot be opened as a file.
int ConnectLocal(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    errno = ENAMETOOLONG;
    return -1;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

}  // namespace

THandle TPosixDevices::Open(const std::string& name, DWORD access, DWORD shareMode, bool portOnly) {
  const std::string path = Resolve(name);
  if (path.empty()) {
    // Mapped to nothing by the user: said, rather than taken for a port
    // that is not there.
    Fail(Names.DeviceMap().MapsToNothing(name) ? Kernel.Reasons.Code(EmptyMapEntryText) : ERROR_FILE_NOT_FOUND);
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
  int fd = portOnly && S_ISSOCK(st.st_mode) ? ConnectLocal(path)
                                             : ::open(path.c_str(), mode | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
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
  return Kernel.Files.Add(std::move(file));
}

std::string TPosixDevices::DeviceIdentity(const std::string& name) {
  const std::string path = Resolve(name);
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return {};
  // A device is its number, whatever node or link names it; anything else
  // (a FIFO) is its file.
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
    return "device " + std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
  return "file " + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

TDeviceKind TPosixDevices::GetDeviceKind(const std::string& path) {
  DWORD error = ERROR_SUCCESS;
  const TDeviceKind kind = DeviceKindOfPath(path, error);
  if (kind == TDeviceKind::NotFound) Fail(error);
  return kind;
}

DWORD TPosixDevices::GetFileType(THandle file) {
  auto f = Kernel.Files.Find(file);
  if (!f) {
    Fail(ERROR_INVALID_HANDLE);
    return FILE_TYPE_UNKNOWN;
  }
  return f->FileType;
}

bool TPosixDevices::WriteFile(THandle file, const void* data, DWORD count, DWORD& written,
                              THandle abortEvent) {
  written = 0;
  auto f = Kernel.Files.Find(file);
  if (!f) return Fail(ERROR_INVALID_HANDLE);
  std::shared_ptr<TEventObject> abort = Kernel.Event(abortEvent);
  // A comm write that does not go out in time ends short, and succeeds.
  const std::int64_t deadline = f->Comm ? CommWriteDeadline(*f, count, NowMs()) : -1;
  DWORD error = ERROR_SUCCESS;
  const TWriteEnd end = WriteAll(f->Fd.Get(), static_cast<const std::uint8_t*>(data), count, written,
                                 abort.get(), f->Closed, deadline, error);
  if (f->Comm) CommWritten(*f, written);
  return end == TWriteEnd::Done || end == TWriteEnd::TimedOut || Fail(error);
}

bool TPosixDevices::ReadFile(THandle file, void* data, DWORD count, DWORD& read) {
  read = 0;
  auto f = Kernel.Files.Find(file);
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

DWORD TPosixDevices::WriteFileTimed(THandle file, const void* data, DWORD count,
                                    THandle doneEvent, DWORD timeoutMs, DWORD& written,
                                    THandle abortEvent) {
  written = 0;
  auto done = Kernel.Event(doneEvent);
  if (!done) return WAIT_FAILED;
  auto f = Kernel.Files.Find(file);
  if (!f) {
    // A write that cannot start completes at once with nothing written.
    SetLastError(ERROR_INVALID_HANDLE);
    done->Set();
    return WAIT_OBJECT_0;
  }
  std::shared_ptr<TEventObject> abort = Kernel.Event(abortEvent);
  DWORD sent = 0, error = ERROR_SUCCESS;
  switch (WriteAll(f->Fd.Get(), static_cast<const std::uint8_t*>(data), count, sent, abort.get(), f->Closed,
                   NowMs() + timeoutMs, error)) {
    case TWriteEnd::Done: written = sent; break;
    case TWriteEnd::TimedOut: return WAIT_TIMEOUT;
    case TWriteEnd::WaitFailed: return WAIT_FAILED;
    case TWriteEnd::Aborted:
      written = sent;
      SetLastError(error);
      return WAIT_OBJECT_0 + 1;
    // A write that failed or was closed under completes with nothing counted.
    case TWriteEnd::Failed:
    case TWriteEnd::Closed: SetLastError(error); break;
  }
  done->Set();
  return WAIT_OBJECT_0;
}

bool TPosixDevices::CancelIo(THandle file) {
  auto f = Kernel.Files.Find(file);
  if (!f) return Fail(ERROR_INVALID_HANDLE);
  // Writes here finish or time out inside the call that started them, so a
  // cancel has nothing left to end.
  return true;
}

}  // namespace vornex
