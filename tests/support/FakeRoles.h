// The roles of the scripted platform: each works on the TFakePlatform that
// made it, under that platform's lock. Internal to tests/support.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstring>

#include "tests/support/FakePlatform.h"

namespace vornex::test {

// The calling thread's last error.
DWORD& FakeLastError();
std::string Upper(std::string s);
std::int64_t NowMs();
// Windows device names are case-blind and may carry the \\.\ prefix.
std::string DeviceKey(const std::string& name);

class TFakeDevices : public TDevices {
 public:
  explicit TFakeDevices(TFakePlatform& platform) : P(platform) {}

  THandle CreateFileA(const std::string& name, DWORD access, DWORD shareMode, DWORD creation,
                      DWORD flagsAndAttributes) override;
  THandle OpenPortA(const std::string& name, DWORD access, DWORD shareMode,
                    DWORD flagsAndAttributes) override;
  DWORD GetFileType(THandle file) override;
  std::string DeviceIdentity(const std::string& name) override;
  TDeviceKind GetDeviceKind(const std::string& path) override;
  bool WriteFile(THandle file, const void* data, DWORD count, DWORD& written,
                 THandle abortEvent = NoHandle) override;
  bool ReadFile(THandle file, void* data, DWORD count, DWORD& read) override;
  DWORD WriteFileTimed(THandle file, const void* data, DWORD count, THandle doneEvent,
                       DWORD timeoutMs, DWORD& written, THandle abortEvent = NoHandle) override;
  bool CancelIo(THandle file) override;
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

 private:
  TFakePlatform& P;
};

class TFakeRegistry : public TRegistry {
 public:
  explicit TFakeRegistry(TFakePlatform& platform) : P(platform) {}

  long RegOpenKeyExA(const std::string& path, DWORD access, THandle& key) override;
  long RegEnumKeyExA(THandle key, DWORD index, char* name, DWORD& nameLength) override;
  long RegQueryValueExA(THandle key, const std::string& valueName, DWORD* type, BYTE* data,
                        DWORD& dataLength) override;
  long RegQueryInfoKeyA(THandle key, DWORD* subKeys, DWORD* values, DWORD* maxValueNameLength,
                        DWORD* maxValueLength) override;
  long RegEnumValueA(THandle key, DWORD index, char* name, DWORD& nameLength, DWORD* type,
                     BYTE* data, DWORD& dataLength) override;
  long RegCloseKey(THandle key) override;

 private:
  TFakePlatform& P;
};

class TFakeSockets : public TSockets {
 public:
  explicit TFakeSockets(TFakePlatform& platform) : P(platform) {}

  int getaddrinfo(const std::string& host, const std::string& port, std::vector<TSocketAddress>& addresses,
                  DWORD timeoutMs, THandle abortEvent) override;
  TSocket socket(int family) override;
  bool ConnectStart(TSocket s, const TSocketAddress& address) override;
  int WaitForConnect(const std::vector<TSocket>& sockets, DWORD timeoutMs, THandle abortEvent,
                     DWORD& error) override;
  bool send(TSocket s, const void* data, DWORD count, DWORD& sent, THandle abortEvent) override;
  bool recv(TSocket s, void* data, DWORD count, DWORD& received, DWORD timeoutMs,
            THandle abortEvent) override;
  bool shutdown(TSocket s, int how) override;
  bool GetUnacknowledged(TSocket s, DWORD& bytes) override;
  bool closesocket(TSocket s) override;

 private:
  TFakePlatform& P;
};

class TFakeDiscovery : public TDiscovery {
 public:
  explicit TFakeDiscovery(TFakePlatform& platform) : P(platform) {}

  bool EnumPortsA(std::vector<std::string>& portNames) override;
  bool EnumNetworkPrinters(TNetworkSearch& found, DWORD waitMs) override;

 private:
  TFakePlatform& P;
};

class TFakeVendorUsb : public TVendorUsb {
 public:
  explicit TFakeVendorUsb(TFakePlatform& platform) : P(platform) {}

  bool VendorUsbAvailable() override;
  DWORD VendorUsbLoadError() override;
  std::int32_t VendorUsbOpen(std::int32_t deviceIndex) override;
  std::int32_t VendorUsbWrite(std::int32_t device, const void* data, std::int32_t count) override;
  std::int32_t VendorUsbClose(std::int32_t device) override;

 private:
  TFakePlatform& P;
};

class TFakeSpooler : public TSpooler {
 public:
  explicit TFakeSpooler(TFakePlatform& platform) : P(platform) {}

  bool EnumPrintersA(DWORD flags, std::vector<TPrinterInfo>& printers) override;
  bool OpenPrinter2A(const std::string& printerName, THandle& printer, DWORD options) override;
  DWORD StartDocPrinterA(THandle printer, const std::string& docName, const std::string& datatype) override;
  bool WritePrinter(THandle printer, const void* data, DWORD count, DWORD& written) override;
  bool EndDocPrinter(THandle printer) override;
  bool GetJobA(THandle printer, DWORD jobId, TJobInfo& job) override;
  bool SetJobA(THandle printer, DWORD jobId, DWORD command) override;
  bool ClosePrinter(THandle printer) override;

 private:
  TFakePlatform& P;
};

}  // namespace vornex::test
