// The native controls of a form: made from the model at the declared pixel
// positions, and kept in step with it.
#include <algorithm>
#include <string>
#include <utility>

#include "forms/win32/HostImpl.h"
#include "forms/win32/Win32Host.h"
#include "os/win32/WinApi.h"
#include <commctrl.h>
#include <shellapi.h>

namespace vornex {

namespace {

constexpr ::DWORD ChildStyle = WS_CHILD | WS_CLIPSIBLINGS;
// How far a drop-down list reaches below its box.
constexpr int DropListHeight = 160;

::DWORD FormStyle(const TForm& form) {
  // A single fixed border: a caption, no sizing frame, no maximise box.
  ::DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_CLIPCHILDREN;
  if (form.SystemMenu) style |= WS_SYSMENU;
  if (form.SystemMenu && form.MinimizeBox) style |= WS_MINIMIZEBOX;
  return style;
}

::DWORD FormExStyle(const TForm& form) {
  ::DWORD ex = WS_EX_CONTROLPARENT;
  if (form.BorderStyle == TBorderStyle::Dialog) ex |= WS_EX_DLGMODALFRAME;
  return ex;
}

}  // namespace

// --- attaching a form ---------------------------------------------------------------------

void TWin32Host::Attach(TForm& form) {
  TImpl& I = *Impl;
  HWND owner = MainForm && MainForm != &form ? I.WindowOf(*MainForm) : nullptr;
  const TRect& r = form.Bounds();
  HWND window = ::CreateWindowExA(FormExStyle(form), FormClassName, form.Caption().c_str(),
                                  FormStyle(form), r.Left, r.Top, r.Width, r.Height, owner,
                                  nullptr, I.Instance, Impl.get());
  if (!window) return;
  I.Windows[&form] = window;
  I.Models[window] = &form;
  form.SetObserver(this);
  I.SetIcon(window);
  if (form.AcceptsFiles()) ::DragAcceptFiles(window, TRUE);
  ::SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(I.Fonts.Get(form.EffectiveFont())), FALSE);

  for (TComponent* c : form.Components()) {
    if (c == &form) continue;
    if (auto* timer = dynamic_cast<TTimer*>(c)) {
      timer->SetObserver(this);
      const UINT_PTR id = I.NextTimerId++;
      I.Timers[id] = timer;
      I.TimerIds[timer] = id;
      I.SetTimer(*timer);
      continue;
    }
    auto* control = dynamic_cast<TControl*>(c);
    if (!control) continue;
    HWND parent = control->Parent() ? I.WindowOf(*control->Parent()) : window;
    if (!parent) continue;
    HWND w = I.CreateControl(*control, parent);
    if (!w) continue;
    control->SetObserver(this);
    I.Windows[control] = w;
    I.Models[w] = control;
    ++I.Updating;
    for (TProp p : {TProp::Font, TProp::Bounds, TProp::Enabled, TProp::Visible, TProp::Hint,
                    TProp::Items, TProp::Text, TProp::Range, TProp::Position, TProp::Lines,
                    TProp::Checked})
      I.Update(*control, p);
    --I.Updating;
  }
  I.FitForm(form, window);
  if (form.Visible()) ShowForm(form, true);
}

HWND TWin32Host::TImpl::CreateControl(TControl& control, HWND parent) {
  const char* cls = nullptr;
  std::string text;
  ::DWORD style = ChildStyle;
  ::DWORD ex = 0;
  switch (control.Kind()) {
    case TControlKind::GroupBox:
      cls = "BUTTON";
      text = static_cast<TGroupBox&>(control).Caption();
      style |= BS_GROUPBOX | WS_CLIPCHILDREN;
      ex = WS_EX_CONTROLPARENT;
      break;
    case TControlKind::Label:
      cls = "STATIC";
      text = static_cast<TLabel&>(control).Caption();
      style |= SS_LEFT | SS_NOPREFIX;
      break;
    case TControlKind::Edit:
      cls = "EDIT";
      text = static_cast<TEdit&>(control).Text();
      style |= ES_AUTOHSCROLL | WS_TABSTOP;
      ex = WS_EX_CLIENTEDGE;
      break;
    case TControlKind::Button:
      cls = "BUTTON";
      text = static_cast<TButton&>(control).Caption();
      style |= BS_PUSHBUTTON | WS_TABSTOP;
      break;
    case TControlKind::CheckBox:
      cls = "BUTTON";
      text = static_cast<TCheckBox&>(control).Caption();
      style |= BS_AUTOCHECKBOX | WS_TABSTOP;
      break;
    case TControlKind::ComboBox:
      cls = "COMBOBOX";
      style |= CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP;
      break;
    case TControlKind::ProgressBar:
      cls = PROGRESS_CLASSA;
      if (static_cast<TProgressBar&>(control).Smooth) style |= PBS_SMOOTH;
      break;
    case TControlKind::Memo:
      cls = "EDIT";
      style |= ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY | WS_VSCROLL | WS_TABSTOP;
      ex = WS_EX_CLIENTEDGE;
      break;
    case TControlKind::UpDown:
      // No buddy of Windows' own: the model steps the number in its edit box.
      cls = UPDOWN_CLASSA;
      break;
    default:
      return nullptr;
  }
  const TRect& r = control.Bounds();
  const int id = NextControlId++;
  HWND w = ::CreateWindowExA(ex, cls, text.c_str(), style, r.Left, r.Top, r.Width, r.Height, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance, nullptr);
  if (w && control.Kind() == TControlKind::GroupBox) ::SetWindowSubclass(w, GroupProc, 1, reinterpret_cast<DWORD_PTR>(this));
  return w;
}

