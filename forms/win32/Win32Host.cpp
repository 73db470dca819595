// The host services on Win32: the message loop, modal forms, the message box,
// the file-open dialog, timers and the calls other threads hand over.
#include "forms/win32/Win32Host.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <type_traits>
#include <vector>

#include "forms/win32/HostImpl.h"
#include "os/win32/WinApi.h"
#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

namespace vornex {

namespace {

TWin32Host::TImpl* ImplOf(HWND w) {
  return reinterpret_cast<TWin32Host::TImpl*>(::GetWindowLongPtrA(w, GWLP_USERDATA));
}

// "Text files|*.txt|All|*.*" as the dialog wants it: pairs ending in NULs.
std::string DialogFilter(const std::string& filter) {
  std::string out = filter;
  for (char& c : out)
    if (c == '|') c = '\0';
  out.push_back('\0');
  out.push_back('\0');
  return out;
}

std::string FullPath(const std::string& path) {
  char full[MAX_PATH];
  const ::DWORD n = ::GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
  return n > 0 && n < MAX_PATH ? std::string(full, n) : path;
}

// The drop-down list as wide as its widest entry, within the screen, so
// that an entry is cut, if at all, at its end: a printer's address and port
// stay whole and its long name gives way.
void WidenDropDown(HWND combo) {
  HDC dc = ::GetDC(combo);
  if (!dc) return;  // keeps the width it has
  HGDIOBJ font = reinterpret_cast<HGDIOBJ>(::SendMessageA(combo, WM_GETFONT, 0, 0));
  HGDIOBJ before = font ? ::SelectObject(dc, font) : nullptr;
  int widest = 0;
  std::string text;
  const auto count = static_cast<int>(::SendMessageA(combo, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    const LRESULT length = ::SendMessageA(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
    if (length <= 0) continue;
    text.assign(static_cast<std::size_t>(length) + 1, '\0');
    ::SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
    SIZE size{};
    if (::GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(length), &size))
      widest = std::max(widest, static_cast<int>(size.cx));
  }
  if (before) ::SelectObject(dc, before);
  ::ReleaseDC(combo, dc);
  const int margins = 2 * ::GetSystemMetrics(SM_CXEDGE) + ::GetSystemMetrics(SM_CXVSCROLL) + 8;
  const int room = ::GetSystemMetrics(SM_CXSCREEN);
  ::SendMessageA(combo, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(std::min(widest + margins, room)), 0);
}

}  // namespace

bool TWin32Host::TImpl::IsFormWindow(HWND w) const {
  TComponent* model = ModelOf(w);
  return model && model->Kind() == TControlKind::Form;
}

// --- construction -------------------------------------------------------------------

TWin32Host::TWin32Host() : Impl(std::make_unique<TImpl>(*this)) {
  Impl->Instance = ::GetModuleHandleA(nullptr);
  Impl->UiThreadId = ::GetCurrentThreadId();
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS |
                                           ICC_UPDOWN_CLASS | ICC_BAR_CLASSES | ICC_WIN95_CLASSES};
  ::InitCommonControlsEx(&icc);

  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = FormProc;
  wc.hInstance = Impl->Instance;
  wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hIcon = ::LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = FormClassName;
  ::RegisterClassExA(&wc);

