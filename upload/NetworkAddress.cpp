#include "upload/NetworkAddress.h"

#include <algorithm>
#include <cctype>

#include "upload/ShownText.h"

namespace vornex {

namespace {

bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

bool ParsePort(const std::string& digits, std::uint16_t& port) {
  if (digits.empty() || digits.size() > 5) return false;
  unsigned value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value < 1 || value > 65535) return false;
  port = static_cast<std::uint16_t>(value);
  return true;
}

bool NameCharacter(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.'; }

// Hex digits, colons and dots, and an interface after % (fe80::1%eth0).
bool LooksLikeIpv6(const std::string& host) {
  const std::size_t percent = host.find('%');
  const std::string address = host.substr(0, percent);
  const std::string zone = percent == std::string::npos ? "x" : host.substr(percent + 1);
  return address.find(':') != std::string::npos && !zone.empty() &&
         std::all_of(zone.begin(), zone.end(), NameCharacter) &&
         std::all_of(address.begin(), address.end(),
                     [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.'; });
}

// A name (letters, digits, '-', '_', '.'), an IPv4 address, or an IPv6 one.
bool UsableHost(const std::string& host) {
  if (host.empty()) return false;
  if (host.find(':') != std::string::npos) return LooksLikeIpv6(host);
  return std::all_of(host.begin(), host.end(), NameCharacter);
}

}  // namespace

bool IsNetworkPortText(const std::string& text) {
  // tcp: as well, as com1 names a serial port.
  const std::size_t n = sizeof NetworkPortPrefix - 1;
  if (text.size() < n) return false;
  for (std::size_t i = 0; i < n; ++i)
    if (std::toupper(static_cast<unsigned char>(text[i])) != NetworkPortPrefix[i]) return false;
  return true;
}

bool ParseNetworkAddress(const std::string& text, TNetworkAddress& address) {
  TNetworkAddress a;
  if (!text.empty() && text[0] == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string::npos) return false;
    a.Host = text.substr(1, close - 1);
    if (a.Host.find(':') == std::string::npos) return false;
    const std::string rest = text.substr(close + 1);
    if (!rest.empty() && (rest[0] != ':' || !ParsePort(rest.substr(1), a.Port))) return false;
  } else {
    const std::size_t colon = text.find(':');
    if (colon != std::string::npos && text.find(':', colon + 1) == std::string::npos) {
      a.Host = text.substr(0, colon);
      if (!ParsePort(text.substr(colon + 1), a.Port)) return false;
    } else {
      // A name, an IPv4 address, or an IPv6 address without a port.
      a.Host = text;
    }
  }
  if (!UsableHost(a.Host)) return false;
  address = a;
  return true;
}

bool ParseNetworkPortText(const std::string& portText, TNetworkAddress& address) {
  if (!IsNetworkPortText(portText)) return false;
  std::size_t start = sizeof NetworkPortPrefix - 1;
  while (start < portText.size() && IsSpace(portText[start])) ++start;
  std::size_t end = start;
  while (end < portText.size() && !IsSpace(portText[end])) ++end;
  // A label follows; digits there are a port written in the wrong place
  // (TCP:host 9101), not a name, and are not silently passed over.
  std::size_t label = end;
  while (label < portText.size() && IsSpace(portText[label])) ++label;
  if (label < portText.size() && std::isdigit(static_cast<unsigned char>(portText[label]))) return false;
  return ParseNetworkAddress(portText.substr(start, end - start), address);
}

std::string NetworkAddressText(const TNetworkAddress& address) {
  const bool v6 = address.Host.find(':') != std::string::npos;
  return (v6 ? "[" + address.Host + "]" : address.Host) + ":" + std::to_string(address.Port);
}

std::string NetworkPortText(const TNetworkAddress& address, const std::string& label) {
  // A name from the network may hold anything: it is shown, not obeyed.
  const std::string shown = ShownLine(label);
  return NetworkPortPrefix + NetworkAddressText(address) + (shown.empty() ? "" : " (" + shown + ")");
}

}  // namespace vornex
