#include "tests/support/FakeRoles.h"

namespace vornex::test {

bool TFakePlatform::WaitFor(std::unique_lock<std::mutex>& hold, const std::function<bool()>& ready,
                            THandle abortEvent, std::int64_t deadlineMs) {
  for (;;) {
    if (ready()) return true;
    if (abortEvent != NoHandle && EventSignalled(abortEvent)) return Fail(ERROR_OPERATION_ABORTED);
    if (deadlineMs >= 0 && NowMs() >= deadlineMs) return Fail(WSAETIMEDOUT);
    Changed.wait_for(hold, std::chrono::milliseconds(5));
  }
}

int TFakeSockets::getaddrinfo(const std::string& host, const std::string& port,
                              std::vector<TSocketAddress>& addresses, DWORD timeoutMs, THandle abortEvent) {
  std::unique_lock<std::mutex> hold(P.Lock);
  addresses.clear();
  if (P.Enter("getaddrinfo")) return static_cast<int>(FakeLastError());
  if (!P.WaitFor(hold, [&] { return !P.HoldLookups; }, abortEvent, NowMs() + timeoutMs))
    return static_cast<int>(FakeLastError());
  auto error = P.LookupErrors.find(host);
  if (error != P.LookupErrors.end()) return static_cast<int>(FakeLastError() = error->second);
  auto listed = P.HostAddresses.find(host);
  // The address is kept as its text: only this platform reads it back.
  for (const std::string& a : listed == P.HostAddresses.end() ? std::vector<std::string>{host} : listed->second) {
    const std::string text = a + ":" + port;
    TSocketAddress address;
    address.Family = a.find(':') == std::string::npos ? 2 : 23;
    address.Length = static_cast<int>(std::min(text.size(), sizeof address.Data));
    std::memcpy(address.Data, text.data(), static_cast<std::size_t>(address.Length));
    addresses.push_back(address);
  }
  return 0;
}

TSocket TFakeSockets::socket(int) {
  std::lock_guard<std::mutex> hold(P.Lock);
  if (P.Enter("socket")) return InvalidSocket;
  return P.SocketList.Add(std::make_shared<TFakePlatform::TSocketState>());
}

bool TFakeSockets::ConnectStart(TSocket s, const TSocketAddress& address) {
  std::lock_guard<std::mutex> hold(P.Lock);
  if (P.Enter("connect")) return false;
  auto own = P.SocketList.Find(s);
  if (!own) return P.Fail(WSAENOTSOCK);
  auto peer = P.Peers.find(std::string(reinterpret_cast<const char*>(address.Data), static_cast<std::size_t>(address.Length)));
  if (peer == P.Peers.end()) return P.Fail(WSAECONNREFUSED);
  own->Connecting = peer->second;
  return true;
}

int TFakeSockets::WaitForConnect(const std::vector<TSocket>& sockets, DWORD timeoutMs, THandle abortEvent,
                                 DWORD& error) {
  std::unique_lock<std::mutex> hold(P.Lock);
  error = 0;
  int index = -1;
  if (P.Enter("WaitForConnect")) return -1;
  // A printer that holds its connection answers nothing, as a dropped SYN.
  auto answered = [&] {
    for (std::size_t i = 0; i < sockets.size(); ++i) {
      auto own = P.SocketList.Find(sockets[i]);
      if (own && own->Connecting && !own->Connecting->HoldConnect) {
        index = static_cast<int>(i);
        return true;
      }
    }
    return false;
  };
  if (!P.WaitFor(hold, answered, abortEvent, timeoutMs == INFINITE ? -1 : NowMs() + timeoutMs)) return -1;
  auto own = P.SocketList.Find(sockets[static_cast<std::size_t>(index)]);
  auto peer = std::move(own->Connecting);
  if (peer->ConnectError != ERROR_SUCCESS) {
    error = peer->ConnectError;
  } else {
    ++peer->Connections;
    own->Peer = peer;
  }
  return index;
}

bool TFakeSockets::send(TSocket s, const void* data, DWORD count, DWORD& sent, THandle abortEvent) {
  std::unique_lock<std::mutex> hold(P.Lock);
  sent = 0;
  if (P.Enter("send")) return false;
  auto own = P.SocketList.Find(s);
  if (!own || !own->Peer) return P.Fail(WSAENOTCONN);
  auto peer = own->Peer;
  if (!P.WaitFor(hold, [&] { return !peer->HoldSends || !P.SocketList.Find(s); }, abortEvent, -1)) return false;
  if (!P.SocketList.Find(s)) return P.Fail(WSAENOTSOCK);
  peer->SendSizes.push_back(count);
  const std::size_t room = peer->ResetAfter - std::min(peer->ResetAfter, peer->Received.size());
  sent = static_cast<DWORD>(std::min<std::size_t>(count, room));
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  peer->Received.insert(peer->Received.end(), bytes, bytes + sent);
  own->Sent += sent;
  if (sent < count) {
    own->Reset = true;
    return P.Fail(WSAECONNRESET);
  }
  return true;
}

bool TFakeSockets::recv(TSocket s, void* data, DWORD count, DWORD& received, DWORD timeoutMs,
                        THandle abortEvent) {
  std::unique_lock<std::mutex> hold(P.Lock);
  received = 0;
  if (P.Enter("recv")) return false;
  auto own = P.SocketList.Find(s);
  if (!own || !own->Peer) return P.Fail(WSAENOTCONN);
  auto peer = own->Peer;
  auto reset = [&] {
    auto now = P.SocketList.Find(s);
    return !now || now->Reset || peer->Received.size() >= peer->ResetAfter;
  };
  auto closed = [&] { return peer->ShutdownSeen && peer->ClosesAfterShutdown; };
  if (!P.WaitFor(hold, [&] { return !peer->Replies.empty() || !peer->Floods.empty() || reset() || closed(); },
                 abortEvent, NowMs() + timeoutMs))
    return false;
  if (reset()) return P.Fail(WSAECONNRESET);
  auto* out = static_cast<std::uint8_t*>(data);
  for (std::size_t i = 0; !peer->Floods.empty() && received < count; ++i)
    out[received++] = static_cast<std::uint8_t>(peer->Floods[i % peer->Floods.size()]);
  while (received < count && !peer->Replies.empty()) {
    out[received++] = peer->Replies.front();
    peer->Replies.pop_front();
  }
  return true;
}

bool TFakeSockets::shutdown(TSocket s, int how) {
  {
    std::lock_guard<std::mutex> hold(P.Lock);
    if (P.Enter("shutdown")) return false;
    auto own = P.SocketList.Find(s);
    if (!own || !own->Peer) return P.Fail(WSAENOTCONN);
    if (how == SD_SEND || how == SD_BOTH) own->Peer->ShutdownSeen = own->Shut = true;
  }
  P.Changed.notify_all();
  return true;
}

bool TFakeSockets::GetUnacknowledged(TSocket s, DWORD& bytes) {
  std::lock_guard<std::mutex> hold(P.Lock);
  bytes = 0;
  if (P.Enter("GetUnacknowledged")) return false;
  auto own = P.SocketList.Find(s);
  if (!own || !own->Peer) return P.Fail(WSAENOTCONN);
  const std::size_t acknowledged = std::min(own->Sent, own->Peer->Acknowledges);
  // The end is acknowledged after the last byte, as TCP does.
  bytes = static_cast<DWORD>(own->Sent - acknowledged + (own->Shut && acknowledged < own->Sent ? 1 : 0));
  return true;
}

bool TFakeSockets::closesocket(TSocket s) {
  {
    std::lock_guard<std::mutex> hold(P.Lock);
    P.Enter("closesocket");
    if (!P.SocketList.Remove(s)) return P.Fail(WSAENOTSOCK);
  }
  P.Changed.notify_all();
  return true;
}

}  // namespace vornex::test
