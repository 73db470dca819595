// The print queues of the CUPS server that print to a raw TCP socket
// (device URI socket://HOST[:PORT]). libcups is bound at run time: without
// it, or without a server, no queue is found, at once. Internal to os/posix.
#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "os/Platform.h"

namespace vornex::posix {

class TCupsQueues {
 public:
  TCupsQueues();
  ~TCupsQueues();
  TCupsQueues(const TCupsQueues&) = delete;
  TCupsQueues& operator=(const TCupsQueues&) = delete;

  // Asks the server (the one libcups is set up for: CUPS_SERVER, client.conf,
  // the local socket). Connecting takes at most limitMs, and so does
  // waiting for its answers, in all.
  std::vector<TNetworkPrinter> Find(int limitMs);
  // Any thread: gives up a connection being made, and every later one.
  void Interrupt() { Interrupted = 1; }

  struct TApi;

 private:
  std::unique_ptr<TApi> Api;
  // libcups reads it while it connects.
  std::atomic<int> Interrupted{0};
};

// The HOST:PORT (or HOST) of a socket:// device URI; empty for any other.
std::string SocketUriAddress(const std::string& uri);

}  // namespace vornex::posix
