// vornex-send as a user runs it, pointed at the virtual printer through the
// environment. For test programs that know VORNEX_SEND, the program's path.
#pragma once

#include <string>
#include <vector>

#include "printer/VirtualPrinter.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Environment.h"

namespace vornex::test {

// The printer's settings in the environment, as a user's shell would have
// them; what was there before comes back when the test is over, so no later
// test finds a printer that is gone.
class TPrinterEnvironment : public TEnvironment {
 public:
  explicit TPrinterEnvironment(const printer::TVirtualPrinter& printer) { Export(printer); }
  void Export(const printer::TVirtualPrinter& printer) {
    for (const auto& line : printer.Environment()) {
      const auto eq = line.find('=');
      Set(line.substr(0, eq), line.substr(eq + 1));
    }
  }
};

// vornex-send to its end; a run still going after two minutes is killed.
inline TRun RunSend(const std::vector<std::string>& args, TRunOptions options = {}) {
  std::vector<std::string> argv{VORNEX_SEND};
  argv.insert(argv.end(), args.begin(), args.end());
  if (options.KillAfterMs == 0) options.KillAfterMs = 120000;
  return RunProgram(argv, options);
}

}  // namespace vornex::test
