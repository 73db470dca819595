// The Windows platform on Windows itself (Wine here): the registry walk that
// finds USB printers and serial ports, the spooler's ports, the maker's
// library bound by ordinal, and writes that time out or are aborted.
#include "os/win32/Win32Platform.h"
#include "tests/support/TempDir.h"
#include "tests/support/Win32Registry.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "os/win32/WinApi.h"

namespace vornex::test {
namespace {

namespace fs = std::filesystem;

const std::string TestDevice = "Vid_F00D&Pid_0002";

// Reads a value the way the port list does: into a 256-byte buffer.
std::string ReadText(TPlatform& p, THandle key, const std::string& name, long* result = nullptr) {
  char buffer[256] = {};
  vornex::DWORD length = sizeof buffer;
  vornex::DWORD type = 0;
  long r = p.Registry().RegQueryValueExA(key, name, &type, reinterpret_cast<vornex::BYTE*>(buffer), length);
  if (result) *result = r;
  return r == ERROR_SUCCESS ? std::string(buffer) : std::string();
}

std::vector<std::string> SubKeys(TPlatform& p, THandle key) {
  std::vector<std::string> names;
  for (vornex::DWORD i = 0;; ++i) {
    char name[256];
    vornex::DWORD length = sizeof name;
    if (p.Registry().RegEnumKeyExA(key, i, name, length) != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  return names;
}

TEST(Win32Registry, AUsbPrinterIsFoundByItsServiceAndItsSymbolicNameOpensTheDevice) {
  TTempDir dir;
  // The "printer" is a file the test can read back.
  const std::string printer = dir.Write("printer.prn", std::string());
  const std::string device = UsbEnum + TestDevice;
  TRegistryEntries reg;
  reg.Remember(device);
  reg.Set(device + "\\INST1", "Service", "usbprint");
  reg.Set(device + "\\INST1\\Device Parameters", "SymbolicName", "\\??\\" + printer);
  reg.Set(device + "\\INST2", "Service", "usbstor");
  reg.Set(device + "\\INST2\\Device Parameters", "SymbolicName", "\\??\\" + printer);
  reg.Set(device + "\\INST3", "Service", "usbprint");
  reg.Set(device + "\\INST3\\Device Parameters", "SymbolicName", "\\??\\" + dir.Path("gone.prn"));

  TWin32Platform p;
  THandle usb = InvalidHandle;
  // Opened by its path as written, the trailing backslash included.
  ASSERT_EQ(p.Registry().RegOpenKeyExA(UsbEnum, KEY_READ, usb), ERROR_SUCCESS);
  std::vector<std::string> devices = SubKeys(p, usb);
  EXPECT_EQ(p.Registry().RegCloseKey(usb), ERROR_SUCCESS);
  ASSERT_NE(std::find(devices.begin(), devices.end(), TestDevice), devices.end())
      << "the device key, its name as written";

  THandle dev = InvalidHandle;
  ASSERT_EQ(p.Registry().RegOpenKeyExA(device + "\\", KEY_READ, dev), ERROR_SUCCESS);
  std::vector<std::string> instances = SubKeys(p, dev);
  p.Registry().RegCloseKey(dev);
  ASSERT_EQ(instances, (std::vector<std::string>{"INST1", "INST2", "INST3"}));

  std::vector<std::string> openable;
  for (const auto& instance : instances) {
    THandle inst = InvalidHandle;
    ASSERT_EQ(p.Registry().RegOpenKeyExA(device + "\\" + instance + "\\", KEY_READ, inst), ERROR_SUCCESS);
    const std::string service = ReadText(p, inst, "Service");
    p.Registry().RegCloseKey(inst);
    if (service != "usbprint") continue;
    THandle params = InvalidHandle;
    ASSERT_EQ(p.Registry().RegOpenKeyExA(device + "\\" + instance + "\\Device Parameters", KEY_READ, params),
                         ERROR_SUCCESS);
    std::string path = ReadText(p, params, "SymbolicName");
    p.Registry().RegCloseKey(params);
    ASSERT_GT(path.size(), 4u);
    path[1] = '\\';  // the kernel's form into the one the file functions take
    THandle h = p.Devices().CreateFileA(path, GENERIC_ALL, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                                        FILE_FLAG_NO_BUFFERING);
    if (h == InvalidHandle) continue;
    openable.push_back(path);
    // The printer gets blocks of the block size, in order.
    const auto bytes = RandomBytes(1000);
    vornex::DWORD written = 0;
    EXPECT_TRUE(p.Devices().WriteFile(h, bytes.data(), 512, written));
    EXPECT_EQ(written, 512u);
    EXPECT_TRUE(p.Devices().WriteFile(h, bytes.data() + 512, 488, written));
    EXPECT_EQ(written, 488u);
    EXPECT_TRUE(p.CloseHandle(h));
    EXPECT_EQ(ReadAll(printer), bytes);
  }
  ASSERT_EQ(openable.size(), 1u) << "only the usbprint instance whose device exists";
  EXPECT_EQ(openable[0], "\\\\?\\" + printer);
}

TEST(Win32Registry, LengthsFollowWindowsAndMissingKeysSayNotFound) {
  TRegistryEntries reg;
  const std::string key = "SOFTWARE\\VornexTest";
  reg.Remember(key);
  reg.Set(key + "\\ABCDEFGH", "Service", "usbprint");
  TWin32Platform p;
  THandle k = InvalidHandle;
  ASSERT_EQ(p.Registry().RegOpenKeyExA(key, KEY_READ, k), ERROR_SUCCESS);
  char name[256];
  vornex::DWORD length = 4;
  EXPECT_EQ(p.Registry().RegEnumKeyExA(k, 0, name, length), ERROR_MORE_DATA) << "8 characters in 4 bytes";
  length = sizeof name;
  ASSERT_EQ(p.Registry().RegEnumKeyExA(k, 0, name, length), ERROR_SUCCESS);
  EXPECT_EQ(length, 8u) << "the terminator not counted";
  EXPECT_STREQ(name, "ABCDEFGH");
  length = sizeof name;
  EXPECT_EQ(p.Registry().RegEnumKeyExA(k, 1, name, length), ERROR_NO_MORE_ITEMS);
  p.Registry().RegCloseKey(k);

  ASSERT_EQ(p.Registry().RegOpenKeyExA(key + "\\ABCDEFGH", KEY_READ, k), ERROR_SUCCESS);
  long result = 0;
  EXPECT_EQ(ReadText(p, k, "Missing", &result), "");
  EXPECT_EQ(result, ERROR_FILE_NOT_FOUND);
  vornex::BYTE small[4];
  vornex::DWORD size = sizeof small;
  EXPECT_EQ(p.Registry().RegQueryValueExA(k, "Service", nullptr, small, size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 9u) << "the size the value needs, its terminator included";
  p.Registry().RegCloseKey(k);

  THandle none = 0;
  EXPECT_EQ(p.Registry().RegOpenKeyExA(key + "\\NoSuchKey", KEY_READ, none), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(none, InvalidHandle);
}

TEST(Win32Registry, TheSerialPortMapIsReadWithTheSizesItReports) {
  const std::string map = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
  TRegistryEntries reg;
  reg.Set(map, "\\Device\\VornexTestSerial", "COM17");
  TWin32Platform p;
  THandle k = InvalidHandle;
  ASSERT_EQ(p.Registry().RegOpenKeyExA(map, KEY_READ, k), ERROR_SUCCESS);
  vornex::DWORD values = 0, maxName = 0, maxData = 0;
  ASSERT_EQ(p.Registry().RegQueryInfoKeyA(k, nullptr, &values, &maxName, &maxData), ERROR_SUCCESS);
  ASSERT_GE(values, 1u);
  std::vector<std::string> ports;
  for (vornex::DWORD i = 0; i < values; ++i) {
    // Buffers of the reported longest lengths plus one, as the port list has.
    std::vector<char> name(maxName + 1);
    std::vector<vornex::BYTE> data(maxData + 1);
    vornex::DWORD nameLength = static_cast<vornex::DWORD>(name.size());
    vornex::DWORD dataLength = static_cast<vornex::DWORD>(data.size());
    vornex::DWORD type = 0;
    ASSERT_EQ(p.Registry().RegEnumValueA(k, i, name.data(), nameLength, &type, data.data(), dataLength), ERROR_SUCCESS)
        << i;
    EXPECT_EQ(type, REG_SZ);
    ports.emplace_back(reinterpret_cast<const char*>(data.data()));
  }
  p.Registry().RegCloseKey(k);
  EXPECT_NE(std::find(ports.begin(), ports.end(), "COM17"), ports.end());
}

TEST(Win32Spooler, ThePortsAreListedWithTheirColons) {
  TWin32Platform p;
  std::vector<std::string> ports;
  ASSERT_TRUE(p.Discovery().EnumPortsA(ports));
  for (const char* expected : {"COM1:", "COM2:", "COM3:", "COM4:", "LPT1:", "LPT2:", "LPT3:"})
    EXPECT_NE(std::find(ports.begin(), ports.end(), expected), ports.end()) << expected;
}

TEST(Win32Version, TheNtFamilyIsReported) {
  TWin32Platform p;
  OSVERSIONINFOA info;
  ASSERT_TRUE(p.GetVersionExA(info));
  EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_NT);
  EXPECT_GE(info.dwMajorVersion, 5u);
}

// --- the maker's library ---------------------------------------------------------------------

std::string ExecutableFolder() {
  char path[MAX_PATH];
  const ::DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  return fs::path(std::string(path, n)).parent_path().string();
}


class Win32VendorLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    SetEnv("VORNEX_USBAPI_OUT", Dir.Path("out.bin"));
    SetEnv("VORNEX_USBAPI_LOG", Dir.Path("calls.log"));
    SetEnv("VORNEX_USBAPI_DEVICES", "0,2");
  }
  void TearDown() override {
    for (const char* name : {"VORNEX_USBAPI_OUT", "VORNEX_USBAPI_LOG", "VORNEX_USBAPI_DEVICES"}) SetEnv(name, "");
  }
  std::string Log() {
    std::ifstream in(Dir.Path("calls.log"));
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  TTempDir Dir;
};

TEST_F(Win32VendorLibrary, TheLibraryBesideTheProgramIsBoundByOrdinal) {
  const std::string beside = ExecutableFolder() + "\\" + VendorLibraryName;
  // Built as the maker's is: no names to find, only ordinals.
  HMODULE module = ::LoadLibraryA(beside.c_str());
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(::GetProcAddress(module, "VendorUsbOpen"), nullptr);
  EXPECT_NE(::GetProcAddress(module, MAKEINTRESOURCEA(9)), nullptr);
  ::FreeLibrary(module);

  TWin32Platform p;
  ASSERT_TRUE(p.VendorUsb().VendorUsbAvailable());
  EXPECT_TRUE(fs::equivalent(p.VendorLibraryPath(), beside)) << p.VendorLibraryPath();
  EXPECT_EQ(p.VendorUsb().VendorUsbOpen(1), -1);
  const std::int32_t device = p.VendorUsb().VendorUsbOpen(2);
  ASSERT_EQ(device, 0x102);
  const std::string bytes = "a block for device two";
  // Arguments in their order, and the stack as it was after each call.
  EXPECT_EQ(p.VendorUsb().VendorUsbWrite(device, bytes.data(), static_cast<std::int32_t>(bytes.size())),
                        static_cast<std::int32_t>(bytes.size()));
  EXPECT_EQ(p.VendorUsb().VendorUsbClose(device), 0);
  EXPECT_EQ(Log(), "open 1 -1\nopen 2 258\nwrite 258 22\nclose 258 0\n");
  EXPECT_EQ(ReadAll(Dir.Path("out.bin")), std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

TEST_F(Win32VendorLibrary, WithoutTheLibraryNoDeviceOpens) {
  TWin32Platform p(TWin32Platform::TOptions{"NOSUCHAPI.DLL"});
  EXPECT_FALSE(p.VendorUsb().VendorUsbAvailable());
  EXPECT_EQ(p.VendorLibraryPath(), "");
  for (std::int32_t index = 0; index < 4; ++index) EXPECT_EQ(p.VendorUsb().VendorUsbOpen(index), -1);
  EXPECT_LT(p.VendorUsb().VendorUsbWrite(0x100, "x", 1), 0);
  p.VendorUsb().VendorUsbClose(0x100);
  EXPECT_EQ(Log(), "") << "nothing reached a library";
}

TEST_F(Win32VendorLibrary, TheCurrentFolderIsNeverSearched) {
  const std::string beside = ExecutableFolder() + "\\" + VendorLibraryName;
  fs::copy_file(beside, Dir.Path("PLANTED.DLL"));
  char previous[MAX_PATH];
  ::GetCurrentDirectoryA(MAX_PATH, previous);
  ASSERT_TRUE(::SetCurrentDirectoryA(Dir.Root.string().c_str()));
  {
    TWin32Platform p(TWin32Platform::TOptions{"PLANTED.DLL"});
    EXPECT_FALSE(p.VendorUsb().VendorUsbAvailable()) << p.VendorLibraryPath();
    EXPECT_EQ(p.VendorUsb().VendorUsbOpen(0), -1);
  }
  ::SetCurrentDirectoryA(previous);
}

TEST_F(Win32VendorLibrary, TheSystemFolderIsSearched) {
  char system[MAX_PATH];
  const UINT n = ::GetSystemDirectoryA(system, MAX_PATH);
  const std::string installed = std::string(system, n) + "\\VXSYSAPI.DLL";
  fs::copy_file(ExecutableFolder() + "\\" + VendorLibraryName, installed, fs::copy_options::overwrite_existing);
  {
    TWin32Platform p(TWin32Platform::TOptions{"VXSYSAPI.DLL"});
    EXPECT_TRUE(p.VendorUsb().VendorUsbAvailable());
    EXPECT_TRUE(fs::equivalent(p.VendorLibraryPath(), installed)) << p.VendorLibraryPath();
    EXPECT_EQ(p.VendorUsb().VendorUsbOpen(0), 0x100);
  }
  ::DeleteFileA(installed.c_str());
}

// --- writes that time out or are aborted --------------------------------------------------

// A device that takes nothing until its reader reads: the server end of a
// pipe with a small buffer.
class TBlockingDevice {
 public:
  TBlockingDevice() {
    static int count = 0;
    Name = "\\\\.\\pipe\\vornex-test-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++count);
    Server = ::CreateNamedPipeA(Name.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 0, 256, 0,
                                nullptr);
  }
  ~TBlockingDevice() {
    if (Server != INVALID_HANDLE_VALUE) ::CloseHandle(Server);
  }
  // Reads what has arrived, up to n bytes.
  std::vector<std::uint8_t> Read(std::size_t n) {
    std::vector<std::uint8_t> got(n);
    ::DWORD read = 0;
    ::ReadFile(Server, got.data(), static_cast<::DWORD>(n), &read, nullptr);
    got.resize(read);
    return got;
  }
  std::string Name;
  HANDLE Server = INVALID_HANDLE_VALUE;
};

TEST(Win32Writes, TimedWritesToAFileFollowOneAnotherAndSignalTheirEvent) {
  TTempDir dir;
  const std::string file = dir.Write("lpt.out", std::string());
  TWin32Platform p;
  TPlatformHandle done(p, p.CreateEventA(true, true));
  THandle h = p.Devices().CreateFileA(file, GENERIC_WRITE, FILE_SHARE_WRITE, OPEN_EXISTING, FILE_FLAG_OVERLAPPED);
  ASSERT_NE(h, InvalidHandle);
  const auto bytes = RandomBytes(1000);
  vornex::DWORD written = 0;
  ASSERT_EQ(p.Devices().WriteFileTimed(h, bytes.data(), 512, done.Get(), 10000, written), WAIT_OBJECT_0);
  EXPECT_EQ(written, 512u);
  p.ResetEvent(done.Get());
  ASSERT_EQ(p.Devices().WriteFileTimed(h, bytes.data() + 512, 488, done.Get(), 10000, written), WAIT_OBJECT_0);
  EXPECT_EQ(written, 488u);
  EXPECT_EQ(p.WaitForSingleObject(done.Get(), 0), WAIT_OBJECT_0) << "the write signalled its event";
  EXPECT_TRUE(p.CloseHandle(h));
  EXPECT_EQ(ReadAll(file), bytes) << "each block after the last, not over it";

  // A port that did not open: the write completes at once with nothing.
  p.ResetEvent(done.Get());
  EXPECT_EQ(p.Devices().WriteFileTimed(InvalidHandle, bytes.data(), 512, done.Get(), 10000, written), WAIT_OBJECT_0);
  EXPECT_EQ(written, 0u);
}

TEST(Win32Writes, ATimedWriteToADeviceThatTakesNothingTimesOutAndIsCancelled) {
  TBlockingDevice device;
  ASSERT_NE(device.Server, INVALID_HANDLE_VALUE);
  TWin32Platform p;
  TPlatformHandle done(p, p.CreateEventA(true, true));
  THandle h = p.Devices().CreateFileA(device.Name, GENERIC_WRITE, FILE_SHARE_WRITE, OPEN_EXISTING, FILE_FLAG_OVERLAPPED);
  ASSERT_NE(h, InvalidHandle);
  const auto bytes = RandomBytes(64 * 1024);
  vornex::DWORD written = 123;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(p.Devices().WriteFileTimed(h, bytes.data(), static_cast<vornex::DWORD>(bytes.size()), done.Get(), 300,
                                       written),
                      WAIT_TIMEOUT);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
  EXPECT_EQ(written, 0u);
  EXPECT_TRUE(p.Devices().CancelIo(h));
  // The cancel returns once the write has ended: its event is signalled, so
  // nothing can touch the caller's block any more.
  EXPECT_EQ(p.WaitForSingleObject(done.Get(), 0), WAIT_OBJECT_0);
  EXPECT_TRUE(p.CloseHandle(h));
}

TEST(Win32Writes, ABlockingWriteEndsWhenItsAbortEventIsSetOrTheReaderTakesItAll) {
  TWin32Platform p;
  const auto bytes = RandomBytes(64 * 1024);
  {
    TBlockingDevice device;
    // Opened as a USB printer is: without FILE_FLAG_OVERLAPPED.
    THandle h = p.Devices().CreateFileA(device.Name, GENERIC_ALL, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                                        FILE_FLAG_NO_BUFFERING);
    ASSERT_NE(h, InvalidHandle);
    TPlatformHandle abort(p, p.CreateEventA(true, false));
    std::thread cancel([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      p.SetEvent(abort.Get());
    });
    vornex::DWORD written = 0;
    const bool ok =
        p.Devices().WriteFile(h, bytes.data(), static_cast<vornex::DWORD>(bytes.size()), written, abort.Get());
    const vornex::DWORD error = p.GetLastError();
    cancel.join();
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, ERROR_OPERATION_ABORTED);
    EXPECT_LT(written, bytes.size());
    p.CloseHandle(h);
  }
  {
    TBlockingDevice device;
    THandle h = p.Devices().CreateFileA(device.Name, GENERIC_ALL, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                                        FILE_FLAG_NO_BUFFERING);
    ASSERT_NE(h, InvalidHandle);
    std::vector<std::uint8_t> received;
    std::thread reader([&] {
      while (received.size() < bytes.size()) {
        auto got = device.Read(4096);
        if (got.empty()) break;
        received.insert(received.end(), got.begin(), got.end());
      }
    });
    TPlatformHandle abort(p, p.CreateEventA(true, false));
    vornex::DWORD written = 0;
    EXPECT_TRUE(p.Devices().WriteFile(h, bytes.data(), static_cast<vornex::DWORD>(bytes.size()), written, abort.Get()));
    EXPECT_EQ(written, bytes.size());
    reader.join();
    EXPECT_EQ(received, bytes);
    p.CloseHandle(h);
  }
}

// Only what Windows calls a character device or a pipe is a port: a file
// or a folder is refused, and the file keeps what it held.
TEST(Win32Ports, APortOpenTakesADeviceOrAPipeButNoFileOrFolder) {
  TTempDir dir;
  const std::string file = dir.Write("LPT-notes.txt", "notes");
  TWin32Platform p;
  for (const std::string& name : {file, dir.Root.string()}) {
    EXPECT_EQ(p.Devices().OpenPortA(name, GENERIC_WRITE, 0, FILE_FLAG_OVERLAPPED), InvalidHandle) << name;
    EXPECT_EQ(p.GetLastError(), ERROR_BAD_DEVICE) << name;
  }
  EXPECT_EQ(ReadAll(file), (std::vector<std::uint8_t>{'n', 'o', 't', 'e', 's'}));

  TBlockingDevice device;
  const THandle pipe = p.Devices().OpenPortA(device.Name, GENERIC_WRITE, 0, FILE_FLAG_OVERLAPPED);
  ASSERT_NE(pipe, InvalidHandle);
  EXPECT_EQ(p.Devices().GetFileType(pipe), FILE_TYPE_PIPE);
  p.CloseHandle(pipe);
  const THandle nul = p.Devices().OpenPortA("NUL", GENERIC_WRITE, 0, 0);
  ASSERT_NE(nul, InvalidHandle);
  EXPECT_EQ(p.Devices().GetFileType(nul), FILE_TYPE_CHAR);
  p.CloseHandle(nul);
}

// A fleet sends to two names of one device one after the other: the
// system tells which device a name opens.
TEST(Win32Ports, TwoNamesOfOneDeviceHaveOneIdentity) {
  TWin32Platform p;
  const std::string nul = p.Devices().DeviceIdentity("NUL");
  EXPECT_FALSE(nul.empty());
  EXPECT_EQ(p.Devices().DeviceIdentity("\\\\.\\NUL"), nul);
  // A path is itself, whatever its case; another is another device.
  const std::string pipe = p.Devices().DeviceIdentity("\\\\.\\pipe\\Vornex-A");
  EXPECT_EQ(p.Devices().DeviceIdentity("\\\\.\\PIPE\\vornex-a"), pipe);
  EXPECT_NE(pipe, nul);
  EXPECT_NE(p.Devices().DeviceIdentity("\\\\.\\pipe\\vornex-b"), pipe);
}

// Cancel ends a parallel write that the device does not take, whatever
// the write's own limit.
TEST(Win32Writes, ATimedWriteEndsAtOnceWhenItsAbortEventIsSet) {
  TBlockingDevice device;
  TWin32Platform p;
  TPlatformHandle done(p, p.CreateEventA(true, false));
  TPlatformHandle abort(p, p.CreateEventA(true, false));
  THandle h = p.Devices().OpenPortA(device.Name, GENERIC_WRITE, 0, FILE_FLAG_OVERLAPPED);
  ASSERT_NE(h, InvalidHandle);
  const auto bytes = RandomBytes(64 * 1024);
  std::thread cancel([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    p.SetEvent(abort.Get());
  });
  vornex::DWORD written = 123;
  const vornex::DWORD outcome = p.Devices().WriteFileTimed(h, bytes.data(), static_cast<vornex::DWORD>(bytes.size()),
                                                           done.Get(), 3600000, written, abort.Get());
  cancel.join();
  EXPECT_EQ(outcome, WAIT_OBJECT_0 + 1);
  EXPECT_LT(written, bytes.size());
  EXPECT_TRUE(p.CloseHandle(h));
}

}  // namespace
}  // namespace vornex::test
