// Port discovery over 300 USB device keys on the scripted platform and over
// 300 usblp printers on the Linux platform, and the USB printer and
// parallel-port transports to a FIFO with a fast reader, beside `dd` with
// the same block size and `cat FILE > FIFO` in the same run.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "bench/TransportRun.h"
#include "forms/Form.h"
#include "tests/support/HeadlessHost.h"
#include "os/posix/PosixPlatform.h"
#include "ports/PortDiscovery.h"
#include "ports/UsbDeviceKey.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/FakeSysfs.h"
#include "tests/support/TempDir.h"
#include "tests/support/UsbPrinters.h"
#include "upload/ParallelTransport.h"
#include "upload/UsbPrinterTransport.h"

namespace vornex::bench {
namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The median time of a rebuild of the port list over `platform`, which
// should find `printers` USB printers. The search of the network is not
// waited for: the window waits for it at most its 200 ms, which a daemon
// announcing many printers fills, whatever the ports' own discovery takes.
double RebuildMs(TPlatform& platform, int rebuilds, std::size_t printers) {
  test::THeadlessHost host;
  TForm form(host, "Bench", "Bench", {0, 0, 100, 100});
  TComboBox box(&form, "ComboBox1", "", {0, 0, 100, 20});
  TPortDiscovery ports(platform, box);
  ports.NetworkWaitMs = 0;
  ports.DetermineWindowsLevel();
  std::vector<double> times;
  for (int i = 0; i < rebuilds; ++i) {
    const auto start = Clock::now();
    ports.RefreshPortList();
    times.push_back(Seconds(Clock::now() - start) * 1000.0);
  }
  if (ports.UsbPrinterPaths().size() != printers)
    std::fprintf(stderr, "unexpected: %zu printers\n", ports.UsbPrinterPaths().size());
  return Median(times);
}

// 300 device keys: every tenth a printer of the maker, the rest other
// vendors' devices, as a busy machine's registry has them.
double DiscoveryMs(int rebuilds) {
  test::TFakePlatform platform;
  for (int i = 0; i < 300; ++i) {
    char key[32];
    if (i % 10 == 0) {
      std::snprintf(key, sizeof key, "VID_%s&PID_%04X", MakerVendorId, 2 + i);
      test::AddUsbPrinter(platform, key, "5&" + std::to_string(i) + "&0&1");
    } else {
      std::snprintf(key, sizeof key, "VID_%04X&PID_%04X", 0x1000 + i, i);
      test::AddUsbPrinter(platform, key, std::to_string(i), i % 2 ? "HidUsb" : "usbccgp", false);
    }
  }
  platform.SpoolerPorts = {"LPT1:", "COM1:", "FILE:"};
  platform.SetValue("HARDWARE\\DEVICEMAP\\SERIALCOMM", "\\Device\\Serial0", "COM1");
  return RebuildMs(platform, rebuilds, 30);
}

// The same list over the Linux platform: 300 usblp printers of the maker in
// a generated sysfs tree, each with its device node (a FIFO, which the
// test-open takes as a device).
double LinuxDiscoveryMs(int rebuilds) {
  test::TFakeSysfs tree;
  for (int i = 0; i < 300; ++i) {
    char product[8];
    std::snprintf(product, sizeof product, "%04x", 2 + i % 50);
    const std::string lp = "lp" + std::to_string(i);
    tree.AddUsbPrinter(lp, "1-" + std::to_string(i + 1), "2a3c", product, "SN" + std::to_string(i));
    ::mkfifo(tree.DevPath("usb/" + lp).c_str(), 0600);
  }
  TPosixPlatform::TOptions options;
  options.SysRoot = tree.SysRoot();
  options.DevRoot = tree.DevRoot();
  TPosixPlatform platform(options);
  return RebuildMs(platform, rebuilds, 300);
}

// Reads the FIFO as fast as it comes until `expected` bytes have arrived.
class TDrain {
 public:
  TDrain(const std::string& fifo, std::size_t expected) : Expected(expected) {
    Fd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ::fcntl(Fd, F_SETFL, ::fcntl(Fd, F_GETFL) & ~O_NONBLOCK);
    Reader = std::thread([this] {
      std::vector<char> buffer(1 << 20);
      while (Got < Expected) {
        ssize_t n = ::read(Fd, buffer.data(), buffer.size());
        if (n > 0) Got += static_cast<std::size_t>(n);
        else if (n == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));  // no writer yet
        else if (errno != EINTR) break;  // a FIFO that never opened: report what came
      }
      Done = Clock::now();
    });
  }
  ~TDrain() {
    if (Reader.joinable()) Reader.join();
    ::close(Fd);
  }
  Clock::time_point Wait() {
    Reader.join();
    return Done;
  }

