// The application's general failure type: whatever escapes an event handler
// is shown to the user with its message.
#pragma once

#include <stdexcept>
#include <string>

namespace vornex {

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// A text that is not the number it should be.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace vornex
