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

// --help and --version: answered on the terminal, with no window.
bool Answered(const vornex::TWindowCommand& command) {
  if (command.Help) vornex::TRuntime::Tell(vornex::WindowUsage, false);
  else if (command.Version) vornex::TRuntime::Tell(std::string("vornex ") + vornex::ProductVersion + "\n", false);
  return command.Help || command.Version;
}

}  // namespace

int main(int argc, char** argv) {
  // Before the toolkit starts, so that they need no display.
  if (Answered(vornex::ParseWindowCommand({argv + 1, argv + argc}))) return vornex::WindowOk;
  vornex::TRuntime runtime(argc, argv);
  // The toolkit has taken its own options; what is left is ours.
  const vornex::TWindowCommand command = vornex::ParseWindowCommand({argv + 1, argv + argc});
  if (!command.Error.empty()) {
    vornex::TRuntime::Tell("vornex: " + command.Error + "\n" + vornex::WindowUsage, true);
    return vornex::WindowUsageError;
  }
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
