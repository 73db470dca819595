#include "upload/ParallelTransport.h"

#include "upload/PortErrors.h"

namespace vornex {

void TParallelTransport::Send(TSendContext& c) { SendToParallelPort(c); }

void TParallelTransport::SendToParallelPort(TSendContext& c) {
  const std::string what = PortCalled(c.Job.PortText);
  // Held alone for the transfer: a second sender would mix its file in.
  TPlatformHandle port(c.Platform, c.Platform.Devices().OpenPortA(c.Job.PortText, GENERIC_WRITE, 0,
                                                                  FILE_FLAG_OVERLAPPED));
  if (!port.Valid()) {
    const DWORD error = c.Platform.GetLastError();
    // A file where a port should be, or a port another program holds, is
    // said at once: nothing is written to either.
    if (error == ERROR_BAD_DEVICE || error == ERROR_SHARING_VIOLATION) {
      c.ShowMessage(CantOpenText(c.Platform, what, error));
      return;
    }
    // Any other failure is not shown here: its first write fails and the
    // transfer stops.
    c.Job.StopReason = CantOpenText(c.Platform, what, error);
  } else {
    c.Job.PortOpened = true;
  }
  if (!ParallelWriteEvent.Valid())
    ParallelWriteEvent = TPlatformHandle(c.Platform, c.Platform.CreateEventA(true, true));
  c.Job.TransferDone = false;
  std::uint8_t block[BlockSize];
  for (;;) {
    if (c.Job.CancelRequested) break;
    const std::size_t n = c.Job.FileData.Read(block, BlockSize);
    const bool endOfData = c.Job.FileData.AtEnd();
    DWORD written = 0;
    // Cancel ends a write the port does not take, rather than waiting out
    // its limit.
    const DWORD outcome = c.Platform.Devices().WriteFileTimed(port.Get(), block, static_cast<DWORD>(n),
                                                              ParallelWriteEvent.Get(), WriteLimitMs, written,
                                                              c.CancelEvent);
    if (outcome == WAIT_TIMEOUT) {
      c.Platform.Devices().CancelIo(port.Get());
      port.Reset();
      if (c.Job.StopReason.empty())
        c.Job.StopReason = what + " took no data for " + std::to_string(WriteLimitMs / 1000) + " s.";
    } else if (outcome == WAIT_OBJECT_0 + 1) {
      port.Reset();
    } else if (outcome != WAIT_OBJECT_0) {
      c.ShowMessage(UndefinedWriteErrorText);
    }
    c.Platform.ResetEvent(ParallelWriteEvent.Get());
    // A port never opened, or closed after a time-out, took nothing: not
    // even an empty block counts as sent.
    if (!port.Valid() || written != n) {
      if (c.Job.StopReason.empty() && !c.Job.CancelRequested)
        c.Job.StopReason = what + " took " + std::to_string(written) + " of a block of " +
                           std::to_string(n) + " bytes.";
      break;
    }
    c.Job.BytesSent += static_cast<std::int32_t>(written);
    c.Job.BlocksSent += 1;
    if (endOfData) {
      c.Job.TransferDone = true;
      break;
    }
  }
}

}  // namespace vornex
