#include "printer/VirtualPrinter.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "printer/UsbSysfs.h"
#include "upload/Sha256.h"

namespace vornex::printer {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

enum class TEnd { Pty, Fifo, File, Tcp };

struct TVirtualPrinter::TPort {
  std::string Name;
  TEnd End;
  std::string Path;  // what Vornex opens
  int Fd = -1;       // for the network printer: the connection, while there is one
  int ListenFd = -1;
  int SlaveFd = -1;  // a pty's own end, held so the line never hangs up
  std::uint16_t ListenPort = 0;  // a network printer's, on 127.0.0.1
  bool Reading = true;
  bool Gone = false;
  TSha256 Hash;
  std::uint64_t Bytes = 0;
  Clock::time_point FirstByte;
  Clock::time_point LastData;
  bool Replied = false;
  // The line's pace: a token bucket, a byte a token, that holds at most
  // one read's worth, so that no pause lets a burst through.
  double Tokens = 0;
  Clock::time_point Refilled = Clock::now();
  std::uint64_t FileOffset = 0;
};

namespace {

void Throw(const std::string& what) { throw std::runtime_error(what + ": " + std::strerror(errno)); }

// A new pseudo-terminal whose other end is reached through `link`.
void OpenPty(TVirtualPrinter::TPort& port, const std::string& link) {
  int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) Throw("pseudo-terminal");
  std::string slave = ::ptsname(master);
  int slaveFd = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (slaveFd < 0) Throw(slave);
  termios t{};
  ::tcgetattr(slaveFd, &t);
  ::cfmakeraw(&t);
  ::tcsetattr(slaveFd, TCSANOW, &t);
  std::error_code ec;
  fs::remove(link, ec);
  fs::create_symlink(slave, link);
  port.Fd = master;
  port.SlaveFd = slaveFd;
}

void OpenFifoReader(TVirtualPrinter::TPort& port) {
  port.Fd = ::open(port.Path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (port.Fd < 0) Throw(port.Path);
}

void MakeFifo(const std::string& path) {
  fs::create_directories(fs::path(path).parent_path());
  std::error_code ec;
  fs::remove(path, ec);
  if (::mkfifo(path.c_str(), 0666) != 0) Throw(path);
}

// A listening socket on 127.0.0.1; port 0 takes a free one.
int ListenOn(std::uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) Throw("socket");
  // Back on the same port at once after Vanish.
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 8) != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    Throw("TCP port " + std::to_string(port));
  }
  return fd;
}

std::uint16_t PortOf(int fd) {
  sockaddr_in a{};
  socklen_t length = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
  return ntohs(a.sin_port);
}

// The most a paced port may take in one read: 10 ms of its rate.
double Burst(std::size_t rate) { return std::max(1.0, double(rate) / 100.0); }

void Refill(TVirtualPrinter::TPort& port, std::size_t rate, Clock::time_point now) {
  const double elapsed = std::chrono::duration<double>(now - port.Refilled).count();
  port.Tokens = std::min(Burst(rate), port.Tokens + elapsed * double(rate));
  port.Refilled = now;
}

std::string Hex4(std::uint16_t v) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", v);
  return text;
}

}  // namespace

