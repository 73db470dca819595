#include "tests/support/FakeRoles.h"

namespace vornex::test {

bool TFakeDiscovery::EnumPortsA(std::vector<std::string>& portNames) {
  std::lock_guard<std::mutex> hold(P.Lock);
  if (P.Enter("EnumPortsA")) return false;
  if (P.SpoolerFails) return P.Fail(ERROR_INVALID_PARAMETER);
  portNames = P.SpoolerPorts;
  return true;
}

bool TFakeDiscovery::EnumNetworkPrinters(TNetworkSearch& found, DWORD waitMs) {
  std::lock_guard<std::mutex> hold(P.Lock);
  if (P.Enter("EnumNetworkPrinters")) return false;
  P.NetworkPrinterWaits.push_back(waitMs);
  found.Printers = P.NetworkPrinters;
  found.Failures = P.NetworkSourceFailures;
  return true;
}

}  // namespace vornex::test
