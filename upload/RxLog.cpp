#include "upload/RxLog.h"

#include <algorithm>

#include "upload/ShownText.h"

namespace vornex {

void TRxLog::Comm1RxChar(std::uint32_t count) {
  std::uint8_t buffer[ReceiveBufferSize];
  // More than the buffer holds is read in pieces.
  while (count > 0) {
    const auto want = static_cast<std::uint32_t>(std::min<std::size_t>(count, sizeof buffer));
    const std::int32_t r = Comm1.Read(buffer, want);
    if (r <= 0) return;
    Add(buffer, static_cast<std::size_t>(r));
    count -= static_cast<std::uint32_t>(r);
  }
}

void TRxLog::Add(const std::uint8_t* bytes, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) Take(bytes[i]);
}

void TRxLog::Take(std::uint8_t byte) {
  if (byte == 0) return;
  // A terminator ends the line; so does any byte once two are held, and
  // that byte is dropped.
  if (byte == ';' || byte == '\n' || byte == '\r' || Line.size() >= 2) {
    std::string done;
    done.swap(Line);
    // What a printer sends may hold anything: no byte of it steers the
    // terminal or the log it is shown in.
    Memo1.Add(ShownLine(done));
    return;
  }
  Line += static_cast<char>(byte);
}

void TFirstLine::Add(const std::uint8_t* bytes, std::size_t count) {
  std::lock_guard<std::mutex> hold(Lock);
  for (std::size_t i = 0; i < count && !Complete; ++i) {
    const std::uint8_t byte = bytes[i];
    if (byte == 0) continue;
    if (byte == ';' || byte == '\n' || byte == '\r') {
      Complete = !Line.empty();
      continue;
    }
    Line += static_cast<char>(byte);
    Complete = Line.size() >= MaxLength;
  }
}

std::string TFirstLine::Text() const {
  std::lock_guard<std::mutex> hold(Lock);
  return Line;
}

}  // namespace vornex
