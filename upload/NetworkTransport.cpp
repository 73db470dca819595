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

// The addresses in the system's order, but the families taking turns
// (RFC 8305): a family that does not work here delays the other by one
// attempt at most.
std::vector<TSocketAddress> TakingTurns(const std::vector<TSocketAddress>& addresses) {
  if (addresses.empty()) return {};
  std::vector<TSocketAddress> first, other;
  for (const TSocketAddress& a : addresses) (a.Family == addresses.front().Family ? first : other).push_back(a);
  std::vector<TSocketAddress> order;
  for (std::size_t i = 0; i < first.size() || i < other.size(); ++i) {
    if (i < first.size()) order.push_back(first[i]);
    if (i < other.size()) order.push_back(other[i]);
  }
  return order;
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

std::string RepliesDroppedText(std::size_t bytes) {
  return "[" + std::to_string(bytes) + " more bytes from the printer were not shown]";
}

bool TNetworkTransport::Connect(TSendContext& c, const TNetworkAddress& where, TPlatformSocket& into) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ConnectLimitMs);
  auto fail = [&](DWORD code) {
    // Cancel (or the time-out) is not the printer's fault: nothing to say.
    if (code != ERROR_OPERATION_ABORTED && !c.Job.CancelRequested)
      c.ShowMessage(CannotConnectText(NetworkAddressText(where), c.Platform.Reason(code)));
    return false;
  };
  TSockets& sockets = c.Platform.Sockets();
  std::vector<TSocketAddress> found;
  const int lookup = sockets.getaddrinfo(where.Host, std::to_string(where.Port), found, ConnectLimitMs, c.CancelEvent);
  if (lookup != 0) return fail(static_cast<DWORD>(lookup));
  const std::vector<TSocketAddress> addresses = TakingTurns(found);

  // Each address gets AttemptDelayMs alone; one that has not answered by
  // then goes on beside the next, and the first to connect is taken. One
  // that fails lets the next start at once.
  std::vector<TPlatformSocket> attempts;
  std::size_t next = 0;
  Clock::time_point nextStart = Clock::now();
  DWORD error = WSAETIMEDOUT;
  for (;;) {
    while (next < addresses.size() && attempts.size() < MaxAttempts &&
           (attempts.empty() || Clock::now() >= nextStart)) {
      const TSocketAddress& address = addresses[next++];
      TPlatformSocket s(sockets, sockets.socket(address.Family));
      if (!s.Valid() || !sockets.ConnectStart(s.Get(), address)) {
        error = c.Platform.GetLastError();
        continue;
      }
      attempts.push_back(std::move(s));
      nextStart = Clock::now() + std::chrono::milliseconds(AttemptDelayMs);
      break;
    }
    if (attempts.empty()) return fail(error);
    const DWORD left = MsLeft(deadline);
    if (left == 0) return fail(WSAETIMEDOUT);
    const bool more = next < addresses.size() && attempts.size() < MaxAttempts;
    std::vector<TSocket> waiting;
    for (const auto& a : attempts) waiting.push_back(a.Get());
    DWORD outcome = 0;
    const int answered =
        sockets.WaitForConnect(waiting, more ? std::min(left, MsLeft(nextStart)) : left, c.CancelEvent, outcome);
    if (answered < 0) {
      const DWORD why = c.Platform.GetLastError();
      if (why != WSAETIMEDOUT) return fail(why);
      continue;
    }
    auto it = attempts.begin() + answered;
    if (outcome == 0) {
      into = std::move(*it);
      return true;
    }
    error = outcome;
    attempts.erase(it);
    nextStart = Clock::now();
  }
}

TNetworkTransport::TReplies TNetworkTransport::TakeReplies(TSendContext& c, TSocket s, DWORD timeoutMs) {
  std::uint8_t buffer[4096];
  DWORD received = 0;
  if (!c.Platform.Sockets().recv(s, buffer, sizeof buffer, received, timeoutMs, c.CancelEvent)) {
    LastError = c.Platform.GetLastError();
    return LastError == WSAETIMEDOUT || LastError == ERROR_OPERATION_ABORTED ? TReplies::Quiet : TReplies::Failed;
  }
  if (received == 0) return TReplies::Closed;
  // A printer that keeps talking fills neither the log nor the terminal.
  const std::size_t shown = std::min<std::size_t>(received, MaxShownReplyBytes - RepliesShown);
  if (shown > 0 && c.ShowReply) c.ShowReply(buffer, shown);
  RepliesShown += shown;
  RepliesDropped += received - shown;
  return TReplies::More;
}

bool TNetworkTransport::TakeWaitingReplies(TSendContext& c, TSocket s, bool& printerClosed) {
  // A printer that closed its side may still read; a reset ends the transfer.
  const std::size_t before = RepliesShown + RepliesDropped;
  for (TReplies r = TReplies::More; r == TReplies::More && !printerClosed && !c.Job.CancelRequested &&
                                    RepliesShown + RepliesDropped - before < MaxRepliesPerBlock;) {
    r = TakeReplies(c, s, 0);
    printerClosed = r == TReplies::Closed;
    if (r == TReplies::Failed) return false;
  }
  return true;
}

