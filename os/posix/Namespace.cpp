#include "os/posix/Namespace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <map>
#include <optional>
#include <set>

#include "os/posix/PosixObjects.h"

namespace vornex::posix {

namespace {

namespace fs = std::filesystem;

constexpr char DotPrefix[] = "\\\\.\\";
constexpr char InterfacePrefix[] = "\\\\?\\";
// Longest sysfs line read; anything longer is not what it should be.
constexpr std::size_t LongestLine = 255;
// Windows takes a serial number as the instance ID up to this length.
constexpr std::size_t LongestInstance = 126;

bool AllDigits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The first line of a sysfs attribute, or nothing when it is missing or
// longer than LongestLine. Read without waiting: what is no regular file in
// a made-up tree (a FIFO) gives nothing rather than holding the walk, and a
// link is not followed out of the tree. (One system call fewer than a look
// at the file first, for each of the three reads of every printer.)
std::optional<std::string> ReadLine(const fs::path& path) {
  TFd file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW));
  if (file.Get() < 0) return std::nullopt;
  std::string line(LongestLine + 1, '\0');
  ssize_t n;
  do {
    n = ::read(file.Get(), line.data(), line.size());
  } while (n < 0 && errno == EINTR);
  if (n < 0) return std::nullopt;
  line.resize(static_cast<std::size_t>(n));
  line = line.substr(0, line.find('\n'));
  if (line.size() > LongestLine) return std::nullopt;
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
  return line;
}

// A USB ID file's value as four upper-case hexadecimal digits.
std::optional<std::string> Hex4(const std::optional<std::string>& text) {
  if (!text || text->empty() || text->size() > 4) return std::nullopt;
  if (!std::all_of(text->begin(), text->end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
    return std::nullopt;
  return std::string(4 - text->size(), '0') + UpperCase(*text);
}

// A device file name that stays inside the /dev folder.
bool IsDeviceName(const std::string& name) {
  if (name.empty() || name.size() > LongestLine || name[0] == '.') return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.';
  });
}

// What may stand between the '#'s of a device path and in a key name.
bool IsInstanceName(const std::string& name) {
  if (name.empty() || name.size() > LongestInstance) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return c > ' ' && c < 0x7F && c != '\\' && c != '/' && c != '#' && c != ',';
  });
}

// ttyUSB2 before ttyUSB10: names compare by their text, then by the number
// they end in.
bool NaturalLess(const std::string& a, const std::string& b) {
  auto split = [](const std::string& s) {
    std::size_t i = s.size();
    while (i > 0 && std::isdigit(static_cast<unsigned char>(s[i - 1]))) --i;
    std::string digits = s.substr(i);
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
    return std::make_pair(s.substr(0, i), digits);
  };
  auto [ta, na] = split(a);
  auto [tb, nb] = split(b);
  if (ta != tb) return ta < tb;
  if (na.size() != nb.size()) return na.size() < nb.size();
  if (na != nb) return na < nb;
  return a < b;
}

// Where a link leads, or nothing when path is no link.
std::optional<fs::path> LinkTarget(const fs::path& path) {
  char target[PATH_MAX];
  const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
  if (n <= 0 || static_cast<std::size_t>(n) >= sizeof target) return std::nullopt;
  return fs::path(std::string(target, static_cast<std::size_t>(n)));
}

// The device a class entry stands for: where the entry's "device" link
// leads. Two links are read, not every folder on the way (sysfs has no
// links inside the device tree itself).
std::optional<fs::path> LinkedDevice(const fs::path& entry) {
  fs::path node = entry;
  // Written out without the "..": the link is read again below, and each
  // step the system need not walk costs (the class folders are folders).
  if (const auto target = LinkTarget(entry))
    node = (target->is_absolute() ? *target : entry.parent_path() / *target).lexically_normal();
  const auto device = LinkTarget(node / "device");
  if (!device) return std::nullopt;
  fs::path resolved = (device->is_absolute() ? *device : node / *device).lexically_normal();
  if (!resolved.empty() && !resolved.has_filename()) resolved = resolved.parent_path();
  return resolved;
}

std::vector<std::string> Entries(const fs::path& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
    names.push_back(it->path().filename().string());
  std::sort(names.begin(), names.end(), NaturalLess);
  return names;
}

// n of a DOS device name such as COM3 or LPT1 (1 to 999), or 0.
int DosDeviceNumber(const std::string& upperName, const char* prefix) {
  if (!StartsWith(upperName, prefix)) return 0;
  const std::string digits = upperName.substr(3);
  if (!AllDigits(digits) || digits.size() > 3) return 0;
  return std::stoi(digits);
}

}  // namespace

