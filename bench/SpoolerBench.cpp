// The print queue transport's throughput through a CUPS raw queue to the
// virtual printer's TCP listener, beside `lp -o raw` sending the same file
// to the same queue in the same run; and how long after the printer's last
// byte the job is seen completed. The CUPS server is the tests' own.
//   spooler_bench [MiB, default 64]
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench/PrinterRun.h"
#include "bench/TransportRun.h"
#include "os/posix/PosixPlatform.h"
#include "printer/VirtualPrinter.h"
#include "tests/support/CupsServer.h"
#include "tests/support/TempDir.h"
#include "upload/SpoolerTransport.h"

int main(int argc, char** argv) {
  using namespace vornex;
  using namespace vornex::bench;
  const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
  const std::size_t bytes = mib << 20;
  constexpr int Runs = 3;

  test::TCupsServer cups;
  if (!cups.Reason().empty()) {
    std::fprintf(stderr, "spooler_bench: %s\n", cups.Reason().c_str());
    return 1;
  }
  ::setenv("CUPS_SERVER", cups.Socket().c_str(), 1);
  printer::TPrinterOptions options;
  options.Usb = false;
  options.Vendor = false;
  printer::TVirtualPrinter printer(options);
  const std::string queue = "VornexBench";
  const std::string added = cups.AddRawQueue(queue, "socket://127.0.0.1:" + std::to_string(printer.TcpPort()));
  if (!added.empty()) {
    std::fprintf(stderr, "spooler_bench: %s\n", added.c_str());
    return 1;
  }
  test::TTempDir dir;
  const auto data = test::RandomBytes(bytes);
  const std::string file = dir.Write("file.bin", data);
  TPosixPlatform platform;

  auto byLp = [&] {
    if (!cups.Run({"lp", "-d", queue, "-o", "raw", file}).empty()) std::fprintf(stderr, "lp failed\n");
  };
  TTransportRun run{platform, data, {}};
  TSpoolerTransport spooler;
  std::thread follower;
  Clock::time_point completed;
  // The file is in memory before Start lets the transport run, as it is
  // here; the job is followed to its end on a thread of its own, so that
  // only the way to the printer is timed.
  auto byVornex = [&](std::int32_t blockSize) {
    run.Prepare("PRINTER:" + queue, blockSize);
    return [&] {
      follower = std::thread([&] {
        run.Send(spooler);
        completed = Clock::now();
      });
    };
  };
  std::vector<double> lpRates, rates512, rates10240, lags;
  for (int i = 0; i < Runs; ++i) {
    lpRates.push_back(PrinterRate(printer, bytes, byLp, 300000));
    for (std::int32_t blockSize : {512, 10240}) {
      (blockSize == 512 ? rates512 : rates10240).push_back(PrinterRate(printer, bytes, byVornex(blockSize), 300000));
      // Transfer has returned once the printer reported the whole file.
      const auto arrived = Clock::now();
      follower.join();
      lags.push_back(Seconds(completed - arrived) * 1000.0);
    }
  }
  const double lpRate = Median(lpRates);
  auto row = [&](std::int32_t blockSize, double rate) {
    std::printf("| print queue, BlockSize %d through a CUPS raw queue to the virtual printer's TCP listener, %zu MiB "
                "| %.1f MB/s (median of %d) | %.2f of lp -o raw's %.1f MB/s to the same queue |\n",
                blockSize, mib, rate, Runs, rate / lpRate, lpRate);
  };
  row(512, Median(rates512));
  row(10240, Median(rates10240));
  std::printf("| print queue, the printer's last byte to the job seen completed (polled every %u ms) | %.0f ms "
              "(median of %zu) | |\n",
              static_cast<unsigned>(spooler.PollMs), Median(lags), lags.size());
  return 0;
}
