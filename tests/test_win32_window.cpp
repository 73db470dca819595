// The real main window and settings dialog on native Win32 controls (Wine
// and a virtual display here): what the user sees, where, and what the
// user's actions reach.
#include "app/MainForm.h"
#include "dialogs/ComSetupForm.h"
#include "forms/win32/Win32Host.h"
#include "os/win32/Win32Platform.h"
#include "tests/support/MainWindowLayout.h"
#include "tests/support/TempDir.h"
#include "upload/UploadEngine.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "os/win32/WinApi.h"
#include <commctrl.h>
#include <shlobj.h>

namespace vornex::test {
namespace {

// Message boxes are recorded instead of shown: nobody is there to press OK.
class TRecordingHost : public TWin32Host {
 public:
  void ShowMessage(const std::string& text) override { Messages.push_back(text); }
  std::vector<std::string> Messages;
};

TRecordingHost& Host() {
  static TRecordingHost host;
  return host;
}

HWND Window(const TComponent& c) { return static_cast<HWND>(Host().WindowOf(c)); }

std::string Text(HWND w) {
  char buffer[512] = {};
  ::GetWindowTextA(w, buffer, sizeof buffer);
  return buffer;
}

// Where a control stands in its container's client area.
RECT Placement(HWND w) {
  RECT rc;
  ::GetWindowRect(w, &rc);
  ::MapWindowPoints(HWND_DESKTOP, ::GetParent(w), reinterpret_cast<POINT*>(&rc), 2);
  return rc;
}

::testing::AssertionResult At(HWND w, int left, int top, int width, int height) {
  RECT rc = Placement(w);
  if (rc.left == left && rc.top == top && rc.right - rc.left == width && rc.bottom - rc.top == height)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "at " << rc.left << "," << rc.top << " size " << rc.right - rc.left
                                       << "x" << rc.bottom - rc.top;
}

LOGFONTA FontOf(HWND w) {
  LOGFONTA lf{};
  auto font = reinterpret_cast<HFONT>(::SendMessageA(w, WM_GETFONT, 0, 0));
  ::GetObjectA(font, sizeof lf, &lf);
  return lf;
}

// Serves the message queue until it is empty.
void Pump() {
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
}

class Win32Window : public ::testing::Test {
 protected:
  void SetUp() override {
    Host().Messages.clear();
    Form = std::make_unique<TMainForm>(Host(), Platform);
    Host().Attach(*Form);
    Form->Show();
    Pump();
  }
  void TearDown() override { Form.reset(); }
  TWin32Platform Platform;
  std::unique_ptr<TMainForm> Form;
};

TEST_F(Win32Window, TheVisibleControlsStandWhereDeclaredWithTheirCaptions) {
  HWND window = Window(*Form);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(Text(window), "ZUV Vornex 2.00");
  RECT client;
  ::GetClientRect(window, &client);
  EXPECT_EQ(client.right, 267);
  EXPECT_EQ(client.bottom, 201);
  RECT outer;
  ::GetWindowRect(window, &outer);
  EXPECT_EQ(outer.left, 150);
  EXPECT_EQ(outer.top, 113);
  const auto style = ::GetWindowLongPtrA(window, GWL_STYLE);
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME) << "a fixed border";
  EXPECT_TRUE(::IsWindowVisible(window));

  for (const auto& e : VisibleControls(*Form)) {
    HWND w = Window(e.Control);
    ASSERT_NE(w, nullptr) << e.Control.Name();
    EXPECT_TRUE(At(w, e.Where.Left, e.Where.Top, e.Where.Width, e.Where.Height)) << e.Control.Name();
    EXPECT_TRUE(::IsWindowVisible(w)) << e.Control.Name();
    EXPECT_EQ(Text(w), e.Caption) << e.Control.Name();
    HWND container = e.Control.Parent() ? Window(*e.Control.Parent()) : window;
    EXPECT_EQ(::GetParent(w), container) << e.Control.Name();
  }
  for (const auto& l : VisibleLabels(*Form)) {
    HWND w = Window(l.Label);
    RECT rc = Placement(w);
    EXPECT_EQ(rc.left, l.X) << l.Label.Name();
    EXPECT_EQ(rc.top, l.Y) << l.Label.Name();
    EXPECT_GT(rc.right - rc.left, 0) << l.Label.Name() << " sized to its caption";
    EXPECT_EQ(Text(w), l.Label.Caption());
    EXPECT_TRUE(::IsWindowVisible(w));
  }
  EXPECT_TRUE(::GetWindowLongPtrA(Window(Form->PBPer), GWL_STYLE) & PBS_SMOOTH);

