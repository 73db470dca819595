// The system's D-Bus and Avahi daemons for tests and benchmarks that need
// printers announced with DNS-SD: started unless they run (as root), and
// stopped again by whoever started them.
#pragma once

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "tests/support/ChildProcess.h"

namespace vornex::test {

inline constexpr char SystemBusSocket[] = "/run/dbus/system_bus_socket";

inline std::string Said(const TRun& run) { return " (exit " + std::to_string(run.Status) + ": " + run.Out + run.Err + ")"; }

// The system bus and the Avahi daemon on it: started unless they run, and
// stopped again if this test started them. Reason() says why not, if not.
class TAvahi {
 public:
  TAvahi() {
    if (::geteuid() != 0) {
      Why = "the system's D-Bus and Avahi daemons can only be started as root";
      return;
    }
    if (!Connectable(SystemBusSocket)) {
      // A pid file left by a bus that is gone would stop a new one.
      std::error_code ec;
      std::filesystem::remove("/run/dbus/pid", ec);
      std::filesystem::create_directories("/run/dbus", ec);
      const TRun bus = RunProgram({"dbus-daemon", "--system", "--fork", "--print-pid"});
      BusPid = std::atoi(bus.Out.c_str());
      if (bus.Status != 0 || BusPid <= 0 || !WaitFor([] { return Connectable(SystemBusSocket); }, 5000)) {
        Why = "dbus-daemon --system did not start" + Said(bus);
        return;
      }
    }
    if (RunProgram({"avahi-daemon", "--check"}).Status != 0) {
      const TRun avahi = RunProgram({"avahi-daemon", "--no-drop-root", "--daemonize"});
      StartedAvahi = avahi.Status == 0;
      if (!StartedAvahi ||
          !WaitFor([] { return RunProgram({"avahi-daemon", "--check"}).Status == 0; }, 5000)) {
        Why = "avahi-daemon did not start" + Said(avahi);
        return;
      }
    }
  }
  ~TAvahi() {
    if (StartedAvahi) RunProgram({"avahi-daemon", "--kill"});
    if (BusPid > 0) {
      ::kill(BusPid, SIGTERM);
      // What it leaves behind would keep the next bus from starting.
      WaitFor([&] { return ::kill(BusPid, 0) != 0 || !Connectable(SystemBusSocket); }, 5000);
      std::error_code ec;
      std::filesystem::remove("/run/dbus/pid", ec);
      std::filesystem::remove(SystemBusSocket, ec);
    }
  }
  const std::string& Reason() const { return Why; }

 private:
  std::string Why;
  pid_t BusPid = -1;
  bool StartedAvahi = false;
};

}  // namespace vornex::test
