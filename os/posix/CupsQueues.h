// The print queues of the CUPS server that print to a raw TCP socket
// (device URI socket://HOST[:PORT]). libcups is bound at run time: without
// it, or without a server, no queue is found, at once, and the reason is
// kept. Internal to os/posix.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "os/Discovery.h"
#include "os/ReasonTexts.h"

namespace vornex::posix {

class TCupsQueues {
 public:
  // Reasons are kept among the platform's texts.
  explicit TCupsQueues(TReasonTexts& reasons);
  ~TCupsQueues();
  TCupsQueues(const TCupsQueues&) = delete;
  TCupsQueues& operator=(const TCupsQueues&) = delete;

  // Asks the server (the one libcups is set up for: CUPS_SERVER, client.conf,
  // the local socket). Connecting takes at most limitMs, and so does
  // waiting for its answers, in all. 0, or the code of why the server
  // could not be asked (the queues found are then none).
  DWORD Find(int limitMs, std::vector<TNetworkPrinter>& queues);
  // Any thread: gives up a connection being made, and every later one.
  void Interrupt();

  struct TApi;

 private:
  TReasonTexts& Reasons;
  std::unique_ptr<TApi> Api;
  DWORD LoadError = 0;
  // libcups reads it while it connects, as a plain int: written and read
  // here only atomically.
  int Interrupted = 0;
};

// The HOST:PORT (or HOST) of a socket:// device URI; empty for any other.
std::string SocketUriAddress(const std::string& uri);

}  // namespace vornex::posix
