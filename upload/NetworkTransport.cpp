#include "upload/NetworkTransport.h"

#include <algorithm>
#include <chrono>
#include <vector>

namespace vornex {

namespace {

using Clock = std::chrono::steady_clock;

DWORD MsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left <= 0 ? 0 : static_cast<DWORD>(left);
}

}  // namespace

std::string CannotConnectText(const std::string& where, const std::string& reason) {
  return "Cannot connect to " + where + ": " + reason;
}

std::string ConnectionLostText(const std::string& where, std::int64_t bytesSent, const std::string& reason) {
  return "The connection to " + where + " was lost after " + std::to_string(bytesSent) +
         " bytes had been sent: " + reason + ". The file did not arrive whole.";
}

std::string NotANetworkPortText(const std::string& portText) {
  return "\"" + portText + "\" names no printer: write TCP:HOST or TCP:HOST:PORT (PORT 1 to 65535).";
}

bool TNetworkTransport::Connect(TSendContext& c, const TNetworkAddress& where, TPlatformSocket& into) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ConnectLimitMs);
  auto fail = [&](DWORD code) {
    // Cancel (or the time-out) is not the printer's fault: nothing to say.
    if (code != ERROR_OPERATION_ABORTED && !c.Job.CancelRequested)
      c.ShowMessage(CannotConnectText(NetworkAddressText(where), c.Platform.Reason(code)));
    return false;
  };
  std::vector<TSocketAddress> addresses;
  const int found =
      c.Platform.Sockets().getaddrinfo(where.Host, std::to_string(where.Port), addresses, ConnectLimitMs, c.CancelEvent);
  if (found != 0) return fail(static_cast<DWORD>(found));
  DWORD error = WSAETIMEDOUT;
  for (const TSocketAddress& address : addresses) {
    const DWORD left = MsLeft(deadline);
    if (left == 0) return fail(WSAETIMEDOUT);
    TPlatformSocket s(c.Platform.Sockets(), c.Platform.Sockets().socket(address.Family));
    if (!s.Valid()) {
      error = c.Platform.GetLastError();
      continue;
    }
    if (c.Platform.Sockets().connect(s.Get(), address, left, c.CancelEvent)) {
      into = std::move(s);
      return true;
    }
    error = c.Platform.GetLastError();
    if (error == ERROR_OPERATION_ABORTED) break;
  }
  return fail(error);
}

TNetworkTransport::TReplies TNetworkTransport::TakeReplies(TSendContext& c, TSocket s, DWORD timeoutMs) {
  std::uint8_t buffer[4096];
  DWORD received = 0;
  if (!c.Platform.Sockets().recv(s, buffer, sizeof buffer, received, timeoutMs, c.CancelEvent)) {
    LastError = c.Platform.GetLastError();
    return LastError == WSAETIMEDOUT || LastError == ERROR_OPERATION_ABORTED ? TReplies::Quiet : TReplies::Failed;
  }
  if (received == 0) return TReplies::Closed;
  if (c.ShowReply) c.ShowReply(buffer, received);
  return TReplies::More;
}

bool TNetworkTransport::AwaitAcknowledgement(TSendContext& c, TSocket s) {
  // The system takes a few MiB that a printer which reads nothing never
  // acknowledges: the file is there only once its system has it all. Each
  // part it takes meanwhile is progress for the monitor, whose stall rule
  // (or Cancel) ends the wait for one that takes nothing.
  DWORD last = MAXDWORD;
  while (!c.Job.CancelRequested) {
    DWORD left = 0;
    if (!c.Platform.Sockets().GetUnacknowledged(s, left)) return true;  // the system cannot tell
    if (left == 0) return true;
    if (left < last && last != MAXDWORD) c.Job.BlocksSent += 1;
    last = left;
    const TReplies r = TakeReplies(c, s, AcknowledgementPollMs);
    if (r == TReplies::Failed) return false;
    // A printer that closed its side still acknowledges what it takes.
    if (r == TReplies::Closed) c.Platform.Sleep(AcknowledgementPollMs);
  }
  // Stopped meanwhile: what never reached the printer, for whoever asks.
  if (last != MAXDWORD && last > 1)
    c.Job.StopReason = "the printer had not taken the last " + std::to_string(last - 1) + " bytes";
  return true;
}

void TNetworkTransport::Send(TSendContext& c) {
  TNetworkAddress where;
  if (!ParseNetworkPortText(c.Job.PortText, where)) {
    c.ShowMessage(NotANetworkPortText(c.Job.PortText));
    return;
  }
  TPlatformSocket s;
  if (!Connect(c, where, s)) return;
  c.Job.PortOpened = true;

  std::uint8_t block[MaxBlockSize];
  bool lost = false, allSent = false, printerClosed = false;
  std::size_t unheard = 0;  // bytes sent since the printer was last listened to
  while (!c.Job.CancelRequested) {
    const auto size = static_cast<std::size_t>(
        std::clamp<std::int32_t>(c.Job.BlockSize, 0, static_cast<std::int32_t>(MaxBlockSize)));
    const std::size_t n = c.Job.FileData.Read(block, size);
    if (n == 0) {
      allSent = true;
      break;
    }
    DWORD sent = 0;
    const bool ok = c.Platform.Sockets().send(s.Get(), block, static_cast<DWORD>(n), sent, c.CancelEvent);
    // Counted as the system takes them, so the monitor sees a printer that
    // stops reading as a stall.
    c.Job.BytesSent += static_cast<std::int32_t>(sent);
    if (!ok) {
      LastError = c.Platform.GetLastError();
      lost = LastError != ERROR_OPERATION_ABORTED && !c.Job.CancelRequested;
      break;
    }
    c.Job.BlocksSent += 1;
    // What the printer says meanwhile, without waiting for it, once a
    // buffer's worth has gone (small blocks would double the calls). A
    // printer that closed its side may still read; a reset ends the transfer.
    unheard += n;
    if (unheard < MaxBlockSize) continue;
    unheard = 0;
    for (TReplies r = TReplies::More; r == TReplies::More && !printerClosed;) {
      r = TakeReplies(c, s.Get(), 0);
      printerClosed = r == TReplies::Closed;
      lost = r == TReplies::Failed;
    }
    if (lost) break;
  }

  if (allSent) {
    // The end of the file is told by closing our side; the printer's answer
    // is read until it closes too, as closing with its bytes unread would
    // reset the connection and may cost the tail of the job.
    if (!c.Platform.Sockets().shutdown(s.Get(), SD_SEND)) {
      LastError = c.Platform.GetLastError();
      lost = true;
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(FinishLimitMs);
    for (TReplies r = TReplies::More; !lost && !printerClosed && r == TReplies::More;) {
      const DWORD left = MsLeft(deadline);
      if (left == 0) break;
      r = TakeReplies(c, s.Get(), left);
      printerClosed = r == TReplies::Closed;
      lost = r == TReplies::Failed;
    }
    if (!lost && !printerClosed) lost = !AwaitAcknowledgement(c, s.Get());
  }
  s.Reset();
  if (allSent && !lost && !c.Job.CancelRequested) c.Job.TransferDone = true;
  if (lost)
    c.ShowMessage(ConnectionLostText(NetworkAddressText(where), c.Job.BytesSent, c.Platform.Reason(LastError)));
}

}  // namespace vornex
