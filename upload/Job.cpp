#include "upload/Job.h"

#include <algorithm>
#include <cstring>

namespace vornex {

std::size_t TFileData::Read(void* into, std::size_t max) {
  std::size_t n = 0;
  const std::uint8_t* from = Take(max, n);
  if (n > 0) std::memcpy(into, from, n);
  return n;
}

TSharedBytes TFileData::Empty() {
  static const TSharedBytes none = std::make_shared<const std::vector<std::uint8_t>>();
  return none;
}

const std::uint8_t* TFileData::Take(std::size_t max, std::size_t& taken) {
  taken = std::min(max, Bytes->size() - Pos);
  const std::uint8_t* from = Bytes->data() + Pos;
  Pos += taken;
  return from;
}

}  // namespace vornex