TNamespace::TNamespace(std::string sysRoot, std::string devRoot, const TDeviceMap& map)
    : SysRoot(std::move(sysRoot)), DevRoot(std::move(devRoot)), Map(map) {}

std::string TNamespace::Resolve(const std::string& name, const TUsbPrinterIndex* printers) const {
  std::string mapped = Map.Find(name);
  if (!mapped.empty() || Map.MapsToNothing(name)) return mapped;
  if (StartsWith(name, InterfacePrefix)) {
    const std::string wanted = UsbPrinterKey(name);
    if (printers) {
      auto it = printers->find(wanted);
      return it == printers->end() ? std::string() : it->second;
    }
    for (const auto& printer : UsbPrinters())
      if (UsbPrinterKey(printer.SymbolicName) == wanted) return printer.DevicePath;
    return {};
  }
  const bool inNamespace = StartsWith(name, DotPrefix);
  const std::string bare = inNamespace ? name.substr(4) : name;
  const std::string upper = UpperCase(bare);
  if (StartsWith(upper, SerialEntryPrefix)) {
    const std::string tty = bare.substr(4);
    return IsDeviceName(tty) ? DevRoot + "/" + tty : std::string();
  }
  if (int n = DosDeviceNumber(upper, "COM")) return DevRoot + "/ttyS" + std::to_string(n - 1);
  if (int n = DosDeviceNumber(upper, "LPT")) return DevRoot + "/lp" + std::to_string(n - 1);
  // Device namespace names that nothing maps open nothing, and neither does
  // a relative name: a port text is never a file in the current folder.
  return !inNamespace && StartsWith(name, "/") ? name : std::string();
}

std::string TNamespace::UsbPrinterKey(const std::string& path) { return UpperCase(path.substr(4)); }

std::vector<TUsbPrinter> TNamespace::UsbPrinters() const {
  std::vector<TUsbPrinter> printers;
  const fs::path usbmisc = fs::path(SysRoot) / "class" / "usbmisc";
  // Instances taken so far under each device key.
  std::map<std::string, std::set<std::string>> taken;
  for (const std::string& name : Entries(usbmisc)) {
    // usbmisc also holds other class drivers' devices (hiddev...).
    if (name.size() > 12 || !StartsWith(name, "lp") || !AllDigits(name.substr(2))) continue;
    const auto interface = LinkedDevice(usbmisc / name);
    if (!interface) continue;
    // The IDs belong to the USB device one level above the interface.
    const fs::path device = interface->parent_path();
    const auto vendor = Hex4(ReadLine(device / "idVendor"));
    const auto product = Hex4(ReadLine(device / "idProduct"));
    if (!vendor || !product) continue;
    TUsbPrinter printer;
    printer.DeviceKey = "VID_" + *vendor + "&PID_" + *product;
    auto& used = taken[printer.DeviceKey];
    // As Windows does: the serial number when there is a usable one, else
    // where the device is plugged in.
    for (const std::string& candidate :
         {ReadLine(device / "serial").value_or(std::string()), device.filename().string(),
          interface->filename().string(), name}) {
      if (IsInstanceName(candidate) && used.insert(UpperCase(candidate)).second) {
        printer.Instance = candidate;
        break;
      }
    }
    if (printer.Instance.empty()) continue;
    printer.SymbolicName = "\\??\\USB#" + printer.DeviceKey + "#" + printer.Instance + "#" +
                           UsbPrinterInterfaceGuid;
    printer.DevicePath = DevRoot + "/usb/" + name;
    printers.push_back(std::move(printer));
  }
  return printers;
}

std::vector<TSerialPort> TNamespace::SerialPorts() const {
  std::vector<TSerialPort> ports;
  const fs::path ttys = fs::path(SysRoot) / "class" / "tty";
  for (const std::string& name : Entries(ttys)) {
    if (!IsDeviceName(name)) continue;
    // Virtual consoles, /dev/tty, ptmx and pseudo-terminals have no driver
    // behind them.
    if (StartsWith(name, "tty") && AllDigits(name.substr(3))) continue;
    std::error_code ec;
    if (!fs::exists(ttys / name / "device" / "driver", ec)) continue;
    // A serial8250 slot without a UART behind it says type 0.
    if (ReadLine(ttys / name / "type").value_or("") == "0") continue;
    ports.push_back({name, DevRoot + "/" + name});
  }
  return ports;
}

std::vector<int> TNamespace::ParallelPortNumbers() const {
  std::vector<int> numbers;
  for (const std::string& name : Entries(DevRoot)) {
    const std::string digits = name.substr(std::min<std::size_t>(2, name.size()));
    if (StartsWith(name, "lp") && AllDigits(digits) && digits.size() <= 3)
      numbers.push_back(std::stoi(digits));
  }
  return numbers;
}

}  // namespace vornex::posix
