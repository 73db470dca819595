// Sockets through Winsock. Each socket has an event that its network events
// signal (WSAEventSelect, which also makes it non-blocking), so every wait
// is a wait on that event beside the abort event, which Cancel and the
// time-out end at once.
#include "os/win32/Win32Sockets.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "os/win32/SocketTable.h"
#include <mstcpip.h>
#include <ws2tcpip.h>

namespace vornex {

using namespace win32;

namespace {

bool Fail(::DWORD code) {
  ::WSASetLastError(static_cast<int>(code));
  return false;
}

// Waits for the socket's event: 0 when it came, else the error that ended
// the wait (the time limit, the abort event).
::DWORD WaitForSocket(WSAEVENT event, HANDLE abort, ::DWORD timeoutMs) {
  HANDLE both[2] = {event, abort};
  const ::DWORD n = abort ? 2 : 1;
  switch (::WaitForMultipleObjects(n, both, FALSE, timeoutMs)) {
    case WAIT_OBJECT_0: return 0;
    case WAIT_OBJECT_0 + 1: return ERROR_OPERATION_ABORTED;
    case WAIT_TIMEOUT: return WSAETIMEDOUT;
    default: return ::GetLastError();
  }
}

// The socket's network events since the last look; resets its event. The
// error of a connection that was refused or reset, or 0.
int NetworkEvents(SOCKET s, WSAEVENT event, long& happened) {
  WSANETWORKEVENTS events{};
  happened = 0;
  if (::WSAEnumNetworkEvents(s, event, &events) != 0) return ::WSAGetLastError();
  happened = events.lNetworkEvents;
  if ((happened & FD_CONNECT) && events.iErrorCode[FD_CONNECT_BIT]) return events.iErrorCode[FD_CONNECT_BIT];
  if ((happened & FD_CLOSE) && events.iErrorCode[FD_CLOSE_BIT]) return events.iErrorCode[FD_CLOSE_BIT];
  return 0;
}

// SIO_TCP_INFO's answer, version 0 (Windows 10 1703 and later), as the
// system lays it out; the headers offer it only to programs that need that
// Windows.
struct TTcpInfoV0 {
  int State;
  ULONG Mss;
  ULONG64 ConnectionTimeMs;
  BOOLEAN TimestampsEnabled;
  ULONG RttUs;
  ULONG MinRttUs;
  ULONG BytesInFlight;
  ULONG Cwnd;
  ULONG SndWnd;
  ULONG RcvWnd;
  ULONG RcvBuf;
  ULONG64 BytesOut;
  ULONG64 BytesIn;
  ULONG BytesReordered;
  ULONG BytesRetrans;
  ULONG FastRetrans;
  ULONG DupAcksIn;
  ULONG TimeoutEpisodes;
  UCHAR SynRetrans;
};
constexpr ::DWORD SioTcpInfo = _WSAIORW(IOC_VENDOR, 39);
// The states in which our end of the stream has been acknowledged.
constexpr int TcpStateClosed = 0, TcpStateFinWait2 = 6, TcpStateTimeWait = 10;

}  // namespace

TWin32Sockets::TWin32Sockets()
    : Table(std::make_unique<TSocketTable>()), Lookups(std::make_unique<TLookupThreads>()) {}

TWin32Sockets::~TWin32Sockets() = default;

namespace win32 {

// A lookup on a thread of its own: Windows' getaddrinfo takes no time limit
// and cannot be cancelled (nor, where it could be, under Wine). The thread
// holds Winsock open for itself, so that no WSACleanup comes while it is
// inside getaddrinfo.
struct TLookup {
  TLookup(const std::string& host, const std::string& port)
      : Host(host), Port(port), Done(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~TLookup() {
    if (Done) ::CloseHandle(Done);
  }
  TLookup(const TLookup&) = delete;
  TLookup& operator=(const TLookup&) = delete;

  void Run() {
    WSADATA data;
    const bool started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* list = nullptr;
    Result = started ? ::getaddrinfo(Host.c_str(), Port.c_str(), &hints, &list) : WSANOTINITIALISED;
    for (addrinfo* a = Result == 0 ? list : nullptr; a; a = a->ai_next) {
      TSocketAddress address;
      if (a->ai_addrlen > sizeof address.Data) continue;
      address.Family = a->ai_family;
      address.Length = static_cast<int>(a->ai_addrlen);
      std::copy_n(reinterpret_cast<const BYTE*>(a->ai_addr), a->ai_addrlen, address.Data);
      Addresses.push_back(address);
    }
    if (list) ::freeaddrinfo(list);
    if (started) ::WSACleanup();
    ::SetEvent(Done);
  }
  bool Finished() const { return ::WaitForSingleObject(Done, 0) == WAIT_OBJECT_0; }

  const std::string Host, Port;
  HANDLE Done;
  int Result = 0;
  std::vector<TSocketAddress> Addresses;
  std::thread Thread;
};

TLookupThreads::~TLookupThreads() {
  // Each ends when the resolver answers or gives up on its own.
  for (auto& lookup : Running) lookup->Thread.join();
}

std::shared_ptr<TLookup> TLookupThreads::Start(const std::string& host, const std::string& port) {
  std::lock_guard<std::mutex> hold(Lock);
  // Those that have ended are let go of.
  for (auto it = Running.begin(); it != Running.end();) {
    if ((*it)->Finished()) {
      (*it)->Thread.join();
      it = Running.erase(it);
    } else {
      ++it;
    }
  }
  auto lookup = std::make_shared<TLookup>(host, port);
  if (!lookup->Done) return nullptr;
  try {
    lookup->Thread = std::thread([l = lookup.get()] { l->Run(); });
  } catch (const std::system_error&) {
    return nullptr;
  }
  Running.push_back(lookup);
  return lookup;
}

}  // namespace win32

int TWin32Sockets::getaddrinfo(const std::string& host, const std::string& port,
                               std::vector<TSocketAddress>& addresses, DWORD timeoutMs,
                               THandle abortEvent) {
  addresses.clear();
  auto failed = [](::DWORD code) {
    ::WSASetLastError(static_cast<int>(code));
    return static_cast<int>(code);
  };
  if (!Table->Started) return failed(WSANOTINITIALISED);
  auto lookup = Lookups->Start(host, port);
  if (!lookup) return failed(WSAENOBUFS);
  const ::DWORD waited = WaitForSocket(lookup->Done, abortEvent ? H(abortEvent) : nullptr, timeoutMs);
  // Given up on, the lookup ends on its thread, which the table waits for.
  if (waited != 0) return failed(waited);
  if (lookup->Result != 0) return failed(static_cast<::DWORD>(lookup->Result));
  if (lookup->Addresses.empty()) return failed(WSANO_DATA);
  addresses = lookup->Addresses;
  return 0;
}

TSocket TWin32Sockets::socket(int family) {
  if (!Table->Started) {
    Fail(WSANOTINITIALISED);
    return InvalidSocket;
  }
  SOCKET s = ::WSASocketA(family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED);
  if (s == INVALID_SOCKET) return InvalidSocket;
  WSAEVENT event = ::WSACreateEvent();
  if (event == WSA_INVALID_EVENT || ::WSAEventSelect(s, event, FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE) != 0) {
    const int error = ::WSAGetLastError();
    if (event != WSA_INVALID_EVENT) ::WSACloseEvent(event);
    ::closesocket(s);
    Fail(static_cast<::DWORD>(error));
    return InvalidSocket;
  }
  Table->Add(s, event);
  return static_cast<TSocket>(s);
}

bool TWin32Sockets::ConnectStart(TSocket s, const TSocketAddress& address) {
  if (Table->Find(s) == WSA_INVALID_EVENT) return Fail(WSAENOTSOCK);
  if (::connect(s, reinterpret_cast<const sockaddr*>(address.Data), address.Length) == 0) return true;
  return ::WSAGetLastError() == WSAEWOULDBLOCK;
}

int TWin32Sockets::WaitForConnect(const std::vector<TSocket>& sockets, DWORD timeoutMs, THandle abortEvent,
                                  DWORD& error) {
  error = 0;
  std::vector<HANDLE> handles;
  for (TSocket s : sockets) {
    WSAEVENT event = Table->Find(s);
    if (event == WSA_INVALID_EVENT) {
      Fail(WSAENOTSOCK);
      return -1;
    }
    handles.push_back(event);
  }
  if (abortEvent) handles.push_back(H(abortEvent));
  if (handles.empty() || handles.size() > MAXIMUM_WAIT_OBJECTS) {
    Fail(WSAEINVAL);
    return -1;
  }
  const ::DWORD start = ::GetTickCount();
  for (;;) {
    const ::DWORD spent = ::GetTickCount() - start;
    const ::DWORD left = timeoutMs == INFINITE ? INFINITE : timeoutMs - std::min<::DWORD>(spent, timeoutMs);
    const ::DWORD r =
        ::WaitForMultipleObjects(static_cast<::DWORD>(handles.size()), handles.data(), FALSE, left);
    if (r == WAIT_TIMEOUT) {
      Fail(WSAETIMEDOUT);
      return -1;
    }
    if (r >= WAIT_OBJECT_0 + handles.size()) {
      Fail(::GetLastError());
      return -1;
    }
    const std::size_t i = r - WAIT_OBJECT_0;
    if (i == sockets.size()) {
      Fail(ERROR_OPERATION_ABORTED);
      return -1;
    }
    long happened = 0;
    if (const int failure = NetworkEvents(sockets[i], handles[i], happened)) {
      error = static_cast<DWORD>(failure);
      return static_cast<int>(i);
    }
    if (happened & FD_CONNECT) return static_cast<int>(i);
  }
}

bool TWin32Sockets::send(TSocket s, const void* data, DWORD count, DWORD& sent, THandle abortEvent) {
  sent = 0;
  WSAEVENT event = Table->Find(s);
  if (event == WSA_INVALID_EVENT) return Fail(WSAENOTSOCK);
  const char* bytes = static_cast<const char*>(data);
  while (sent < count) {
    const int n = ::send(s, bytes + sent, static_cast<int>(std::min<::DWORD>(count - sent, INT_MAX)), 0);
    if (n > 0) {
      sent += static_cast<DWORD>(n);
      continue;
    }
    if (n == 0 || ::WSAGetLastError() != WSAEWOULDBLOCK) return n == 0 ? Fail(WSAECONNRESET) : false;
    if (const ::DWORD waited = WaitForSocket(event, abortEvent ? H(abortEvent) : nullptr, INFINITE))
      return Fail(waited);
    long happened = 0;
    if (const int error = NetworkEvents(s, event, happened)) return Fail(static_cast<::DWORD>(error));
  }
  return true;
}

bool TWin32Sockets::recv(TSocket s, void* data, DWORD count, DWORD& received, DWORD timeoutMs,
                         THandle abortEvent) {
  received = 0;
  WSAEVENT event = Table->Find(s);
  if (event == WSA_INVALID_EVENT) return Fail(WSAENOTSOCK);
  const ::DWORD start = ::GetTickCount();
  for (;;) {
    const int n = ::recv(s, static_cast<char*>(data), static_cast<int>(std::min<::DWORD>(count, INT_MAX)), 0);
    if (n >= 0) {
      received = static_cast<DWORD>(n);
      return true;
    }
    if (::WSAGetLastError() != WSAEWOULDBLOCK) return false;
    const ::DWORD spent = ::GetTickCount() - start;
    if (timeoutMs != INFINITE && spent >= timeoutMs) return Fail(WSAETIMEDOUT);
    const ::DWORD left = timeoutMs == INFINITE ? INFINITE : timeoutMs - spent;
    if (const ::DWORD waited = WaitForSocket(event, abortEvent ? H(abortEvent) : nullptr, left)) return Fail(waited);
    long happened = 0;
    if (const int error = NetworkEvents(s, event, happened)) return Fail(static_cast<::DWORD>(error));
  }
}

bool TWin32Sockets::shutdown(TSocket s, int how) { return ::shutdown(s, how) == 0; }

bool TWin32Sockets::GetUnacknowledged(TSocket s, DWORD& bytes) {
  bytes = 0;
  ::DWORD version = 0, returned = 0;
  TTcpInfoV0 info{};
  if (::WSAIoctl(s, SioTcpInfo, &version, sizeof version, &info, sizeof info, &returned, nullptr, nullptr) != 0)
    return false;
  // The end is sent after the last byte and acknowledged after it: once it
  // is, everything is. Before, at least the end is still to come.
  if (info.State == TcpStateFinWait2 || info.State == TcpStateTimeWait || info.State == TcpStateClosed) return true;
  bytes = std::max<::DWORD>(1, info.BytesInFlight);
  return true;
}

bool TWin32Sockets::closesocket(TSocket s) {
  WSAEVENT event = Table->Remove(s);
  if (event == WSA_INVALID_EVENT) return Fail(WSAENOTSOCK);
  const bool ok = ::closesocket(s) == 0;
  ::WSACloseEvent(event);
  return ok;
}

}  // namespace vornex
