// What the Win32 host keeps: the native window of every control, the timers,
// the fonts, and the modal forms in progress. Internal to forms/win32.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "forms/win32/FontCache.h"
#include "forms/win32/Win32Host.h"
#include "os/win32/WinApi.h"

namespace vornex {

struct TWin32Host::TImpl {
  explicit TImpl(TWin32Host& host) : Host(host) {}

  TWin32Host& Host;
  HINSTANCE Instance = nullptr;
  ::DWORD UiThreadId = 0;
  // Message-only: runs the timers and the calls other threads hand over.
  HWND Hidden = nullptr;
  std::unordered_map<const TComponent*, HWND> Windows;
  std::unordered_map<HWND, TComponent*> Models;
  // One tool-tip window per form window.
  std::unordered_map<HWND, HWND> Tooltips;
  std::unordered_map<UINT_PTR, TTimer*> Timers;
  std::unordered_map<const TComponent*, UINT_PTR> TimerIds;
  UINT_PTR NextTimerId = 1;
  int NextControlId = 100;
  // Above zero while the model is copied into a window: the notifications
  // that raises are ours, not the user's.
  int Updating = 0;
  std::vector<TForm*> Modal;
  // The control each form window last had the keyboard on.
  std::unordered_map<HWND, HWND> Focus;
  win32::TFontCache Fonts;

  HWND WindowOf(const TComponent& c) const {
    auto it = Windows.find(&c);
    return it == Windows.end() ? nullptr : it->second;
  }
  TComponent* ModelOf(HWND w) const {
    auto it = Models.find(w);
    return it == Models.end() ? nullptr : it->second;
  }
  bool IsFormWindow(HWND w) const;

  // Creating and updating the native controls (Win32Controls.cpp).
  HWND CreateControl(TControl& control, HWND parent);
  void Update(TComponent& component, TProp what);
  void FitLabel(TLabel& label, HWND w);
  void FitForm(TForm& form, HWND w);
  void SetHint(TControl& control, HWND w);
  void SetTimer(TTimer& timer);
  // The host's icon from the program's resources, large and small.
  void SetIcon(HWND form);

  // User input, from the window procedures (Win32Host.cpp).
  LRESULT Command(HWND window, WPARAM wParam, LPARAM lParam);
  LRESULT Notify(LPARAM lParam);
  void DropFiles(HWND window, HANDLE drop);
  void Dispatch(MSG& msg);
  void RestoreFocus(HWND form);
};

// A window's text (an edit field's, a caption).
inline std::string WindowText(HWND w) {
  const int n = ::GetWindowTextLengthA(w);
  std::string text(static_cast<std::size_t>(n) + 1, '\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextA(w, text.data(), n + 1)));
  return text;
}

// The window procedure of forms and the hidden window, and the subclass
// procedure that makes a group box a container (Win32Host.cpp).
LRESULT CALLBACK FormProc(HWND w, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK GroupProc(HWND w, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                           DWORD_PTR data);
inline constexpr char FormClassName[] = "VornexForm";
inline constexpr UINT WM_SYNCHRONIZE = WM_APP + 1;

}  // namespace vornex