 private:
  int Fd;
  std::size_t Expected;
  std::size_t Got = 0;
  Clock::time_point Done;
  std::thread Reader;
};

double MBps(std::size_t bytes, double seconds) { return bytes / seconds / 1e6; }

// One run: `send` writes the file to the FIFO; the time runs from then
// until the reader has it all. `prepare` comes first, untimed: the file
// loaded into memory, as Start leaves it before the transfer begins.
double Run(const std::string& fifo, std::size_t bytes, const std::function<void()>& send,
           const std::function<void()>& prepare = {}) {
  TDrain drain(fifo, bytes);
  if (prepare) prepare();
  const auto start = Clock::now();
  send();
  return MBps(bytes, Seconds(drain.Wait() - start));
}

}  // namespace
}  // namespace vornex::bench

int main(int argc, char** argv) {
  using namespace vornex;
  using namespace vornex::bench;
  const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
  const std::size_t bytes = mib << 20;
  constexpr int Runs = 3;

  // Rows of the table bench/run.sh prints: what | figure | against.
  std::printf("| port discovery, 300 USB device keys, 30 of them the maker's printers (scripted platform) "
              "| %.3f ms per rebuild of the list (median of 50) | |\n",
              DiscoveryMs(50));
  std::printf("| port discovery, 300 usblp printers of the maker in a generated sysfs tree (Linux platform) "
              "| %.1f ms per rebuild of the list, the network search not waited for (median of 20) "
              "| target 15 ms |\n",
              LinuxDiscoveryMs(20));

  test::TFakeSysfs tree;
  tree.AddUsbPrinter("lp0", "1-1", "2a3c", "0005", std::string("BENCH"));
  test::TTempDir dir;
  const std::string fifo = tree.DevPath("usb/lp0");
  ::mkfifo(fifo.c_str(), 0600);
  auto data = test::RandomBytes(bytes);
  const std::string file = dir.Write("file.bin", data);

  TPosixPlatform::TOptions options;
  options.SysRoot = tree.SysRoot();
  options.DevRoot = tree.DevRoot();
  options.DeviceMap = "LPT1=" + fifo;
  TPosixPlatform platform(options);
  const std::string printer = test::UsbPrinterPath("VID_2A3C&PID_0005", "BENCH");
  TTransportRun run{platform, data, {}};
  TUsbPrinterTransport usb;
  TParallelTransport parallel;

  auto median = [&](const std::function<void()>& send, const std::function<void()>& prepare = {}) {
    std::vector<double> rates;
    for (int i = 0; i < Runs; ++i) rates.push_back(Run(fifo, bytes, send, prepare));
    return Median(rates);
  };
  const std::string cat = "cat '" + file + "' > '" + fifo + "'";
  const double catRate = median([&] {
    if (std::system(cat.c_str()) != 0) std::fprintf(stderr, "cat failed\n");
  });
  // The same pieces as the transports write, for comparison.
  auto dd = [&](int block) {
    const std::string command = "dd status=none bs=" + std::to_string(block) + " if='" + file +
                                "' of='" + fifo + "'";
    return median([&] {
      if (std::system(command.c_str()) != 0) std::fprintf(stderr, "dd failed\n");
    });
  };
  const double dd512 = dd(512);
  const double dd10240 = dd(10240);
  auto transfer = [&](TSendLoop& loop, const std::string& port, std::int32_t blockSize) {
    return median([&] { run.Send(loop); }, [&] { run.Prepare(port, blockSize); });
  };
  const double usb512 = transfer(usb, printer, 512);
  const double usb10240 = transfer(usb, printer, 10240);
  const double lpt = transfer(parallel, "LPT1", 512);

  // Against dd with the same block size, which writes what it reads from
  // the file, block by block, as the transports write from memory.
  auto row = [&](const char* what, double rate, int block, double ddRate) {
    std::printf("| %s to a FIFO with a fast reader, %zu MiB | %.1f MB/s (median of %d) "
                "| %.2f of dd bs=%d's %.1f MB/s (target 0.9) |\n",
                what, mib, rate, Runs, rate / ddRate, block, ddRate);
  };
  row("USB printer, BlockSize 512", usb512, 512, dd512);
  row("USB printer, BlockSize 10240", usb10240, 10240, dd10240);
  row("parallel port, 512-byte blocks", lpt, 512, dd512);
  std::printf("| cat FILE > FIFO, for comparison | %.1f MB/s (median of %d) | |\n", catRate, Runs);
  return 0;
}
