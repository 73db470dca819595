// Typing in the real port box (Qt, offscreen): no message box comes up
// while the user types a port's name, and none takes a keystroke; the
// port is probed once the text stands still, or at once when picked.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include <string>
#include <vector>

#include "app/MainForm.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/QtTestHost.h"

namespace vornex::test {

namespace {

TEST(QtTyping, APortNameIsTypedWithoutInterruptionAndProbedOnceItStandsStill) {
  TFakePlatform platform;
  auto com1 = platform.AddDevice("COM1");
  com1->ModemStatus = MS_DSR_ON;
  platform.SetValue("HARDWARE\\DEVICEMAP\\SERIALCOMM", "\\Device\\Serial9", "COM9");
  TMainForm form(Host(), platform);
  Host().Attach(form);
  form.Show();
  TMessageBoxCloser boxes;
  auto* combo = qobject_cast<QComboBox*>(Host().WidgetOf(form.ComboBox1));
  ASSERT_NE(combo, nullptr);
  auto probes = [&] { return platform.CountCalls("GetCommModemStatus"); };

  combo->lineEdit()->clear();
  // A quick typist: a key every 60 ms.
  QTest::keyClicks(combo->lineEdit(), "COM1", Qt::NoModifier, 60);
  EXPECT_EQ(combo->currentText().toStdString(), "COM1") << "every keystroke arrived";
  EXPECT_EQ(form.ComboBox1.Text(), "COM1");
  EXPECT_EQ(form.Job.TransferMode, tmSerial);
  EXPECT_TRUE(boxes.Texts.empty()) << boxes.Texts.front();
  EXPECT_EQ(probes(), 0) << "nothing probed while typing";

  ASSERT_TRUE(QTest::qWaitFor([&] { return probes() > 0; })) << "probed once the text stood still";
  EXPECT_EQ(probes(), 4) << "the four lines of COM1, once";
  EXPECT_EQ(form.LaRTS.Caption(), "1");
  EXPECT_TRUE(boxes.Texts.empty());

  // Picked from the list: probed at once, its message shown.
  form.ComboBox1.DropDown();
  const int com9 = combo->findText("COM9");
  ASSERT_GE(com9, 0);
  combo->setCurrentIndex(com9);
  emit combo->activated(com9);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.Texts.empty(); }));
  EXPECT_EQ(boxes.Texts, std::vector<std::string>{"Port can't Open"});
}

}  // namespace
}  // namespace vornex::test
