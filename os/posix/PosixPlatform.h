// Linux in Windows' terms: device names, the comm calls, a registry and a
// spooler synthesised from sysfs and /dev, the maker's library by dlopen,
// sockets, and the printers Avahi and CUPS know on the network.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

#include "os/Platform.h"
#include "os/posix/DeviceMap.h"

namespace vornex {

namespace posix {
class TEventObject;
struct TFileObject;
struct TKeyObject;
class TVendorLibrary;
class TNamespace;
class TNetworkPrinters;
class TRegistryView;
}  // namespace posix

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

  DWORD GetLastError() override;
  void SetLastError(DWORD code) override;
  bool GetVersionExA(OSVERSIONINFOA& info) override;
  long RegOpenKeyExA(const std::string& path, DWORD access, THandle& key) override;
  long RegEnumKeyExA(THandle key, DWORD index, char* name, DWORD& nameLength) override;
  long RegQueryValueExA(THandle key, const std::string& valueName, DWORD* type, BYTE* data,
                        DWORD& dataLength) override;
  long RegQueryInfoKeyA(THandle key, DWORD* subKeys, DWORD* values, DWORD* maxValueNameLength,
                        DWORD* maxValueLength) override;
  long RegEnumValueA(THandle key, DWORD index, char* name, DWORD& nameLength, DWORD* type,
                     BYTE* data, DWORD& dataLength) override;
  long RegCloseKey(THandle key) override;
  bool EnumPortsA(std::vector<std::string>& portNames) override;
  THandle CreateFileA(const std::string& name, DWORD access, DWORD shareMode, DWORD creation,
                      DWORD flagsAndAttributes) override;
  THandle OpenPortA(const std::string& name, DWORD access, DWORD shareMode,
                    DWORD flagsAndAttributes) override;
  DWORD GetFileType(THandle file) override;
  bool CloseHandle(THandle handle) override;
  std::string DeviceIdentity(const std::string& name) override;
  bool WriteFile(THandle file, const void* data, DWORD count, DWORD& written,
                 THandle abortEvent = NoHandle) override;
  bool ReadFile(THandle file, void* data, DWORD count, DWORD& read) override;
  DWORD WriteFileTimed(THandle file, const void* data, DWORD count, THandle doneEvent,
                       DWORD timeoutMs, DWORD& written, THandle abortEvent = NoHandle) override;
  bool CancelIo(THandle file) override;
  THandle CreateEventA(bool manualReset, bool initialState) override;
  bool SetEvent(THandle event) override;
  bool ResetEvent(THandle event) override;
  DWORD WaitForSingleObject(THandle handle, DWORD timeoutMs) override;
  void Sleep(DWORD ms) override;
  void LowerThreadPriority() override;
  bool SetupComm(THandle file, DWORD inQueue, DWORD outQueue) override;
  bool GetCommState(THandle file, DCB& dcb) override;
  bool SetCommState(THandle file, const DCB& dcb) override;
  bool SetCommTimeouts(THandle file, const COMMTIMEOUTS& timeouts) override;
  bool SetCommMask(THandle file, DWORD mask) override;
  bool WaitCommEvent(THandle file, DWORD& mask) override;
  bool ClearCommError(THandle file, DWORD& errors, COMSTAT& status) override;
  bool PurgeComm(THandle file, DWORD flags) override;
  bool EscapeCommFunction(THandle file, DWORD function) override;
  bool GetCommModemStatus(THandle file, DWORD& modemStatus) override;
  int getaddrinfo(const std::string& host, const std::string& port, std::vector<TSocketAddress>& addresses,
                  DWORD timeoutMs, THandle abortEvent) override;
  TSocket socket(int family) override;
  bool connect(TSocket s, const TSocketAddress& address, DWORD timeoutMs, THandle abortEvent) override;
  bool send(TSocket s, const void* data, DWORD count, DWORD& sent, THandle abortEvent) override;
  bool recv(TSocket s, void* data, DWORD count, DWORD& received, DWORD timeoutMs,
            THandle abortEvent) override;
  bool shutdown(TSocket s, int how) override;
  bool GetUnacknowledged(TSocket s, DWORD& bytes) override;
  bool closesocket(TSocket s) override;
  std::string FormatMessageA(DWORD code) override;
  bool EnumNetworkPrinters(std::vector<TNetworkPrinter>& printers, DWORD waitMs) override;
  bool VendorUsbAvailable() override;
  std::int32_t VendorUsbOpen(std::int32_t deviceIndex) override;
  std::int32_t VendorUsbWrite(std::int32_t device, const void* data, std::int32_t count) override;
  std::int32_t VendorUsbClose(std::int32_t device) override;

 private:
  std::shared_ptr<posix::TFileObject> File(THandle h);
  std::shared_ptr<posix::TEventObject> Event(THandle h);
  std::shared_ptr<posix::TKeyObject> Key(THandle h);
  THandle Issue(std::shared_ptr<posix::TFileObject> file);
  // The Linux path of a name, through the walk's view of the USB printers
  // while one stands.
  std::string Resolve(const std::string& name);
  // CreateFileA's open; portOnly refuses what is not a device or a pipe.
  THandle Open(const std::string& name, DWORD access, DWORD shareMode, bool portOnly);
  bool Fail(DWORD code);
  // A comm file's state, or failure with ERROR_INVALID_HANDLE.
  std::shared_ptr<posix::TFileObject> CommFile(THandle h);

  TOptions Options;
  TDeviceMap Map;
  std::unique_ptr<posix::TNamespace> Names;
  std::unique_ptr<posix::TVendorLibrary> Vendor;
  std::unique_ptr<posix::TNetworkPrinters> NetworkPrinters;
  // Every call looks its handle up; lookups share the lock.
  std::shared_mutex Lock;
  THandle NextHandle = 0x1000;
  std::map<THandle, std::shared_ptr<posix::TFileObject>> Files;
  std::map<THandle, std::shared_ptr<posix::TEventObject>> Events;
  std::map<THandle, std::shared_ptr<posix::TKeyObject>> Keys;
  // The registry of the walk under way, while any key is open.
  std::shared_ptr<posix::TRegistryView> View;
};

}  // namespace vornex
