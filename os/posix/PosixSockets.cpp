// Sockets in Winsock's terms over BSD sockets: non-blocking descriptors whose
// waits are polls beside the abort event, so Cancel and the time-out end any
// of them at once; errno becomes Winsock's codes. Names are looked up by the
// C library's own resolver threads, which can be given up on.
#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "os/posix/PosixErrors.h"
#include "os/posix/PosixSockets.h"

namespace vornex {

namespace posix {

// ThreadSanitizer cannot follow the threads the C library starts inside
// itself for getaddrinfo_a and its notification (they are made out of the
// sanitizer's sight, and it fails in them), so a build for it looks each
// name up on a thread of the lookup's own, kept and joined the same way.
#if defined(__SANITIZE_THREAD__)
constexpr bool OwnLookupThreads = true;
#else
constexpr bool OwnLookupThreads = false;
#endif

// One name lookup, handed to the C library's resolver (getaddrinfo_a), which
// runs it on threads of its own and can be told to give it up. One it has
// begun cannot be given up: it is kept until the resolver has finished
// with it, as the resolver writes its answer into it.
struct TLookup {
  TLookup(const std::string& host, const std::string& port) : Host(host), Port(port) {
    Hints.ai_family = AF_UNSPEC;
    Hints.ai_socktype = SOCK_STREAM;
    Hints.ai_protocol = IPPROTO_TCP;
    Hints.ai_flags = AI_NUMERICSERV;
    Request.ar_name = Host.c_str();
    Request.ar_service = Port.c_str();
    Request.ar_request = &Hints;
  }
  ~TLookup() {
    if (Runner.joinable()) Runner.join();
    if (Request.ar_result) ::freeaddrinfo(Request.ar_result);
  }
  TLookup(const TLookup&) = delete;
  TLookup& operator=(const TLookup&) = delete;

  // Called by the resolver once it has answered.
  static void Notify(sigval value) { static_cast<TLookup*>(value.sival_ptr)->Done.Set(); }
  // The resolver has answered and told so: it holds the request no longer.
  bool Finished() { return Done.TryConsume(); }
  // Hands the request to the resolver: 0, or getaddrinfo_a's error.
  int Begin() {
    if (OwnLookupThreads) {
      try {
        Runner = std::thread([this] {
          Error = ::getaddrinfo(Host.c_str(), Port.c_str(), &Hints, &Request.ar_result);
          Done.Set();
        });
      } catch (const std::system_error&) {
        return EAI_AGAIN;
      }
      return 0;
    }
    gaicb* requests[] = {&Request};
    sigevent notify{};
    notify.sigev_notify = SIGEV_THREAD;
    notify.sigev_notify_function = Notify;
    notify.sigev_value.sival_ptr = this;
    return ::getaddrinfo_a(GAI_NOWAIT, requests, 1, &notify);
  }
  // True when it was taken back before it began: it will never be answered.
  bool Cancel() { return !OwnLookupThreads && ::gai_cancel(&Request) == EAI_CANCELED; }
  // The answer's error, once Finished.
  int Result() { return OwnLookupThreads ? Error : ::gai_error(&Request); }

