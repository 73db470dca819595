#include "app/Application.h"

namespace vornex {

namespace {

// The application's name and icon come first: a failure while the windows
// are made is shown under that name.
THost& Named(THost& host) {
  host.Title = "ZUV Vornex";
  host.Icon = "vornex";
  return host;
}

}  // namespace

TApplication::TApplication(THost& host, TPlatform& platform, const std::string& file)
    : Host(Named(host)), MainForm(Host, platform), ComSetupForm(Host) {
  Host.Attach(MainForm);
  Host.Attach(ComSetupForm);
  MainForm.ComSetupForm = &ComSetupForm;
  if (!file.empty()) MainForm.EdFileName.SetText(file);
}

int TApplication::Run() {
  MainForm.Show();
  return Host.Run();
}

}  // namespace vornex
