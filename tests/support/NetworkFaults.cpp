#include "tests/support/NetworkFaults.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace vornex::test {

using Clock = std::chrono::steady_clock;

TFaultyPrinter::TFaultyPrinter(TFaults faults) : Faults(std::move(faults)) {
  Listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  const int one = 1;
  ::setsockopt(Listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  // Set on the listener, so that the connection has it from its first byte.
  if (Faults.ReceiveBuffer > 0)
    ::setsockopt(Listener, SOL_SOCKET, SO_RCVBUF, &Faults.ReceiveBuffer, sizeof Faults.ReceiveBuffer);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  ::inet_pton(AF_INET, Faults.Address.c_str(), &a.sin_addr);
  if (::bind(Listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(Listener, 4) != 0) {
    const std::string why = std::strerror(errno);
    ::close(Listener);
    throw std::runtime_error("the printer cannot listen: " + why);
  }
  socklen_t length = sizeof a;
  ::getsockname(Listener, reinterpret_cast<sockaddr*>(&a), &length);
  ListeningPort = ntohs(a.sin_port);
  Wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  Loop = std::thread([this] { Run(); });
}

TFaultyPrinter::~TFaultyPrinter() {
  Stop = true;
  const std::uint64_t one = 1;
  [[maybe_unused]] auto n = ::write(Wake, &one, sizeof one);
  Loop.join();
  if (Connection >= 0) ::close(Connection);
  ::close(Listener);
  ::close(Wake);
}

void TFaultyPrinter::Run() {
  std::uint8_t buffer[4096];
  while (!Stop) {
    const bool open = Connection >= 0;
    pollfd fds[3] = {{Wake, POLLIN, 0}, {Listener, POLLIN, 0}, {Connection, 0, 0}};
    // How much the rate lets it read by now.
    std::size_t allowed = sizeof buffer;
    if (Faults.ReadRate > 0 && open) {
      const double seconds = std::chrono::duration<double>(Clock::now() - Since).count();
      const double due = seconds * Faults.ReadRate - static_cast<double>(Got);
      allowed = due < 1 ? 0 : std::min<std::size_t>(sizeof buffer, static_cast<std::size_t>(due));
    }
    if (open && Faults.Reads && !End && allowed > 0) fds[2].events |= POLLIN;
    if (open && !Faults.Floods.empty()) fds[2].events |= POLLOUT;
    ::poll(fds, open ? 3 : 2, allowed == 0 ? 5 : 100);
    if (fds[1].revents & POLLIN) {
      const int fd = ::accept4(Listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd >= 0) {
        if (Connection >= 0) ::close(Connection);
        Connection = fd;
        Got = 0;
        End = false;
        Since = Clock::now();
        AcceptedAt = Since.time_since_epoch().count();
      }
      continue;
    }
    if (!open) continue;
    if (fds[2].revents & POLLOUT) {
      std::string burst;
      while (burst.size() < sizeof buffer) burst += Faults.Floods;
      [[maybe_unused]] auto n = ::send(Connection, burst.data(), burst.size(), MSG_NOSIGNAL);
    }
    if (fds[2].revents & (POLLIN | POLLHUP | POLLERR)) {
      const ssize_t n = ::recv(Connection, buffer, std::min(allowed, sizeof buffer), 0);
      if (n > 0) Got += static_cast<std::size_t>(n);
      if (n == 0) {
        End = true;
        if (!Faults.ReplyAtEnd.empty())
          [[maybe_unused]] auto sent =
              ::send(Connection, Faults.ReplyAtEnd.data(), Faults.ReplyAtEnd.size(), MSG_NOSIGNAL);
        if (Faults.ClosesAtEnd) {
          ::close(Connection);
          Connection = -1;
        }
      } else if (n < 0 && errno != EAGAIN) {
        ::close(Connection);
        Connection = -1;
      }
    }
    if (Connection >= 0 && Faults.ResetAfter > 0 && Got >= Faults.ResetAfter) {
      // Closing at once with bytes unread: the connection is reset.
      const linger now{1, 0};
      ::setsockopt(Connection, SOL_SOCKET, SO_LINGER, &now, sizeof now);
      ::close(Connection);
      Connection = -1;
    }
  }
}

TFirewall::~TFirewall() {
  if (Made) RunProgram({"nft", "delete", "table", "inet", "vx"});
}

::testing::AssertionResult TFirewall::Drop(const std::string& match) {
  if (!Made) {
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"nft", "add", "table", "inet", "vx"},
          {"nft", "add", "chain", "inet", "vx", "in", "{ type filter hook input priority 0 ; }"}}) {
      const TRun run = RunProgram(command);
      if (run.Status != 0) return ::testing::AssertionFailure() << "nft: " << run.Err;
    }
    Made = true;
  }
  const TRun run = RunProgram({"nft", "add", "rule", "inet", "vx", "in", match + " drop"});
  if (run.Status != 0) return ::testing::AssertionFailure() << "nft " << match << ": " << run.Err;
  return ::testing::AssertionSuccess();
}

TSilentNameServer::TSilentNameServer() {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(53);
  ::inet_pton(AF_INET, OwnNameServer, &a.sin_addr);
  for (int type : {SOCK_DGRAM, SOCK_STREAM}) {
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        (type == SOCK_STREAM && ::listen(fd, 64) != 0))
      Why = std::string("a name server on ") + OwnNameServer + ": " + std::strerror(errno);
    Fds.push_back(fd);
  }
}

TSilentNameServer::~TSilentNameServer() {
  for (int fd : Fds)
    if (fd >= 0) ::close(fd);
}

std::string EnterOwnNetwork(const std::vector<std::string>& hostsLines) {
  if (::unshare(CLONE_NEWNET | CLONE_NEWNS) != 0)
    return std::string("a network namespace of its own (unshare, as root): ") + std::strerror(errno);
  if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    return std::string("mounts of its own: ") + std::strerror(errno);
  const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ifreq request{};
  std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
  bool up = s >= 0 && ::ioctl(s, SIOCGIFFLAGS, &request) == 0;
  if (up) {
    request.ifr_flags |= IFF_UP;
    up = ::ioctl(s, SIOCSIFFLAGS, &request) == 0;
  }
  const std::string why = std::strerror(errno);
  if (s >= 0) ::close(s);
  if (!up) return "its loopback up: " + why;
  // Kept for the program's life: the files are mounted over the system's.
  static TTempDir dir;
  std::string hosts = "127.0.0.1 localhost\n::1 localhost\n";
  for (const auto& line : hostsLines) hosts += line + "\n";
  const std::string resolver = "nameserver " + std::string(OwnNameServer) + "\noptions timeout:5 attempts:2\n";
  for (const auto& [file, over] : {std::pair<std::string, std::string>{dir.Write("hosts", hosts), "/etc/hosts"},
                                   {dir.Write("resolv.conf", resolver), "/etc/resolv.conf"}})
    if (::mount(file.c_str(), over.c_str(), nullptr, MS_BIND, nullptr) != 0)
      return "its own " + over + ": " + std::strerror(errno);
  if (RunProgram({"nft", "--version"}).Status != 0) return "nft (scripts/deps.sh test installs it)";
  return "";
}

}  // namespace vornex::test
