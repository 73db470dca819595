// The real main window on Qt (offscreen): what the user sees, where.
#include <gtest/gtest.h>

#include <memory>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>

#include "app/MainForm.h"
#include "dialogs/ComSetupForm.h"
#include "forms/qt/QtHost.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/MainWindowLayout.h"

namespace vornex::test {
namespace {

int Argc = 1;
char Arg0[] = "vornex_qt_tests";
char* Argv[] = {Arg0, nullptr};

TQtHost& Host() {
  static TQtHost host(Argc, Argv);
  return host;
}

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
  edit->setText("x");
  emit edit->textEdited("typed.prn");
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

}  // namespace
}  // namespace vornex::test

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  vornex::test::Host();
  return RUN_ALL_TESTS();
}
