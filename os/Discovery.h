// Where printers are found beyond the registry: the spooler's ports and the
// printers the system knows on the network.
#pragma once

#include <string>
#include <vector>

#include "os/WinTypes.h"

namespace vornex {

// A printer the system knows on the network.
struct TNetworkPrinter {
  // HOST:PORT, [IPv6]:PORT, or HOST alone when no port was given.
  std::string Address;
  // What it is called there: the announced service's or the queue's name.
  std::string Name;
};

// A source of printers on the network that could not be asked: its
// library missing, its daemon not running, no permission.
struct TSourceFailure {
  std::string Source;  // how the user knows it: "DNS-SD (Avahi)", "CUPS"
  DWORD Error = 0;     // the reason, for FormatMessageA
};

// What a search for printers on the network found.
struct TNetworkSearch {
  std::vector<TNetworkPrinter> Printers;
  // Sources that found nothing because they failed, each once.
  std::vector<TSourceFailure> Failures;
};

class TDiscovery {
 public:
  virtual ~TDiscovery() = default;

  // The port names of EnumPortsA at level 2, in the spooler's order.
  virtual bool EnumPortsA(std::vector<std::string>& portNames) = 0;
  // The printers the system announces or has set up beside the spooler's
  // ports (DNS-SD, the print system's queues). A search starts unless one
  // runs; the call waits up to waitMs for it, and when it takes longer
  // answers with what that search has found so far beside what the last
  // finished one found. The failures are those of each source's last
  // finished search.
  virtual bool EnumNetworkPrinters(TNetworkSearch& found, DWORD waitMs) = 0;
};

}  // namespace vornex
