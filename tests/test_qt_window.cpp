// The real main window on Qt (offscreen): what the user sees, where, and
// what typing, the keyboard and assistive tools do to it.
#include <gtest/gtest.h>

#include <clocale>
#include <memory>

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QWidget>

#include "app/MainForm.h"
#include "dialogs/ComSetupForm.h"
#include "forms/Convert.h"
#include "forms/Exception.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/MainWindowLayout.h"
#include "tests/support/QtTestHost.h"
#include "tests/support/ScriptedLoop.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestLocale.h"

namespace vornex::test {
namespace {

QRect Geometry(const TComponent& c) { return Host().WidgetOf(c)->geometry(); }

TEST(QtWindow, TheVisibleControlsStandWhereDeclaredWithTheirCaptions) {
  TFakePlatform platform;
  TMainForm form(Host(), platform);
  Host().Attach(form);
  form.Show();
  QWidget* window = Host().WidgetOf(form);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->windowTitle(), "ZUV Vornex 2.00");
  EXPECT_EQ(window->size(), QSize(267, 201));
  EXPECT_EQ(window->minimumSize(), window->maximumSize()) << "not resizable";
  EXPECT_TRUE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);

  for (const auto& e : VisibleControls(form)) {
    QWidget* w = Host().WidgetOf(e.Control);
    ASSERT_NE(w, nullptr) << e.Control.Name();
    EXPECT_EQ(w->geometry(), QRect(e.Where.Left, e.Where.Top, e.Where.Width, e.Where.Height)) << e.Control.Name();
    EXPECT_TRUE(w->isVisibleTo(window)) << e.Control.Name();
    QString caption;
    if (auto* box = qobject_cast<QGroupBox*>(w)) caption = box->title();
    if (auto* button = qobject_cast<QPushButton*>(w)) caption = button->text();
    if (auto* edit = qobject_cast<QLineEdit*>(w)) caption = edit->text();
    if (auto* combo = qobject_cast<QComboBox*>(w)) caption = combo->currentText();
    EXPECT_EQ(caption.toStdString(), e.Caption) << e.Control.Name();
  }
  for (const auto& l : VisibleLabels(form)) {
    auto* w = qobject_cast<QLabel*>(Host().WidgetOf(l.Label));
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->pos(), QPoint(l.X, l.Y)) << l.Label.Name();
    EXPECT_EQ(w->text().toStdString(), l.Label.Caption());
  }
  EXPECT_EQ(Host().WidgetOf(form.BuStart)->font().pixelSize(), 15);
  EXPECT_EQ(Host().WidgetOf(form.BuExit)->font().pixelSize(), 16);
  EXPECT_EQ(Host().WidgetOf(form.BuExit)->font().family(), "Arial");
  EXPECT_FALSE(Host().WidgetOf(form.CBLineCheck)->isVisibleTo(window));
  EXPECT_EQ(Host().WidgetOf(form.CBLineCheck)->toolTip(), "Check if Line is break");

  // Outside the client area: present, but not where a user can see them.
  QRect client(0, 0, 267, 201);
  for (const TControl* c : std::vector<const TControl*>{&form.CBRepeat, &form.Edit1, &form.EdRepeatTime,
                                                       &form.EdRepeatCount, &form.Button1, &form.GroupBox2})
    EXPECT_FALSE(client.intersects(Geometry(*c))) << c->Name();
  EXPECT_EQ(Geometry(form.Memo1).top(), 200) << "the log's top edge is the last pixel row";

  // Model and widgets stay in step both ways.
  form.BuStart.SetEnabled(false);
  EXPECT_FALSE(Host().WidgetOf(form.BuStart)->isEnabled());
  form.LaSendCount.SetCaption("12345");
  EXPECT_EQ(qobject_cast<QLabel*>(Host().WidgetOf(form.LaSendCount))->text(), "12345");
  auto* edit = qobject_cast<QLineEdit*>(Host().WidgetOf(form.EdFileName));
  edit->selectAll();
  QTest::keyClicks(edit, "typed.prn");
  EXPECT_EQ(form.EdFileName.Text(), "typed.prn");
  form.PBPer.SetMax(0);  // an empty file must not turn the bar into a busy indicator
  auto* bar = qobject_cast<QProgressBar*>(Host().WidgetOf(form.PBPer));
  EXPECT_GT(bar->maximum(), bar->minimum());
}

