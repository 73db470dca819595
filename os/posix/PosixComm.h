// The serial side of a tty opened through the platform. Internal to os/posix.
#pragma once

#include <cstdint>

#include "os/posix/PosixObjects.h"

namespace vornex::posix {

// Sets the tty up for comm calls (raw mode, the state a port starts in).
bool OpenComm(TFileObject& file);
// When a write of `count` bytes started at nowMs must end (-1: never).
std::int64_t CommWriteDeadline(TFileObject& file, std::uint32_t count, std::int64_t nowMs);
// Bytes went out: the transmit-empty watch starts.
void CommWritten(TFileObject& file, std::uint32_t count);
// A read under the comm time-outs.
bool CommRead(TFileObject& file, void* data, std::uint32_t count, std::uint32_t& read,
              std::uint32_t& error);

}  // namespace vornex::posix
