// Sockets in Winsock's terms over BSD sockets. Internal to os/posix.
#pragma once

#include "os/Sockets.h"
#include "os/posix/PosixKernel.h"

namespace vornex {

class TPosixSockets : public TSockets {
 public:
  explicit TPosixSockets(posix::TKernel& kernel) : Kernel(kernel) {}

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
  posix::TKernel& Kernel;
};

}  // namespace vornex
