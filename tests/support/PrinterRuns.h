// The virtual printer as the end-to-end tests set it up, and vornex-send run
// against it as a user would. Linux only; for the tests built with
// VORNEX_SEND.
#pragma once

#include <string>
#include <vector>

#include "printer/VirtualPrinter.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Environment.h"

namespace vornex::test {

// A printer that tells a transfer's end a second after its last byte: long
// enough that a busy machine's stall does not split a file in two. Without a
// USB printer, so that the port box decides where a file goes.
inline printer::TPrinterOptions QuickPrinter(bool usb = false) {
  printer::TPrinterOptions o;
  o.IdleMs = 1000;
  o.Usb = usb;
  return o;
}

// The same, answering on the serial line as soon as `bytes` have come: the
// quiet that ends a transfer for this printer lasts longer than the sender
// listens after its last byte.
inline printer::TPrinterOptions ReplyingAt(std::size_t bytes) {
  printer::TPrinterOptions o = QuickPrinter();
  o.ReplyAt = bytes;
  return o;
}

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

// vornex-send as a user runs it; a run still going after two minutes is
// killed.
inline TRun RunSend(const std::vector<std::string>& args, TRunOptions options = {}) {
  std::vector<std::string> argv{VORNEX_SEND};
  argv.insert(argv.end(), args.begin(), args.end());
  if (options.KillAfterMs == 0) options.KillAfterMs = 120000;
  return RunProgram(argv, options);
}

// Quoted for sh, whatever the text holds.
inline std::string ShellWord(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

inline bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace vornex::test
