// Devices and files on Linux by their Windows names, and the comm calls on
// ttys. Internal to os/posix.
#pragma once

#include <memory>
#include <string>

#include "os/Devices.h"
#include "os/posix/PosixKernel.h"

namespace vornex {

class TPosixRegistry;

namespace posix {
class TNamespace;
}

class TPosixDevices : public TDevices {
 public:
  // A USB printer's name is looked up in the registry's view while a walk
  // of it stands.
  TPosixDevices(posix::TKernel& kernel, const posix::TNamespace& names, TPosixRegistry& registry);

  // The Linux path a Windows device name opens, or empty when none.
  std::string Resolve(const std::string& name);

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
  // CreateFileA's open; portOnly refuses what is not a device or a pipe.
  THandle Open(const std::string& name, DWORD access, DWORD shareMode, bool portOnly);
  // A comm file's state, or failure with ERROR_INVALID_HANDLE.
  std::shared_ptr<posix::TFileObject> CommFile(THandle h);

  posix::TKernel& Kernel;
  const posix::TNamespace& Names;
  TPosixRegistry& Registry;
};

}  // namespace vornex
