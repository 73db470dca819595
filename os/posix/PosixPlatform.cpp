#include "os/posix/PosixPlatform.h"

#include <poll.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <thread>

#include "os/posix/Namespace.h"
#include "os/posix/PosixDevices.h"
#include "os/posix/PosixDiscovery.h"
#include "os/posix/PosixErrors.h"
#include "os/posix/PosixRegistry.h"
#include "os/posix/PosixSockets.h"
#include "os/posix/PosixSpooler.h"
#include "os/posix/VendorLibrary.h"

namespace vornex {

using namespace posix;

namespace {

std::string ExecutableDir() {
  char path[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return {};
  std::string p(path, static_cast<std::size_t>(n));
  auto slash = p.rfind('/');
  return slash == std::string::npos ? std::string() : p.substr(0, slash);
}

}  // namespace

TPosixPlatform::TOptions TPosixPlatform::OptionsFromEnvironment() {
  TOptions o;
  if (const char* map = std::getenv("VORNEX_DEVICE_MAP")) o.DeviceMap = map;
  // Another sysfs and /dev, for a printer that is made rather than plugged in.
  if (const char* root = std::getenv("VORNEX_SYS_ROOT"); root && *root) o.SysRoot = root;
  if (const char* root = std::getenv("VORNEX_DEV_ROOT"); root && *root) o.DevRoot = root;
  std::string dir = ExecutableDir();
  if (!dir.empty()) o.LibraryDirs.push_back(dir);
  return o;
}

TPosixPlatform::TPosixPlatform(TOptions options)
    : Options(std::move(options)),
      Map(Options.DeviceMap),
      Names(std::make_unique<TNamespace>(Options.SysRoot, Options.DevRoot, Map)),
      RegistryPart(std::make_unique<TPosixRegistry>(Kernel.Numbers, *Names)),
      DevicesPart(std::make_unique<TPosixDevices>(Kernel, *Names, *RegistryPart)),
      SocketsPart(std::make_unique<TPosixSockets>(Kernel)),
      DiscoveryPart(std::make_unique<TPosixDiscovery>(*Names, Kernel.Reasons)),
      VendorPart(std::make_unique<TVendorLibrary>(Options.LibraryDirs, Kernel.Reasons)),
      SpoolerPart(std::make_unique<TPosixSpooler>(Kernel)) {}

TPosixPlatform::~TPosixPlatform() = default;

std::string TPosixPlatform::ResolveDeviceName(const std::string& name) { return DevicesPart->Resolve(name); }

TDevices& TPosixPlatform::Devices() { return *DevicesPart; }
TRegistry& TPosixPlatform::Registry() { return *RegistryPart; }
TSockets& TPosixPlatform::Sockets() { return *SocketsPart; }
TDiscovery& TPosixPlatform::Discovery() { return *DiscoveryPart; }
TVendorUsb& TPosixPlatform::VendorUsb() { return *VendorPart; }
TSpooler& TPosixPlatform::Spooler() { return *SpoolerPart; }

DWORD TPosixPlatform::GetLastError() { return LastError(); }
void TPosixPlatform::SetLastError(DWORD code) { posix::SetLastError(code); }
std::string TPosixPlatform::FormatMessageA(DWORD code) { return ErrorText(code, Kernel.Reasons); }

bool TPosixPlatform::GetVersionExA(OSVERSIONINFOA& info) {
  info.dwPlatformId = VER_PLATFORM_WIN32_NT;
  info.dwMajorVersion = 6;
  info.dwMinorVersion = 1;
  return true;
}

bool TPosixPlatform::CloseHandle(THandle handle) {
  return Kernel.CloseFile(handle) || Kernel.Events.Remove(handle) || Fail(ERROR_INVALID_HANDLE);
}

// --- events and time ---------------------------------------------------------------------

THandle TPosixPlatform::CreateEventA(bool manualReset, bool initialState) {
  auto event = std::make_shared<TEventObject>(manualReset, initialState);
  if (!event->Valid()) {
    Fail(ErrorFromErrno(errno));
    return NoHandle;
  }
  return Kernel.Events.Add(std::move(event));
}

bool TPosixPlatform::SetEvent(THandle event) {
  auto e = Kernel.Event(event);
  if (!e) return Fail(ERROR_INVALID_HANDLE);
  e->Set();
  return true;
}

bool TPosixPlatform::ResetEvent(THandle event) {
  auto e = Kernel.Event(event);
  if (!e) return Fail(ERROR_INVALID_HANDLE);
  e->Reset();
  return true;
}

DWORD TPosixPlatform::WaitForSingleObject(THandle handle, DWORD timeoutMs) {
  auto e = Kernel.Event(handle);
  if (!e) {
    Fail(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  const std::int64_t deadline = timeoutMs == INFINITE ? -1 : NowMs() + timeoutMs;
  for (;;) {
    if (e->TryConsume()) return WAIT_OBJECT_0;
    pollfd p{e->PollFd(), POLLIN, 0};
    int n = ::poll(&p, 1, Remaining(deadline));
    if (n < 0 && errno != EINTR) return WAIT_FAILED;
    if (n == 0) return e->TryConsume() ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
  }
}

void TPosixPlatform::Sleep(DWORD ms) {
  // As on Windows, a sleep of 0 gives up the rest of the time slice.
  if (ms == 0)
    std::this_thread::yield();
  else
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void TPosixPlatform::LowerThreadPriority() {
  const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
  errno = 0;
  int nice = ::getpriority(PRIO_PROCESS, tid);
  if (errno == 0) ::setpriority(PRIO_PROCESS, tid, nice + 1);
}

}  // namespace vornex
