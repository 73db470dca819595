// Sockets in Winsock's terms: TCP streams to printers on the network.
#pragma once

#include <string>
#include <vector>

#include "os/OwnedHandle.h"
#include "os/WinTypes.h"

namespace vornex {

// An address a socket can connect to, in the system's own form (a sockaddr
// as its getaddrinfo gave it).
struct TSocketAddress {
  int Family = 0;
  int Length = 0;
  BYTE Data[128] = {};
};

// A failure leaves a Winsock code (WSAECONNREFUSED...) for GetLastError.
// A call that waits takes a time limit, which ends it with WSAETIMEDOUT, and
// the abort event, which ends it at once with ERROR_OPERATION_ABORTED.
class TSockets {
 public:
  virtual ~TSockets() = default;

  // The addresses host and port stand for, in the system's order: 0, or the
  // code of the failure.
  virtual int getaddrinfo(const std::string& host, const std::string& port,
                          std::vector<TSocketAddress>& addresses, DWORD timeoutMs,
                          THandle abortEvent) = 0;
  // A stream socket of the address family; InvalidSocket on failure.
  virtual TSocket socket(int family) = 0;
  virtual bool connect(TSocket s, const TSocketAddress& address, DWORD timeoutMs,
                       THandle abortEvent) = 0;
  // Blocks until the system has taken all count bytes. `sent` says how many
  // it took, also when the call fails or is aborted.
  virtual bool send(TSocket s, const void* data, DWORD count, DWORD& sent,
                    THandle abortEvent) = 0;
  // Waits up to timeoutMs (0: takes only what is there) for bytes. Success
  // with nothing received: the peer has closed its side.
  virtual bool recv(TSocket s, void* data, DWORD count, DWORD& received, DWORD timeoutMs,
                    THandle abortEvent) = 0;
  virtual bool shutdown(TSocket s, int how) = 0;
  // After shutdown(SD_SEND): how much of what was sent the peer's system has
  // not acknowledged yet, the end of the stream included (0: it has it all;
  // a peer that reads nothing leaves it in our queue). False when the
  // system cannot tell.
  virtual bool GetUnacknowledged(TSocket s, DWORD& bytes) = 0;
  virtual bool closesocket(TSocket s) = 0;
};

// Closes a socket when it goes out of scope.
using TPlatformSocket = TOwnedHandle<TSockets, &TSockets::closesocket>;

}  // namespace vornex
