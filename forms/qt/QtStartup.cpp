#include "forms/qt/QtStartup.h"

#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace vornex {

namespace {

struct THeld {
  QtMsgType Type;
  std::string Category, Text;
};

std::string Program;
std::vector<THeld> Held;
QtMessageHandler Previous = nullptr;

std::string Setting(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// What stands between the window and a screen, in one line.
std::string Reason() {
  const std::string platform = Setting("QT_QPA_PLATFORM");
  if (!platform.empty())
    return "the window system \"" + platform + "\" (QT_QPA_PLATFORM) could not be started";
  const std::string display = Setting("DISPLAY"), wayland = Setting("WAYLAND_DISPLAY");
  if (display.empty() && wayland.empty())
    return "there is no display to show the window on (DISPLAY is not set)";
  if (!display.empty()) return "the display \"" + display + "\" (DISPLAY) cannot be reached";
  return "the display \"" + wayland + "\" (WAYLAND_DISPLAY) cannot be reached";
}

void Hold(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtFatalMsg) {
    std::fprintf(stderr, "%s: %s; vornex-send sends a file without a window.\n", Program.c_str(),
                 Reason().c_str());
    std::fflush(stderr);
    std::_Exit(1);
  }
  Held.push_back({type, context.category ? context.category : "", text.toStdString()});
}

}  // namespace

TQtStartupGuard::TQtStartupGuard(std::string program) {
  Program = std::move(program);
  Previous = qInstallMessageHandler(Hold);
}

TQtStartupGuard::~TQtStartupGuard() {
  qInstallMessageHandler(Previous);
  for (const THeld& message : Held) {
    QMessageLogContext context(nullptr, 0, nullptr, message.Category.c_str());
    qt_message_output(message.Type, context, QString::fromStdString(message.Text));
  }
  Held.clear();
}

}  // namespace vornex
