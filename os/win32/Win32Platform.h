// Windows itself behind the platform interface: a thin pass-through, with the
// overlapped records and their events kept inside, so that callers get the
// blocking, cancellable calls the interface promises.
//
// Every device and file is opened overlapped whatever the caller asks, so
// that a blocking WriteFile can still be ended by its abort event on a USB
// printer opened without FILE_FLAG_OVERLAPPED; the platform keeps the file
// position of disk files itself, since overlapped handles have none.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "os/Platform.h"

namespace vornex {

namespace win32 {
class TFileTable;
class TVendorLibrary;
class TSocketTable;
}  // namespace win32

inline constexpr char VendorLibraryName[] = "USBAPI.DLL";

class TWin32Platform : public TPlatform {
 public:
  struct TOptions {
    // The maker's library, looked for in the application's folder and in
    // System32 only.
    std::string VendorLibrary = VendorLibraryName;
  };

  TWin32Platform();
  explicit TWin32Platform(TOptions options);
  ~TWin32Platform() override;

  // Where the maker's library was loaded from; empty when it is absent.
  std::string VendorLibraryPath() const;

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
  std::unique_ptr<win32::TFileTable> Files;
  std::unique_ptr<win32::TVendorLibrary> Vendor;
  std::unique_ptr<win32::TSocketTable> Sockets;
};

}  // namespace vornex
