// Switches the C library to a locale for one test, and back. A machine that
// lacks the locale gets it made (localedef; the tests run as root on the
// build machines), as a user's machine would have it.
#pragma once

#include <clocale>
#include <cstdlib>
#include <string>
#include <vector>

namespace vornex::test {

class TTestLocale {
 public:
  // names: the locale under the names each C library knows it by; make: the
  // command that makes the first of them.
  TTestLocale(int category, const std::vector<std::string>& names, const std::string& make)
      : Category(category), Saved(std::setlocale(category, nullptr)) {
    for (int attempt = 0; attempt < 2 && !Active(); ++attempt) {
      // localedef may warn and fail for characters the charset lacks, and
      // still make the locale: the second look tells.
      if (attempt == 1) {
        const int status = std::system((make + " >/dev/null 2>&1").c_str());
        static_cast<void>(status);
      }
      for (const auto& name : names)
        if (std::setlocale(category, name.c_str())) {
          In = name;
          break;
        }
    }
    if (!Active()) Missing = "the locale " + names.front() + " is missing and \"" + make + "\" could not make it";
  }
  ~TTestLocale() { std::setlocale(Category, Saved.c_str()); }
  TTestLocale(const TTestLocale&) = delete;
  TTestLocale& operator=(const TTestLocale&) = delete;

  bool Active() const { return !In.empty(); }
  // Why it is not active.
  std::string Missing;

 private:
  int Category;
  std::string Saved;
  std::string In;
};

}  // namespace vornex::test
