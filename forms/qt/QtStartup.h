// Qt's start-up without a screen: Qt says so in several lines and aborts.
// While a guard stands, such a failure ends the program with one line on
// standard error and exit status 1 instead; Qt's other messages meanwhile
// are held and passed on once the guard goes. Includes no Qt header.
#pragma once

#include <string>
#include <vector>

namespace vornex {

class TQtStartupGuard {
 public:
  // program: the name the line begins with.
  explicit TQtStartupGuard(std::string program);
  ~TQtStartupGuard();
  TQtStartupGuard(const TQtStartupGuard&) = delete;
  TQtStartupGuard& operator=(const TQtStartupGuard&) = delete;
};

// The command line (without the program's name) less the options Qt takes
// as its own (-platform NAME, --style=NAME, -reverse...) and their values,
// for a program that reads its own before Qt has started.
std::vector<std::string> WithoutQtOptions(const std::vector<std::string>& args);

}  // namespace vornex
