// The form model rendered with Qt 6 Widgets. Includes no Qt header, so the
// application can hold it without knowing the toolkit.
#pragma once

#include <memory>
#include <string>

#include "forms/Controls.h"
#include "forms/Form.h"
#include "forms/Host.h"

class QWidget;

namespace vornex {

class TQtHost : public THost, public TObserver {
 public:
  // Creates the Qt application object; one per process.
  TQtHost(int& argc, char** argv);
  ~TQtHost() override;

  void Attach(TForm& form) override;
  void ShowForm(TForm& form, bool visible) override;
  int ShowModal(TForm& form) override;
  void ShowMessage(const std::string& text) override;
  bool ExecuteOpenDialog(TOpenDialog& dialog) override;
  int Run() override;
  void Terminate() override;

  void Changed(TComponent& component, TProp what) override;
  void Destroyed(TComponent& component) override;

  // The widget that shows a control (the window, for a form); for tests and
  // screenshots.
  QWidget* WidgetOf(const TComponent& component) const;

 private:
  struct TImpl;
  std::unique_ptr<TImpl> Impl;
};

}  // namespace vornex