// A component may go before its form (a timer made for one run, say): its
// widget must not call into it afterwards. AddressSanitizer sees it if one does.
TEST(QtWindow, ATimerDestroyedBeforeItsFormNeverTicksAgain) {
  TForm form(Host(), "TimerForm", "Timers", {0, 0, 100, 100});
  int ticks = 0;
  auto timer = std::make_unique<TTimer>(&form, "Timer", 5, true);
  timer->OnTimer = [&] { ++ticks; };
  Host().Attach(form);
  QElapsedTimer clock;
  clock.start();
  while (ticks == 0 && clock.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  ASSERT_GT(ticks, 0);
  timer.reset();
  const int before = ticks;
  clock.restart();
  while (clock.elapsed() < 50) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  EXPECT_EQ(ticks, before);
}

// A control goes before its window (a form's members go before the form):
// cutting the model off its widget must leave Qt's own connections, or the
// accessibility cache keeps the dead widget and hands it out again.
TEST(QtWindow, AControlGoneBeforeItsWindowLeavesNoStaleAccessibleEntry) {
  QAccessible::Id id = 0;
  {
    TForm form(Host(), "ShortForm", "Short", {0, 0, 100, 100});
    TEdit edit(&form, "Edit", "text", {4, 4, 80, 21});
    Host().Attach(form);
    id = QAccessible::uniqueId(QAccessible::queryAccessibleInterface(Host().WidgetOf(edit)));
    ASSERT_NE(QAccessible::accessibleInterface(id), nullptr);
  }
  EXPECT_EQ(QAccessible::accessibleInterface(id), nullptr);
}

TEST(QtWindow, TheSettingsDialogHasNoCloseBoxAndFitsItsContents) {
  TComSetupForm dialog(Host());
  Host().Attach(dialog);
  QWidget* w = Host().WidgetOf(dialog);
  EXPECT_EQ(w->windowTitle(), "Setup Form");
  EXPECT_FALSE(w->windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(w->isVisible());
  EXPECT_EQ(w->size(), QSize(200, 221)) << "group box and buttons, nothing more";
  EXPECT_EQ(Geometry(dialog.Button1), QRect(52, 203, 52, 18));
  EXPECT_EQ(qobject_cast<QComboBox*>(Host().WidgetOf(dialog.CBParity))->count(), 5);
}


// --- what the user types, through the real widgets ----------------------------

class QtInput : public ::testing::Test {
 protected:
  void SetUp() override {
    Form = std::make_unique<TMainForm>(Host(), Platform);
    Host().Attach(*Form);
    Dialog = std::make_unique<TComSetupForm>(Host());
    Host().Attach(*Dialog);
    Form->ComSetupForm = Dialog.get();
    Form->Show();
    Dialog->Show();
    for (int mode = 1; mode <= 4; ++mode) Form->Upload.SetSendLoop(mode, &Loop);
  }
  void TearDown() override {
    Loop.Release();
    Platform.ReleaseAll();
    Dialog.reset();
    Form.reset();
  }

  template <typename TWidget>
  TWidget* Widget(const TComponent& c) {
    auto* w = qobject_cast<TWidget*>(Host().WidgetOf(c));
    EXPECT_NE(w, nullptr) << c.Name();
    return w;
  }
  QLineEdit* Field(const TComboBox& c) { return Widget<QComboBox>(c)->lineEdit(); }
  // Counts the runs of an event's handler; the handler still runs.
  std::shared_ptr<int> Count(TNotifyEvent& event) {
    auto runs = std::make_shared<int>(0);
    event = [runs, handler = event] {
      ++*runs;
      if (handler) handler();
    };
    return runs;
  }
  bool WaitIdle() {
    return QTest::qWaitFor([&] { return !Form->Upload.Busy(); }, 10000);
  }

  TFakePlatform Platform;
  TScriptedLoop Loop;
  TTempDir Dir;
  TMessageBoxCloser Boxes;
  std::unique_ptr<TMainForm> Form;
  std::unique_ptr<TComSetupForm> Dialog;
};

// A printer on the network with a long name: the drop-down shows its
// address and port whole, and gives way at the end of the name.
TEST_F(QtInput, TheDropDownShowsAPrintersAddressAndPortWhole) {
  const std::string name = "Zebra ZT610 industrial label printer, dock 3, north warehouse, aisle 12, bay 7";
  Platform.NetworkPrinters = {{"192.168.100.200:9100", name}};
  auto* combo = Widget<QComboBox>(Form->ComboBox1);
  combo->showPopup();
  const QString entry = QString::fromStdString("TCP:192.168.100.200:9100 (" + name + ")");
  const int row = combo->findText(entry);
  ASSERT_GE(row, 0) << "the list was rebuilt before it showed";
  QAbstractItemView* list = combo->view();
  EXPECT_EQ(list->textElideMode(), Qt::ElideRight);
  const QRect cell = list->visualRect(combo->model()->index(row, 0));
  const int whole = list->fontMetrics().horizontalAdvance(entry);
  const int room = combo->screen()->availableGeometry().width();
  EXPECT_GE(cell.width(), std::min(whole, room - 80)) << "the entry fits, or as much of it as the screen holds";
  EXPECT_GE(cell.width(), list->fontMetrics().horizontalAdvance("TCP:192.168.100.200:9100 ("));
  combo->hidePopup();
}

TEST_F(QtInput, TypingInTheMiddleOfABoxKeepsTheCaretWhereTheUserPutIt) {
  auto changes = Count(Form->ComboBox1.OnChange);
  QLineEdit* port = Field(Form->ComboBox1);
  ASSERT_EQ(port->text(), "COM1");
  port->setCursorPosition(3);
  QTest::keyClicks(port, "23");
  EXPECT_EQ(port->text(), "COM231");
  EXPECT_EQ(Form->ComboBox1.Text(), "COM231") << "the probe and the transfer get the port typed";
  EXPECT_EQ(port->cursorPosition(), 5);
  EXPECT_EQ(*changes, 2) << "one change per keystroke";
  port->setCursorPosition(4);
  QTest::keyClick(port, Qt::Key_Backspace);
  EXPECT_EQ(port->text(), "COM31");
  EXPECT_EQ(port->cursorPosition(), 3);
  EXPECT_EQ(Form->ComboBox1.Text(), "COM31");
  EXPECT_EQ(*changes, 3);

  // After a pick, too: the first edit unchooses the item without moving the caret.
  Form->ComboBox1.SetItems({"LPT1", "LPT2"});
  Form->ComboBox1.Pick(1);
  ASSERT_EQ(port->text(), "LPT2");
  port->setCursorPosition(3);
  QTest::keyClick(port, Qt::Key_9);
  EXPECT_EQ(port->text(), "LPT92");
  EXPECT_EQ(port->cursorPosition(), 4);
  EXPECT_EQ(Form->ComboBox1.ItemIndex(), -1);
  EXPECT_EQ(Form->ComboBox1.Text(), "LPT92");

  // The settings dialog's boxes behave the same.
  QLineEdit* baud = Field(Dialog->CBBaudRate);
  baud->setCursorPosition(1);
  QTest::keyClicks(baud, "15");
  EXPECT_EQ(baud->text(), "915600");
  EXPECT_EQ(Dialog->CBBaudRate.Text(), "915600");
  EXPECT_EQ(baud->cursorPosition(), 3);
}

TEST_F(QtInput, EnterInAnEditableBoxIsNeitherAPickNorAnEdit) {
  QLineEdit* baud = Field(Dialog->CBBaudRate);
  baud->selectAll();
  QTest::keyClicks(baud, "19200");
  QTest::keyClick(baud, Qt::Key_Return);
  QTest::keyClick(baud, Qt::Key_Enter);
  EXPECT_EQ(Dialog->CBBaudRate.ItemIndex(), -1) << "a typed value is never a pick";
  // At Ok the typed text is read for the value it names.
  EXPECT_EQ(Dialog->ChosenBaudRate(), br19200);
  Form->ApplyPortSettings();
  EXPECT_EQ(Form->Comm1.BaudRate(), br19200);

  Form->ComboBox1.SetItems({"LPT1", "LPT2"});
  auto changes = Count(Form->ComboBox1.OnChange);
  QLineEdit* port = Field(Form->ComboBox1);
  port->selectAll();
  QTest::keyClicks(port, "LPT1");
  ASSERT_EQ(*changes, 4);
  QTest::keyClick(port, Qt::Key_Return);
  EXPECT_EQ(*changes, 4) << "Enter does not run the change handler again";
  EXPECT_EQ(Form->ComboBox1.ItemIndex(), -1);

  // A real pick from the list, by keyboard, is still a pick.
  auto* box = Widget<QComboBox>(Dialog->CBParity);
  box->setFocus();
  QTest::keyClick(box, Qt::Key_Down);
  EXPECT_GE(Dialog->CBParity.ItemIndex(), 0);
  EXPECT_EQ(Dialog->CBParity.Text(), box->currentText().toStdString());
}

TEST_F(QtInput, WhatAnAssistiveToolSetsReachesTheModelOnce) {
  const std::string file = Dir.Write("label.prn", RandomBytes(100));
  auto fileChanges = Count(Form->EdFileName.OnChange);
  QAccessibleInterface* fileBox = QAccessible::queryAccessibleInterface(Widget<QLineEdit>(Form->EdFileName));
  ASSERT_NE(fileBox, nullptr);
  ASSERT_NE(fileBox->editableTextInterface(), nullptr);
  const int length = fileBox->textInterface()->characterCount();
  fileBox->editableTextInterface()->replaceText(0, length, QString::fromStdString(file));
  EXPECT_EQ(Form->EdFileName.Text(), file);
  EXPECT_EQ(*fileChanges, 1);

  // The port box's field, through its value.
  auto portChanges = Count(Form->ComboBox1.OnChange);
  QAccessibleInterface* portField = QAccessible::queryAccessibleInterface(Field(Form->ComboBox1));
  ASSERT_NE(portField, nullptr);
  portField->setText(QAccessible::Value, "TEST");  // names no port kind: no probe
  EXPECT_EQ(Form->ComboBox1.Text(), "TEST");
  EXPECT_EQ(*portChanges, 1);

  QTest::mouseClick(Widget<QPushButton>(Form->BuStart), Qt::LeftButton);
  ASSERT_TRUE(WaitIdle());
  EXPECT_TRUE(Boxes.Texts.empty()) << (Boxes.Texts.empty() ? "" : Boxes.Texts.front());
  ASSERT_EQ(Loop.Copies().size(), 1u);
  EXPECT_EQ(Loop.Copies()[0], RandomBytes(100));

  // Repeat, ticked by the tool's toggle and press actions.
  auto clicks = Count(Form->CBRepeat.OnClick);
  QAccessibleInterface* repeat = QAccessible::queryAccessibleInterface(Widget<QCheckBox>(Form->CBRepeat));
  ASSERT_NE(repeat->actionInterface(), nullptr);
  repeat->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
  EXPECT_TRUE(Form->CBRepeat.Checked());
  repeat->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
  EXPECT_FALSE(Form->CBRepeat.Checked());
  repeat->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_TRUE(QTest::qWaitFor([&] { return Form->CBRepeat.Checked(); }, 2000));
  EXPECT_EQ(*clicks, 3);

  // What the model sets itself runs each handler once: no echo.
  Form->EdFileName.SetText("other.prn");
  Form->CBRepeat.SetChecked(false);
  Form->ComboBox1.SetText("LPT1");
  EXPECT_EQ(*fileChanges, 2);
  EXPECT_EQ(*clicks, 4);
  EXPECT_EQ(*portChanges, 1) << "a text set from code is no edit";
  EXPECT_EQ(Widget<QLineEdit>(Form->EdFileName)->text(), "other.prn");
  EXPECT_FALSE(Widget<QCheckBox>(Form->CBRepeat)->isChecked());
  EXPECT_EQ(Field(Form->ComboBox1)->text(), "LPT1");
}

TEST_F(QtInput, EveryBoxHasTheNameASightedUserReadsBesideIt) {
  // What a screen reader announces when it lands in a box: the field's name
  // and, on Linux, the label the box is labelled by.
  auto name = [&](const TControl& c) {
    QWidget* w = Host().WidgetOf(c);
    if (auto* combo = qobject_cast<QComboBox*>(w)) w = combo->lineEdit();
    return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name).toStdString();
  };
  auto labelledBy = [&](const TControl& c) {
    std::string names;
    for (const auto& [label, relation] :
         QAccessible::queryAccessibleInterface(Host().WidgetOf(c))->relations(QAccessible::Label))
      names += (names.empty() ? "" : "|") + label->text(QAccessible::Name).toStdString();
    return names;
  };
  const std::vector<std::pair<const TControl*, std::string>> boxes = {
      {&Form->EdFileName, "Select a Download File"}, {&Form->ComboBox1, "Select a Port"},
      {&Form->EdRepeatTime, "Repeat Delay"},         {&Form->EdRepeatCount, "Repeat Counts"},
      {&Form->Edit1, "Block Size"},                  {&Dialog->CBBaudRate, "Baud Rate"},
      {&Dialog->CBDataBits, "Data Bits"},            {&Dialog->CBParity, "Parity"},
      {&Dialog->CBStopBits, "Stop Bits"},            {&Dialog->CBFlowControl, "Flow Control"}};
  for (const auto& [box, expected] : boxes) EXPECT_EQ(name(*box), expected) << box->Name();
  EXPECT_EQ(labelledBy(Form->ComboBox1), "Select a Port ");
  EXPECT_EQ(labelledBy(Dialog->CBParity), "Parity :|Com Port Setting");
  EXPECT_EQ(labelledBy(Form->EdRepeatTime), "Repeat Delay");
}

TEST_F(QtInput, AFractionalDelayRepeatsInACommaLocale) {
  // QApplication switches the C library to the user's locale; in a comma
  // locale the C library reads "0.5" as 0.
  TTestLocale comma(LC_ALL, {"de_DE.UTF-8"}, "localedef -i de_DE -f UTF-8 de_DE.UTF-8");
  if (!comma.Active()) GTEST_SKIP() << comma.Missing;
  ASSERT_EQ(std::string(std::localeconv()->decimal_point), ",");
  EXPECT_EQ(std::strtod("0.5", nullptr), 0.0) << "the C library now reads a point as the end";
  EXPECT_DOUBLE_EQ(StrToFloat("0,5"), 0.5) << "as users of comma locales type it";
  EXPECT_THROW(StrToFloat("0.5.1"), EConvertError);

  Form->ComboBox1.SetText("TEST");
  Form->EdFileName.SetText(Dir.Write("label.prn", RandomBytes(40)));
  QLineEdit* delay = Widget<QLineEdit>(Form->EdRepeatTime);
  delay->selectAll();
  QTest::keyClicks(delay, "0.5");
  auto* repeat = Widget<QCheckBox>(Form->CBRepeat);
  repeat->setFocus();
  QTest::keyClick(repeat, Qt::Key_Space);
  ASSERT_TRUE(Form->CBRepeat.Checked());
  QTest::mouseClick(Widget<QPushButton>(Form->BuStart), Qt::LeftButton);
  // Completion shows at the first tick, a second after Start; the
  // repetition follows half a second later.
  EXPECT_TRUE(QTest::qWaitFor([&] { return Loop.Runs == 2; }, 5000));
  EXPECT_TRUE(Boxes.Texts.empty()) << (Boxes.Texts.empty() ? "" : Boxes.Texts.front());
  EXPECT_EQ(Form->LaCount.Caption(), "1");
  EXPECT_FALSE(Form->CBRepeat.Checked()) << "the count of 1 is reached";
  ASSERT_TRUE(WaitIdle());
}

// Tab goes round the controls that can be seen, however often it is
// pressed; those outside the client area are left out of it. Enter presses
// the button that has the focus, as on Windows (and Space still does).
TEST_F(QtInput, TabGoesRoundWhatCanBeSeenAndEnterPressesTheFocusedButton) {
  Dialog->Hide();
  QWidget* window = Host().WidgetOf(*Form);
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  Widget<QLineEdit>(Form->EdFileName)->setFocus();
  QWidget* start = QApplication::focusWidget();
  ASSERT_EQ(start, Widget<QLineEdit>(Form->EdFileName));
  // What the focus lands on, by the control it belongs to.
  auto controlOf = [&](QWidget* w) -> std::string {
    for (QWidget* x = w; x && x != window; x = x->parentWidget())
      for (const TComponent* c : Form->Components())
        if (Host().WidgetOf(*c) == x) return c->Name();
    return "(none)";
  };
  std::vector<std::string> stops;
  for (int press = 1; press <= 40; ++press) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr) << "the focus went nowhere at press " << press;
    const QRect shown(focus->mapTo(window, QPoint(0, 0)), focus->size());
    EXPECT_TRUE(window->rect().contains(shown)) << controlOf(focus) << " at press " << press << " is out of sight";
    if (focus == start) break;
    stops.push_back(controlOf(focus));
  }
  EXPECT_EQ(stops, (std::vector<std::string>{"BuBrowse", "ComboBox1", "BuSetupCom", "BuStart", "BuCancel", "BuExit"}));
  // Still there for assistive tools.
  QAccessibleInterface* repeat = QAccessible::queryAccessibleInterface(Widget<QCheckBox>(Form->CBRepeat));
  ASSERT_NE(repeat, nullptr);
  ASSERT_NE(repeat->actionInterface(), nullptr);
  repeat->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
  EXPECT_TRUE(Form->CBRepeat.Checked());

  auto presses = Count(Form->BuCancel.OnClick);
  auto* cancel = Widget<QPushButton>(Form->BuCancel);
  cancel->setFocus();
  QTest::keyClick(cancel, Qt::Key_Return);
  EXPECT_EQ(*presses, 1);
  QTest::keyClick(cancel, Qt::Key_Enter);
  EXPECT_EQ(*presses, 2);
  QTest::keyClick(cancel, Qt::Key_Space);
  EXPECT_EQ(*presses, 3);
  Form->BuCancel.SetEnabled(false);
  QTest::keyClick(cancel, Qt::Key_Return);
  EXPECT_EQ(*presses, 3) << "a disabled button is not pressed";
}

}  // namespace
}  // namespace vornex::test
