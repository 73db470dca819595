// Start-up: the main window, then the hidden port settings dialog, then the
// message loop until the main window closes.
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "app/MainForm.h"
#include "app/Runtime.h"
#include "dialogs/ComSetupForm.h"

int main(int argc, char** argv) {
  vornex::TRuntime runtime(argc, argv);
  vornex::THost& host = runtime.Host();
  host.Title = "ZUV Vornex";
  int result = 0;
  try {
    vornex::TMainForm mainForm(host, runtime.Platform());
    host.Attach(mainForm);
    vornex::TComSetupForm comSetupForm(host);
    host.Attach(comSetupForm);
    mainForm.ComSetupForm = &comSetupForm;
    mainForm.Show();
    result = host.Run();
    // A transfer still running is not waited for: it ends with the process.
    if (mainForm.Upload.Busy()) {
      std::fflush(nullptr);
      std::_Exit(result);
    }
  } catch (const std::exception& e) {
    host.ShowMessage(e.what());
    return 1;
  }
  return result;
}
