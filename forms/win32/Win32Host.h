// The form model rendered with native Win32 controls. Includes no Windows
// header, so the application can hold it without knowing the toolkit.
#pragma once

#include <memory>
#include <string>

#include "forms/Controls.h"
#include "forms/Form.h"
#include "forms/Host.h"

namespace vornex {

class TWin32Host : public THost, public TObserver {
 public:
  // Registers the window class and the common controls; one per process,
  // made on the thread that runs the message loop.
  TWin32Host();
  ~TWin32Host() override;

  void Attach(TForm& form) override;
  void ShowForm(TForm& form, bool visible) override;
  int ShowModal(TForm& form) override;
  void ShowMessage(const std::string& text) override;
  bool ExecuteOpenDialog(TOpenDialog& dialog) override;
  int Run() override;
  void Terminate() override;

  void Changed(TComponent& component, TProp what) override;
  void Destroyed(TComponent& component) override;

  // The window that shows a control (the frame window, for a form), as an
  // HWND; null when it has none. For tests and screenshots.
  void* WindowOf(const TComponent& component) const;

  struct TImpl;

 private:
  std::unique_ptr<TImpl> Impl;
};

}  // namespace vornex
