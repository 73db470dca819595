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
  // Starts connecting s to address and returns at once: true while it is
  // connecting (or has connected), false when it failed at once. Several
  // sockets may be connecting at the same time.
  virtual bool ConnectStart(TSocket s, const TSocketAddress& address) = 0;
  // Waits up to timeoutMs for the first of these connecting sockets to
  // connect or fail: its index, with `error` 0 when it has connected or the
  // code of its failure. -1 when none did in time (WSAETIMEDOUT) or the
  // abort event came, the code for GetLastError.
  virtual int WaitForConnect(const std::vector<TSocket>& sockets, DWORD timeoutMs, THandle abortEvent,
                             DWORD& error) = 0;
  // Blocks until the system has taken all count bytes. `sent` says how many
  // it took, also when the call fails or is aborted.
  virtual bool send(TSocket s, const void* data, DWORD count, DWORD& sent,
                    THandle abortEvent) = 0;
  // Waits up to timeoutMs (0: takes only what is there) for bytes. Success
  // with nothing received: the peer has closed its side.
  virtual bool recv(TSocket s, void* data, DWORD count, DWORD& received, DWORD timeoutMs,
                    THandle abortEvent) = 0;
  virtual bool shutdown(TSocket s, int how) = 0;
  // What the peer's system has not acknowledged yet of what was sent, sent
  // or still queued; the end of the stream counts one once our side is
  // shut. 0: it has everything. False when the system cannot tell.
  virtual bool GetUnacknowledged(TSocket s, DWORD& bytes) = 0;
  virtual bool closesocket(TSocket s) = 0;
};

// Closes a socket when it goes out of scope.
using TPlatformSocket = TOwnedHandle<TSockets, &TSockets::closesocket>;

}  // namespace vornex
