// What the Qt window tests share: the one Qt host of the process, and a
// closer for the message boxes handlers show.
#pragma once

#include <QTimer>
#include <string>
#include <vector>

#include "forms/qt/QtHost.h"

namespace vornex::test {

// Made by the tests' main and gone before the program's static objects go:
// Qt's test input devices belong to the application and must go while
// QTest's own data still stands.
TQtHost& Host();

// Reads and closes each message box as soon as it shows, as a user would,
// so that a handler's warning is seen rather than waited on for ever.
class TMessageBoxCloser {
 public:
  TMessageBoxCloser();
  std::vector<std::string> Texts;

 private:
  QTimer Timer;
};

}  // namespace vornex::test
