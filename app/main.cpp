// Start-up: the main window, then the hidden port settings dialog, then the
// message loop until the main window closes.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "app/Application.h"
#include "app/Runtime.h"
#include "app/Version.h"
#include "app/WindowCommand.h"

namespace {

// --help and --version, answered with no window: the exit status, or -1
// when the line asks neither.
int Answer(const vornex::TWindowCommand& command) {
  if (!command.Help && !command.Version) return -1;
  const std::string text = command.Help ? std::string(vornex::WindowUsage)
                                        : std::string("vornex ") + vornex::ProductVersion + "\n";
  if (vornex::TRuntime::Tell(text, false)) return vornex::WindowOk;
  vornex::TRuntime::Tell(std::string("vornex: ") + (command.Help ? "the usage" : "the version") +
                             " could not be written to standard output\n",
                         true);
  return vornex::WindowFailed;
}

int UsageError(const vornex::TWindowCommand& command) {
  vornex::TRuntime::Tell("vornex: " + command.Error + "\n" + vornex::WindowUsage, true);
  return vornex::WindowUsageError;
}

}  // namespace

int main(int argc, char** argv) {
  // Before the toolkit starts, so that they need no display: the answers,
  // and a command line that is wrong whatever the toolkit takes of it.
  const vornex::TWindowCommand early = vornex::ParseWindowCommand(vornex::TRuntime::OwnArguments(argc, argv));
  if (const int status = Answer(early); status >= 0) return status;
  if (!early.Error.empty()) return UsageError(early);
  vornex::TRuntime runtime(argc, argv);
  // The toolkit has taken its own options; what is left is ours.
  const vornex::TWindowCommand command = vornex::ParseWindowCommand({argv + 1, argv + argc});
  if (!command.Error.empty()) return UsageError(command);
  vornex::THost& host = runtime.Host();
  int result = vornex::WindowOk;
  try {
    vornex::TApplication application(host, runtime.Platform(), command.File);
    result = application.Run();
    // A transfer still running is not waited for: it ends with the process.
    if (application.MainForm.Upload.Busy()) {
      std::fflush(nullptr);
      std::_Exit(result);
    }
  } catch (const std::exception& e) {
    host.ShowMessage(e.what());
    return vornex::WindowFailed;
  }
  return result;
}
