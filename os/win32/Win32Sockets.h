// Sockets through Winsock, started with the role and stopped with it.
// Internal to os/win32.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "os/Sockets.h"

namespace vornex {

namespace win32 {
class TSocketTable;
struct TLookup;

// The lookups' threads, each joined once its lookup is over: those that
// ended as new ones start, the rest when the table goes (each ends when
// Windows' resolver answers or gives up).
class TLookupThreads {
 public:
  TLookupThreads() = default;
  ~TLookupThreads();
  TLookupThreads(const TLookupThreads&) = delete;
  TLookupThreads& operator=(const TLookupThreads&) = delete;
  // A lookup started on a thread of its own; nothing when none can start.
  std::shared_ptr<TLookup> Start(const std::string& host, const std::string& port);

 private:
  std::mutex Lock;
  std::vector<std::shared_ptr<TLookup>> Running;
};
}  // namespace win32

class TWin32Sockets : public TSockets {
 public:
  TWin32Sockets();
  ~TWin32Sockets() override;

  int getaddrinfo(const std::string& host, const std::string& port, std::vector<TSocketAddress>& addresses,
                  DWORD timeoutMs, THandle abortEvent) override;
  TSocket socket(int family) override;
  bool ConnectStart(TSocket s, const TSocketAddress& address) override;
  int WaitForConnect(const std::vector<TSocket>& sockets, DWORD timeoutMs, THandle abortEvent,
                     DWORD& error) override;
  bool send(TSocket s, const void* data, DWORD count, DWORD& sent, THandle abortEvent) override;
  bool recv(TSocket s, void* data, DWORD count, DWORD& received, DWORD timeoutMs,
            THandle abortEvent) override;
  bool shutdown(TSocket s, int how) override;
  bool GetUnacknowledged(TSocket s, DWORD& bytes) override;
  bool closesocket(TSocket s) override;

 private:
  std::unique_ptr<win32::TSocketTable> Table;
  // After the table: its threads are joined before Winsock is stopped.
  std::unique_ptr<win32::TLookupThreads> Lookups;
};

}  // namespace vornex