// --- sizes that follow the content ---------------------------------------------------------------

void TWin32Host::TImpl::FitLabel(TLabel& label, HWND w) {
  // A label is as large as its caption in its font.
  HDC dc = ::GetDC(w);
  HGDIOBJ old = ::SelectObject(dc, Fonts.Get(label.EffectiveFont()));
  TEXTMETRICA tm{};
  ::GetTextMetricsA(dc, &tm);
  RECT rc{0, 0, 0, 0};
  const std::string& caption = label.Caption();
  if (!caption.empty())
    ::DrawTextA(dc, caption.c_str(), static_cast<int>(caption.size()), &rc, DT_CALCRECT | DT_NOPREFIX);
  ::SelectObject(dc, old);
  ::ReleaseDC(w, dc);
  const int height = std::max<int>(rc.bottom - rc.top, tm.tmHeight);
  ::SetWindowPos(w, nullptr, label.Bounds().Left, label.Bounds().Top, rc.right - rc.left, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWin32Host::TImpl::FitForm(TForm& form, HWND w) {
  RECT client{0, 0, form.Bounds().Width, form.Bounds().Height};
  if (form.AutoSize) {
    // As large as the controls it holds, at their declared places.
    client = RECT{0, 0, 0, 0};
    for (TControl* child : form.Children()) {
      HWND cw = WindowOf(*child);
      if (!cw || !child->Visible()) continue;
      RECT rc;
      ::GetWindowRect(cw, &rc);
      ::MapWindowPoints(HWND_DESKTOP, w, reinterpret_cast<POINT*>(&rc), 2);
      if (child->Kind() == TControlKind::ComboBox) rc.bottom = rc.top + child->Bounds().Height;
      client.right = std::max(client.right, rc.right);
      client.bottom = std::max(client.bottom, rc.bottom);
    }
  }
  const ::DWORD style = static_cast<::DWORD>(::GetWindowLongPtrA(w, GWL_STYLE));
  const ::DWORD ex = static_cast<::DWORD>(::GetWindowLongPtrA(w, GWL_EXSTYLE));
  RECT outer = client;
  ::AdjustWindowRectEx(&outer, style, FALSE, ex);
  ::SetWindowPos(w, nullptr, form.Bounds().Left, form.Bounds().Top, outer.right - outer.left,
                 outer.bottom - outer.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWin32Host::TImpl::SetIcon(HWND form) {
  if (Host.Icon.empty()) return;
  // Shared: the icons stay with the program's image, nothing to free.
  for (auto [which, size] : {std::pair{ICON_BIG, SM_CXICON}, std::pair{ICON_SMALL, SM_CXSMICON}}) {
    const int px = ::GetSystemMetrics(size);
    HANDLE icon = ::LoadImageA(Instance, Host.Icon.c_str(), IMAGE_ICON, px, px, LR_SHARED);
    if (icon) ::SendMessageA(form, WM_SETICON, which, reinterpret_cast<LPARAM>(icon));
  }
}

void TWin32Host::TImpl::SetHint(TControl& control, HWND w) {
  TForm* form = control.Owner();
  if (!form) return;
  HWND formWindow = WindowOf(*form);
  if (!formWindow) return;
  auto found = Tooltips.find(formWindow);
  HWND tip = found == Tooltips.end() ? nullptr : found->second;
  if (control.Hint().empty() && !tip) return;
  if (!tip) {
    tip = ::CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, formWindow,
                            nullptr, Instance, nullptr);
    if (!tip) return;
    Tooltips[formWindow] = tip;
  }
  TOOLINFOA info{};
  // The size the version 5 controls know, which the newer ones accept too.
  info.cbSize = TTTOOLINFOA_V2_SIZE;
  info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  info.hwnd = ::GetParent(w);
  info.uId = reinterpret_cast<UINT_PTR>(w);
  std::string text = control.Hint();
  info.lpszText = text.data();
  ::SendMessageA(tip, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&info));
  if (!text.empty()) ::SendMessageA(tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info));
}

void TWin32Host::TImpl::SetTimer(TTimer& timer) {
  auto it = TimerIds.find(&timer);
  if (it == TimerIds.end()) return;
  if (timer.Enabled() && timer.Interval() > 0)
    ::SetTimer(Hidden, it->second, static_cast<UINT>(timer.Interval()), nullptr);
  else
    ::KillTimer(Hidden, it->second);
}

// --- model to window -------------------------------------------------------------------------------

void TWin32Host::Changed(TComponent& component, TProp what) {
  ++Impl->Updating;
  Impl->Update(component, what);
  --Impl->Updating;
}

void TWin32Host::TImpl::Update(TComponent& component, TProp what) {
  if (what == TProp::Timer) {
    if (auto* timer = dynamic_cast<TTimer*>(&component)) SetTimer(*timer);
    return;
  }
  HWND w = WindowOf(component);
  if (!w) return;
  auto& control = static_cast<TControl&>(component);
  const TControlKind kind = control.Kind();
  switch (what) {
    case TProp::Bounds: {
      const TRect& r = control.Bounds();
      if (kind == TControlKind::Form)
        FitForm(static_cast<TForm&>(control), w);
      else if (kind == TControlKind::Label)
        FitLabel(static_cast<TLabel&>(control), w);
      else if (kind == TControlKind::ComboBox)
        // The window's height includes the list; the box itself follows the
        // font, and is brought to the declared height below.
        ::MoveWindow(w, r.Left, r.Top, r.Width, r.Height + DropListHeight, TRUE);
      else
        ::MoveWindow(w, r.Left, r.Top, r.Width, r.Height, TRUE);
      if (kind == TControlKind::ComboBox) {
        // The box's height is its text field's plus a border whose size the
        // system decides: a few rounds bring it to the declared height.
        auto field = static_cast<int>(::SendMessageA(w, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0));
        for (int round = 0; round < 3; ++round) {
          RECT rc;
          ::GetWindowRect(w, &rc);
          const int off = r.Height - (rc.bottom - rc.top);
          if (off == 0 || field + off <= 0) break;
          field += off;
          ::SendMessageA(w, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
        }
      }
      // Tab goes round what can be seen; a control outside the client area
      // is still reached by a click or the accessibility interface.
      if (kind == TControlKind::Edit || kind == TControlKind::Button || kind == TControlKind::CheckBox ||
          kind == TControlKind::ComboBox || kind == TControlKind::Memo) {
        const LONG_PTR style = ::GetWindowLongPtrA(w, GWL_STYLE);
        ::SetWindowLongPtrA(w, GWL_STYLE,
                            control.InClientArea() ? style | WS_TABSTOP : style & ~static_cast<LONG_PTR>(WS_TABSTOP));
      }
      break;
    }
    case TProp::Font:
      ::SendMessageA(w, WM_SETFONT, reinterpret_cast<WPARAM>(Fonts.Get(control.EffectiveFont())), TRUE);
      if (kind == TControlKind::Label || kind == TControlKind::ComboBox) Update(component, TProp::Bounds);
      break;
    case TProp::Enabled:
      ::EnableWindow(w, control.Enabled());
      break;
    case TProp::Visible:
      if (kind != TControlKind::Form) ::ShowWindow(w, control.Visible() ? SW_SHOWNA : SW_HIDE);
      break;
    case TProp::Hint:
      SetHint(control, w);
      break;
    case TProp::Caption: {
      std::string caption;
      switch (kind) {
        case TControlKind::Form: caption = static_cast<TForm&>(control).Caption(); break;
        case TControlKind::GroupBox: caption = static_cast<TGroupBox&>(control).Caption(); break;
        case TControlKind::Label: caption = static_cast<TLabel&>(control).Caption(); break;
        case TControlKind::Button: caption = static_cast<TButton&>(control).Caption(); break;
        case TControlKind::CheckBox: caption = static_cast<TCheckBox&>(control).Caption(); break;
        default: return;
      }
      ::SetWindowTextA(w, caption.c_str());
      if (kind == TControlKind::Label) FitLabel(static_cast<TLabel&>(control), w);
      break;
    }
    case TProp::Checked:
      if (kind == TControlKind::CheckBox)
        ::SendMessageA(w, BM_SETCHECK, static_cast<TCheckBox&>(control).Checked() ? BST_CHECKED : BST_UNCHECKED, 0);
      break;
    case TProp::Text: {
      std::string text;
      if (kind == TControlKind::Edit)
        text = static_cast<TEdit&>(control).Text();
      else if (kind == TControlKind::ComboBox)
        text = static_cast<TComboBox&>(control).Text();
      else
        return;
      // What the user is typing is already there; setting it again would
      // move the caret.
      if (WindowText(w) != text) ::SetWindowTextA(w, text.c_str());
      break;
    }
    case TProp::Items:
    case TProp::ItemIndex: {
      if (kind != TControlKind::ComboBox) return;
      auto& combo = static_cast<TComboBox&>(control);
      if (what == TProp::Items) {
        // Emptying the list empties the edit field too; the text stays.
        const std::string text = WindowText(w);
        ::SendMessageA(w, CB_RESETCONTENT, 0, 0);
        for (const auto& item : combo.Items())
          ::SendMessageA(w, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
        if (WindowText(w) != text) ::SetWindowTextA(w, text.c_str());
      }
      if (::SendMessageA(w, CB_GETCURSEL, 0, 0) != combo.ItemIndex()) {
        // Choosing no item empties the edit field: what the user sees there,
        // and the caret, are put back. The text itself follows as Text.
        const std::string text = WindowText(w);
        const LRESULT selection = ::SendMessageA(w, CB_GETEDITSEL, 0, 0);
        ::SendMessageA(w, CB_SETCURSEL, static_cast<WPARAM>(combo.ItemIndex()), 0);
        if (combo.ItemIndex() < 0 && WindowText(w) != text) {
          ::SetWindowTextA(w, text.c_str());
          ::SendMessageA(w, CB_SETEDITSEL, 0, MAKELPARAM(LOWORD(selection), HIWORD(selection)));
        }
      }
      break;
    }
    case TProp::Range:
    case TProp::Position:
      if (kind == TControlKind::ProgressBar) {
        const auto shown = static_cast<TProgressBar&>(control).Shown();
        ::SendMessageA(w, PBM_SETRANGE32, static_cast<WPARAM>(shown.Min), shown.Max);
        ::SendMessageA(w, PBM_SETPOS, static_cast<WPARAM>(shown.Position), 0);
      } else if (kind == TControlKind::UpDown) {
        auto& spin = static_cast<TUpDown&>(control);
        ::SendMessageA(w, UDM_SETRANGE32, static_cast<WPARAM>(spin.Min()), spin.Max());
        ::SendMessageA(w, UDM_SETPOS32, 0, spin.Position());
      }
      break;
    case TProp::Lines:
      if (kind == TControlKind::Memo) {
        std::string text;
        for (const auto& line : static_cast<TMemo&>(control).Lines()) {
          if (!text.empty()) text += "\r\n";
          text += line;
        }
        ::SetWindowTextA(w, text.c_str());
        // A log: the newest line in view.
        ::SendMessageA(w, EM_SETSEL, text.size(), text.size());
        ::SendMessageA(w, EM_SCROLLCARET, 0, 0);
      }
      break;
    case TProp::Repaint:
      ::RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
      break;
    case TProp::ModalResult:
      // The modal loop looks at the result after each message.
      ::PostMessageA(w, WM_NULL, 0, 0);
      break;
    default:
      break;
  }
}

void TWin32Host::Destroyed(TComponent& component) {
  // Called from the component's destructor: only its address may be used.
  TImpl& I = *Impl;
  auto timer = I.TimerIds.find(&component);
  if (timer != I.TimerIds.end()) {
    ::KillTimer(I.Hidden, timer->second);
    I.Timers.erase(timer->second);
    I.TimerIds.erase(timer);
    return;
  }
  auto it = I.Windows.find(&component);
  if (it == I.Windows.end()) return;
  HWND w = it->second;
  I.Windows.erase(it);
  I.Models.erase(w);
  // A form goes last, after its controls; its window takes theirs along.
  if ((::GetWindowLongPtrA(w, GWL_STYLE) & WS_CHILD) != 0) return;
  I.Focus.erase(w);
  auto tip = I.Tooltips.find(w);
  if (tip != I.Tooltips.end()) {
    ::DestroyWindow(tip->second);
    I.Tooltips.erase(tip);
  }
  ::DestroyWindow(w);
}

}  // namespace vornex
