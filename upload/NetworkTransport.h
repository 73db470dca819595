// The transfer to a printer on the network: a TCP connection to the address
// in the port text (each address of a name tried in turn, overlapping), the
// file in blocks of BlockSize bytes, and the printer's replies to the log.
// Done only once the printer's system has acknowledged every byte.
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
  // How long one address of a name is tried alone before the next is tried
  // beside it (Happy Eyeballs, RFC 8305), and how many at most at once.
  static constexpr DWORD AttemptDelayMs = 250;
  static constexpr std::size_t MaxAttempts = 16;
  // How often the printer's acknowledgement is looked at while it is awaited.
  static constexpr DWORD AcknowledgementPollMs = 50;
  // What the printer sends back is shown up to this much a transfer; the
  // rest is counted and dropped, and the log says so.
  static constexpr std::size_t MaxShownReplyBytes = 4096;
  // Read after a block at most, so that a printer that never stops talking
  // still gets the next block and Cancel is still seen.
  static constexpr std::size_t MaxRepliesPerBlock = 65536;

  // Connects, sends, and waits until the printer's system has acknowledged
  // the whole file and the end of it. TransferDone only then (a Cancel
  // after that only ends the wait for the printer to close); a failure or a
  // Cancel before leaves it false, with BytesSent the bytes acknowledged.
  void Send(TSendContext& c) override;

  // Looking the name up and connecting, trying each address, take at most
  // this long; tests shorten it.
  DWORD ConnectLimitMs = DefaultConnectLimitMs;
  // Once all is acknowledged: how long the printer is given to close its side.
  DWORD FinishLimitMs = DefaultFinishLimitMs;

 private:
  // Connected, or false after saying why (nothing is said after Cancel).
  bool Connect(TSendContext& c, const TNetworkAddress& where, TPlatformSocket& into);
  enum class TReplies { More, Closed, Quiet, Failed };
  // Takes what the printer has sent, waiting up to timeoutMs, to the log.
  TReplies TakeReplies(TSendContext& c, TSocket s, DWORD timeoutMs);
  // What has come meanwhile, a bounded amount; false when the connection
  // failed.
  bool TakeWaitingReplies(TSendContext& c, TSocket s, bool& printerClosed);
  enum class TAcknowledged { All, Lost, Stopped };
  // After our end was sent: until the printer's system has acknowledged
  // everything, the connection fails, or Cancel.
  TAcknowledged AwaitAcknowledgement(TSendContext& c, TSocket s, bool& printerClosed);
  // Bytes of the file the printer's system has acknowledged so far.
  std::int64_t Acknowledged(TSendContext& c, TSocket s);

  DWORD LastError = 0;
  // The transfer's: bytes the system took, whether our end was sent, and
  // the replies shown and dropped.
  std::int64_t Taken = 0;
  bool Shut = false;
  std::size_t RepliesShown = 0, RepliesDropped = 0;
};

// Messages.
std::string CannotConnectText(const std::string& where, const std::string& reason);
std::string ConnectionLostText(const std::string& where, std::int64_t bytesSent, const std::string& reason);
std::string NotANetworkPortText(const std::string& portText);
// The log's line after a transfer whose replies were not all shown.
std::string RepliesDroppedText(std::size_t bytes);

}  // namespace vornex
