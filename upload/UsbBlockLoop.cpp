#include "upload/UsbBlockLoop.h"

#include <algorithm>

namespace vornex {

void TUsbBlockLoop::Send(TSendContext& c) {
  if (!OpenDevice(c)) {
    c.ShowMessage(OpenFailureText(c));
    return;
  }
  c.Job.PortOpened = true;
  std::uint8_t block[MaxBlockSize];
  bool delivered = true;
  for (;;) {
    if (c.Job.CancelRequested) break;
    const auto size = static_cast<std::size_t>(
        std::clamp<std::int32_t>(c.Job.BlockSize, 0, static_cast<std::int32_t>(MaxBlockSize)));
    const std::size_t n = c.Job.FileData.Read(block, size);
    std::size_t taken = 0;
    if (n > 0 && !WriteBlock(c, block, n, taken)) {
      // A write ended by Cancel or the time-out is no refusal: the loop
      // stops as on a cancel, without resending or counting the block.
      if (c.Job.CancelRequested) break;
      c.ShowResendError();
      // The resend carries what the device did not take. A block refused
      // again did not reach the printer: it is not counted and the transfer
      // does not end as done.
      std::size_t more = 0;
      if (!WriteBlock(c, block + taken, n - taken, more)) {
        if (c.Job.CancelRequested) break;
        delivered = false;
        break;
      }
    }
    if (n != 0) c.Job.BlocksSent += 1;
    c.Job.BytesSent += static_cast<std::int32_t>(n);
    if (n == 0) break;
  }
  if (delivered) c.Job.TransferDone = true;
  CloseDevice(c);
  if (!delivered) c.ShowMessage(UsbNotDeliveredText);
}

}  // namespace vornex