  const std::string Host, Port;
  addrinfo Hints{};
  gaicb Request{};
  TEventObject Done{true, false};
  std::thread Runner;  // with OwnLookupThreads
  int Error = 0;
};

// Requests the resolver still held when their table went: kept for the
// rest of the process, never destroyed, since it writes to them whenever it
// finishes.
struct TOrphans {
  std::mutex Lock;
  std::vector<std::shared_ptr<TLookup>> List;
};
TOrphans& Orphans();

// At exit, those the resolver has finished with are let go (a lookup's own
// thread joined); the others stay, as the resolver may still write to them.
void LetGoOfFinishedOrphans() {
  TOrphans& orphans = Orphans();
  std::lock_guard<std::mutex> hold(orphans.Lock);
  // A lookup's own thread that ends just as the process does would be left
  // unjoined: such lookups get a moment to end first.
  if (OwnLookupThreads) {
    const std::int64_t deadline = NowMs() + 300;
    for (auto& lookup : orphans.List)
      if (!lookup->Finished()) WaitForFd(lookup->Done.PollFd(), POLLIN, -1, -1, Remaining(deadline));
  }
  orphans.List.erase(std::remove_if(orphans.List.begin(), orphans.List.end(),
                                    [](const std::shared_ptr<TLookup>& lookup) { return lookup->Finished(); }),
                     orphans.List.end());
}

TOrphans& Orphans() {
  union TKeep {
    TKeep() : Orphans() { std::atexit(LetGoOfFinishedOrphans); }
    ~TKeep() {}
    TOrphans Orphans;
  };
  static TKeep keep;
  return keep.Orphans;
}

}  // namespace posix

using namespace posix;

namespace {

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

TLookupTable::~TLookupTable() {
  std::lock_guard<std::mutex> hold(Lock);
  std::lock_guard<std::mutex> orphans(Orphans().Lock);
  for (auto& lookup : Abandoned) {
    lookup->Cancel();
    if (!lookup->Finished()) Orphans().List.push_back(std::move(lookup));
  }
}

void TLookupTable::Abandon(std::shared_ptr<TLookup> lookup) {
  std::lock_guard<std::mutex> hold(Lock);
  // Not begun yet: taken back at once, and never answered.
  if (lookup->Cancel()) return;
  Abandoned.push_back(std::move(lookup));
}

void TLookupTable::Reap() {
  std::lock_guard<std::mutex> hold(Lock);
  Abandoned.erase(std::remove_if(Abandoned.begin(), Abandoned.end(),
                                 [](const std::shared_ptr<TLookup>& lookup) { return lookup->Finished(); }),
                  Abandoned.end());
}

std::size_t TLookupTable::Pending() {
  Reap();
  std::lock_guard<std::mutex> hold(Lock);
  return Abandoned.size();
}

TPosixSockets::TPosixSockets(TKernel& kernel) : Kernel(kernel), Lookups(std::make_unique<TLookupTable>()) {}

TPosixSockets::~TPosixSockets() = default;

int TPosixSockets::getaddrinfo(const std::string& host, const std::string& port,
                               std::vector<TSocketAddress>& addresses, DWORD timeoutMs,
                               THandle abortEvent) {
  addresses.clear();
  auto failed = [](DWORD code) {
    SetLastError(code);
    return static_cast<int>(code);
  };
  Lookups->Reap();
  auto lookup = std::make_shared<TLookup>(host, port);
  if (!lookup->Done.Valid()) return failed(WSAENOBUFS);
  if (const int r = lookup->Begin(); r != 0) return failed(LookupFailure(r, errno));
  auto abort = abortEvent != NoHandle ? Kernel.Event(abortEvent) : nullptr;
  const TWaitOutcome outcome =
      WaitForFd(lookup->Done.PollFd(), POLLIN, abort ? abort->PollFd() : -1, -1, PollTimeout(timeoutMs));
  if (outcome != TWaitOutcome::Ready) {
    // Given up: the resolver keeps it until it is done, the table after.
    Lookups->Abandon(std::move(lookup));
    return failed(WaitError(outcome));
  }
  // The resolver has signalled: what it wrote is ours to read.
  lookup->Done.TryConsume();
  if (const int r = lookup->Result(); r != 0) return failed(LookupFailure(r, errno));
  for (const addrinfo* a = lookup->Request.ar_result; a; a = a->ai_next) {
    TSocketAddress address;
    if (a->ai_addrlen > sizeof address.Data) continue;
    address.Family = a->ai_family;
    address.Length = static_cast<int>(a->ai_addrlen);
    std::memcpy(address.Data, a->ai_addr, a->ai_addrlen);
    addresses.push_back(address);
  }
  if (addresses.empty()) return failed(WSANO_DATA);
  return 0;
}

std::size_t TPosixSockets::LookupsPending() { return Lookups->Pending(); }

const bool TPosixSockets::SharedResolverThreads = !OwnLookupThreads;

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

bool TPosixSockets::ConnectStart(TSocket s, const TSocketAddress& address) {
  auto f = Kernel.Files.Find(s);
  if (!f) return Fail(WSAENOTSOCK);
  if (address.Length <= 0 || static_cast<std::size_t>(address.Length) > sizeof address.Data)
    return Fail(WSAEINVAL);
  int r;
  do {
    r = ::connect(f->Fd.Get(), reinterpret_cast<const sockaddr*>(address.Data),
                  static_cast<socklen_t>(address.Length));
  } while (r != 0 && errno == EINTR);
  return r == 0 || errno == EINPROGRESS || Fail(SocketError(errno));
}

int TPosixSockets::WaitForConnect(const std::vector<TSocket>& sockets, DWORD timeoutMs, THandle abortEvent,
                                  DWORD& error) {
  error = 0;
  std::vector<std::shared_ptr<TFileObject>> files;
  std::vector<pollfd> fds;
  for (TSocket s : sockets) {
    auto f = Kernel.Files.Find(s);
    if (!f) {
      Fail(WSAENOTSOCK);
      return -1;
    }
    fds.push_back({f->Fd.Get(), POLLOUT, 0});
    files.push_back(std::move(f));
  }
  auto abort = abortEvent != NoHandle ? Kernel.Event(abortEvent) : nullptr;
  if (abort) fds.push_back({abort->PollFd(), POLLIN, 0});
  const std::int64_t deadline = timeoutMs == INFINITE ? -1 : NowMs() + timeoutMs;
  for (;;) {
    const int n = ::poll(fds.data(), fds.size(), Remaining(deadline));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      Fail(SocketError(errno));
      return -1;
    }
    if (abort && fds.back().revents) {
      Fail(ERROR_OPERATION_ABORTED);
      return -1;
    }
    for (std::size_t i = 0; i < sockets.size(); ++i) {
      if (!fds[i].revents) continue;
      // Writable once connected; with an error (or hung up) once refused.
      int failure = 0;
      socklen_t length = sizeof failure;
      if (::getsockopt(fds[i].fd, SOL_SOCKET, SO_ERROR, &failure, &length) != 0) failure = errno;
      if (failure == 0 && (fds[i].revents & (POLLERR | POLLHUP))) failure = ECONNREFUSED;
      error = failure == 0 ? 0 : SocketError(failure);
      return static_cast<int>(i);
    }
    if (n == 0) {
      Fail(WSAETIMEDOUT);
      return -1;
    }
  }
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
  // A connection that was reset still tells what was outstanding then.
  int queued = 0;
  if (::ioctl(f->Fd.Get(), SIOCOUTQ, &queued) != 0) return Fail(SocketError(errno));
  bytes = queued > 0 ? static_cast<DWORD>(queued) : 0;
  return true;
}

bool TPosixSockets::closesocket(TSocket s) { return Kernel.CloseFile(s) || Fail(WSAENOTSOCK); }

}  // namespace vornex
