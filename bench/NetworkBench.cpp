// The network transport's throughput to the virtual printer's TCP listener,
// beside socat sending the same file to the same listener in the same run,
// and the time from Start to the printer's first byte.
//   network_bench [MiB, default 64]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "app/MainForm.h"
#include "bench/PrinterRun.h"
#include "bench/TransportRun.h"
#include "os/posix/PosixPlatform.h"
#include "tests/support/HeadlessHost.h"
#include "tests/support/TempDir.h"
#include "printer/VirtualPrinter.h"
#include "upload/NetworkTransport.h"

namespace vornex::bench {
namespace {

// The printer hashes what it takes, as it does for every port: the same
// work whoever sends.
printer::TPrinterOptions NetworkOnly() {
  printer::TPrinterOptions o;
  o.Usb = false;
  o.Vendor = false;
  return o;
}

}  // namespace
}  // namespace vornex::bench

int main(int argc, char** argv) {
  using namespace vornex;
  using namespace vornex::bench;
  const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
  const std::size_t bytes = mib << 20;
  constexpr int Runs = 5, FirstByteRuns = 20;

  printer::TVirtualPrinter printer(NetworkOnly());
  test::TTempDir dir;
  const auto data = test::RandomBytes(bytes);
  const std::string file = dir.Write("file.bin", data);
  TPosixPlatform platform;

  const std::string socat = "socat -u '" + file + "' TCP:127.0.0.1:" + std::to_string(printer.TcpPort());
  auto bySocat = [&] {
    if (std::system(socat.c_str()) != 0) std::fprintf(stderr, "socat failed\n");
  };
  TTransportRun run{platform, data, {}};
  TNetworkTransport network;
  // The file is in memory before Start lets the transport run, as it is
  // here; only the sending is timed.
  auto byVornex = [&](std::int32_t blockSize) {
    run.Prepare(printer.TcpPortText(), blockSize);
    return [&] { run.Send(network); };
  };
  // Taken in turns, so that what else the machine does weighs on each alike.
  std::vector<double> socatRates, rates512, rates10240;
  for (int i = 0; i < Runs; ++i) {
    socatRates.push_back(PrinterRate(printer, bytes, bySocat));
    rates512.push_back(PrinterRate(printer, bytes, byVornex(512)));
    rates10240.push_back(PrinterRate(printer, bytes, byVornex(10240)));
  }
  const double socatRate = Median(socatRates), rate512 = Median(rates512), rate10240 = Median(rates10240);

  // Start to the first byte, through the window: a small file, so that
  // reading it is no part of the time.
  std::vector<double> firstByte;
  {
    test::THeadlessHost host;
    TMainForm form(host, platform);
    host.Attach(form);
    form.Show();
    form.ComboBox1.SetText(printer.TcpPortText());
    form.EdFileName.SetText(dir.Write("small.prn", test::RandomBytes(4096, 5)));
    for (int i = 0; i < FirstByteRuns; ++i) {
      const std::size_t before = printer.Transfers().size();
      const auto start = Clock::now();
      host.Click(form.BuStart);
      host.WaitUntil([&] { return !form.Upload.Busy(); }, 30000);
      printer.WaitForTransfers(before + 1);
      firstByte.push_back(Seconds(printer.Transfers().back().FirstByte - start) * 1000.0);
    }
  }

  // Rows of the table bench/run.sh prints: what | figure | against.
  auto row = [&](std::int32_t blockSize, double rate) {
    std::printf("| network, BlockSize %d to the virtual printer's TCP listener, %zu MiB | %.1f MB/s (median of %d) "
                "| %.2f of socat's %.1f MB/s%s |\n",
                blockSize, mib, rate, Runs, rate / socatRate, socatRate, blockSize == 10240 ? " (target 0.8)" : "");
  };
  row(512, rate512);
  row(10240, rate10240);
  std::printf("| network, Start to the printer's first byte (loopback, a 4 KiB file) | %.2f ms (median of %d), "
              "at most %.2f ms | target 20 ms |\n",
              Median(firstByte), FirstByteRuns, *std::max_element(firstByte.begin(), firstByte.end()));
  return 0;
}
