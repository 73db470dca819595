// The window program's start-up: the main window, then the hidden port
// settings dialog; a file named on the command line goes into the file box
// as if typed. Nothing starts by itself.
#pragma once

#include <string>

#include "app/MainForm.h"
#include "dialogs/ComSetupForm.h"
#include "forms/Host.h"
#include "os/Platform.h"

namespace vornex {

class TApplication {
 public:
  TApplication(THost& host, TPlatform& platform, const std::string& file = "");

  // Shows the main window and runs the message loop until it closes.
  int Run();

  THost& Host;
  TMainForm MainForm;
  TComSetupForm ComSetupForm;
};

}  // namespace vornex
