// Sockets in Winsock's terms over BSD sockets. Internal to os/posix.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "os/Sockets.h"
#include "os/posix/PosixKernel.h"

namespace vornex {

namespace posix {

struct TLookup;

// The lookups given up on (Cancel, the time limit) that the resolver had
// begun: held until it has finished with each, so that it never writes to
// memory that is gone. Those it still holds when the table goes are kept
// for the rest of the process; nothing waits for them.
class TLookupTable {
 public:
  TLookupTable() = default;
  ~TLookupTable();
  TLookupTable(const TLookupTable&) = delete;
  TLookupTable& operator=(const TLookupTable&) = delete;

  void Abandon(std::shared_ptr<TLookup> lookup);
  // Lets go of those the resolver is done with.
  void Reap();
  std::size_t Pending();

 private:
  std::mutex Lock;
  std::vector<std::shared_ptr<TLookup>> Abandoned;
};

}  // namespace posix

class TPosixSockets : public TSockets {
 public:
  explicit TPosixSockets(posix::TKernel& kernel);
  ~TPosixSockets() override;

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

  // Lookups given up on that the resolver has not finished yet.
  std::size_t LookupsPending();
  // Whether lookups share the C library's few resolver threads; a build
  // for ThreadSanitizer gives each lookup a thread of its own.
  static const bool SharedResolverThreads;

 private:
  posix::TKernel& Kernel;
  std::unique_ptr<posix::TLookupTable> Lookups;
};

}  // namespace vornex
