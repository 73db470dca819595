// Devices and files by their Windows names, and the serial line calls on
// them. Handles from here are closed with TPlatform::CloseHandle.
#pragma once

#include <string>

#include "os/WinTypes.h"

namespace vornex {

// What a device's absolute path names, for a port given as a path.
enum class TDeviceKind {
  NotAPath,      // no absolute path this system knows: the port text is a name
  NotFound,      // nothing can be found there; GetLastError says why
  Terminal,      // a serial line (a tty)
  UsbPrinter,    // /dev/usb/lpN
  ParallelPort,  // /dev/lpN, /dev/parportN
  Fifo,
  Socket,
  Other,         // a file, a folder, any other device
};

class TDevices {
 public:
  virtual ~TDevices() = default;

  // InvalidHandle on failure. FILE_FLAG_OVERLAPPED asks for a handle that
  // the comm calls and WriteFileTimed may use; the blocking calls below work
  // on any handle.
  virtual THandle CreateFileA(const std::string& name, DWORD access, DWORD shareMode,
                              DWORD creation, DWORD flagsAndAttributes) = 0;
  // CreateFileA (OPEN_EXISTING) for a port, which is a device or a pipe:
  // anything GetFileType would not call FILE_TYPE_CHAR or FILE_TYPE_PIPE (a
  // regular file, a folder) fails with ERROR_BAD_DEVICE, and nothing is
  // written to it.
  virtual THandle OpenPortA(const std::string& name, DWORD access, DWORD shareMode,
                            DWORD flagsAndAttributes) = 0;
  virtual DWORD GetFileType(THandle file) = 0;
  // The device a name opens, as a text two names of one device share (a
  // serial line by two names, a port and the path it is mapped to): what
  // QueryDosDevice gives for a DOS name on Windows. Empty when the name
  // opens nothing the system knows.
  virtual std::string DeviceIdentity(const std::string& name) = 0;
  // What the path names, by the device rather than the letters in it; looks
  // without opening anything. Windows knows no such paths.
  virtual TDeviceKind GetDeviceKind(const std::string& path) = 0;

  // Blocking write. On a comm handle it ends short, and still succeeds, when
  // the write total time-out runs out. When abortEvent is given and becomes
  // signalled, the write ends at once: false with ERROR_OPERATION_ABORTED and
  // `written` holding what had gone out.
  virtual bool WriteFile(THandle file, const void* data, DWORD count, DWORD& written,
                         THandle abortEvent = NoHandle) = 0;
  // Blocking read; on a comm handle it follows the read time-outs.
  virtual bool ReadFile(THandle file, void* data, DWORD count, DWORD& read) = 0;

  // One overlapped write signalling doneEvent, waited for at most timeoutMs.
  // WAIT_OBJECT_0: finished; `written` is its result (0 when it failed).
  // WAIT_TIMEOUT: still pending; the caller cancels it with CancelIo.
  // WAIT_OBJECT_0 + 1: abortEvent was signalled first; the write has been
  // cancelled and `written` is what had gone out.
  // WAIT_FAILED: the wait itself failed.
  virtual DWORD WriteFileTimed(THandle file, const void* data, DWORD count, THandle doneEvent,
                               DWORD timeoutMs, DWORD& written, THandle abortEvent = NoHandle) = 0;
  virtual bool CancelIo(THandle file) = 0;

  // --- serial lines -----------------------------------------------------------
  virtual bool SetupComm(THandle file, DWORD inQueue, DWORD outQueue) = 0;
  virtual bool GetCommState(THandle file, DCB& dcb) = 0;
  virtual bool SetCommState(THandle file, const DCB& dcb) = 0;
  virtual bool SetCommTimeouts(THandle file, const COMMTIMEOUTS& timeouts) = 0;
  // Setting a new mask ends a WaitCommEvent in progress with an empty mask.
  virtual bool SetCommMask(THandle file, DWORD mask) = 0;
  // Blocks until one of the masked events happens (true, mask filled) or the
  // wait is ended by SetCommMask (true, mask 0). False on failure.
  virtual bool WaitCommEvent(THandle file, DWORD& mask) = 0;
  virtual bool ClearCommError(THandle file, DWORD& errors, COMSTAT& status) = 0;
  virtual bool PurgeComm(THandle file, DWORD flags) = 0;
  virtual bool EscapeCommFunction(THandle file, DWORD function) = 0;
  virtual bool GetCommModemStatus(THandle file, DWORD& modemStatus) = 0;
};

}  // namespace vornex
