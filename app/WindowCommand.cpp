#include "app/WindowCommand.h"

namespace vornex {

const char WindowUsage[] =
    "usage: vornex [FILE]\n"
    "       vornex --help | --version\n"
    "\n"
    "Opens the Vornex window, which sends a file to a printer byte for byte.\n"
    "FILE is put in the file box as if typed; nothing is sent until Start is pressed.\n"
    "  --help      show this text\n"
    "  --version   show the version\n";

TWindowCommand ParseWindowCommand(const std::vector<std::string>& args) {
  TWindowCommand c;
  bool options = true;
  for (const std::string& a : args) {
    if (options && a == "--") {
      options = false;
    } else if (options && (a == "--help" || a == "-h")) {
      c.Help = true;
    } else if (options && a == "--version") {
      c.Version = true;
    } else if (options && a.size() > 1 && a[0] == '-') {
      if (c.Error.empty()) c.Error = "unknown option " + a;
    } else if (!c.File.empty()) {
      if (c.Error.empty()) c.Error = "one file at a time";
    } else {
      c.File = a;
    }
  }
  return c;
}

}  // namespace vornex
