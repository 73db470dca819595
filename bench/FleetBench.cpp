// One file to many network printers: vornex-send --jobs 64 beside the same
// sends made one after another with socat in the same run, and beside
// --jobs 1; its peak memory; and a run in which some printers stall.
// The printers are the virtual printer's listeners on loopback, which hash
// what they take; paced, each reads at most PACE bytes a second, as a
// printer on the network takes a job.
//   fleet_bench VORNEX_SEND [PRINTERS, default 200] [PACE, default 5000000]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "printer/VirtualPrinter.h"
#include "tests/support/TempDir.h"
#include "upload/Sha256.h"

namespace {

using Clock = std::chrono::steady_clock;
using vornex::printer::TPrinterOptions;
using vornex::printer::TVirtualPrinter;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Printers in a few processes' worth of threads, so that their hashing is
// spread over the machine's cores as separate printers' would be.
class TPrinters {
 public:
  TPrinters(std::size_t n, std::size_t pace, bool stall = false) {
    const std::size_t groups = std::min<std::size_t>(4, n);
    for (std::size_t g = 0; g < groups; ++g) {
      TPrinterOptions o;
      o.Usb = false;
      o.Vendor = false;
      o.TcpListeners = n / groups + (g < n % groups ? 1 : 0);
      o.TcpRate = pace;
      o.TcpStall = stall;
      Groups.push_back(std::make_unique<TVirtualPrinter>(o));
      Groups.back()->SetOnTransfer([this](const vornex::printer::TReceived& r) {
        std::lock_guard<std::mutex> hold(Lock);
        Hashes.push_back(r.Sha256);
        Last = Clock::now();
      });
    }
  }
  std::vector<std::string> PortTexts() const {
    std::vector<std::string> texts;
    for (const auto& g : Groups)
      for (const auto& t : g->TcpPortTexts()) texts.push_back(t);
    return texts;
  }
  std::size_t Received() {
    std::lock_guard<std::mutex> hold(Lock);
    return Hashes.size();
  }
  // Every file taken since the last call was the one sent.
  bool AllWhole(const std::string& sha, std::size_t n) {
    std::lock_guard<std::mutex> hold(Lock);
    const bool whole = Hashes.size() == n && std::all_of(Hashes.begin(), Hashes.end(), [&](auto& h) { return h == sha; });
    Hashes.clear();
    return whole;
  }
  // When the last file was taken whole.
  Clock::time_point LastEnd() {
    std::lock_guard<std::mutex> hold(Lock);
    return Last;
  }

 private:
  Clock::time_point Last{};
  std::vector<std::unique_ptr<TVirtualPrinter>> Groups;
  std::mutex Lock;
  std::vector<std::string> Hashes;
};

struct TSendRun {
  double Seconds = 0;
  double PeakMiB = 0;
  int Status = -1;
  Clock::time_point End;
};

// vornex-send to its end, with its peak memory.
TSendRun Send(const std::string& send, const std::vector<std::string>& args) {
  std::vector<char*> argv{const_cast<char*>(send.c_str())};
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  TSendRun run;
  const auto start = Clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::dup2(null, 2);
    ::execv(send.c_str(), argv.data());
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  run.End = Clock::now();
  run.Seconds = Seconds(run.End - start);
  run.PeakMiB = double(usage.ru_maxrss) / 1024.0;
  run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

// The same sends one after another with socat, each waited for until its
// printer has taken the whole file.
double BySocat(TPrinters& printers, const std::string& file) {
  const auto start = Clock::now();
  for (const auto& port : printers.PortTexts()) {
    const std::size_t before = printers.Received();
    const std::string command = "socat -u '" + file + "' " + port;
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "socat failed for %s\n", port.c_str());
    while (printers.Received() == before) ::usleep(200);
  }
  return Seconds(Clock::now() - start);
}

std::string WriteList(const vornex::test::TTempDir& dir, const std::string& name, const std::vector<std::string>& ports) {
  std::string text;
  for (const auto& p : ports) text += p + "\n";
  return dir.Write(name, text);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: fleet_bench VORNEX_SEND [PRINTERS] [PACE]\n");
    return 2;
  }
  const std::string send = argv[1];
  const std::size_t n = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 200;
  const std::size_t pace = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 5000000;
  constexpr std::size_t Size = 2000000, Stalling = 10;
  constexpr int StallLimit = 5;

