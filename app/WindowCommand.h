// The window program's command line: a file to put in the file box, or a
// question (--help, --version) answered without opening a window.
#pragma once

#include <string>
#include <vector>

namespace vornex {

struct TWindowCommand {
  std::string File;
  bool Help = false;
  bool Version = false;
  // Not empty: what is wrong with the command line.
  std::string Error;
};

// --help and --version win over anything else on the line, so that they are
// answered even beside an option this program does not know (a toolkit's,
// before the toolkit has taken its own).
TWindowCommand ParseWindowCommand(const std::vector<std::string>& args);
extern const char WindowUsage[];

// Exit statuses.
inline constexpr int WindowOk = 0;
inline constexpr int WindowFailed = 1;
inline constexpr int WindowUsageError = 2;

}  // namespace vornex
