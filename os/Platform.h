// The calls Vornex makes of the operating system, in Windows' own terms.
// One implementation per platform (os/win32, os/posix) and a scripted fake for
// tests. Every call that fails leaves its code for GetLastError on the calling
// thread, as Windows does.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "os/WinTypes.h"

namespace vornex {

// An address a socket can connect to, in the system's own form (a sockaddr
// as its getaddrinfo gave it).
struct TSocketAddress {
  int Family = 0;
  int Length = 0;
  BYTE Data[128] = {};
};

// A printer the system knows on the network.
struct TNetworkPrinter {
  // HOST:PORT, [IPv6]:PORT, or HOST alone when no port was given.
  std::string Address;
  // What it is called there: the announced service's or the queue's name.
  std::string Name;
};

class TPlatform {
 public:
  virtual ~TPlatform() = default;

  virtual DWORD GetLastError() = 0;
  virtual void SetLastError(DWORD code) = 0;

  // --- version ------------------------------------------------------------
  virtual bool GetVersionExA(OSVERSIONINFOA& info) = 0;

  // --- registry, HKEY_LOCAL_MACHINE, read only ------------------------------
  // Lengths follow Windows: on entry the buffer size in bytes (the terminator
  // included), on success the length written without the terminator. A
  // buffer too small gives ERROR_MORE_DATA and nothing is written.
  virtual long RegOpenKeyExA(const std::string& path, DWORD access, THandle& key) = 0;
  virtual long RegEnumKeyExA(THandle key, DWORD index, char* name, DWORD& nameLength) = 0;
  virtual long RegQueryValueExA(THandle key, const std::string& valueName, DWORD* type,
                                BYTE* data, DWORD& dataLength) = 0;
  virtual long RegQueryInfoKeyA(THandle key, DWORD* subKeys, DWORD* values,
                                DWORD* maxValueNameLength, DWORD* maxValueLength) = 0;
  virtual long RegEnumValueA(THandle key, DWORD index, char* name, DWORD& nameLength,
                             DWORD* type, BYTE* data, DWORD& dataLength) = 0;
  virtual long RegCloseKey(THandle key) = 0;

  // --- print spooler --------------------------------------------------------
  // The port names of EnumPortsA at level 2, in the spooler's order.
  virtual bool EnumPortsA(std::vector<std::string>& portNames) = 0;

  // --- devices and files ----------------------------------------------------
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
  virtual bool CloseHandle(THandle handle) = 0;
  // The device a name opens, as a text two names of one device share (a
  // serial line by two names, a port and the path it is mapped to): what
  // QueryDosDevice gives for a DOS name on Windows. Empty when the name
  // opens nothing the system knows.
  virtual std::string DeviceIdentity(const std::string& name) = 0;

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

  // --- events and time --------------------------------------------------------
  virtual THandle CreateEventA(bool manualReset, bool initialState) = 0;
  virtual bool SetEvent(THandle event) = 0;
  virtual bool ResetEvent(THandle event) = 0;
  virtual DWORD WaitForSingleObject(THandle handle, DWORD timeoutMs) = 0;
  virtual void Sleep(DWORD ms) = 0;
  // The calling thread runs one step below normal priority.
  virtual void LowerThreadPriority() = 0;

  // --- serial communications ------------------------------------------------
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

  // --- sockets, in Winsock's terms: TCP streams ------------------------------
  // A failure leaves a Winsock code (WSAECONNREFUSED...) for GetLastError.
  // A call that waits takes a time limit, which ends it with WSAETIMEDOUT, and
  // the abort event, which ends it at once with ERROR_OPERATION_ABORTED.

