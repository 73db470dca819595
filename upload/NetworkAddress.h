// The port text of a printer on the network: TCP:HOST or TCP:HOST:PORT, HOST
// a name, an IPv4 address or a bracketed IPv6 address (TCP:[fe80::1%eth0]).
// A space ends the address; what follows is a label, such as the printer's
// name the port list shows beside it, but never a number.
#pragma once

#include <cstdint>
#include <string>

namespace vornex {

inline constexpr char NetworkPortPrefix[] = "TCP:";
// Raw printing's port (AppSocket, JetDirect).
inline constexpr std::uint16_t DefaultPrinterPort = 9100;

struct TNetworkAddress {
  std::string Host;  // without brackets
  std::uint16_t Port = DefaultPrinterPort;
};

// The text names a network printer: it starts with TCP: in any case.
bool IsNetworkPortText(const std::string& text);
// HOST, HOST:PORT, [IPv6] or [IPv6]:PORT, with nothing after it; an IPv6
// address with more than one colon may stand without brackets when no port
// follows. False when the text is none of these.
bool ParseNetworkAddress(const std::string& text, TNetworkAddress& address);
// The address in a port text, a label after it ignored; false too when
// what follows the address begins with a digit (a port after a space).
bool ParseNetworkPortText(const std::string& portText, TNetworkAddress& address);
// HOST:PORT, an IPv6 address in brackets: how messages name a printer.
std::string NetworkAddressText(const TNetworkAddress& address);
// TCP:HOST:PORT, and " (label)" when there is one: an entry of the port list.
std::string NetworkPortText(const TNetworkAddress& address, const std::string& label = "");

}  // namespace vornex