  Impl->Hidden = ::CreateWindowExA(0, FormClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   Impl->Instance, Impl.get());
  HWND hidden = Impl->Hidden;
  // Called with the queue's lock held: a post never waits.
  SyncQueue()->SetWaker([hidden] { ::PostMessageA(hidden, WM_SYNCHRONIZE, 0, 0); });
}

TWin32Host::~TWin32Host() {
  SyncQueue()->SetWaker(nullptr);
  for (auto& [component, window] : Impl->Windows) const_cast<TComponent*>(component)->SetObserver(nullptr);
  for (auto& [id, timer] : Impl->Timers) timer->SetObserver(nullptr);
  for (auto& [form, tip] : Impl->Tooltips) ::DestroyWindow(tip);
  std::vector<HWND> forms;
  for (auto& [window, model] : Impl->Models)
    if (model->Kind() == TControlKind::Form) forms.push_back(window);
  for (HWND w : forms) ::DestroyWindow(w);
  if (Impl->Hidden) ::DestroyWindow(Impl->Hidden);
}

void* TWin32Host::WindowOf(const TComponent& component) const { return Impl->WindowOf(component); }

// --- the message loop -----------------------------------------------------------------

void TWin32Host::TImpl::Dispatch(MSG& msg) {
  // Tab, the arrow keys and Escape work as in a dialog box; Escape arrives
  // as IDCANCEL.
  HWND root = msg.hwnd ? ::GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
  if (root && IsFormWindow(root) && ::IsDialogMessageA(root, &msg)) return;
  ::TranslateMessage(&msg);
  ::DispatchMessageA(&msg);
}

int TWin32Host::Run() {
  MSG msg{};
  int result;
  while ((result = ::GetMessageA(&msg, nullptr, 0, 0)) > 0) Impl->Dispatch(msg);
  return result < 0 ? 1 : static_cast<int>(msg.wParam);
}

void TWin32Host::Terminate() {
  if (::GetCurrentThreadId() == Impl->UiThreadId)
    ::PostQuitMessage(0);
  else
    ::PostThreadMessageA(Impl->UiThreadId, WM_QUIT, 0, 0);
}

// --- showing forms -----------------------------------------------------------------------

void TWin32Host::ShowForm(TForm& form, bool visible) {
  HWND w = Impl->WindowOf(form);
  if (!w) return;
  if (!visible) {
    ::ShowWindow(w, SW_HIDE);
    return;
  }
  ::ShowWindow(w, SW_SHOW);
  ::SetForegroundWindow(w);
  if (::GetForegroundWindow() == w && !::IsChild(w, ::GetFocus())) Impl->RestoreFocus(w);
}

void TWin32Host::TImpl::RestoreFocus(HWND form) {
  // The control that had the keyboard when the window was left, else the
  // first one Tab reaches, as a dialog box does.
  auto saved = Focus.find(form);
  HWND target = saved != Focus.end() && ::IsChild(form, saved->second) ? saved->second : nullptr;
  if (!target || !::IsWindowEnabled(target) || !::IsWindowVisible(target))
    target = ::GetNextDlgTabItem(form, nullptr, FALSE);
  if (target) ::SetFocus(target);
}

int TWin32Host::ShowModal(TForm& form) {
  HWND w = Impl->WindowOf(form);
  if (!w) return mrCancel;
  form.SetVisible(true);
  // The other windows take no input until the form ends.
  std::vector<HWND> disabled;
  for (auto& [window, model] : Impl->Models)
    if (window != w && model->Kind() == TControlKind::Form && ::IsWindowEnabled(window)) {
      ::EnableWindow(window, FALSE);
      disabled.push_back(window);
    }
  ShowForm(form, true);
  Impl->Modal.push_back(&form);
  MSG msg{};
  while (form.ModalResult() == mrNone) {
    const int got = ::GetMessageA(&msg, nullptr, 0, 0);
    if (got <= 0) {
      // The application is ending: the outer loop must see the quit too.
      if (got == 0) ::PostQuitMessage(static_cast<int>(msg.wParam));
      form.SetModalResult(mrCancel);
      break;
    }
    Impl->Dispatch(msg);
  }
  Impl->Modal.pop_back();
  // Enabled again before the form hides, so the owner gets the activation.
  for (HWND window : disabled) ::EnableWindow(window, TRUE);
  ::ShowWindow(w, SW_HIDE);
  form.SetVisible(false);
  return form.ModalResult();
}

void TWin32Host::ShowMessage(const std::string& text) {
  if (!OnUiThread()) {
    Synchronize([this, text] { ShowMessage(text); });
    return;
  }
  HWND owner = nullptr;
  if (!Impl->Modal.empty())
    owner = Impl->WindowOf(*Impl->Modal.back());
  else if (MainForm && MainForm->Visible())
    owner = Impl->WindowOf(*MainForm);
  ::MessageBoxA(owner, text.c_str(), Title.c_str(), MB_OK | (owner ? 0 : MB_TASKMODAL));
}

bool TWin32Host::ExecuteOpenDialog(TOpenDialog& dialog) {
  std::vector<char> file(32768, '\0');
  const std::string filter = dialog.Filter.empty() ? std::string() : DialogFilter(dialog.Filter);
  const std::string initialDir = dialog.InitialDir.empty() ? std::string() : FullPath(dialog.InitialDir);
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = MainForm ? Impl->WindowOf(*MainForm) : nullptr;
  ofn.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<::DWORD>(file.size());
  ofn.lpstrInitialDir = initialDir.empty() ? nullptr : initialDir.c_str();
  // The current folder stays where it was: nothing else may depend on it.
  ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  if (!::GetOpenFileNameA(&ofn)) return false;
  dialog.FileName = FullPath(file.data());
  return true;
}

// --- user input ------------------------------------------------------------------------------

LRESULT TWin32Host::TImpl::Command(HWND window, WPARAM wParam, LPARAM lParam) {
  const UINT code = HIWORD(wParam);
  HWND from = reinterpret_cast<HWND>(lParam);
  if (!from) {
    // Escape, through the dialog manager.
    if (LOWORD(wParam) == IDCANCEL)
      if (auto* form = dynamic_cast<TForm*>(ModelOf(::GetAncestor(window, GA_ROOT)))) form->PressEscape();
    return 0;
  }
  TComponent* model = ModelOf(from);
  if (!model || Updating > 0) return 0;
  switch (model->Kind()) {
    case TControlKind::Button:
      if (code == BN_CLICKED) static_cast<TButton*>(model)->Click();
      break;
    case TControlKind::CheckBox:
      if (code == BN_CLICKED)
        static_cast<TCheckBox*>(model)->SetChecked(::SendMessageA(from, BM_GETCHECK, 0, 0) == BST_CHECKED);
      break;
    case TControlKind::Edit:
      if (code == EN_CHANGE) static_cast<TEdit*>(model)->SetText(WindowText(from));
      break;
    case TControlKind::ComboBox: {
      auto* combo = static_cast<TComboBox*>(model);
      if (code == CBN_DROPDOWN) {
        combo->DropDown();
        WidenDropDown(from);
      } else if (code == CBN_SELCHANGE) {
        const auto index = static_cast<int>(::SendMessageA(from, CB_GETCURSEL, 0, 0));
        if (index >= 0) combo->Pick(index);
      } else if (code == CBN_EDITCHANGE) {
        combo->TypeText(WindowText(from));
      }
      break;
    }
    default:
      break;
  }
  return 0;
}

void TWin32Host::TImpl::DropFiles(HWND window, HANDLE drop) {
  // The drop's memory is the receiver's to free, whatever happens here.
  struct TFinish {
    void operator()(HDROP h) const { ::DragFinish(h); }
  };
  const std::unique_ptr<std::remove_pointer_t<HDROP>, TFinish> held(static_cast<HDROP>(drop));
  HDROP hdrop = held.get();
  std::vector<std::string> files;
  const UINT count = ::DragQueryFileA(hdrop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    const UINT length = ::DragQueryFileA(hdrop, i, nullptr, 0);
    std::string name(static_cast<std::size_t>(length) + 1, '\0');
    name.resize(::DragQueryFileA(hdrop, i, name.data(), length + 1));
    const ::DWORD attributes = ::GetFileAttributesA(name.c_str());
    if (!name.empty() && attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
      files.push_back(name);
  }
  if (auto* form = dynamic_cast<TForm*>(ModelOf(window))) form->DropFiles(files);
}

LRESULT TWin32Host::TImpl::Notify(LPARAM lParam) {
  const auto* header = reinterpret_cast<const NMHDR*>(lParam);
  TComponent* model = ModelOf(header->hwndFrom);
  if (!model || model->Kind() != TControlKind::UpDown) return 0;
  if (header->code != UDN_DELTAPOS) return 0;
  const auto* change = reinterpret_cast<const NMUPDOWN*>(lParam);
  static_cast<TUpDown*>(model)->Step(change->iDelta > 0);
  // The model sets the position itself.
  return TRUE;
}

// --- window procedures -------------------------------------------------------------------------

LRESULT CALLBACK FormProc(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    ::SetWindowLongPtrA(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    return ::DefWindowProcA(w, message, wParam, lParam);
  }
  TWin32Host::TImpl* impl = ImplOf(w);
  if (!impl) return ::DefWindowProcA(w, message, wParam, lParam);
  // Nothing may unwind through Windows' own frames: a failure is shown, and
  // the loop goes on.
  try {
    switch (message) {
      case WM_SYNCHRONIZE:
        impl->Host.CheckSynchronize();
        return 0;
      case WM_TIMER: {
        auto it = impl->Timers.find(wParam);
        if (it != impl->Timers.end()) it->second->Tick();
        return 0;
      }
      case WM_COMMAND:
        return impl->Command(w, wParam, lParam);
      case WM_NOTIFY:
        return impl->Notify(lParam);
      case WM_DROPFILES:
        impl->DropFiles(w, reinterpret_cast<HANDLE>(wParam));
        return 0;
      case WM_ACTIVATE:
        if (!impl->IsFormWindow(w)) break;
        if (LOWORD(wParam) == WA_INACTIVE) {
          HWND focus = ::GetFocus();
          if (::IsChild(w, focus)) impl->Focus[w] = focus;
        } else if (!HIWORD(wParam)) {
          impl->RestoreFocus(w);
        }
        return 0;
      case WM_CLOSE: {
        auto* form = dynamic_cast<TForm*>(impl->ModelOf(w));
        if (!form) break;
        // The model decides; the window hides only as the model says.
        form->UserClose();
        return 0;
      }
      default:
        break;
    }
  } catch (...) {
    impl->Host.HandleException(std::current_exception());
    return 0;
  }
  return ::DefWindowProcA(w, message, wParam, lParam);
}

LRESULT CALLBACK GroupProc(HWND w, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                           DWORD_PTR data) {
  auto* impl = reinterpret_cast<TWin32Host::TImpl*>(data);
  try {
    switch (message) {
      // The subclass goes with its window.
      case WM_NCDESTROY:
        ::RemoveWindowSubclass(w, GroupProc, id);
        break;
      // A group box holds controls here, so their notifications come to it.
      case WM_COMMAND:
        return impl->Command(w, wParam, lParam);
      case WM_NOTIFY:
        return impl->Notify(lParam);
      case WM_ERASEBKGND: {
        // A plain group box leaves its inside to its parent, which does not
        // paint beneath its children.
        RECT rc;
        ::GetClientRect(w, &rc);
        ::FillRect(reinterpret_cast<HDC>(wParam), &rc, ::GetSysColorBrush(COLOR_BTNFACE));
        return TRUE;
      }
      case WM_NCHITTEST:
        // A plain group box lets clicks through to what lies beneath; this
        // one is the parent of what lies inside it.
        return HTCLIENT;
      default:
        break;
    }
  } catch (...) {
    impl->Host.HandleException(std::current_exception());
    return 0;
  }
  return ::DefSubclassProc(w, message, wParam, lParam);
}

}  // namespace vornex
