// Linux in Windows' terms: device names, the comm calls, a registry and a
// spooler synthesised from sysfs and /dev, the maker's library by dlopen,
// sockets, and the printers Avahi and CUPS know on the network.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "os/Platform.h"
#include "os/posix/DeviceMap.h"
#include "os/posix/PosixKernel.h"

namespace vornex {

namespace posix {
class TNamespace;
class TVendorLibrary;
}  // namespace posix

class TPosixDevices;
class TPosixDiscovery;
class TPosixRegistry;
class TPosixSockets;

class TPosixPlatform : public TPlatform {
 public:
  struct TOptions {
    // Where sysfs and /dev are; tests point them at a fake tree.
    std::string SysRoot = "/sys";
    std::string DevRoot = "/dev";
    // The device map text (VORNEX_DEVICE_MAP).
    std::string DeviceMap;
    // Folders searched, in order, for the maker's library.
    std::vector<std::string> LibraryDirs;
  };
  // Options from the environment: VORNEX_DEVICE_MAP, VORNEX_SYS_ROOT and
  // VORNEX_DEV_ROOT, and the library next to the running executable.
  static TOptions OptionsFromEnvironment();

  explicit TPosixPlatform(TOptions options = OptionsFromEnvironment());
  ~TPosixPlatform() override;

  // The Linux path a Windows device name opens, or empty when none.
  std::string ResolveDeviceName(const std::string& name);

  TDevices& Devices() override;
  TRegistry& Registry() override;
  TSockets& Sockets() override;
  TDiscovery& Discovery() override;
  TVendorUsb& VendorUsb() override;

  DWORD GetLastError() override;
  void SetLastError(DWORD code) override;
  std::string FormatMessageA(DWORD code) override;
  bool GetVersionExA(OSVERSIONINFOA& info) override;
  bool CloseHandle(THandle handle) override;
  THandle CreateEventA(bool manualReset, bool initialState) override;
  bool SetEvent(THandle event) override;
  bool ResetEvent(THandle event) override;
  DWORD WaitForSingleObject(THandle handle, DWORD timeoutMs) override;
  void Sleep(DWORD ms) override;
  void LowerThreadPriority() override;

 private:
  TOptions Options;
  TDeviceMap Map;
  posix::TKernel Kernel;
  std::unique_ptr<posix::TNamespace> Names;
  std::unique_ptr<TPosixRegistry> RegistryPart;
  std::unique_ptr<TPosixDevices> DevicesPart;
  std::unique_ptr<TPosixSockets> SocketsPart;
  std::unique_ptr<TPosixDiscovery> DiscoveryPart;
  std::unique_ptr<posix::TVendorLibrary> VendorPart;
};

}  // namespace vornex
