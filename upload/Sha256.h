// SHA-256, to tell whether what arrived is what was sent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vornex {

class TSha256 {
 public:
  TSha256();
  void Add(const void* data, std::size_t n);
  // The digest in lower-case hexadecimal; the object starts afresh.
  std::string Hex();

  static std::string Of(const std::vector<std::uint8_t>& bytes);

 private:
  void Block(const std::uint8_t* p);
  void Reset();
  std::uint32_t State[8];
  std::uint8_t Pending[64];
  std::size_t PendingBytes = 0;
  std::uint64_t Length = 0;
};

}  // namespace vornex