  // The buttons' own fonts; the rest use the window's.
  EXPECT_EQ(FontOf(Window(Form->BuStart)).lfHeight, -15);
  EXPECT_STREQ(FontOf(Window(Form->BuStart)).lfFaceName, "Arial");
  EXPECT_EQ(FontOf(Window(Form->BuExit)).lfHeight, -16);
  EXPECT_EQ(FontOf(Window(Form->EdFileName)).lfHeight, -11);
  EXPECT_STREQ(FontOf(Window(Form->EdFileName)).lfFaceName, "MS Sans Serif");

  EXPECT_FALSE(::IsWindowVisible(Window(Form->CBLineCheck)));
  EXPECT_EQ(::SendMessageA(Window(Form->CBLineCheck), BM_GETCHECK, 0, 0), BST_CHECKED);

  // Outside the client area: present, but not where a user can see them.
  for (const TControl* c : std::vector<const TControl*>{&Form->CBRepeat, &Form->Edit1, &Form->EdRepeatTime,
                                                       &Form->EdRepeatCount, &Form->Button1, &Form->GroupBox2}) {
    RECT rc = Placement(Window(*c)), overlap;
    EXPECT_FALSE(::IntersectRect(&overlap, &rc, &client)) << c->Name();
  }
  EXPECT_EQ(Placement(Window(Form->Memo1)).top, 200) << "the log's top edge is the last pixel row";
  EXPECT_EQ(Text(Window(Form->Edit1)), "512");
}

TEST_F(Win32Window, TheModelAndTheControlsStayInStepBothWays) {
  Form->BuStart.SetEnabled(false);
  EXPECT_FALSE(::IsWindowEnabled(Window(Form->BuStart)));
  Form->BuStart.SetEnabled(true);

  const int narrow = Placement(Window(Form->LaSendCount)).right - Placement(Window(Form->LaSendCount)).left;
  Form->LaSendCount.SetCaption("1234567");
  EXPECT_EQ(Text(Window(Form->LaSendCount)), "1234567");
  EXPECT_GT(Placement(Window(Form->LaSendCount)).right - Placement(Window(Form->LaSendCount)).left, narrow);

  // What the user types reaches the model.
  ::SetWindowTextA(Window(Form->EdFileName), "typed.prn");
  EXPECT_EQ(Form->EdFileName.Text(), "typed.prn");

  // An empty file must not leave the bar without a range.
  Form->PBPer.SetMax(0);
  PBRANGE range{};
  ::SendMessageA(Window(Form->PBPer), PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  EXPECT_GT(range.iHigh, range.iLow);
  Form->PBPer.SetMax(1000);
  Form->PBPer.SetPosition(250);
  EXPECT_EQ(::SendMessageA(Window(Form->PBPer), PBM_GETPOS, 0, 0), 250);

  // An arrow of a spinner steps its box.
  NMUPDOWN up{};
  up.hdr.hwndFrom = Window(Form->UpDown3);
  up.hdr.idFrom = static_cast<UINT_PTR>(::GetDlgCtrlID(up.hdr.hwndFrom));
  up.hdr.code = UDN_DELTAPOS;
  up.iDelta = 1;
  ::SendMessageA(::GetParent(up.hdr.hwndFrom), WM_NOTIFY, up.hdr.idFrom, reinterpret_cast<LPARAM>(&up));
  EXPECT_EQ(Form->Edit1.Text(), "513");
  EXPECT_EQ(Text(Window(Form->Edit1)), "513");
}

TEST_F(Win32Window, ThePortBoxRaisesItsDropDownBeforeTheListShows) {
  HWND combo = Window(Form->ComboBox1);
  bool droppedDuringEvent = true;
  Form->ComboBox1.OnDropDown = [&] {
    droppedDuringEvent = ::SendMessageA(combo, CB_GETDROPPEDSTATE, 0, 0) != 0;
    Form->ComboBox1.SetItems({"LPT1", "ZUV USB0"});
  };
  int changes = 0;
  Form->ComboBox1.OnChange = [&] { ++changes; };
  ::SendMessageA(combo, CB_SHOWDROPDOWN, TRUE, 0);
  EXPECT_FALSE(droppedDuringEvent);
  EXPECT_EQ(::SendMessageA(combo, CB_GETCOUNT, 0, 0), 2) << "the list shows what the event put in it";
  EXPECT_EQ(Text(combo), "COM1") << "the text survives a rebuild";
  ::SendMessageA(combo, CB_SHOWDROPDOWN, FALSE, 0);
  EXPECT_EQ(changes, 0);

  // A pick: the combo box selects, then tells its parent.
  ::SendMessageA(combo, CB_SETCURSEL, 1, 0);
  ::SendMessageA(::GetParent(combo), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(combo), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
  EXPECT_EQ(Form->ComboBox1.ItemIndex(), 1);
  EXPECT_EQ(Form->ComboBox1.Text(), "ZUV USB0");
  EXPECT_EQ(changes, 1);

  // Typing: no item chosen any more.
  HWND edit = ::GetWindow(combo, GW_CHILD);
  ::SendMessageA(edit, EM_SETSEL, 0, -1);
  for (char c : std::string("COM7")) ::SendMessageA(edit, WM_CHAR, static_cast<WPARAM>(c), 0);
  EXPECT_EQ(Form->ComboBox1.Text(), "COM7");
  EXPECT_EQ(Form->ComboBox1.ItemIndex(), -1);
  EXPECT_EQ(changes, 5) << "one change per key";
  EXPECT_EQ(Text(combo), "COM7") << "the typed text stays";

  // From code: no change event.
  Form->ComboBox1.SetText("COM2");
  EXPECT_EQ(Text(combo), "COM2");
  EXPECT_EQ(changes, 5);

  // A long entry: the list is wide enough for all of it, so a printer's
  // address and port are never cut off.
  const std::string longEntry =
      "TCP:192.168.100.200:9100 (Zebra ZT610 industrial label printer, dock 3, north warehouse, aisle 12)";
  Form->ComboBox1.OnDropDown = [&] { Form->ComboBox1.SetItems({"LPT1", longEntry}); };
  ::SendMessageA(combo, CB_SHOWDROPDOWN, TRUE, 0);
  ::SendMessageA(combo, CB_SHOWDROPDOWN, FALSE, 0);
  HDC dc = ::GetDC(combo);
  ASSERT_NE(dc, nullptr);
  HGDIOBJ before = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageA(combo, WM_GETFONT, 0, 0)));
  SIZE size{};
  ASSERT_TRUE(::GetTextExtentPoint32A(dc, longEntry.c_str(), static_cast<int>(longEntry.size()), &size));
  ::SelectObject(dc, before);
  ::ReleaseDC(combo, dc);
  EXPECT_GE(::SendMessageA(combo, CB_GETDROPPEDWIDTH, 0, 0), std::min<LRESULT>(size.cx, ::GetSystemMetrics(SM_CXSCREEN) - 40));
}

TEST_F(Win32Window, StartOnAMissingFileSaysSoAndStartsNothing) {
  TTempDir dir;
  // A parallel port: Start probes no serial line before it looks for the file.
  Form->ComboBox1.SetText("LPT1");
  ::SetWindowTextA(Window(Form->EdFileName), dir.Path("missing.prn").c_str());
  ::SendMessageA(Window(Form->BuStart), BM_CLICK, 0, 0);
  EXPECT_EQ(Host().Messages, std::vector<std::string>{FileNotFoundText});
  EXPECT_FALSE(Form->Upload.Busy());
  EXPECT_TRUE(::IsWindowEnabled(Window(Form->BuStart)));
  EXPECT_TRUE(::IsWindowEnabled(Window(Form->BuBrowse)));
}

// What Explorer hands a window when files are dropped on it: a DROPFILES
// block with the names after it, ending in an empty one.
HGLOBAL DropOf(const std::vector<std::string>& files) {
  std::string names;
  for (const auto& f : files) names += f + '\0';
  names += '\0';
  HGLOBAL drop = ::GlobalAlloc(GHND, sizeof(DROPFILES) + names.size());
  auto* block = static_cast<DROPFILES*>(::GlobalLock(drop));
  block->pFiles = sizeof(DROPFILES);
  block->fWide = FALSE;
  std::memcpy(reinterpret_cast<char*>(block) + sizeof(DROPFILES), names.data(), names.size());
  ::GlobalUnlock(drop);
  return drop;
}

TEST_F(Win32Window, AFileDroppedOnTheWindowFillsTheFileBoxAndStartsNothing) {
  HWND window = Window(*Form);
  EXPECT_TRUE(::GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_ACCEPTFILES) << "DragAcceptFiles";
  TTempDir dir;
  const std::string file = dir.Write("label.prn", "label");
  // The window frees each drop it is handed.
  ::SendMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(DropOf({file})), 0);
  EXPECT_EQ(Text(Window(Form->EdFileName)), file);
  EXPECT_EQ(Form->EdFileName.Text(), file);
  EXPECT_FALSE(Form->Upload.Busy());
  EXPECT_TRUE(::IsWindowEnabled(Window(Form->BuStart)));
  EXPECT_TRUE(Host().Messages.empty());

