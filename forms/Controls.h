// The toolkit-neutral form model: named controls with properties and events.
// A renderer (forms/qt, forms/win32, or the headless host of the tests)
// observes the model and raises its events. Touch it on the UI thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vornex {

class TForm;
class TContainer;
class TComponent;

enum class TControlKind {
  Form, GroupBox, Label, Edit, Button, CheckBox, ComboBox, ProgressBar, Memo, UpDown,
  Timer, OpenDialog
};

// What changed, so a renderer updates only that.
enum class TProp {
  Caption, Text, Bounds, Enabled, Visible, Checked, Items, ItemIndex, Range, Position,
  Lines, Timer, Font, Hint, Repaint, ModalResult, AccessibleName
};

class TObserver {
 public:
  virtual ~TObserver() = default;
  virtual void Changed(TComponent& component, TProp what) = 0;
  // The component is being destroyed; forget it. Called from its
  // destructor, so nothing virtual of it may be called.
  virtual void Destroyed(TComponent& component) = 0;
};

struct TRect {
  int Left = 0;
  int Top = 0;
  int Width = 0;   // 0 with Height 0: sized to the caption (labels)
  int Height = 0;
  bool operator==(const TRect& o) const {
    return Left == o.Left && Top == o.Top && Width == o.Width && Height == o.Height;
  }
};

struct TFont {
  std::string Name;  // empty: the parent's font
  int Height = 0;    // character height in pixels at 96 dpi
  bool operator==(const TFont& o) const { return Name == o.Name && Height == o.Height; }
};

using TNotifyEvent = std::function<void()>;

class TComponent {
 public:
  TComponent(TForm* owner, std::string name);
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;
  virtual ~TComponent();

  const std::string& Name() const { return ComponentName; }
  TForm* Owner() const { return OwnerForm; }
  virtual TControlKind Kind() const = 0;

  void SetObserver(TObserver* observer) { Watcher = observer; }

 protected:
  void Notify(TProp what);
  // Runs an event handler the way the message loop does: a failure that
  // escapes it is shown to the user, not thrown on.
  void Fire(const TNotifyEvent& handler);

 private:
  friend class TForm;
  TForm* OwnerForm;
  std::string ComponentName;
  TObserver* Watcher = nullptr;
};

class TControl : public TComponent {
 public:
  TControl(TContainer* parent, std::string name, TRect bounds);
  ~TControl() override;

  TContainer* Parent() const { return ParentControl; }
  const TRect& Bounds() const { return BoundsRect; }
  void SetBounds(const TRect& r);
  bool Visible() const { return IsVisible; }
  void SetVisible(bool v);
  bool Enabled() const { return IsEnabled; }
  void SetEnabled(bool e);
  const TFont& Font() const { return OwnFont; }
  void SetFont(const TFont& f);
  // The font in force: the own one, else the nearest container's.
  TFont EffectiveFont() const;
  const std::string& Hint() const { return HintText; }
  void SetHint(const std::string& h);
  // What a screen reader announces for the control. Empty: the renderer
  // uses the caption of the label beside it or of its group box
  // (AccessibleNameOf).
  const std::string& AccessibleName() const { return AccessibleText; }
  void SetAccessibleName(const std::string& n);
  // True when this control and every container above it are enabled and
  // visible: what a user can reach.
  bool Reachable() const;
  // False when the control lies outside its window's client area: less than
  // half of its width or height shows there. Such a control is no Tab stop
  // (it stays reachable through the accessibility interface). A window
  // sized to its contents holds all of them.
  bool InClientArea() const;
  // Asks the renderer to paint now rather than at its leisure.
  void Repaint() { Notify(TProp::Repaint); }

 private:
  TContainer* ParentControl;
  TRect BoundsRect;
  bool IsVisible = true;
  bool IsEnabled = true;
  TFont OwnFont;
  std::string HintText;
  std::string AccessibleText;
};

class TContainer : public TControl {
 public:
  using TControl::TControl;
  const std::vector<TControl*>& Children() const { return ChildControls; }

 private:
  friend class TControl;
  std::vector<TControl*> ChildControls;
};

class TGroupBox : public TContainer {
 public:
  TGroupBox(TContainer* parent, std::string name, std::string caption, TRect bounds);
  TControlKind Kind() const override { return TControlKind::GroupBox; }
  const std::string& Caption() const { return CaptionText; }
  void SetCaption(const std::string& c);

 private:
  std::string CaptionText;
};

class TLabel : public TControl {
 public:
  TLabel(TContainer* parent, std::string name, std::string caption, int left, int top);
  TControlKind Kind() const override { return TControlKind::Label; }
  const std::string& Caption() const { return CaptionText; }
  void SetCaption(const std::string& c);

 private:
  std::string CaptionText;
};

class TButton : public TControl {
 public:
  TButton(TContainer* parent, std::string name, std::string caption, TRect bounds);
  TControlKind Kind() const override { return TControlKind::Button; }
  const std::string& Caption() const { return CaptionText; }
  void SetCaption(const std::string& c);
  // Non-zero: a click also ends the owner's modal showing with this result.
  int ModalResult = 0;
  // The Escape key presses this button.
  bool Cancel = false;
  TNotifyEvent OnClick;
  // A press: the modal result first, then the handler.
  void Click();

