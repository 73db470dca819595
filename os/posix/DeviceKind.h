// What a path names, by the device behind it: a tty is a serial line
// whatever it is called, /dev/usb/lp0 a USB printer. Internal to os/posix;
// the numbers are read apart from the device so the rule can be checked on
// its own.
#pragma once

#include <string>

#include "os/Platform.h"

namespace vornex::posix {

// A character device by its major and minor number. ttyDrivers is the text
// of /proc/tty/drivers; without it the usual serial drivers' numbers stand
// in.
TDeviceKind CharDeviceKind(unsigned major, unsigned minor, const std::string& ttyDrivers);

// What an absolute path names; NotAPath for any other text, NotFound with
// the reason in `error` when it cannot be looked at.
TDeviceKind DeviceKindOfPath(const std::string& path, DWORD& error);

}  // namespace vornex::posix
