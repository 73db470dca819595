#include "forms/Controls.h"

#include <algorithm>
#include <climits>

#include "forms/Convert.h"
#include "forms/Exception.h"
#include "forms/Form.h"
#include "forms/Host.h"

namespace vornex {

// --- TComponent ----------------------------------------------------------------

TComponent::TComponent(TForm* owner, std::string name)
    : OwnerForm(owner), ComponentName(std::move(name)) {
  if (OwnerForm) OwnerForm->ComponentList.push_back(this);
}

TComponent::~TComponent() {
  if (Watcher) Watcher->Destroyed(*this);
  if (OwnerForm && OwnerForm != this) {
    auto& list = OwnerForm->ComponentList;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
}

void TComponent::Notify(TProp what) {
  if (Watcher) Watcher->Changed(*this, what);
}

void TComponent::Fire(const TNotifyEvent& handler) {
  if (!handler) return;
  if (!OwnerForm) {
    handler();
    return;
  }
  try {
    handler();
  } catch (...) {
    OwnerForm->Host().HandleException(std::current_exception());
  }
}

// --- TControl ------------------------------------------------------------------

TControl::TControl(TContainer* parent, std::string name, TRect bounds)
    : TComponent(parent ? parent->Owner() : nullptr, std::move(name)),
      ParentControl(parent),
      BoundsRect(bounds) {
  if (ParentControl) ParentControl->ChildControls.push_back(this);
}

TControl::~TControl() {
  if (ParentControl) {
    auto& list = ParentControl->ChildControls;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
}

void TControl::SetBounds(const TRect& r) {
  if (r == BoundsRect) return;
  BoundsRect = r;
  Notify(TProp::Bounds);
}

void TControl::SetVisible(bool v) {
  if (v == IsVisible) return;
  IsVisible = v;
  Notify(TProp::Visible);
}

void TControl::SetEnabled(bool e) {
  if (e == IsEnabled) return;
  IsEnabled = e;
  Notify(TProp::Enabled);
}

void TControl::SetFont(const TFont& f) {
  if (f == OwnFont) return;
  OwnFont = f;
  Notify(TProp::Font);
}

TFont TControl::EffectiveFont() const {
  for (const TControl* c = this; c; c = c->Parent())
    if (!c->Font().Name.empty() || c->Font().Height != 0) return c->Font();
  return {};
}

void TControl::SetHint(const std::string& h) {
  if (h == HintText) return;
  HintText = h;
  Notify(TProp::Hint);
}

void TControl::SetAccessibleName(const std::string& n) {
  if (n == AccessibleText) return;
  AccessibleText = n;
  Notify(TProp::AccessibleName);
}

bool TControl::Reachable() const {
  for (const TControl* c = this; c; c = c->Parent())
    if (!c->Enabled() || !c->Visible()) return false;
  return true;
}

bool TControl::InClientArea() const {
  const TForm* form = Owner();
  if (!form || form == this || form->AutoSize) return true;
  // Where the control stands in the window's client area.
  int left = BoundsRect.Left, top = BoundsRect.Top;
  for (const TControl* c = Parent(); c && c != form; c = c->Parent()) {
    left += c->Bounds().Left;
    top += c->Bounds().Top;
  }
  const TRect& client = form->Bounds();
  auto shown = [](int from, int length, int limit) {
    return std::max(0, std::min(from + length, limit) - std::max(from, 0));
  };
  // A control sized to its caption is in when its corner is.
  if (BoundsRect.Width == 0 && BoundsRect.Height == 0)
    return left >= 0 && top >= 0 && left < client.Width && top < client.Height;
  return 2 * shown(left, BoundsRect.Width, client.Width) >= BoundsRect.Width &&
         2 * shown(top, BoundsRect.Height, client.Height) >= BoundsRect.Height;
}

// --- simple controls -------------------------------------------------------------

TGroupBox::TGroupBox(TContainer* parent, std::string name, std::string caption, TRect bounds)
    : TContainer(parent, std::move(name), bounds), CaptionText(std::move(caption)) {}

void TGroupBox::SetCaption(const std::string& c) {
  if (c == CaptionText) return;
  CaptionText = c;
  Notify(TProp::Caption);
}

TLabel::TLabel(TContainer* parent, std::string name, std::string caption, int left, int top)
    : TControl(parent, std::move(name), TRect{left, top, 0, 0}), CaptionText(std::move(caption)) {}

void TLabel::SetCaption(const std::string& c) {
  if (c == CaptionText) return;
  CaptionText = c;
  Notify(TProp::Caption);
}

TButton::TButton(TContainer* parent, std::string name, std::string caption, TRect bounds)
    : TControl(parent, std::move(name), bounds), CaptionText(std::move(caption)) {}

void TButton::SetCaption(const std::string& c) {
  if (c == CaptionText) return;
  CaptionText = c;
  Notify(TProp::Caption);
}

void TButton::Click() {
  if (ModalResult != mrNone && Owner()) Owner()->SetModalResult(ModalResult);
  Fire(OnClick);
}

TCheckBox::TCheckBox(TContainer* parent, std::string name, std::string caption, TRect bounds)
    : TControl(parent, std::move(name), bounds), CaptionText(std::move(caption)) {}

void TCheckBox::SetChecked(bool c) {
  if (c == IsChecked) return;
  IsChecked = c;
  Notify(TProp::Checked);
  Fire(OnClick);
}

TEdit::TEdit(TContainer* parent, std::string name, std::string text, TRect bounds)
    : TControl(parent, std::move(name), bounds), TextValue(std::move(text)) {}

void TEdit::SetText(const std::string& t) {
  if (t == TextValue) return;
  TextValue = t;
  Notify(TProp::Text);
  Fire(OnChange);
}

// --- TComboBox -------------------------------------------------------------------

TComboBox::TComboBox(TContainer* parent, std::string name, std::string text, TRect bounds)
    : TControl(parent, std::move(name), bounds), TextValue(std::move(text)) {}

void TComboBox::SetText(const std::string& t) {
  if (t == TextValue) return;
  TextValue = t;
  Notify(TProp::Text);
}

void TComboBox::ClearItems() {
  if (ItemList.empty() && Index == -1) return;
  ItemList.clear();
  Index = -1;
  Notify(TProp::Items);
}

void TComboBox::AddItem(const std::string& item) {
  ItemList.push_back(item);
  Notify(TProp::Items);
}

void TComboBox::SetItems(const std::vector<std::string>& items) {
  ItemList = items;
  Index = -1;
  Notify(TProp::Items);
}

void TComboBox::SetItemIndex(int index) {
  if (index < -1 || index >= static_cast<int>(ItemList.size())) index = -1;
  if (index == Index) return;
  Index = index;
  // The text before the index, so a renderer shows the item at once.
  const bool textChanges = Index >= 0 && TextValue != ItemList[static_cast<std::size_t>(Index)];
  if (textChanges) TextValue = ItemList[static_cast<std::size_t>(Index)];
  Notify(TProp::ItemIndex);
  if (textChanges) Notify(TProp::Text);
}

void TComboBox::DropDown() { Fire(OnDropDown); }

void TComboBox::Pick(int index) {
  if (index < 0 || index >= static_cast<int>(ItemList.size())) return;
  Index = index;
  TextValue = ItemList[static_cast<std::size_t>(index)];
  Notify(TProp::ItemIndex);
  Notify(TProp::Text);
  Fire(OnChange);
}

void TComboBox::TypeText(const std::string& t) {
  // The text first: a renderer that hears of the index sees the text the
  // user has typed, and leaves it and its caret alone.
  TextValue = t;
  if (Index != -1) {
    Index = -1;
    Notify(TProp::ItemIndex);
  }
  Notify(TProp::Text);
  Fire(OnChange);
}

// --- TProgressBar, TMemo -----------------------------------------------------------

TProgressBar::TProgressBar(TContainer* parent, std::string name, TRect bounds, int min, int max)
    : TControl(parent, std::move(name), bounds), MinValue(min), MaxValue(max) {}

void TProgressBar::SetMax(int max) {
  if (max == MaxValue) return;
  MaxValue = max;
  Notify(TProp::Range);
}

void TProgressBar::SetPosition(int position) {
  position = std::clamp(position, MinValue, std::max(MinValue, MaxValue));
  if (position == PositionValue) return;
  PositionValue = position;
  Notify(TProp::Position);
}

TMemo::TMemo(TContainer* parent, std::string name, std::vector<std::string> lines, TRect bounds)
    : TControl(parent, std::move(name), bounds), LineList(std::move(lines)) {}

void TMemo::Add(const std::string& line) {
  LineList.push_back(line);
  Notify(TProp::Lines);
  Fire(OnChange);
}

void TMemo::Clear() {
  LineList.clear();
  Notify(TProp::Lines);
  Fire(OnChange);
}

// --- TUpDown -------------------------------------------------------------------------

namespace {

constexpr int UpDownWidth = 16;

std::string WithThousands(int value, bool thousands) {
  std::string digits = IntToStr(value < 0 ? -static_cast<long long>(value) : value);
  if (thousands)
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3)
      digits.insert(static_cast<std::size_t>(i), ",");
  return value < 0 ? "-" + digits : digits;
}

}  // namespace

TRect TUpDown::BesideBuddy(const TEdit& buddy) {
  // Like the native control, the spinner takes the right end of its buddy.
  const TRect& b = buddy.Bounds();
  return TRect{b.Left + b.Width, b.Top, UpDownWidth, b.Height};
}

TUpDown::TUpDown(TContainer* parent, std::string name, TEdit& associate, int min, int max,
                 int position, bool thousands)
    : TControl(parent, std::move(name), BesideBuddy(associate)),
      Buddy(associate),
      MinValue(min),
      MaxValue(max),
      PositionValue(std::clamp(position, min, max)),
      ThousandsSeparator(thousands) {}

void TUpDown::SetPosition(int position) {
  position = std::clamp(position, MinValue, MaxValue);
  PositionValue = position;
  Notify(TProp::Position);
  Buddy.SetText(WithThousands(position, ThousandsSeparator));
}

void TUpDown::Step(bool up) {
  // The buddy's text wins over the remembered position, as it does natively:
  // the user may have typed into it.
  int current = PositionValue;
  std::string digits;
  for (char c : Buddy.Text())
    if (c != ',') digits += c;
  try {
    current = StrToInt(digits);
  } catch (const EConvertError&) {
  }
  long long next = static_cast<long long>(current) + (up ? 1 : -1);
  next = std::clamp<long long>(next, MinValue, MaxValue);
  SetPosition(static_cast<int>(next));
}

// --- TTimer, TOpenDialog -----------------------------------------------------------

TTimer::TTimer(TForm* owner, std::string name, int intervalMs, bool enabled)
    : TComponent(owner, std::move(name)), IntervalMs(intervalMs), IsEnabled(enabled) {}

void TTimer::SetEnabled(bool e) {
  if (e == IsEnabled) return;
  IsEnabled = e;
  Notify(TProp::Timer);
}

void TTimer::SetInterval(int ms) {
  if (ms == IntervalMs) return;
  IntervalMs = ms;
  Notify(TProp::Timer);
}

void TTimer::Tick() {
  if (IsEnabled) Fire(OnTimer);
}

TOpenDialog::TOpenDialog(TForm* owner, std::string name, std::string initialDir,
                         std::string filter)
    : TComponent(owner, std::move(name)),
      InitialDir(std::move(initialDir)),
      Filter(std::move(filter)) {}

bool TOpenDialog::Execute() { return Owner() && Owner()->Host().ExecuteOpenDialog(*this); }

}  // namespace vornex
