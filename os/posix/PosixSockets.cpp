// Sockets in Winsock's terms over BSD sockets: non-blocking descriptors whose
// waits are polls beside the abort event, so Cancel and the time-out end any
// of them at once; errno becomes Winsock's codes.
#include <netdb.h>
#include <netinet/in.h>
#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <thread>

#include "os/posix/PosixErrors.h"
#include "os/posix/PosixSockets.h"

namespace vornex {

using namespace posix;

namespace {

// A lookup on a thread of its own: the system's getaddrinfo cannot be given
// a time limit nor be cancelled, but its caller can stop waiting for it.
struct TLookup {
  std::string Host, Port;
  TEventObject Done{true, false};
  int Result = EAI_FAIL;
  int Errno = 0;
  std::vector<TSocketAddress> Addresses;

  void Run() {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* list = nullptr;
    Result = ::getaddrinfo(Host.c_str(), Port.c_str(), &hints, &list);
    Errno = errno;
    for (addrinfo* a = Result == 0 ? list : nullptr; a; a = a->ai_next) {
      TSocketAddress address;
      if (a->ai_addrlen > sizeof address.Data) continue;
      address.Family = a->ai_family;
      address.Length = static_cast<int>(a->ai_addrlen);
      std::memcpy(address.Data, a->ai_addr, a->ai_addrlen);
      Addresses.push_back(address);
    }
    if (list) ::freeaddrinfo(list);
    Done.Set();
  }
};

DWORD WaitError(TWaitOutcome outcome) {
  switch (outcome) {
    case TWaitOutcome::TimedOut: return WSAETIMEDOUT;
    case TWaitOutcome::Aborted:
    case TWaitOutcome::Closed: return ERROR_OPERATION_ABORTED;
    default: return SocketError(errno);
  }
}

int PollTimeout(DWORD timeoutMs) {
  return timeoutMs == INFINITE ? -1 : static_cast<int>(std::min<DWORD>(timeoutMs, INT_MAX));
}

}  // namespace

int TPosixSockets::getaddrinfo(const std::string& host, const std::string& port,
                               std::vector<TSocketAddress>& addresses, DWORD timeoutMs,
                               THandle abortEvent) {
  addresses.clear();
  auto failed = [](DWORD code) {
    SetLastError(code);
    return static_cast<int>(code);
  };
  auto lookup = std::make_shared<TLookup>();
  lookup->Host = host;
  lookup->Port = port;
  if (!lookup->Done.Valid()) return failed(WSAENOBUFS);
  try {
    std::thread([lookup] { lookup->Run(); }).detach();
  } catch (const std::system_error&) {
    return failed(WSAENOBUFS);
  }
  auto abort = abortEvent != NoHandle ? Kernel.Event(abortEvent) : nullptr;
  const TWaitOutcome outcome =
      WaitForFd(lookup->Done.PollFd(), POLLIN, abort ? abort->PollFd() : -1, -1, PollTimeout(timeoutMs));
  // The lookup thread may still be running; it keeps its own share.
  if (outcome != TWaitOutcome::Ready) return failed(WaitError(outcome));
  // Taking the signal takes the event's lock, after which what the lookup
  // wrote is ours to read.
  lookup->Done.TryConsume();
  if (lookup->Result != 0) return failed(LookupFailure(lookup->Result, lookup->Errno));
  if (lookup->Addresses.empty()) return failed(WSANO_DATA);
  addresses = lookup->Addresses;
  return 0;
}

TSocket TPosixSockets::socket(int family) {
  int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) {
    Fail(SocketError(errno));
    return InvalidSocket;
  }
  auto file = std::make_shared<TFileObject>();
  file->Fd.Reset(fd);
  file->FileType = FILE_TYPE_PIPE;
  if (!file->Closed.Valid()) {
    Fail(WSAEMFILE);
    return InvalidSocket;
  }
  return Kernel.Files.Add(std::move(file));
}