  // The addresses host and port stand for, in the system's order: 0, or the
  // Winsock code of the failure.
  virtual int getaddrinfo(const std::string& host, const std::string& port,
                          std::vector<TSocketAddress>& addresses, DWORD timeoutMs,
                          THandle abortEvent) = 0;
  // A stream socket of the address family; InvalidSocket on failure.
  virtual TSocket socket(int family) = 0;
  virtual bool connect(TSocket s, const TSocketAddress& address, DWORD timeoutMs,
                       THandle abortEvent) = 0;
  // Blocks until the system has taken all count bytes. `sent` says how many
  // it took, also when the call fails or is aborted.
  virtual bool send(TSocket s, const void* data, DWORD count, DWORD& sent,
                    THandle abortEvent) = 0;
  // Waits up to timeoutMs (0: takes only what is there) for bytes. Success
  // with nothing received: the peer has closed its side.
  virtual bool recv(TSocket s, void* data, DWORD count, DWORD& received, DWORD timeoutMs,
                    THandle abortEvent) = 0;
  virtual bool shutdown(TSocket s, int how) = 0;
  // After shutdown(SD_SEND): how much of what was sent the peer's system has
  // not acknowledged yet, the end of the stream included (0: it has it all;
  // a peer that reads nothing leaves it in our queue). False when the
  // system cannot tell.
  virtual bool GetUnacknowledged(TSocket s, DWORD& bytes) = 0;
  virtual bool closesocket(TSocket s) = 0;
  // The system's words for an error code, without a line end.
  virtual std::string FormatMessageA(DWORD code) = 0;

  // --- printers on the network ------------------------------------------------
  // The printers the system announces or has set up beside the spooler's
  // ports (DNS-SD, the print system's queues). A search starts unless one
  // runs; the call waits up to waitMs for it, and when it takes longer
  // answers with what the last finished search found.
  virtual bool EnumNetworkPrinters(std::vector<TNetworkPrinter>& printers, DWORD waitMs) = 0;

  // --- the maker's USB transfer library (ordinals 9, 2, 4) --------------------
  // Bound at run time. Without the library every open answers -1.
  virtual bool VendorUsbAvailable() = 0;
  virtual std::int32_t VendorUsbOpen(std::int32_t deviceIndex) = 0;
  virtual std::int32_t VendorUsbWrite(std::int32_t device, const void* data,
                                      std::int32_t count) = 0;
  virtual std::int32_t VendorUsbClose(std::int32_t device) = 0;
};

// Closes a platform handle when it goes out of scope.
class TPlatformHandle {
 public:
  TPlatformHandle() = default;
  TPlatformHandle(TPlatform& platform, THandle handle) : Platform(&platform), Handle(handle) {}
  TPlatformHandle(const TPlatformHandle&) = delete;
  TPlatformHandle& operator=(const TPlatformHandle&) = delete;
  TPlatformHandle(TPlatformHandle&& other) noexcept { *this = std::move(other); }
  TPlatformHandle& operator=(TPlatformHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      Platform = other.Platform;
      Handle = other.Handle;
      other.Handle = InvalidHandle;
    }
    return *this;
  }
  ~TPlatformHandle() { Reset(); }

  THandle Get() const { return Handle; }
  bool Valid() const { return Handle != InvalidHandle && Handle != NoHandle; }
  void Reset() {
    if (Platform && Valid()) Platform->CloseHandle(Handle);
    Handle = InvalidHandle;
  }
  // Gives the handle up without closing it.
  THandle Release() {
    THandle h = Handle;
    Handle = InvalidHandle;
    return h;
  }

 private:
  TPlatform* Platform = nullptr;
  THandle Handle = InvalidHandle;
};

// Closes a platform socket when it goes out of scope.
class TPlatformSocket {
 public:
  TPlatformSocket() = default;
  TPlatformSocket(TPlatform& platform, TSocket socket) : Platform(&platform), Socket(socket) {}
  TPlatformSocket(const TPlatformSocket&) = delete;
  TPlatformSocket& operator=(const TPlatformSocket&) = delete;
  TPlatformSocket(TPlatformSocket&& other) noexcept { *this = std::move(other); }
  TPlatformSocket& operator=(TPlatformSocket&& other) noexcept {
    if (this != &other) {
      Reset();
      Platform = other.Platform;
      Socket = other.Socket;
      other.Socket = InvalidSocket;
    }
    return *this;
  }
  ~TPlatformSocket() { Reset(); }

  TSocket Get() const { return Socket; }
  bool Valid() const { return Socket != InvalidSocket; }
  void Reset() {
    if (Platform && Valid()) Platform->closesocket(Socket);
    Socket = InvalidSocket;
  }

 private:
  TPlatform* Platform = nullptr;
  TSocket Socket = InvalidSocket;
};

}  // namespace vornex
