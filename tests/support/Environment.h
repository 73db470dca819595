// Environment variables a test sets; what was there before comes back when
// the object goes, so no later test finds settings that are no longer true.
#pragma once

#include <stdlib.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vornex::test {

class TEnvironment {
 public:
  TEnvironment() = default;
  ~TEnvironment() {
    for (auto it = Saved.rbegin(); it != Saved.rend(); ++it) {
      if (it->second)
        ::setenv(it->first.c_str(), it->second->c_str(), 1);
      else
        ::unsetenv(it->first.c_str());
    }
  }
  TEnvironment(const TEnvironment&) = delete;
  TEnvironment& operator=(const TEnvironment&) = delete;

  void Set(const std::string& name, const std::string& value) {
    bool saved = false;
    for (const auto& s : Saved) saved = saved || s.first == name;
    if (!saved) {
      const char* old = std::getenv(name.c_str());
      Saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    }
    ::setenv(name.c_str(), value.c_str(), 1);
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> Saved;
};

}  // namespace vornex::test
