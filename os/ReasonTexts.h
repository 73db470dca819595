// Reasons that come as text, not as a number (dlerror, a server's own
// words), each given a code of ReasonErrors so that it travels like any
// other error code, across threads too, to the message that shows it.
#pragma once

#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "os/ErrorCodes.h"

namespace vornex {

class TReasonTexts {
 public:
  // At most this many texts are kept; past that the oldest slot is reused,
  // so a code kept for very long may come to spell a later text.
  static constexpr std::size_t Capacity = 1024;

  // The code of the text: the same text gives the same code.
  DWORD Code(const std::string& text) {
    std::lock_guard<std::mutex> hold(Lock);
    for (std::size_t i = 0; i < Texts.size(); ++i)
      if (Texts[i] == text) return ReasonErrors | static_cast<DWORD>(i);
    if (Texts.size() < Capacity) {
      Texts.push_back(text);
      return ReasonErrors | static_cast<DWORD>(Texts.size() - 1);
    }
    const std::size_t slot = Next++ % Capacity;
    Texts[slot] = text;
    return ReasonErrors | static_cast<DWORD>(slot);
  }
  // The text of a code of ReasonErrors; nothing for any other code.
  std::optional<std::string> Text(DWORD code) const {
    if (!IsErrorOfKind(code, ReasonErrors)) return std::nullopt;
    std::lock_guard<std::mutex> hold(Lock);
    const auto slot = static_cast<std::size_t>(ErrorDetail(code));
    if (slot >= Texts.size()) return std::nullopt;
    return Texts[slot];
  }

 private:
  mutable std::mutex Lock;
  std::vector<std::string> Texts;
  std::size_t Next = 0;
};

}  // namespace vornex
