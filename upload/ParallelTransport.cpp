#include "upload/ParallelTransport.h"

namespace vornex {

void TParallelTransport::Send(TSendContext& c) { SendToParallelPort(c); }

void TParallelTransport::SendToParallelPort(TSendContext& c) {
  TPlatformHandle port(c.Platform, c.Platform.CreateFileA(c.Job.PortText, GENERIC_WRITE,
                                                          FILE_SHARE_WRITE, OPEN_EXISTING,
                                                          FILE_FLAG_OVERLAPPED));
  // A port that cannot be opened is not reported here: its first write
  // fails and the transfer stops.
  if (!ParallelWriteEvent.Valid())
    ParallelWriteEvent = TPlatformHandle(c.Platform, c.Platform.CreateEventA(true, true));
  c.Job.TransferDone = false;
  std::uint8_t block[BlockSize];
  for (;;) {
    if (c.Job.CancelRequested) break;
    const std::size_t n = c.Job.FileData.Read(block, BlockSize);
    const bool endOfData = c.Job.FileData.AtEnd();
    DWORD written = 0;
    const DWORD outcome =
        c.Platform.WriteFileTimed(port.Get(), block, static_cast<DWORD>(n),
                                  ParallelWriteEvent.Get(), WriteLimitMs, written);
    if (outcome == WAIT_TIMEOUT) {
      c.Platform.CancelIo(port.Get());
      port.Reset();
    } else if (outcome != WAIT_OBJECT_0) {
      c.ShowMessage(UndefinedWriteErrorText);
    }
    c.Platform.ResetEvent(ParallelWriteEvent.Get());
    // A port never opened, or closed after a time-out, took nothing: not
    // even an empty block counts as sent.
    if (!port.Valid() || written != n) break;
    c.Job.BytesSent += static_cast<std::int32_t>(written);
    c.Job.BlocksSent += 1;
    if (endOfData) {
      c.Job.TransferDone = true;
      break;
    }
  }
}

}  // namespace vornex
