// A window: the top container of a declared form.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "forms/Controls.h"

namespace vornex {

class THost;

enum class TBorderStyle { Single, Dialog };

inline constexpr int mrNone = 0;
inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;

class TForm : public TContainer {
 public:
  // bounds: screen position and client size.
  TForm(THost& host, std::string name, std::string caption, TRect bounds);
  ~TForm() override;
  TControlKind Kind() const override { return TControlKind::Form; }

  THost& Host() const { return FormHost; }
  const std::string& Caption() const { return CaptionText; }
  void SetCaption(const std::string& c);

  TBorderStyle BorderStyle = TBorderStyle::Single;
  bool SystemMenu = true;
  bool MinimizeBox = true;
  // Sized to its contents rather than to the declared client size.
  bool AutoSize = false;

  // Every component of the form, in declaration order (the form first).
  const std::vector<TComponent*>& Components() const { return ComponentList; }
  TComponent* FindComponent(const std::string& name) const;

  void Show();
  void Hide();
  // Modal showing: returns the modal result that ended it.
  int ShowModal();
  int ModalResult() const { return Result; }
  // A non-zero result ends a modal showing.
  void SetModalResult(int r);
  // Closes the window; closing the main window ends the application.
  void Close();
  // The user asks the window to close (its close box, Alt+F4). A window
  // without a system menu refuses; a modal form ends with Cancel; any other
  // closes. True when the request was taken.
  bool UserClose();
  // Escape: presses the Cancel button if the form has one.
  void PressEscape();

  // Files dropped on the window from a file manager, by full path (folders
  // left out). A form without a handler takes no drops; set it before the
  // form is attached.
  std::function<void(const std::vector<std::string>& files)> OnDropFiles;
  bool AcceptsFiles() const { return static_cast<bool>(OnDropFiles); }
  // A drop, as the renderers report it: the handler runs as any event does.
  void DropFiles(const std::vector<std::string>& files);

 private:
  friend class TComponent;
  THost& FormHost;
  std::string CaptionText;
  std::vector<TComponent*> ComponentList;
  int Result = mrNone;
  int ModalDepth = 0;
};

}  // namespace vornex
