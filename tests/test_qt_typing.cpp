// Typing in the real port box (Qt, offscreen): no message box comes up
// while the user types a port's name, and none takes a keystroke; the
// port is probed once the text stands still, or at once when picked.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

#include "app/MainForm.h"
#include "forms/qt/QtHost.h"
#include "tests/support/FakePlatform.h"

namespace vornex::test {

// Made by main and gone before the program's static objects are: Qt's test
// input devices belong to the application and must go while QTest's own
// data still stands.
TQtHost* TheHost = nullptr;
TQtHost& Host() { return *TheHost; }

namespace {

// Every message box that comes up is read and closed, as a user would
// close it, so that a box shown in the middle of typing is seen rather than
// waited on for ever.
class TMessageBoxes {
 public:
  TMessageBoxes() {
    QObject::connect(&Closer, &QTimer::timeout, [this] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        Shown.push_back(box->text().toStdString());
        box->accept();
      }
    });
    Closer.start(10);
  }
  std::vector<std::string> Shown;

 private:
  QTimer Closer;
};

bool ProcessUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < timeoutMs) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  return done();
}

TEST(QtTyping, APortNameIsTypedWithoutInterruptionAndProbedOnceItStandsStill) {
  TFakePlatform platform;
  auto com1 = platform.AddDevice("COM1");
  com1->ModemStatus = MS_DSR_ON;
  platform.SetValue("HARDWARE\\DEVICEMAP\\SERIALCOMM", "\\Device\\Serial9", "COM9");
  TMainForm form(Host(), platform);
  Host().Attach(form);
  form.Show();
  TMessageBoxes boxes;
  auto* combo = qobject_cast<QComboBox*>(Host().WidgetOf(form.ComboBox1));
  ASSERT_NE(combo, nullptr);
  auto probes = [&] { return platform.CountCalls("GetCommModemStatus"); };

  combo->lineEdit()->clear();
  // A quick typist: a key every 60 ms.
  QTest::keyClicks(combo->lineEdit(), "COM1", Qt::NoModifier, 60);
  EXPECT_EQ(combo->currentText().toStdString(), "COM1") << "every keystroke arrived";
  EXPECT_EQ(form.ComboBox1.Text(), "COM1");
  EXPECT_EQ(form.Job.TransferMode, tmSerial);
  EXPECT_TRUE(boxes.Shown.empty()) << boxes.Shown.front();
  EXPECT_EQ(probes(), 0) << "nothing probed while typing";

  ASSERT_TRUE(ProcessUntil([&] { return probes() > 0; })) << "probed once the text stood still";
  EXPECT_EQ(probes(), 4) << "the four lines of COM1, once";
  EXPECT_EQ(form.LaRTS.Caption(), "1");
  EXPECT_TRUE(boxes.Shown.empty());

  // Picked from the list: probed at once, its message shown.
  form.ComboBox1.DropDown();
  const int com9 = combo->findText("COM9");
  ASSERT_GE(com9, 0);
  combo->setCurrentIndex(com9);
  emit combo->activated(com9);
  ASSERT_TRUE(ProcessUntil([&] { return !boxes.Shown.empty(); }));
  EXPECT_EQ(boxes.Shown, std::vector<std::string>{"Port can't Open"});
}

}  // namespace
}  // namespace vornex::test

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  vornex::TQtHost host(argc, argv);
  vornex::test::TheHost = &host;
  return RUN_ALL_TESTS();
}
