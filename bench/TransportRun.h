// One send loop's run over a file held in memory, for the benchmarks: the
// job made ready as Start would leave it, then the loop, which says on
// standard error when the file did not all go.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "os/Platform.h"
#include "upload/Job.h"
#include "upload/SendLoop.h"

namespace vornex::bench {

struct TTransportRun {
  TPlatform& Platform;
  const std::vector<std::uint8_t>& Data;
  TUploadJob Job;
  TPlatformHandle Cancel{Platform, Platform.CreateEventA(true, false)};

  // The file in memory and the counters at 0, as Start leaves them.
  void Prepare(const std::string& port, std::int32_t blockSize) {
    Job.FileData.Assign(std::vector<std::uint8_t>(Data));
    Job.PortText = port;
    Job.UsbPrinterPath = port;
    Job.BlockSize = blockSize;
    Job.BytesSent = 0;
    Job.BlocksSent = 0;
    Job.TransferDone = false;
  }
  void Send(TSendLoop& loop) {
    TSendContext c{Job, Platform, Cancel.Get(), [](const std::string& m) { std::fprintf(stderr, "%s\n", m.c_str()); },
                   [] { std::fprintf(stderr, "USB Send Err Resend\n"); }, {}, {}, {}};
    loop.Send(c);
    if (!Job.TransferDone || Job.BytesSent != static_cast<std::int32_t>(Data.size()))
      std::fprintf(stderr, "transfer incomplete: %d bytes\n", Job.BytesSent.load());
  }
};

}  // namespace vornex::bench
