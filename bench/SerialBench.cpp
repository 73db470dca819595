// What a serial transfer costs: the main window's serial path over a
// pseudo-terminal, against a far end in another process that reads as fast
// as it can or at a line's pace.
//   serial_bench [fast-bytes] [paced-bytes] [rate]
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/MainForm.h"
#include "forms/LoopHost.h"
#include "os/posix/PosixPlatform.h"

namespace {

using Clock = std::chrono::steady_clock;

struct TFarEnd {
  pid_t Pid = -1;
  std::string Slave;
};

// A far end in its own process, so its reading is not counted as ours.
TFarEnd StartFarEnd(std::size_t rate) {
  int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ::grantpt(master);
  ::unlockpt(master);
  TFarEnd far;
  far.Slave = ::ptsname(master);
  far.Pid = ::fork();
  if (far.Pid == 0) {
    static char buffer[1 << 16];
    auto start = Clock::now();
    std::size_t taken = 0;
    for (;;) {
      std::size_t want = sizeof buffer;
      if (rate > 0) {
        double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        auto allowed = static_cast<std::size_t>(elapsed * static_cast<double>(rate));
        if (allowed <= taken) {
          ::usleep(5000);
          continue;
        }
        want = std::min(want, allowed - taken);
      }
      pollfd p{master, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      ssize_t n = ::read(master, buffer, want);
      if (n > 0) taken += static_cast<std::size_t>(n);
      else ::usleep(2000);  // nobody holds the other side open yet
    }
  }
  ::close(master);
  return far;
}

void StopFarEnd(TFarEnd& far) {
  ::kill(far.Pid, SIGKILL);
  ::waitpid(far.Pid, nullptr, 0);
}

double CpuSeconds() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::string WriteFile(std::size_t size) {
  std::string path = "/tmp/vornex-bench-" + std::to_string(::getpid()) + ".bin";
  std::mt19937 gen(1);
  std::vector<char> data(size);
  for (auto& c : data) c = static_cast<char>(gen());
  std::ofstream(path, std::ios::binary).write(data.data(), static_cast<std::streamsize>(size));
  return path;
}

struct TResult {
  double Seconds;
  double CpuSeconds;
  std::int32_t Pieces;
};

// One transfer through the main window; times the sending, not the pause
// that lets the last piece drain.
TResult Transfer(const std::string& slave, const std::string& file, int watchMs) {
  vornex::TPosixPlatform::TOptions options;
  options.DeviceMap = "COM1=" + slave;
  vornex::TPosixPlatform platform(options);
  vornex::TLoopHost host;
  // The port check of a pseudo-terminal says "Device not found": no news here.
  host.OnMessage = [](const std::string& text) {
    if (text != "Device not found") std::fprintf(stderr, "message: %s\n", text.c_str());
  };
  vornex::TMainForm form(host, platform);
  host.Attach(form);
  form.EdFileName.SetText(file);
  form.ComboBox1.SetText("COM1");
  form.Job.TransferMode = vornex::tmSerial;
  Clock::time_point end;
  double cpuEnd = 0;
  const double cpuStart = CpuSeconds();
  const auto start = Clock::now();
  form.BuStart.Click();
  std::thread watcher([&] {
    // Looks now and then, not so often that the looking costs much.
    while (!form.Job.TransferDone && form.Upload.Busy()) std::this_thread::sleep_for(std::chrono::milliseconds(watchMs));
    end = Clock::now();
    cpuEnd = CpuSeconds();
    while (form.Upload.Busy()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    host.Terminate();
  });
  host.Run();
  watcher.join();
  return {std::chrono::duration<double>(end - start).count(), cpuEnd - cpuStart, form.Job.BlocksSent};
}

double CatSeconds(const std::string& slave, const std::string& file) {
  std::string command = "stty -F " + slave + " raw -echo; cat " + file + " > " + slave;
  auto start = Clock::now();
  if (std::system(command.c_str()) != 0) return -1;
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t fastBytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256 * 1024;
  const std::size_t pacedBytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 96 * 1024;
  const std::size_t rate = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 11520;

  TFarEnd fast = StartFarEnd(0);
  std::string file = WriteFile(fastBytes);
  std::vector<double> perPiece;
  double cpuPerPiece = 0;
  for (int run = 0; run < 5; ++run) {
    TResult r = Transfer(fast.Slave, file, 2);
    perPiece.push_back(r.Seconds * 1e6 / r.Pieces);
    cpuPerPiece += r.CpuSeconds * 1e6 / r.Pieces / 5;
  }
  std::sort(perPiece.begin(), perPiece.end());
  const double median = perPiece[perPiece.size() / 2];
  const double cat = CatSeconds(fast.Slave, file);
  StopFarEnd(fast);
  std::printf("| serial, 16-byte pieces over a pseudo-terminal, far end reading at full speed "
              "| %.1f us per piece (median of 5 runs), %.0f bytes/s; %.1f us of processor per piece "
              "| target 20 us; cat FILE > PTY: %.0f bytes/s |\n",
              median, 16e6 / median, cpuPerPiece, cat > 0 ? double(fastBytes) / cat : 0.0);

  TFarEnd paced = StartFarEnd(rate);
  std::string pacedFile = WriteFile(pacedBytes);
  TResult r = Transfer(paced.Slave, pacedFile, 100);
  StopFarEnd(paced);
  const double share = r.CpuSeconds / r.Seconds * 100;
  std::printf("| serial, far end reading %zu bytes/s (115 200 baud, 8N1) | %.2f s of processor per MiB, "
              "%.2f %% of one core (%zu bytes in %.1f s) | target 2 %% |\n",
              rate, r.CpuSeconds * (1 << 20) / double(pacedBytes), share, pacedBytes, r.Seconds);
  std::remove(file.c_str());
  std::remove(pacedFile.c_str());
  return 0;
}