std::int64_t TNetworkTransport::Acknowledged(TSendContext& c, TSocket s) {
  DWORD outstanding = 0;
  if (!c.Platform.Sockets().GetUnacknowledged(s, outstanding)) return Taken;
  // Once our side is shut, the end itself is outstanding until the last
  // byte has been acknowledged.
  const std::int64_t data = Shut && outstanding > 0 ? outstanding - 1 : outstanding;
  return std::max<std::int64_t>(0, Taken - data);
}

TNetworkTransport::TAcknowledged TNetworkTransport::AwaitAcknowledgement(TSendContext& c, TSocket s,
                                                                         bool& printerClosed) {
  // The system takes a few MiB that a printer which reads nothing never
  // acknowledges: the file is there only once its system has it all. Each
  // part it acknowledges meanwhile is progress for the monitor, whose stall
  // rule (or Cancel) ends the wait for one that takes nothing more.
  DWORD last = MAXDWORD;
  for (;;) {
    DWORD outstanding = 0;
    // A system that cannot tell (Windows before 10 1703): the file is taken
    // as there, and the printer is given its time to close below; waiting
    // for a close it may never make would fail every good transfer.
    if (!c.Platform.Sockets().GetUnacknowledged(s, outstanding) || outstanding == 0) return TAcknowledged::All;
    if (outstanding < last) {
      if (last != MAXDWORD) c.Job.BlocksSent += 1;
      last = outstanding;
      c.Job.BytesSent = static_cast<std::int32_t>(Acknowledged(c, s));
    }
    if (c.Job.CancelRequested) {
      // What never reached the printer, for whoever asks why it stopped.
      const DWORD data = Shut && outstanding > 0 ? outstanding - 1 : outstanding;
      if (data > 0) c.Job.StopReason = "the printer had not taken the last " + std::to_string(data) + " bytes";
      return TAcknowledged::Stopped;
    }
    if (printerClosed) {
      // Nothing more to read: the wait is on Cancel alone.
      c.Platform.WaitForSingleObject(c.CancelEvent, AcknowledgementPollMs);
      continue;
    }
    const TReplies r = TakeReplies(c, s, AcknowledgementPollMs);
    if (r == TReplies::Failed) return TAcknowledged::Lost;
    printerClosed = r == TReplies::Closed;
  }
}

void TNetworkTransport::Send(TSendContext& c) {
  TNetworkAddress where;
  if (!ParseNetworkPortText(c.Job.PortText, where)) {
    c.ShowMessage(NotANetworkPortText(c.Job.PortText));
    return;
  }
  Taken = 0;
  Shut = false;
  RepliesShown = RepliesDropped = 0;
  TPlatformSocket s;
  if (!Connect(c, where, s)) return;
  TSockets& sockets = c.Platform.Sockets();
  // Reached: a printer that fails from here on is not tried again.
  c.Job.PortOpened = true;

  std::uint8_t block[MaxBlockSize];
  bool lost = false, allSent = false, printerClosed = false, done = false;
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
    const bool ok = sockets.send(s.Get(), block, static_cast<DWORD>(n), sent, c.CancelEvent);
    Taken += sent;
    if (!ok) {
      LastError = c.Platform.GetLastError();
      lost = LastError != ERROR_OPERATION_ABORTED && !c.Job.CancelRequested;
      break;
    }
    // What the printer has acknowledged, so that one that stops reading is
    // seen as a stall once the system's buffers are full.
    c.Job.BytesSent = static_cast<std::int32_t>(Acknowledged(c, s.Get()));
    c.Job.BlocksSent += 1;
    // What the printer says meanwhile, without waiting for it, once a
    // buffer's worth has gone (small blocks would double the calls).
    unheard += n;
    if (unheard < MaxBlockSize) continue;
    unheard = 0;
    if (!TakeWaitingReplies(c, s.Get(), printerClosed)) {
      lost = true;
      break;
    }
  }

  if (allSent) {
    // The end of the file is told by closing our side.
    Shut = sockets.shutdown(s.Get(), SD_SEND);
    if (!Shut) {
      LastError = c.Platform.GetLastError();
      lost = true;
    }
    if (!lost) {
      switch (AwaitAcknowledgement(c, s.Get(), printerClosed)) {
        case TAcknowledged::All: done = true; break;
        case TAcknowledged::Lost: lost = true; break;
        case TAcknowledged::Stopped: break;
      }
    }
    // The printer has it all; its answer is read until it closes too, as
    // closing with its bytes unread would reset the connection, which may
    // cost the tail of the job it has not read yet. A Cancel now only ends
    // this wait.
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(FinishLimitMs);
    for (TReplies r = TReplies::More; done && !lost && !printerClosed && !c.Job.CancelRequested && r != TReplies::Failed;) {
      const DWORD left = MsLeft(deadline);
      if (left == 0) break;
      r = TakeReplies(c, s.Get(), left);
      printerClosed = r == TReplies::Closed;
      lost = r == TReplies::Failed;
    }
    if (lost) done = false;
  }
  // Whatever happened, never more than the printer acknowledged.
  c.Job.BytesSent = static_cast<std::int32_t>(done ? Taken : Acknowledged(c, s.Get()));
  s.Reset();
  if (done) c.Job.TransferDone = true;
  if (RepliesDropped > 0 && c.ShowNote) c.ShowNote(RepliesDroppedText(RepliesDropped));
  if (lost)
    c.ShowMessage(ConnectionLostText(NetworkAddressText(where), c.Job.BytesSent, c.Platform.Reason(LastError)));
}

}  // namespace vornex
