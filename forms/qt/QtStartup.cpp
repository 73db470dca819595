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

std::vector<std::string> WithoutQtOptions(const std::vector<std::string>& args) {
  // Qt's and its X11 and Windows platforms' options; each may be written
  // with one dash or two, and one with a value also as -name=value.
  static const char* const withValue[] = {"platform", "platformpluginpath", "platformtheme", "plugin",
                                          "qwindowgeometry", "qwindowicon", "qwindowtitle", "session",
                                          "display", "geometry", "style", "stylesheet", "name", "title",
                                          "visual"};
  static const char* const flags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync", "testability"};
  static const char* const onlyWithEquals[] = {"qmljsdebugger", "dialogs", "fontengine", "darkmode"};
  auto among = [](const std::string& name, const auto& list) {
    for (const char* known : list)
      if (name == known) return true;
    return false;
  };
  std::vector<std::string> own;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--") {
      own.insert(own.end(), args.begin() + static_cast<long>(i), args.end());
      break;
    }
    if (a.size() < 2 || a[0] != '-') {
      own.push_back(a);
      continue;
    }
    std::string name = a.substr(a[1] == '-' ? 2 : 1);
    const std::size_t equals = name.find('=');
    if (equals != std::string::npos) {
      name.resize(equals);
      if (among(name, withValue) || among(name, onlyWithEquals)) continue;
    } else if (among(name, withValue)) {
      ++i;  // its value
      continue;
    } else if (among(name, flags)) {
      continue;
    }
    own.push_back(a);
  }
  return own;
}

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
