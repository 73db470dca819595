// Devices and files through Windows itself, and the comm calls. Every
// device and file is opened overlapped whatever the caller asks, so that a
// blocking WriteFile can still be ended by its abort event on a USB printer
// opened without FILE_FLAG_OVERLAPPED; the platform keeps the file position
// of disk files itself, since overlapped handles have none. Internal to
// os/win32.
#pragma once

#include "os/Devices.h"
#include "os/win32/FileTable.h"

namespace vornex {

class TWin32Devices : public TDevices {
 public:
  explicit TWin32Devices(win32::TFileTable& files) : Files(files) {}

  THandle CreateFileA(const std::string& name, DWORD access, DWORD shareMode, DWORD creation,
                      DWORD flagsAndAttributes) override;
  THandle OpenPortA(const std::string& name, DWORD access, DWORD shareMode,
                    DWORD flagsAndAttributes) override;
  DWORD GetFileType(THandle file) override;
  std::string DeviceIdentity(const std::string& name) override;
  // Port texts are names on Windows.
  TDeviceKind GetDeviceKind(const std::string&) override { return TDeviceKind::NotAPath; }
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
  win32::TFileTable& Files;
};

}  // namespace vornex