TVirtualPrinter::TVirtualPrinter(TPrinterOptions options) : Options(std::move(options)) {
  if (Options.Dir.empty()) {
    char pattern[] = "/tmp/vornex-printer-XXXXXX";
    if (!::mkdtemp(pattern)) Throw("temporary folder");
    Options.Dir = pattern;
    OwnDir = true;
  }
  const fs::path dir = Options.Dir;
  // Both roots exist, if only empty, whatever the printer has.
  fs::create_directories(dir / "sys");
  fs::create_directories(dir / "dev");

  auto serial = std::make_unique<TPort>();
  serial->Name = "COM1";
  serial->End = TEnd::Pty;
  serial->Path = (dir / "com1").string();
  OpenPty(*serial, serial->Path);
  Ports.push_back(std::move(serial));

  // The parallel port where the Linux namespace looks for LPT1.
  auto parallel = std::make_unique<TPort>();
  parallel->Name = "LPT1";
  parallel->End = TEnd::Fifo;
  parallel->Path = (dir / "dev" / "lp0").string();
  MakeFifo(parallel->Path);
  OpenFifoReader(*parallel);
  Ports.push_back(std::move(parallel));

  if (Options.Usb) {
    // A usblp device: its node, and the sysfs entries discovery reads (the
    // class entry's device is the USB interface; the vendor and product IDs
    // are the USB device's, one level up).
    auto usb = std::make_unique<TPort>();
    usb->Name = "USB";
    usb->End = TEnd::Fifo;
    usb->Path = (dir / "dev" / "usb" / "lp0").string();
    MakeFifo(usb->Path);
    OpenFifoReader(*usb);
    MakeUsbPrinterSysfs(dir / "sys", "lp0", "1-1", Hex4(Options.UsbVendorId), Hex4(Options.UsbProductId),
                        "VX0001");
    Ports.push_back(std::move(usb));
  }

  if (Options.Vendor) {
    auto vendor = std::make_unique<TPort>();
    vendor->Name = "ZUV USB0";
    vendor->End = TEnd::File;
    vendor->Path = (dir / "usbapi.out").string();
    std::ofstream(vendor->Path, std::ios::trunc).flush();
    Ports.push_back(std::move(vendor));
  }

  for (std::size_t i = 0; Options.Tcp && i < std::max<std::size_t>(1, Options.TcpListeners); ++i) {
    auto tcp = std::make_unique<TPort>();
    tcp->Name = i == 0 ? "TCP" : "TCP" + std::to_string(i + 1);
    tcp->End = TEnd::Tcp;
    tcp->ListenFd = ListenOn(Options.TcpPort == 0 ? 0 : static_cast<std::uint16_t>(Options.TcpPort + i));
    tcp->Reading = !Options.TcpStall;
    tcp->ListenPort = PortOf(tcp->ListenFd);
    if (i == 0) ListeningPort = tcp->ListenPort;
    Ports.push_back(std::move(tcp));
  }

  WakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  Loop = std::thread([this] { Run(); });
}

TVirtualPrinter::~TVirtualPrinter() {
  {
    std::lock_guard<std::mutex> hold(Lock);
    Stop = true;
  }
  Kick();
  Loop.join();
  for (auto& p : Ports) {
    if (p->Fd >= 0) ::close(p->Fd);
    if (p->SlaveFd >= 0) ::close(p->SlaveFd);
    if (p->ListenFd >= 0) ::close(p->ListenFd);
  }
  if (WakeFd >= 0) ::close(WakeFd);
  if (OwnDir) {
    std::error_code ec;
    fs::remove_all(Options.Dir, ec);
  }
}

std::string TVirtualPrinter::DeviceMap() const {
  return "COM1=" + Ports[0]->Path + ";LPT1=" + Ports[1]->Path;
}

std::string TVirtualPrinter::TcpPortText() const { return "TCP:127.0.0.1:" + std::to_string(ListeningPort); }

std::vector<std::string> TVirtualPrinter::TcpPortTexts() const {
  std::vector<std::string> texts;
  for (const auto& p : Ports)
    if (p->End == TEnd::Tcp) texts.push_back("TCP:127.0.0.1:" + std::to_string(p->ListenPort));
  return texts;
}

std::vector<std::string> TVirtualPrinter::Environment() const {
  // The roots even without a USB printer: otherwise Vornex looks at the
  // machine's own /sys and /dev, and a real printer there takes the bytes.
  std::vector<std::string> lines{"VORNEX_DEVICE_MAP=" + DeviceMap(),
                                 "VORNEX_SYS_ROOT=" + (fs::path(Options.Dir) / "sys").string(),
                                 "VORNEX_DEV_ROOT=" + (fs::path(Options.Dir) / "dev").string()};
  if (Options.Vendor) lines.push_back("VORNEX_USBAPI_OUT=" + (fs::path(Options.Dir) / "usbapi.out").string());
  // Not read by Vornex: the port text to type for the network printer.
  if (Options.Tcp) lines.push_back("VORNEX_TCP=" + TcpPortText());
  return lines;
}

std::vector<std::string> TVirtualPrinter::ShellExports() const {
  std::vector<std::string> exports;
  for (const auto& line : Environment()) {
    const auto eq = line.find('=');
    // In single quotes nothing is special but the quote itself, which ends
    // the quoting, is written escaped, and starts it again.
    std::string quoted = "'";
    for (char c : line.substr(eq + 1)) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    exports.push_back("export " + line.substr(0, eq) + "=" + quoted + "'");
  }
  return exports;
}

void TVirtualPrinter::WriteEnvFile(const std::string& path) const {
  std::ofstream out(path, std::ios::trunc);
  for (const auto& line : ShellExports()) out << line << "\n";
}

std::vector<TReceived> TVirtualPrinter::Transfers() {
  std::lock_guard<std::mutex> hold(Lock);
  return Received;
}

bool TVirtualPrinter::WaitForTransfers(std::size_t n, int timeoutMs) {
  std::unique_lock<std::mutex> hold(Lock);
  return Changed.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] { return Received.size() >= n; });
}

