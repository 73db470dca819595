// The loop both USB transports share: blocks of BlockSize bytes, one resend
// of a block whose write failed, and completion on every way out but a
// failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "upload/SendLoop.h"

namespace vornex {

class TUsbBlockLoop : public TSendLoop {
 public:
  // The block buffer; a larger BlockSize sends blocks of this size.
  static constexpr std::size_t MaxBlockSize = 10240;

  void Send(TSendContext& c) final;

 protected:
  // False: the device cannot be opened, and OpenFailureText is shown.
  virtual bool OpenDevice(TSendContext& c) = 0;
  virtual std::string OpenFailureText(TSendContext&) { return UsbPortInvalidText; }
  // Writes the n bytes; taken says how many the device took, also when the
  // block fails part-way, so that a resend never repeats them.
  virtual bool WriteBlock(TSendContext& c, const std::uint8_t* data, std::size_t n,
                          std::size_t& taken) = 0;
  virtual void CloseDevice(TSendContext& c) = 0;
};

inline constexpr char UsbNotDeliveredText[] =
    "USB Send Err: a block was refused twice and did not reach the printer. The transfer is "
    "stopped.";

}  // namespace vornex
