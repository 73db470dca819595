// What the benchmarks that send to the virtual printer share: the median of
// a few runs, and one transfer's rate as the printer sees it.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include "printer/VirtualPrinter.h"

namespace vornex::bench {

using Clock = std::chrono::steady_clock;

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

inline double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// MB/s of one transfer: from the call until the printer has reported the
// whole file (whatever the sender does after that is no part of it).
inline double PrinterRate(printer::TVirtualPrinter& printer, std::size_t bytes, const std::function<void()>& send,
                          int timeoutMs = 120000) {
  const std::size_t before = printer.Transfers().size();
  const auto start = Clock::now();
  send();
  if (!printer.WaitForTransfers(before + 1, timeoutMs)) std::fprintf(stderr, "the printer saw no transfer\n");
  const auto end = Clock::now();
  const auto got = printer.Transfers().back();
  if (got.Bytes != bytes) std::fprintf(stderr, "the printer got %llu bytes\n", static_cast<unsigned long long>(got.Bytes));
  return bytes / Seconds(end - start) / 1e6;
}

}  // namespace vornex::bench