bool TPosixSockets::connect(TSocket s, const TSocketAddress& address, DWORD timeoutMs,
                            THandle abortEvent) {
  auto f = Kernel.Files.Find(s);
  if (!f) return Fail(WSAENOTSOCK);
  if (address.Length <= 0 || static_cast<std::size_t>(address.Length) > sizeof address.Data)
    return Fail(WSAEINVAL);
  int r;
  do {
    r = ::connect(f->Fd.Get(), reinterpret_cast<const sockaddr*>(address.Data),
                  static_cast<socklen_t>(address.Length));
  } while (r != 0 && errno == EINTR);
  if (r == 0) return true;
  if (errno != EINPROGRESS) return Fail(SocketError(errno));
  auto abort = abortEvent != NoHandle ? Kernel.Event(abortEvent) : nullptr;
  const TWaitOutcome outcome = WaitForFd(f->Fd.Get(), POLLOUT, abort ? abort->PollFd() : -1,
                                         f->Closed.PollFd(), PollTimeout(timeoutMs));
  if (outcome != TWaitOutcome::Ready) return Fail(WaitError(outcome));
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(f->Fd.Get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
  return error == 0 || Fail(SocketError(error));
}

bool TPosixSockets::send(TSocket s, const void* data, DWORD count, DWORD& sent, THandle abortEvent) {
  sent = 0;
  auto f = Kernel.Files.Find(s);
  if (!f) return Fail(WSAENOTSOCK);
  auto abort = abortEvent != NoHandle ? Kernel.Event(abortEvent) : nullptr;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  while (sent < count) {
    // Straight in while the system takes it; a poll only when it is full.
    const ssize_t n = ::send(f->Fd.Get(), bytes + sent, count - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<DWORD>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 || errno != EAGAIN) return Fail(n == 0 ? WSAECONNRESET : SocketError(errno));
    const TWaitOutcome outcome =
        WaitForFd(f->Fd.Get(), POLLOUT, abort ? abort->PollFd() : -1, f->Closed.PollFd(), -1);
    // Ready with an error or a hang-up: the next send says which.
    if (outcome != TWaitOutcome::Ready) return Fail(WaitError(outcome));
  }
  return true;
}

bool TPosixSockets::recv(TSocket s, void* data, DWORD count, DWORD& received, DWORD timeoutMs,
                         THandle abortEvent) {
  received = 0;
  auto f = Kernel.Files.Find(s);
  if (!f) return Fail(WSAENOTSOCK);
  std::shared_ptr<TEventObject> abort;
  const std::int64_t deadline = timeoutMs == INFINITE ? -1 : NowMs() + timeoutMs;
  for (;;) {
    const ssize_t n = ::recv(f->Fd.Get(), data, count, MSG_DONTWAIT);
    if (n >= 0) {
      received = static_cast<DWORD>(n);
      return true;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN) return Fail(SocketError(errno));
    if (timeoutMs == 0) return Fail(WSAETIMEDOUT);
    if (!abort && abortEvent != NoHandle) abort = Kernel.Event(abortEvent);
    const TWaitOutcome outcome =
        WaitForFd(f->Fd.Get(), POLLIN, abort ? abort->PollFd() : -1, f->Closed.PollFd(), Remaining(deadline));
    if (outcome != TWaitOutcome::Ready) return Fail(WaitError(outcome));
  }
}

bool TPosixSockets::shutdown(TSocket s, int how) {
  auto f = Kernel.Files.Find(s);
  if (!f) return Fail(WSAENOTSOCK);
  // SD_RECEIVE, SD_SEND and SD_BOTH are SHUT_RD, SHUT_WR and SHUT_RDWR.
  return ::shutdown(f->Fd.Get(), how) == 0 || Fail(SocketError(errno));
}

bool TPosixSockets::GetUnacknowledged(TSocket s, DWORD& bytes) {
  bytes = 0;
  auto f = Kernel.Files.Find(s);
  if (!f) return Fail(WSAENOTSOCK);
  // Sent or not, what the peer has not acknowledged; the end counts one.
  int queued = 0;
  if (::ioctl(f->Fd.Get(), SIOCOUTQ, &queued) != 0) return Fail(SocketError(errno));
  bytes = queued > 0 ? static_cast<DWORD>(queued) : 0;
  return true;
}

bool TPosixSockets::closesocket(TSocket s) { return Kernel.CloseFile(s) || Fail(WSAENOTSOCK); }

}  // namespace vornex
