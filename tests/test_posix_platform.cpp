// The Linux platform on real files and FIFOs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netdb.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "os/posix/DeviceKind.h"
#include "os/posix/DeviceMap.h"
#include "os/posix/PosixPlatform.h"
#include "tests/support/PtyFarEnd.h"
#include "tests/support/TempDir.h"

namespace vornex::test {
namespace {

TEST(DeviceMap, EntriesAreCaseBlindAndTheLastOneWins) {
  TDeviceMap map(" com1 = /dev/pts/3 ;LPT1=/tmp/lp;=nothing;COM2=;COM1=/dev/pts/4;junk");
  EXPECT_EQ(map.Find("COM1"), "/dev/pts/4");
  EXPECT_EQ(map.Find("\\\\.\\com1"), "/dev/pts/4");
  EXPECT_EQ(map.Find("lpt1"), "/tmp/lp");
  EXPECT_EQ(map.Find("COM2"), "");
  EXPECT_EQ(map.Find("COM3"), "");
  ASSERT_EQ(map.Entries().size(), 2u);
  EXPECT_EQ(map.Entries()[0].first, "LPT1");
  // An entry without a path maps its name to nothing; a later one with a
  // path undoes it.
  EXPECT_TRUE(map.MapsToNothing("com2"));
  EXPECT_FALSE(map.MapsToNothing("COM1"));
  EXPECT_FALSE(map.MapsToNothing("COM3"));
  EXPECT_FALSE(TDeviceMap("COM2=;COM2=/dev/pts/5").MapsToNothing("COM2"));
}

// A name the map gives no path opens nothing, not the machine's own port
// of that name, and the reason says why.
TEST(DeviceMap, AnEntryWithoutAPathOpensNothingAndSaysSo) {
  for (const char* map : {"COM1=", "com1= ", "COM1=/dev/null;COM1="}) {
    TPosixPlatform::TOptions o;
    o.DeviceMap = map;
    o.DevRoot = "/dev";
    TPosixPlatform platform(o);
    EXPECT_EQ(platform.ResolveDeviceName("\\\\.\\COM1"), "") << map;
    EXPECT_EQ(platform.Devices().OpenPortA("\\\\.\\COM1", GENERIC_READ | GENERIC_WRITE, 0, 0), InvalidHandle);
    EXPECT_EQ(platform.Reason(platform.GetLastError()), "VORNEX_DEVICE_MAP maps it to no path") << map;
    EXPECT_EQ(platform.ResolveDeviceName("\\\\.\\COM2"), "/dev/ttyS1") << "other names as ever";
  }
}

class PosixPlatformTest : public ::testing::Test {
 protected:
  TPosixPlatform::TOptions Options(const std::string& map) {
    TPosixPlatform::TOptions o;
    o.DeviceMap = map;
    return o;
  }
  TTempDir Dir;
};

TEST_F(PosixPlatformTest, AMappedNameOpensItsPathAndWritesArriveInOrder) {
  std::string out = Dir.Write("lpt.out", std::string());
  TPosixPlatform platform(Options("LPT1=" + out));
  THandle h = platform.Devices().CreateFileA("LPT1", GENERIC_WRITE, FILE_SHARE_WRITE, OPEN_EXISTING,
                                             FILE_FLAG_OVERLAPPED);
  ASSERT_NE(h, InvalidHandle);
  EXPECT_EQ(platform.Devices().GetFileType(h), FILE_TYPE_DISK);
  auto data = RandomBytes(3000);
  DWORD written = 0;
  ASSERT_TRUE(platform.Devices().WriteFile(h, data.data(), 1000, written));
  EXPECT_EQ(written, 1000u);
  ASSERT_TRUE(platform.Devices().WriteFile(h, data.data() + 1000, 2000, written));
  ASSERT_TRUE(platform.Devices().WriteFile(h, data.data(), 0, written));
  EXPECT_EQ(written, 0u);
  ASSERT_TRUE(platform.CloseHandle(h));
  EXPECT_EQ(ReadAll(out), data);
  EXPECT_FALSE(platform.CloseHandle(h));
  EXPECT_EQ(platform.GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(PosixPlatformTest, UnmappedDeviceNamesOpenNothing) {
  TPosixPlatform platform(Options(""));
  EXPECT_EQ(platform.Devices().CreateFileA("\\\\.\\COM9", GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING, 0),
                      InvalidHandle);
  EXPECT_EQ(platform.GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(platform.Devices().CreateFileA(Dir.Path("absent"), GENERIC_WRITE, 0, OPEN_EXISTING, 0), InvalidHandle);
  EXPECT_EQ(platform.GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(PosixPlatformTest, AFifoWithoutAReaderCannotBeOpenedRatherThanHanging) {
  std::string fifo = Dir.Path("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  TPosixPlatform platform(Options("LPT1=" + fifo));
  EXPECT_EQ(platform.Devices().CreateFileA("LPT1", GENERIC_WRITE, FILE_SHARE_WRITE, OPEN_EXISTING, 0), InvalidHandle);
  EXPECT_EQ(platform.GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
}

TEST_F(PosixPlatformTest, ABlockedWriteEndsWhenItsAbortEventIsSet) {
  std::string fifo = Dir.Path("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);  // never reads
  ASSERT_GE(reader, 0);
  TPosixPlatform platform(Options("LPT1=" + fifo));
  THandle h = platform.Devices().CreateFileA("LPT1", GENERIC_WRITE, FILE_SHARE_WRITE, OPEN_EXISTING, 0);
  ASSERT_NE(h, InvalidHandle);
  THandle abort = platform.CreateEventA(true, false);
  std::vector<std::uint8_t> big(1 << 20, 0x55);  // more than the pipe holds
  std::atomic<bool> returned{false};
  bool ok = true;
  DWORD written = 0;
  DWORD error = 0;
  std::thread writer([&] {
    ok = platform.Devices().WriteFile(h, big.data(), static_cast<DWORD>(big.size()), written, abort);
    error = platform.GetLastError();
    returned = true;
  });
  // Aborted only once the pipe holds some of it, so the writer has begun
  // (set sooner, the abort would be seen before anything went).
  int queued = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while ((::ioctl(reader, FIONREAD, &queued) != 0 || queued == 0) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_GT(queued, 0);
  EXPECT_FALSE(returned) << "more than the pipe holds cannot have gone";
  platform.SetEvent(abort);
  writer.join();
  EXPECT_FALSE(ok);
  EXPECT_EQ(error, ERROR_OPERATION_ABORTED);
  EXPECT_GT(written, 0u) << "what the pipe took is reported";
  EXPECT_LT(written, big.size());
  platform.CloseHandle(h);
  platform.CloseHandle(abort);
  ::close(reader);
}

TEST_F(PosixPlatformTest, ATimedWriteToAReaderThatStopsTimesOut) {
  std::string fifo = Dir.Path("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  TPosixPlatform platform(Options("LPT1=" + fifo));
  THandle h = platform.Devices().CreateFileA("LPT1", GENERIC_WRITE, FILE_SHARE_WRITE, OPEN_EXISTING,
                                             FILE_FLAG_OVERLAPPED);
  THandle done = platform.CreateEventA(true, true);
  std::vector<std::uint8_t> block(512, 1);
  DWORD written = 0;
  // The pipe takes blocks until it is full, then one must wait.
  DWORD outcome = WAIT_OBJECT_0;
  int blocks = 0;
  while (outcome == WAIT_OBJECT_0 && blocks < 10000) {
    platform.ResetEvent(done);
    outcome = platform.Devices().WriteFileTimed(h, block.data(), 512, done, 50, written);
    if (outcome == WAIT_OBJECT_0) {
      EXPECT_EQ(written, 512u);
      EXPECT_EQ(platform.WaitForSingleObject(done, 0), WAIT_OBJECT_0);
      ++blocks;
    }
  }
  EXPECT_EQ(outcome, WAIT_TIMEOUT);
  EXPECT_GT(blocks, 0);
  EXPECT_TRUE(platform.Devices().CancelIo(h));
  EXPECT_TRUE(platform.CloseHandle(h));

  // A write on a handle that failed to open completes at once with nothing.
  EXPECT_EQ(platform.Devices().WriteFileTimed(InvalidHandle, block.data(), 512, done, 10000, written), WAIT_OBJECT_0);
  EXPECT_EQ(written, 0u);
  ::close(reader);
  platform.CloseHandle(done);
}

TEST_F(PosixPlatformTest, AWriteToAFifoWhoseReaderLeftFails) {
  std::string fifo = Dir.Path("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  TPosixPlatform platform(Options("LPT1=" + fifo));
  THandle h = platform.Devices().CreateFileA("LPT1", GENERIC_WRITE, FILE_SHARE_WRITE, OPEN_EXISTING, 0);
  ASSERT_NE(h, InvalidHandle);
  ::close(reader);
  std::uint8_t byte = 1;
  DWORD written = 0;
  EXPECT_FALSE(platform.Devices().WriteFile(h, &byte, 1, written));
  EXPECT_EQ(platform.GetLastError(), ERROR_NO_DATA);
  platform.CloseHandle(h);
}

// A port is a device or a pipe. A file or a folder in its place is refused
// without being opened for writing; a relative name is no file in the
// current folder.
TEST_F(PosixPlatformTest, APortOpenTakesDevicesAndPipesOnly) {
  const std::string file = Dir.Write("LPTnotes", "notes");
  const std::string fifo = Dir.Path("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  struct stat before {};
  ASSERT_EQ(::stat(file.c_str(), &before), 0);
  TPosixPlatform platform(Options("LPT1=" + file + ";LPT2=" + Dir.Root.string() + ";LPT3=" + fifo));
  for (const std::string& name : {std::string("LPT1"), std::string("LPT2"), file}) {
    EXPECT_EQ(platform.Devices().OpenPortA(name, GENERIC_WRITE, 0, 0), InvalidHandle) << name;
    EXPECT_EQ(platform.GetLastError(), ERROR_BAD_DEVICE) << name;
  }
  struct stat after {};
  ASSERT_EQ(::stat(file.c_str(), &after), 0);
  EXPECT_EQ(ReadAll(file), (std::vector<std::uint8_t>{'n', 'o', 't', 'e', 's'}));
  EXPECT_EQ(after.st_ctim.tv_nsec, before.st_ctim.tv_nsec);
  EXPECT_EQ(after.st_atim.tv_nsec, before.st_atim.tv_nsec) << "not even opened";

  for (const std::string& name : {std::string("LPT3"), std::string("/dev/null")}) {
    const THandle h = platform.Devices().OpenPortA(name, GENERIC_WRITE, 0, 0);
    ASSERT_NE(h, InvalidHandle) << name;
    EXPECT_EQ(platform.Devices().GetFileType(h), name == "LPT3" ? FILE_TYPE_PIPE : FILE_TYPE_CHAR);
    platform.CloseHandle(h);
  }

  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(Dir.Root);
  EXPECT_EQ(platform.Devices().OpenPortA("fifo", GENERIC_WRITE, 0, 0), InvalidHandle);
  EXPECT_EQ(platform.GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(platform.Devices().CreateFileA("LPTnotes", GENERIC_WRITE, 0, OPEN_EXISTING, 0), InvalidHandle);
  EXPECT_EQ(platform.GetLastError(), ERROR_FILE_NOT_FOUND);
  std::filesystem::current_path(cwd);
  ::close(reader);
}

// Process-wide policy is the program's: making a platform leaves the
// broken-pipe signal as the program set it.
TEST_F(PosixPlatformTest, APlatformLeavesTheProcessesSignalsAlone) {
  struct sigaction before {}, now {}, fallback {};
  fallback.sa_handler = SIG_DFL;
  ASSERT_EQ(::sigaction(SIGPIPE, &fallback, &before), 0);
  { TPosixPlatform platform(Options("")); }
  ASSERT_EQ(::sigaction(SIGPIPE, &before, &now), 0);
  EXPECT_EQ(now.sa_handler, SIG_DFL);
}

// A failure Windows has no code for keeps the system's own: its words reach
// FormatMessageA, and so does every code the platform leaves.
TEST_F(PosixPlatformTest, EveryFailureIsToldInTheSystemsOwnWords) {
  std::filesystem::create_symlink("loop", Dir.Path("loop"));
  TPosixPlatform platform(Options("LPT1=" + Dir.Path("loop") + ";COM1=" + Dir.Path("loop")));
  EXPECT_EQ(platform.Devices().OpenPortA("LPT1", GENERIC_WRITE, 0, 0), InvalidHandle);
  EXPECT_EQ(platform.GetLastError(), ErrnoError(ELOOP));
  EXPECT_EQ(platform.FormatMessageA(platform.GetLastError()), "Too many levels of symbolic links");
  EXPECT_EQ(platform.Devices().CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING, 0),
                      InvalidHandle);
  EXPECT_EQ(platform.GetLastError(), ErrnoError(ELOOP)) << "the serial open too";

  EXPECT_EQ(platform.FormatMessageA(ERROR_FILE_NOT_FOUND), "No such file or directory");
  EXPECT_EQ(platform.FormatMessageA(WSAECONNREFUSED), "Connection refused");
  EXPECT_EQ(platform.FormatMessageA(WSAHOST_NOT_FOUND), "Name or service not known");
  EXPECT_EQ(platform.FormatMessageA(LookupError(EAI_BADFLAGS)), "Bad value for ai_flags");
  for (DWORD code : {ERROR_SUCCESS, ERROR_PATH_NOT_FOUND, ERROR_TOO_MANY_OPEN_FILES, ERROR_ACCESS_DENIED,
                     ERROR_INVALID_HANDLE, ERROR_NOT_ENOUGH_MEMORY, ERROR_GEN_FAILURE, ERROR_SHARING_VIOLATION,
                     ERROR_NOT_SUPPORTED, ERROR_INVALID_PARAMETER, ERROR_NO_DATA, ERROR_MORE_DATA,
                     ERROR_NO_MORE_ITEMS, ERROR_OPERATION_ABORTED, ERROR_COUNTER_TIMEOUT,
                     ERROR_DEVICE_NOT_CONNECTED, ERROR_BAD_DEVICE, WSAETIMEDOUT, WSAECONNRESET, WSAENOTSOCK,
                     WSAEMFILE, WSAENOBUFS, WSATRY_AGAIN, WSANO_RECOVERY, WSANO_DATA, WSATYPE_NOT_FOUND}) {
    const std::string text = platform.FormatMessageA(code);
    EXPECT_FALSE(text.empty()) << code;
    EXPECT_EQ(text.find("nknown"), std::string::npos) << code << ": " << text;
  }
}

// A port opened without sharing is held: a second such open is refused
// until the first is closed. A shared open (the port list's check) still
// finds it there.
TEST_F(PosixPlatformTest, APortOpenedWithoutSharingIsHeldUntilClosed) {
  const std::string fifo = Dir.Path("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  TPosixPlatform first(Options("LPT1=" + fifo)), second(Options("LPT1=" + fifo));
  const THandle held = first.Devices().OpenPortA("LPT1", GENERIC_WRITE, 0, 0);
  ASSERT_NE(held, InvalidHandle);
  EXPECT_EQ(second.Devices().OpenPortA("LPT1", GENERIC_WRITE, 0, 0), InvalidHandle);
  EXPECT_EQ(second.GetLastError(), ERROR_SHARING_VIOLATION);
  const THandle shared = second.Devices().OpenPortA("LPT1", GENERIC_ALL, FILE_SHARE_READ | FILE_SHARE_WRITE, 0);
  EXPECT_NE(shared, InvalidHandle);
  second.CloseHandle(shared);
  first.CloseHandle(held);
  const THandle again = second.Devices().OpenPortA("LPT1", GENERIC_WRITE, 0, 0);
  EXPECT_NE(again, InvalidHandle) << "free once the first let go";
  second.CloseHandle(again);
  ::close(reader);
}

TEST_F(PosixPlatformTest, ATimedWriteEndsAtOnceWhenItsAbortEventIsSet) {
  const std::string fifo = Dir.Path("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);  // never reads
  ASSERT_GE(reader, 0);
  TPosixPlatform platform(Options("LPT1=" + fifo));
  const THandle h = platform.Devices().OpenPortA("LPT1", GENERIC_WRITE, 0, FILE_FLAG_OVERLAPPED);
  ASSERT_NE(h, InvalidHandle);
  const THandle done = platform.CreateEventA(true, false);
  const THandle abort = platform.CreateEventA(true, false);
  std::vector<std::uint8_t> big(1 << 20, 0x55);  // more than the pipe holds
  DWORD outcome = 0, written = 0;
  std::thread writer([&] {
    // A limit far beyond the test's: only the abort can end it.
    outcome = platform.Devices().WriteFileTimed(h, big.data(), static_cast<DWORD>(big.size()), done, 3600000, written,
                                                abort);
  });
  int queued = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while ((::ioctl(reader, FIONREAD, &queued) != 0 || queued == 0) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  platform.SetEvent(abort);
  writer.join();
  EXPECT_EQ(outcome, WAIT_OBJECT_0 + 1);
  EXPECT_GT(written, 0u);
  EXPECT_LT(written, big.size());
  platform.CloseHandle(h);
  platform.CloseHandle(done);
  platform.CloseHandle(abort);
  ::close(reader);
}

TEST_F(PosixPlatformTest, EventsWaitAndResetAsWindowsEventsDo) {
  TPosixPlatform platform(Options(""));
  THandle manual = platform.CreateEventA(true, true);
  THandle automatic = platform.CreateEventA(false, false);
  EXPECT_EQ(platform.WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
  EXPECT_EQ(platform.WaitForSingleObject(manual, 0), WAIT_OBJECT_0) << "manual reset stays set";
  platform.ResetEvent(manual);
  EXPECT_EQ(platform.WaitForSingleObject(manual, 10), WAIT_TIMEOUT);
  platform.SetEvent(automatic);
  EXPECT_EQ(platform.WaitForSingleObject(automatic, 0), WAIT_OBJECT_0);
  EXPECT_EQ(platform.WaitForSingleObject(automatic, 0), WAIT_TIMEOUT) << "auto reset is consumed";
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    platform.SetEvent(automatic);
  });
  EXPECT_EQ(platform.WaitForSingleObject(automatic, INFINITE), WAIT_OBJECT_0);
  setter.join();
  EXPECT_EQ(platform.WaitForSingleObject(12345, 0), WAIT_FAILED);
}

// A local stream socket bound at path, not yet listening; -1 on failure.
int BoundSocket(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, sizeof address.sun_path - 1);
  if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
  if (fd >= 0) ::close(fd);
  return -1;
}

// A character device is known by its numbers: the kernel's fixed ones for
// printers, the tty drivers' list for serial lines.
TEST(DeviceKind, ACharacterDeviceIsKnownByItsNumbersNotItsName) {
  const std::string drivers =
      "/dev/tty             /dev/tty        5       0 system:/dev/tty\n"
      "/dev/ptmx            /dev/ptmx       5       2 system\n"
      "usbserial            /dev/ttyUSB   188 0-511 serial\n"
      "serial               /dev/ttyS       4 64-111 serial\n"
      "pty_slave            /dev/pts      136 0-1048575 pty:slave\n"
      "pty_master           /dev/ptm      128 0-1048575 pty:master\n";
  using K = TDeviceKind;
  const struct {
    unsigned Major, Minor;
    K Kind;
  } cases[] = {{188, 0, K::Terminal},     {4, 64, K::Terminal},       {136, 300, K::Terminal},
               {128, 3, K::Other},        {5, 2, K::Other},           {180, 0, K::UsbPrinter},
               {180, 15, K::UsbPrinter},  {180, 96, K::Other},        {6, 0, K::ParallelPort},
               {99, 1, K::ParallelPort},  {1, 3, K::Other},           {166, 0, K::Other}};
  for (const auto& c : cases)
    EXPECT_EQ(posix::CharDeviceKind(c.Major, c.Minor, drivers), c.Kind) << c.Major << ":" << c.Minor;
  // Without the list, the usual serial drivers' numbers.
  EXPECT_EQ(posix::CharDeviceKind(166, 0, ""), K::Terminal);
  EXPECT_EQ(posix::CharDeviceKind(1, 3, ""), K::Other);
}

TEST_F(PosixPlatformTest, APathIsLookedAtWithoutOpeningIt) {
  TPosixPlatform platform(Options(""));
  TPtyFarEnd line;
  const std::string adapter = Dir.Path("ttyUSB0");
  std::filesystem::create_symlink(line.SlavePath(), adapter);
  const std::string fifo = Dir.Path("COM1fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string socketPath = Dir.Path("printer.sock");
  const int listener = BoundSocket(socketPath);
  ASSERT_GE(listener, 0);
  using K = TDeviceKind;
  const std::pair<std::string, K> cases[] = {
      {line.SlavePath(), K::Terminal}, {adapter, K::Terminal},  {fifo, K::Fifo},
      {socketPath, K::Socket},         {Dir.Write("LPT1.prn", "x"), K::Other},
      {Dir.Root.string(), K::Other},   {"/dev/null", K::Other}, {"COM1", K::NotAPath},
      {"\\\\.\\COM1", K::NotAPath},    {"dev/ttyS0", K::NotAPath}, {"", K::NotAPath}};
  for (const auto& [path, kind] : cases) EXPECT_EQ(platform.Devices().GetDeviceKind(path), kind) << path;
  platform.SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(platform.Devices().GetDeviceKind(Dir.Path("ttyUSB9")), K::NotFound);
  EXPECT_EQ(platform.GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(platform.Devices().GetDeviceKind(Dir.Write("file", "x") + "/below"), K::NotFound);
  EXPECT_EQ(platform.GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  ::close(listener);
}

// A local socket named as a port takes the file over a connection.
TEST_F(PosixPlatformTest, ALocalSocketIsAPortThatTakesTheFileOverAConnection) {
  TPosixPlatform platform(Options(""));
  const std::string path = Dir.Path("printer.sock");
  const int listener = BoundSocket(path);
  ASSERT_GE(listener, 0);
  EXPECT_EQ(platform.Devices().OpenPortA(path, GENERIC_WRITE, 0, 0), InvalidHandle) << "nobody listens yet";
  EXPECT_EQ(platform.Reason(platform.GetLastError()), "Connection refused");
  ASSERT_EQ(::listen(listener, 1), 0);
  const THandle h = platform.Devices().OpenPortA(path, GENERIC_WRITE, 0, 0);
  ASSERT_NE(h, InvalidHandle);
  EXPECT_EQ(platform.Devices().GetFileType(h), DWORD(FILE_TYPE_PIPE));
  DWORD written = 0;
  ASSERT_TRUE(platform.Devices().WriteFile(h, "label", 5, written));
  EXPECT_EQ(written, 5u);
  const int connection = ::accept(listener, nullptr, nullptr);
  char got[8] = {};
  EXPECT_EQ(::read(connection, got, sizeof got), 5);
  EXPECT_STREQ(got, "label");
  platform.CloseHandle(h);
  ::close(connection);
  ::close(listener);
}

}  // namespace
}  // namespace vornex::test
