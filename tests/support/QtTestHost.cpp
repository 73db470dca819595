#include "tests/support/QtTestHost.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QWidget>

namespace vornex::test {

namespace {
TQtHost* TheHost = nullptr;
}  // namespace

TQtHost& Host() { return *TheHost; }

TMessageBoxCloser::TMessageBoxCloser() {
  QObject::connect(&Timer, &QTimer::timeout, [this] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
        Texts.push_back(box->text().toStdString());
        box->accept();
      }
  });
  Timer.start(5);
}

}  // namespace vornex::test

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  vornex::TQtHost host(argc, argv);
  vornex::test::TheHost = &host;
  return RUN_ALL_TESTS();
}
