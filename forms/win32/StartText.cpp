#include "forms/win32/StartText.h"

#include <memory>
#include <type_traits>

#include "os/win32/WinApi.h"

namespace vornex::win32 {

namespace {

bool WriteAll(HANDLE out, const std::string& text) {
  if (!out || out == INVALID_HANDLE_VALUE) return false;
  ::DWORD written = 0;
  return ::WriteFile(out, text.data(), static_cast<::DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

struct TCloseHandle {
  void operator()(HANDLE h) const { ::CloseHandle(h); }
};
using THandleHolder = std::unique_ptr<std::remove_pointer_t<HANDLE>, TCloseHandle>;

}  // namespace

bool ShowStartText(const std::string& text, const std::string& title, bool error) {
  // A window program has standard handles only when its starter gave it
  // some (a redirection, a pipe, Wine); one that takes nothing is a failure,
  // not a reason to show the text elsewhere.
  HANDLE given = ::GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  if (given && given != INVALID_HANDLE_VALUE) return WriteAll(given, text);
  if (::AttachConsole(ATTACH_PARENT_PROCESS)) {
    bool shown = false;
    HANDLE raw = ::CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    if (raw != INVALID_HANDLE_VALUE) {
      THandleHolder console(raw);
      // The console's prompt is already back: a window program is not waited for.
      shown = WriteAll(console.get(), "\r\n" + text);
    }
    ::FreeConsole();
    if (shown) return true;
  }
  ::MessageBoxA(nullptr, text.c_str(), title.c_str(), MB_OK | (error ? MB_ICONERROR : MB_ICONINFORMATION));
  return true;
}

}  // namespace vornex::win32
