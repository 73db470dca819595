// Sockets through Winsock, started with the role and stopped with it.
// Internal to os/win32.
#pragma once

#include <memory>

#include "os/Sockets.h"

namespace vornex {

namespace win32 {
class TSocketTable;
}

class TWin32Sockets : public TSockets {
 public:
  TWin32Sockets();
  ~TWin32Sockets() override;

  int getaddrinfo(const std::string& host, const std::string& port, std::vector<TSocketAddress>& addresses,
                  DWORD timeoutMs, THandle abortEvent) override;
  TSocket socket(int family) override;
  bool connect(TSocket s, const TSocketAddress& address, DWORD timeoutMs, THandle abortEvent) override;
  bool send(TSocket s, const void* data, DWORD count, DWORD& sent, THandle abortEvent) override;
  bool recv(TSocket s, void* data, DWORD count, DWORD& received, DWORD timeoutMs,
            THandle abortEvent) override;
  bool shutdown(TSocket s, int how) override;
  bool GetUnacknowledged(TSocket s, DWORD& bytes) override;
  bool closesocket(TSocket s) override;

 private:
  std::unique_ptr<win32::TSocketTable> Table;
};

}  // namespace vornex