std::uint64_t TVirtualPrinter::Pending(const std::string& name) {
  std::lock_guard<std::mutex> hold(Lock);
  TPort* port = Find(name);
  return port ? port->Bytes : 0;
}

void TVirtualPrinter::SetOnTransfer(std::function<void(const TReceived&)> callback) {
  std::lock_guard<std::mutex> hold(Lock);
  OnTransfer = std::move(callback);
}

TVirtualPrinter::TPort* TVirtualPrinter::Find(const std::string& name) {
  for (auto& p : Ports)
    if (p->Name == name) return p.get();
  return nullptr;
}

void TVirtualPrinter::Kick() {
  std::uint64_t one = 1;
  [[maybe_unused]] auto n = ::write(WakeFd, &one, sizeof one);
}

void TVirtualPrinter::SetReading(const std::string& name, bool on) {
  {
    std::lock_guard<std::mutex> hold(Lock);
    if (TPort* port = Find(name)) {
      port->Reading = on;
      port->Tokens = 0;
      port->Refilled = Clock::now();
    }
  }
  Kick();
}

void TVirtualPrinter::Vanish(const std::string& name) {
  {
    std::lock_guard<std::mutex> hold(Lock);
    TPort* port = Find(name);
    if (!port || port->End == TEnd::File || port->Gone) return;
    // What came before it went is a transfer of its own: a far end that
    // comes back does not carry it on into the next file.
    if (port->End == TEnd::Tcp) {
      if (port->Fd >= 0) EndConnection(*port, true);
      ::close(port->ListenFd);
      port->ListenFd = -1;
      port->Gone = true;
      return Kick();
    }
    Finish(*port);
    port->Gone = true;
    if (port->Fd >= 0) ::close(port->Fd);
    if (port->SlaveFd >= 0) ::close(port->SlaveFd);
    port->Fd = port->SlaveFd = -1;
  }
  Kick();
}

void TVirtualPrinter::Return(const std::string& name) {
  {
    std::lock_guard<std::mutex> hold(Lock);
    TPort* port = Find(name);
    if (!port || !port->Gone) return;
    port->Gone = false;
    if (port->End == TEnd::Pty)
      OpenPty(*port, port->Path);
    else if (port->End == TEnd::Tcp)
      port->ListenFd = ListenOn(port->ListenPort);
    else
      OpenFifoReader(*port);
  }
  Kick();
}

// Lock held.
void TVirtualPrinter::Finish(TPort& port) {
  if (port.Bytes == 0) return;
  TReceived r{port.Name, port.Bytes, port.Hash.Hex(), port.FirstByte};
  port.Bytes = 0;
  port.Replied = false;
  Received.push_back(r);
  if (OnTransfer) OnTransfer(r);
  Changed.notify_all();
}

// Lock held, for each of these.
void TVirtualPrinter::Reply(TPort& port) {
  // A sender that has gone does not stop the printer.
  [[maybe_unused]] auto w = port.End == TEnd::Tcp
                                ? ::send(port.Fd, Options.Reply.data(), Options.Reply.size(), MSG_NOSIGNAL | MSG_DONTWAIT)
                                : ::write(port.Fd, Options.Reply.data(), Options.Reply.size());
}

void TVirtualPrinter::Accept(TPort& port) {
  const int fd = ::accept4(port.ListenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) return;
  port.Fd = fd;
  port.Replied = false;
}

void TVirtualPrinter::Take(TPort& port, const std::uint8_t* data, std::size_t n, Clock::time_point now) {
  bool reset = false;
  if (port.End == TEnd::Tcp && Options.TcpResetAfter > 0 && port.Bytes + n >= Options.TcpResetAfter) {
    // What came past the limit is dropped with the connection.
    n = static_cast<std::size_t>(Options.TcpResetAfter - port.Bytes);
    reset = true;
  }
  if (port.Bytes == 0 && n > 0) port.FirstByte = now;
  port.Hash.Add(data, n);
  port.Bytes += n;
  port.LastData = now;
  const bool answers = port.End == TEnd::Pty || port.End == TEnd::Tcp;
  if (answers && Options.ReplyAt > 0 && !port.Replied && port.Bytes >= Options.ReplyAt) {
    Reply(port);
    port.Replied = true;
  }
  if (reset) EndConnection(port, true);
}

