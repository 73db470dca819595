// The transfer through the maker's USB library, to the device whose digit
// ends the port text (ZUV USB0 to ZUV USB3).
#pragma once

#include <cstdint>

#include "upload/UsbBlockLoop.h"

namespace vornex {

class TVendorUsbTransport : public TUsbBlockLoop {
 public:
  // The library's device index for a port text: the eighth character's code
  // minus '0', or -1 for a text too short to have one.
  static std::int32_t DeviceIndexOf(const std::string& portText);

 protected:
  bool OpenDevice(TSendContext& c) override;
  // "USB Port INVALID"; without the library, with the loader's words why.
  std::string OpenFailureText(TSendContext& c) override;
  bool WriteBlock(TSendContext& c, const std::uint8_t* data, std::size_t n,
                  std::size_t& taken) override;
  void CloseDevice(TSendContext& c) override;

 private:
  std::int32_t Device = -1;
};

}  // namespace vornex