  vornex::test::TTempDir dir;
  const auto data = vornex::test::RandomBytes(Size, 16);
  const std::string sha = vornex::TSha256::Of(data);
  const std::string file = dir.Write("label.prn", data);
  const double fileMiB = double(Size) / 1048576.0;
  auto fleet = [&](const std::string& list, int jobs, std::vector<std::string> more = {}) {
    std::vector<std::string> args{"--ports-from", list, "--jobs", std::to_string(jobs), "--block-size", "10240"};
    args.insert(args.end(), more.begin(), more.end());
    args.push_back(file);
    return Send(send, args);
  };
  auto check = [&](TPrinters& printers, const TSendRun& run, const char* what) {
    if (run.Status != 0 || !printers.AllWhole(sha, n))
      std::fprintf(stderr, "%s: exit status %d, not every printer got the file whole\n", what, run.Status);
  };

  // Paced printers: the figures a fleet of printers would show.
  double socatPaced = 0;
  TSendRun jobs64, jobs1;
  {
    TPrinters printers(n, pace);
    const std::string list = WriteList(dir, "paced.txt", printers.PortTexts());
    socatPaced = BySocat(printers, file);
    printers.AllWhole(sha, n);
    jobs64 = fleet(list, 64);
    check(printers, jobs64, "--jobs 64");
    jobs1 = fleet(list, 1);
    check(printers, jobs1, "--jobs 1");
  }
  // Some printers stall: the last ones in the list, the worst place.
  double afterHealthy = 0;
  TSendRun stalled;
  {
    TPrinters healthy(n - Stalling, pace);
    TPrinters stalling(Stalling, pace, true);
    std::vector<std::string> ports = healthy.PortTexts();
    for (const auto& p : stalling.PortTexts()) ports.push_back(p);
    stalled = fleet(WriteList(dir, "stalling.txt", ports), 64, {"--stall-limit", std::to_string(StallLimit)});
    afterHealthy = Seconds(stalled.End - healthy.LastEnd());
    if (stalled.Status != 1 || !healthy.AllWhole(sha, n - Stalling))
      std::fprintf(stderr, "stalling run: exit status %d, or a healthy printer without the file\n", stalled.Status);
  }
  // At loopback's own speed: what the machine's cores allow.
  double socatFast = 0;
  TSendRun fast;
  {
    TPrinters printers(n, 0);
    socatFast = BySocat(printers, file);
    printers.AllWhole(sha, n);
    fast = fleet(WriteList(dir, "fast.txt", printers.PortTexts()), 64);
    check(printers, fast, "unpaced --jobs 64");
  }

  // Rows of the table bench/run.sh prints: what | figure | against.
  std::printf("| fleet, %zu network printers each reading %.0f MB/s, a 2 MB file, --jobs 64 | %.2f s, %.1f times "
              "faster than one after another with socat (%.1f s) | goal 20 times |\n",
              n, double(pace) / 1e6, jobs64.Seconds, socatPaced / jobs64.Seconds, socatPaced);
  std::printf("| fleet, the same with --jobs 1 | %.1f s | %.1f times --jobs 64's time; %.2f of socat's |\n",
              jobs1.Seconds, jobs1.Seconds / jobs64.Seconds, jobs1.Seconds / socatPaced);
  std::printf("| fleet, peak memory of vornex-send for those %zu printers, --jobs 64 | %.1f MiB, the file + %.1f MiB "
              "| target: the file + 30 MiB |\n",
              n, jobs64.PeakMiB, jobs64.PeakMiB - fileMiB);
  std::printf("| fleet, %zu of the %zu printers stalling (last in the list), --stall-limit %d | the run ends %.1f s "
              "after the slowest healthy printer | target: within the limit + 5 s (%d s) |\n",
              Stalling, n, StallLimit, afterHealthy, StallLimit + 5);
  std::printf("| fleet, %zu printers at loopback speed (no pace), --jobs 64 | %.2f s, %.1f times faster than socat "
              "one after another (%.1f s) | both bound by the 2 cores hashing %zu MB |\n",
              n, fast.Seconds, socatFast / fast.Seconds, socatFast, n * Size / 1000000);
  return 0;
}