void TVirtualPrinter::EndConnection(TPort& port, bool reset) {
  if (reset) {
    // Closing with a zero linger time sends a reset, not an orderly end.
    linger hard{1, 0};
    ::setsockopt(port.Fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  } else if (Options.ReplyAt == 0 && !Options.Reply.empty()) {
    Reply(port);
  }
  Finish(port);
  ::close(port.Fd);
  port.Fd = -1;
}

std::size_t TVirtualPrinter::RateOf(const TPort& port) const {
  return port.End == TEnd::Pty ? Options.SerialRate : port.End == TEnd::Tcp ? Options.TcpRate : 0;
}

void TVirtualPrinter::Run() {
  std::vector<std::uint8_t> buffer(1 << 16);
  for (;;) {
    std::vector<pollfd> fds{{WakeFd, POLLIN, 0}};
    std::vector<TPort*> polled;
    int timeout = 50;
    {
      std::lock_guard<std::mutex> hold(Lock);
      if (Stop) return;
      const auto now = Clock::now();
      for (auto& p : Ports) {
        if (p->Bytes > 0) {
          auto idle = std::chrono::duration_cast<std::chrono::milliseconds>(now - p->LastData).count();
          timeout = std::min<int>(timeout, std::max<int>(1, Options.IdleMs - static_cast<int>(idle)));
        }
        if (p->End == TEnd::Tcp && p->Fd < 0 && !p->Gone) {
          // One connection at a time: the next waits until this one ends.
          fds.push_back({p->ListenFd, POLLIN, 0});
          polled.push_back(p.get());
          continue;
        }
        if (p->End == TEnd::File || p->Fd < 0 || !p->Reading || p->Gone) continue;
        if (const std::size_t rate = RateOf(*p)) {
          // Out of tokens: look again when the line has room for a byte.
          Refill(*p, rate, now);
          if (p->Tokens < 1) {
            const double wait = (1 - p->Tokens) / double(rate);
            timeout = std::min(timeout, std::max(1, static_cast<int>(wait * 1000) + 1));
            continue;
          }
        }
        fds.push_back({p->Fd, POLLIN, 0});
        polled.push_back(p.get());
      }
    }
    ::poll(fds.data(), fds.size(), timeout);
    if (fds[0].revents & POLLIN) {
      std::uint64_t v;
      [[maybe_unused]] auto n = ::read(WakeFd, &v, sizeof v);
    }
    std::lock_guard<std::mutex> hold(Lock);
    const auto now = Clock::now();
    for (std::size_t i = 0; i < polled.size(); ++i) {
      TPort& p = *polled[i];
      if (p.End == TEnd::Tcp && p.Fd < 0 && fds[i + 1].fd == p.ListenFd && (fds[i + 1].revents & POLLIN)) {
        Accept(p);
        continue;
      }
      if (!(fds[i + 1].revents & (POLLIN | POLLHUP | POLLERR)) || p.Fd != fds[i + 1].fd) continue;
      // Told to stop (or gone) while the poll was on: nothing more is taken.
      if (!p.Reading || p.Gone) continue;
      std::size_t want = buffer.size();
      const std::size_t rate = RateOf(p);
      const bool paced = rate > 0;
      if (paced) {
        Refill(p, rate, now);
        if (p.Tokens < 1) continue;
        want = std::min(want, static_cast<std::size_t>(p.Tokens));
      }
      ssize_t n = ::read(p.Fd, buffer.data(), want);
      if (n > 0) {
        if (paced) p.Tokens -= double(n);
        Take(p, buffer.data(), static_cast<std::size_t>(n), now);
      } else if (p.End == TEnd::Tcp && (n == 0 || errno != EAGAIN)) {
        // The sender's end of the file, or its connection reset.
        EndConnection(p, false);
      } else if (n == 0 && p.End == TEnd::Fifo) {
        // The writer closed: the transfer is over. A fresh reader forgets
        // the hang-up, so the next writer can come.
        Finish(p);
        ::close(p.Fd);
        OpenFifoReader(p);
      }
    }
    for (auto& p : Ports) {
      if (p->End == TEnd::File) {
        std::error_code ec;
        auto size = fs::file_size(p->Path, ec);
        if (!ec && size > p->FileOffset) {
          std::ifstream in(p->Path, std::ios::binary);
          in.seekg(static_cast<std::streamoff>(p->FileOffset));
          while (in) {
            in.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(buffer.size()));
            auto got = static_cast<std::size_t>(in.gcount());
            if (got == 0) break;
            Take(*p, buffer.data(), got, now);
            p->FileOffset += got;
          }
        }
      }
      // A connection ends a network transfer, not a pause.
      if (p->End != TEnd::Tcp && p->Bytes > 0 && now - p->LastData >= std::chrono::milliseconds(Options.IdleMs)) {
        if (p->End == TEnd::Pty && Options.ReplyAt == 0 && !Options.Reply.empty() && p->Fd >= 0) Reply(*p);
        Finish(*p);
      }
    }
  }
}

}  // namespace vornex::printer