 private:
  std::string CaptionText;
};

class TCheckBox : public TControl {
 public:
  TCheckBox(TContainer* parent, std::string name, std::string caption, TRect bounds);
  TControlKind Kind() const override { return TControlKind::CheckBox; }
  const std::string& Caption() const { return CaptionText; }
  bool Checked() const { return IsChecked; }
  // A change of state raises OnClick, as a click would.
  void SetChecked(bool c);
  TNotifyEvent OnClick;

 private:
  std::string CaptionText;
  bool IsChecked = false;
};

class TEdit : public TControl {
 public:
  TEdit(TContainer* parent, std::string name, std::string text, TRect bounds);
  TControlKind Kind() const override { return TControlKind::Edit; }
  const std::string& Text() const { return TextValue; }
  // Raises OnChange when the text differs.
  void SetText(const std::string& t);
  TNotifyEvent OnChange;

 private:
  std::string TextValue;
};

// An editable drop-down combo box.
class TComboBox : public TControl {
 public:
  TComboBox(TContainer* parent, std::string name, std::string text, TRect bounds);
  TControlKind Kind() const override { return TControlKind::ComboBox; }

  const std::string& Text() const { return TextValue; }
  // From code: no OnChange.
  void SetText(const std::string& t);
  const std::vector<std::string>& Items() const { return ItemList; }
  void ClearItems();
  void AddItem(const std::string& item);
  void SetItems(const std::vector<std::string>& items);
  int ItemIndex() const { return Index; }
  // From code: the text follows the chosen item; no OnChange.
  void SetItemIndex(int index);

  // What a user does: each raises the events a real box raises.
  void DropDown();                       // OnDropDown, before the list shows
  void Pick(int index);                  // the text becomes the item, then OnChange
  void TypeText(const std::string& t);   // an edit: no item chosen, then OnChange

  TNotifyEvent OnChange;
  TNotifyEvent OnDropDown;

 private:
  std::string TextValue;
  std::vector<std::string> ItemList;
  int Index = -1;
};

class TProgressBar : public TControl {
 public:
  TProgressBar(TContainer* parent, std::string name, TRect bounds, int min, int max);
  TControlKind Kind() const override { return TControlKind::ProgressBar; }
  int Min() const { return MinValue; }
  int Max() const { return MaxValue; }
  int Position() const { return PositionValue; }
  void SetMax(int max);
  void SetPosition(int position);
  bool Smooth = true;

  // What a native bar is given: an empty range (an empty file) would make
  // some toolkits show a busy bar, so it becomes 0..1, full once the
  // position has moved.
  struct TShown {
    int Min, Max, Position;
  };
  TShown Shown() const {
    if (MaxValue > MinValue) return {MinValue, MaxValue, PositionValue};
    return {0, 1, PositionValue > MinValue ? 1 : 0};
  }

 private:
  int MinValue;
  int MaxValue;
  int PositionValue = 0;
};

class TMemo : public TControl {
 public:
  TMemo(TContainer* parent, std::string name, std::vector<std::string> lines, TRect bounds);
  TControlKind Kind() const override { return TControlKind::Memo; }
  const std::vector<std::string>& Lines() const { return LineList; }
  // Both raise OnChange, as an edit of the box does.
  void Add(const std::string& line);
  void Clear();
  TNotifyEvent OnChange;

 private:
  std::vector<std::string> LineList;
};

// A spinner that steps the number in its buddy edit box.
class TUpDown : public TControl {
 public:
  TUpDown(TContainer* parent, std::string name, TEdit& associate, int min, int max,
          int position, bool thousands = true);
  TControlKind Kind() const override { return TControlKind::UpDown; }
  TEdit& Associate() const { return Buddy; }
  int Min() const { return MinValue; }
  int Max() const { return MaxValue; }
  int Position() const { return PositionValue; }
  bool Thousands() const { return ThousandsSeparator; }
  void SetPosition(int position);
  // An arrow press: one step from the number in the buddy, kept in range.
  void Step(bool up);

 private:
  static TRect BesideBuddy(const TEdit& buddy);
  TEdit& Buddy;
  int MinValue;
  int MaxValue;
  int PositionValue;
  bool ThousandsSeparator;
};

class TTimer : public TComponent {
 public:
  TTimer(TForm* owner, std::string name, int intervalMs, bool enabled);
  TControlKind Kind() const override { return TControlKind::Timer; }
  bool Enabled() const { return IsEnabled; }
  // Enabling (again) starts a full interval.
  void SetEnabled(bool e);
  int Interval() const { return IntervalMs; }
  void SetInterval(int ms);
  TNotifyEvent OnTimer;
  // What the host calls when the interval has run out.
  void Tick();

 private:
  int IntervalMs;
  bool IsEnabled;
};

class TOpenDialog : public TComponent {
 public:
  TOpenDialog(TForm* owner, std::string name, std::string initialDir, std::string filter);
  TControlKind Kind() const override { return TControlKind::OpenDialog; }
  std::string InitialDir;
  std::string Filter;  // empty: every file
  std::string FileName;
  // Shows the dialog; true and FileName set (a full path) when confirmed.
  bool Execute();
};

}  // namespace vornex
