// The transfer to a printer on the network: a TCP connection to the address
// in the port text, the file in blocks of BlockSize bytes, and the printer's
// replies to the log.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "os/Platform.h"
#include "upload/NetworkAddress.h"
#include "upload/SendLoop.h"

namespace vornex {

class TNetworkTransport : public TSendLoop {
 public:
  // The block buffer, as the USB loops have it; a larger BlockSize sends
  // blocks of this size.
  static constexpr std::size_t MaxBlockSize = 10240;
  static constexpr DWORD DefaultConnectLimitMs = 10000;
  static constexpr DWORD DefaultFinishLimitMs = 2000;

  // Connects, sends, and ends the connection so that nothing is lost to a
  // reset. TransferDone only when the whole file went and the printer did
  // not drop the connection; Cancel and a failure leave it false.
  void Send(TSendContext& c) override;

  // Looking the name up and connecting, trying each address, take at most
  // this long; tests shorten it.
  DWORD ConnectLimitMs = DefaultConnectLimitMs;
  // After the last byte: how long the printer is given to close its side.
  DWORD FinishLimitMs = DefaultFinishLimitMs;

 private:
  // Connected, or false after saying why (nothing is said after Cancel).
  bool Connect(TSendContext& c, const TNetworkAddress& where, TPlatformSocket& into);
  enum class TReplies { More, Closed, Quiet, Failed };
  // Takes what the printer has sent, waiting up to timeoutMs, to the log.
  TReplies TakeReplies(TSendContext& c, TSocket s, DWORD timeoutMs);
  // After our end was sent, and the printer has not closed its side: waits
  // until its system has acknowledged everything (or Cancel). False when
  // the connection failed meanwhile.
  bool AwaitAcknowledgement(TSendContext& c, TSocket s);
  static constexpr DWORD AcknowledgementPollMs = 100;

  DWORD LastError = 0;
};

// Messages.
std::string CannotConnectText(const std::string& where, const std::string& reason);
std::string ConnectionLostText(const std::string& where, std::int64_t bytesSent, const std::string& reason);
std::string NotANetworkPortText(const std::string& portText);

}  // namespace vornex