  // A folder is not a file to send, and of several files none is guessed.
  ::SetWindowTextA(Window(Form->EdFileName), "typed.prn");
  ::SendMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(DropOf({dir.Root.string()})), 0);
  EXPECT_EQ(Form->EdFileName.Text(), "typed.prn");
  ::SendMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(DropOf({file, dir.Write("b.prn", "b")})), 0);
  EXPECT_EQ(Form->EdFileName.Text(), "typed.prn");
  EXPECT_EQ(Text(Window(Form->EdFileName)), "typed.prn");
}

// The test program carries the program's manifest, so that the layout above
// is checked in the look the program has: the common controls then come
// from the side-by-side assembly of version 6, not the system folder's.
TEST(Win32Look, TheWindowsAreMadeWithTheVersion6CommonControls) {
  HMODULE comctl = ::GetModuleHandleA("comctl32.dll");
  ASSERT_NE(comctl, nullptr);
  char path[MAX_PATH] = {};
  ::GetModuleFileNameA(comctl, path, MAX_PATH);
  std::string loaded(path);
  for (char& c : loaded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_NE(loaded.find("microsoft.windows.common-controls_6595b64144ccf1df_6.0."), std::string::npos) << path;
}

TEST_F(Win32Window, TheKeyboardComesBackToItsControlAfterAModalForm) {
  TComSetupForm dialog(Host());
  Host().Attach(dialog);
  ::SetFocus(Window(Form->EdFileName));
  ASSERT_EQ(::GetFocus(), Window(Form->EdFileName));
  ::PostMessageA(Window(dialog.CBBaudRate), WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_EQ(dialog.ShowModal(), mrCancel);
  Pump();
  EXPECT_TRUE(::IsWindowEnabled(Window(*Form))) << "the main window takes input again";
  EXPECT_EQ(::GetFocus(), Window(Form->EdFileName));
}

// A key as the user presses it: down and up, served by the program's own
// loop (where the dialog manager moves the focus and presses buttons).
void Press(WPARAM key) {
  HWND focus = ::GetFocus();
  ::PostMessageA(focus, WM_KEYDOWN, key, 1);
  ::PostMessageA(focus, WM_KEYUP, key, 0xC0000001);
  // Served once the keys before it have been.
  Host().Terminate();
  Host().Run();
}

// Tab goes round the controls that can be seen, however often it is
// pressed; those outside the client area are left out of it. Enter presses
// the button that has the focus, and so does Space.
TEST_F(Win32Window, TabGoesRoundWhatCanBeSeenAndEnterPressesTheFocusedButton) {
  HWND window = Window(*Form);
  ::SetForegroundWindow(window);
  ::SetFocus(Window(Form->EdFileName));
  ASSERT_EQ(::GetFocus(), Window(Form->EdFileName));
  RECT client;
  ::GetClientRect(window, &client);
  // The control the focus is in: a combo box's edit field belongs to it.
  auto controlOf = [&](HWND w) -> std::string {
    for (HWND x = w; x && x != window; x = ::GetParent(x))
      for (const TComponent* c : Form->Components())
        if (Window(*c) == x) return c->Name();
    return "(none)";
  };
  std::vector<std::string> stops;
  for (int press = 1; press <= 40; ++press) {
    Press(VK_TAB);
    HWND focus = ::GetFocus();
    ASSERT_NE(focus, nullptr) << "the focus went nowhere at press " << press;
    RECT r;
    ::GetWindowRect(focus, &r);
    ::MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= client.right && r.bottom <= client.bottom)
        << controlOf(focus) << " at press " << press << " is out of sight";
    if (focus == Window(Form->EdFileName)) break;
    stops.push_back(controlOf(focus));
  }
  EXPECT_EQ(stops, (std::vector<std::string>{"BuBrowse", "ComboBox1", "BuSetupCom", "BuStart", "BuCancel", "BuExit"}));

  int presses = 0;
  Form->BuCancel.OnClick = [&] { ++presses; };
  while (::GetFocus() != Window(Form->BuCancel)) Press(VK_TAB);
  Press(VK_RETURN);
  EXPECT_EQ(presses, 1) << "Enter, the focus come by Tab";
  Press(VK_SPACE);
  EXPECT_EQ(presses, 2) << "Space";
  ::SetFocus(Window(Form->BuStart));
  ::SetFocus(Window(Form->BuCancel));
  Press(VK_RETURN);
  EXPECT_EQ(presses, 3) << "Enter, the focus put there directly";
}

TEST(Win32Dialog, TheSettingsDialogEndsWithItsButtonsOrEscapeAndHasNoCloseBox) {
  TComSetupForm dialog(Host());
  Host().Attach(dialog);
  HWND w = Window(dialog);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(Text(w), "Setup Form");
  EXPECT_FALSE(::GetWindowLongPtrA(w, GWL_STYLE) & WS_SYSMENU) << "no close box";
  EXPECT_FALSE(::IsWindowVisible(w));
  RECT client;
  ::GetClientRect(w, &client);
  EXPECT_EQ(client.right, 200);
  EXPECT_EQ(client.bottom, 221) << "the group box and the buttons, nothing more";
  EXPECT_TRUE(At(Window(dialog.Button1), 52, 203, 52, 18));
  EXPECT_TRUE(At(Window(dialog.CBParity), 94, 88, 88, 21));
  EXPECT_EQ(::SendMessageA(Window(dialog.CBParity), CB_GETCOUNT, 0, 0), 5);
  EXPECT_EQ(FontOf(Window(dialog.CBParity)).lfHeight, -10);

  // Escape, pressed in a box of the dialog, is Cancel.
  ::PostMessageA(Window(dialog.CBBaudRate), WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_EQ(dialog.ShowModal(), mrCancel);
  EXPECT_FALSE(::IsWindowVisible(w));

  // Ok ends it with OK, and hides it.
  ::PostMessageA(Window(dialog.Button1), BM_CLICK, 0, 0);
  EXPECT_EQ(dialog.ShowModal(), mrOk);
  EXPECT_FALSE(::IsWindowVisible(w));

  // A close request (Alt+F4) is refused: only the buttons end it.
  ::PostMessageA(w, WM_CLOSE, 0, 0);
  ::PostMessageA(Window(dialog.Button2), BM_CLICK, 0, 0);
  EXPECT_EQ(dialog.ShowModal(), mrCancel);
}

TEST(Win32Loop, OtherThreadsAndTimersReachTheUiThreadThroughTheLoop) {
  TRecordingHost& host = Host();
  TForm form(host, "TimerForm", "Timers", {0, 0, 100, 100});
  TTimer timer(&form, "Timer", 10, true);
  host.Attach(form);
  int ticks = 0;
  ::DWORD ranOn = 0;
  std::thread other;
  timer.OnTimer = [&] {
    if (++ticks == 3) {
      timer.SetEnabled(false);
      other = std::thread([&] {
        host.Synchronize([&] { ranOn = ::GetCurrentThreadId(); });
        host.Terminate();
      });
    }
  };
  const ::DWORD ui = ::GetCurrentThreadId();
  host.Run();
  other.join();
  EXPECT_EQ(ticks, 3) << "a disabled timer stays quiet";
  EXPECT_EQ(ranOn, ui);
}

}  // namespace
}  // namespace vornex::test

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  vornex::test::Host();
  return RUN_ALL_TESTS();
}
