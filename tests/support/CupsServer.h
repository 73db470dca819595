// A CUPS server of a test's own, listening on a socket in its folder, with
// CUPS's own backends: a queue whose device is socket://127.0.0.1:PORT
// prints to whatever listens there. Started by the constructor and stopped
// with the object; Reason() says why it did not start. Its commands (lpadmin,
// cupsdisable, lpstat...) are run against it by Run.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace vornex::test {

class TCupsServer {
 public:
  TCupsServer();
  ~TCupsServer();
  TCupsServer(const TCupsServer&) = delete;
  TCupsServer& operator=(const TCupsServer&) = delete;

  const std::string& Reason() const { return Why; }
  // What CUPS_SERVER names to reach it.
  const std::string& Socket() const { return SocketPath; }
  // A CUPS command against this server (-h SOCKET after the program's name):
  // empty when it succeeded, else what it said.
  std::string Run(std::vector<std::string> command);
  // A raw queue printing to the URI, described as given.
  std::string AddRawQueue(const std::string& name, const std::string& deviceUri,
                          const std::string& description = "");
  // The ids of the queue's jobs that are not yet over (lpstat -o).
  std::vector<std::string> PendingJobs(const std::string& queue);
  // The server's log, for a failure's message.
  std::string Log() const;

 private:
  TTempDir Dir;
  std::string SocketPath;
  std::unique_ptr<TBackground> Daemon;
  std::string Why;
};

}  // namespace vornex::test
