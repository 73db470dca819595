#include "os/posix/DeviceKind.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <vector>

#include "os/posix/PosixErrors.h"

namespace vornex::posix {

namespace {

// The kernel's fixed numbers (Documentation/admin-guide/devices.txt).
constexpr unsigned LpMajor = 6;        // /dev/lpN
constexpr unsigned PpdevMajor = 99;    // /dev/parportN
constexpr unsigned UsbMajor = 180;     // /dev/usb/lpN take its first 16 minors
constexpr unsigned UsbPrinterMinors = 16;

// "4" or "64-111".
bool InRange(const std::string& range, unsigned n) {
  std::istringstream in(range);
  unsigned first = 0, last = 0;
  char dash = 0;
  if (!(in >> first)) return false;
  last = first;
  if (in >> dash && (dash != '-' || !(in >> last))) return false;
  return n >= first && n <= last;
}

// One line of /proc/tty/drivers: name, node, major, minors, type.
bool IsTerminal(const std::string& drivers, unsigned major, unsigned minor) {
  std::istringstream lines(drivers);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream in(line);
    std::vector<std::string> fields;
    for (std::string f; in >> f;) fields.push_back(f);
    if (fields.size() < 5) continue;
    const std::string& type = fields.back();
    if (!InRange(fields[fields.size() - 3], major) || !InRange(fields[fields.size() - 2], minor)) continue;
    // A pseudo-terminal's master side (and ptmx, which makes one) is no line.
    return type.rfind("pty:master", 0) != 0 && type != "system";
  }
  return false;
}

std::string TtyDrivers() {
  std::ifstream in("/proc/tty/drivers");
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

TDeviceKind CharDeviceKind(unsigned major, unsigned minor, const std::string& ttyDrivers) {
  if (major == LpMajor || major == PpdevMajor) return TDeviceKind::ParallelPort;
  if (major == UsbMajor && minor < UsbPrinterMinors) return TDeviceKind::UsbPrinter;
  if (!ttyDrivers.empty()) return IsTerminal(ttyDrivers, major, minor) ? TDeviceKind::Terminal : TDeviceKind::Other;
  // ttyS, pseudo-terminals, ttyACM, ttyUSB, ttyAMA.
  const bool serial = (major == 4 && minor >= 64) || (major >= 136 && major <= 143) || major == 166 ||
                      major == 188 || major == 204;
  return serial ? TDeviceKind::Terminal : TDeviceKind::Other;
}

TDeviceKind DeviceKindOfPath(const std::string& path, DWORD& error) {
  if (path.empty() || path[0] != '/') return TDeviceKind::NotAPath;
  // Through links: /dev/serial/by-id/... names the tty it leads to.
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    error = ErrorFromErrno(errno);
    return TDeviceKind::NotFound;
  }
  if (S_ISFIFO(st.st_mode)) return TDeviceKind::Fifo;
  if (S_ISSOCK(st.st_mode)) return TDeviceKind::Socket;
  if (!S_ISCHR(st.st_mode)) return TDeviceKind::Other;
  return CharDeviceKind(major(st.st_rdev), minor(st.st_rdev), TtyDrivers());
}

}  // namespace vornex::posix
