// Corners of the Linux platform: the data-bit encoding, an open without a
// descriptor to spare, and read time-outs too long for poll.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

#include "os/posix/PosixPlatform.h"
#include "os/posix/SerialSettings.h"
#include "tests/support/PtyFarEnd.h"
#include "tests/support/TempDir.h"

namespace vornex::test {
namespace {

TEST(SerialSettings, DataBitsAreTheHeadersCharacterSizes) {
  const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
  for (BYTE bits = 5; bits <= 8; ++bits) {
    DCB dcb;
    dcb.BaudRate = 9600;
    dcb.ByteSize = bits;
    dcb.StopBits = bits == 5 ? ONE5STOPBITS : ONESTOPBIT;
    termios2 t{};
    t.c_cflag = CS8;
    ASSERT_TRUE(posix::TermiosFromDcb(dcb, t)) << int(bits);
    EXPECT_EQ(t.c_cflag & CSIZE, sizes[bits - 5]) << int(bits) << " data bits";
    termios2 back{};
    back.c_cflag = sizes[bits - 5];
    DCB read;
    posix::DcbFromTermios(back, read);
    EXPECT_EQ(read.ByteSize, bits);
  }
}

TEST(PosixOpen, AnOpenWithoutADescriptorForItsCloseEventFailsAndKeepsNone) {
  TTempDir dir;
  const std::string path = dir.Write("file.prn", "print");
  TPosixPlatform platform{TPosixPlatform::TOptions{}};
  rlimit was{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &was), 0);
  rlimit low = was;
  low.rlim_cur = std::min<rlim_t>(was.rlim_cur, 512);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
  // Every descriptor taken but one: the open gets it, its event gets none.
  std::vector<int> filler;
  for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) filler.push_back(fd);
  ASSERT_FALSE(filler.empty());
  ::close(filler.back());
  filler.pop_back();
  const THandle h = platform.Devices().CreateFileA(path, GENERIC_WRITE, 0, OPEN_EXISTING, 0);
  const DWORD error = platform.GetLastError();
  const int probe = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (probe >= 0) ::close(probe);
  if (h != InvalidHandle) platform.CloseHandle(h);
  for (int fd : filler) ::close(fd);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &was), 0);
  EXPECT_EQ(h, InvalidHandle);
  EXPECT_EQ(error, ERROR_TOO_MANY_OPEN_FILES);
  EXPECT_GE(probe, 0) << "the device's descriptor was closed again";
  // With descriptors to spare the same open works.
  const THandle again = platform.Devices().CreateFileA(path, GENERIC_WRITE, 0, OPEN_EXISTING, 0);
  EXPECT_NE(again, InvalidHandle);
  platform.CloseHandle(again);
}

TEST(PosixCommRead, ATotalTimeoutBeyondPollsRangeStillWaitsForTheBytes) {
  TPtyFarEnd farEnd;
  TPosixPlatform::TOptions options;
  options.DeviceMap = "COM1=" + farEnd.SlavePath();
  TPosixPlatform platform(options);
  const THandle port = platform.Devices().CreateFileA("\\\\.\\COM1", GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING, 0);
  ASSERT_NE(port, InvalidHandle);
  // Two bytes at 2^31 ms each and 100 more: 2^32 + 100 ms, which cut to an
  // int is 100.
  COMMTIMEOUTS t;
  t.ReadTotalTimeoutMultiplier = 0x80000000u;
  t.ReadTotalTimeoutConstant = 100;
  ASSERT_TRUE(platform.Devices().SetCommTimeouts(port, t));
  std::thread sender([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    farEnd.Send("ab");
  });
  char in[2] = {};
  DWORD read = 0;
  const auto start = std::chrono::steady_clock::now();
  const bool ok = platform.Devices().ReadFile(port, in, 2, read);
  const auto took = std::chrono::steady_clock::now() - start;
  sender.join();
  platform.CloseHandle(port);
  ASSERT_TRUE(ok);
  EXPECT_EQ(read, 2u);
  EXPECT_EQ(std::string(in, 2), "ab");
  EXPECT_GE(took, std::chrono::milliseconds(300));
}

}  // namespace
}  // namespace vornex::test
