// Devices and files: every handle is opened overlapped, and the blocking calls
// wait on the thread's own event, so an abort event or CancelIo can end them.
#include "os/win32/Win32Devices.h"

#include <string>
#include <vector>

#include "os/win32/FileTable.h"
#include "os/win32/WinApi.h"

namespace vornex {

namespace win32 {

namespace {

class TThreadEvent {
 public:
  ~TThreadEvent() {
    if (Event) ::CloseHandle(Event);
  }
  HANDLE Get() {
    if (!Event) Event = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    return Event;
  }

 private:
  HANDLE Event = nullptr;
};

using TCancelIoEx = BOOL(WINAPI*)(HANDLE, LPOVERLAPPED);

TCancelIoEx CancelIoExFunction() {
  static const TCancelIoEx function = reinterpret_cast<TCancelIoEx>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "CancelIoEx")));
  return function;
}

}  // namespace

HANDLE ThreadIoEvent() {
  thread_local TThreadEvent event;
  return event.Get();
}

std::shared_ptr<TOpenFile> AddFile(TFileTable& files, HANDLE handle, bool isDisk) {
  auto file = std::make_shared<TOpenFile>();
  file->Handle = handle;
  file->IsDisk = isDisk;
  files.Insert(T(handle), file);
  return file;
}

void ForgetFile(TFileTable& files, HANDLE handle) {
  if (auto file = files.Remove(T(handle))) {
    std::lock_guard<std::mutex> hold(file->PendingLock);
    CollectPending(*file, true);
  }
}

void SetOffset(OVERLAPPED& ov, TOpenFile* file) {
  if (!file || !file->IsDisk) return;
  std::uint64_t at = 0;
  {
    std::lock_guard<std::mutex> hold(file->PositionLock);
    at = file->Position;
  }
  ov.Offset = static_cast<::DWORD>(at);
  ov.OffsetHigh = static_cast<::DWORD>(at >> 32);
}

void Advance(TOpenFile* file, ::DWORD transferred) {
  if (!file || !file->IsDisk) return;
  std::lock_guard<std::mutex> hold(file->PositionLock);
  file->Position += transferred;
}

void CancelRequest(HANDLE handle, OVERLAPPED* ov) {
  if (TCancelIoEx cancelEx = CancelIoExFunction())
    cancelEx(handle, ov);
  else
    ::CancelIo(handle);
}

::DWORD CollectPending(TOpenFile& file, bool cancel) {
  if (!file.Pending) return 0;
  if (cancel) CancelRequest(file.Handle, file.Pending.get());
  ::DWORD done = 0;
  // The record is in the driver's hands until the write has ended.
  if (::GetOverlappedResult(file.Handle, file.Pending.get(), &done, TRUE)) Advance(&file, done);
  file.Pending.reset();
  return done;
}

}  // namespace win32

using namespace win32;

namespace {

bool Fail(::DWORD code) {
  ::SetLastError(code);
  return false;
}

}  // namespace

THandle TWin32Devices::CreateFileA(const std::string& name, DWORD access, DWORD shareMode,
                                   DWORD creation, DWORD flagsAndAttributes) {
  HANDLE h = ::CreateFileA(name.c_str(), access, shareMode, nullptr, creation,
                           flagsAndAttributes | FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) return InvalidHandle;
  const ::DWORD error = ::GetLastError();
  AddFile(Files, h, ::GetFileType(h) == FILE_TYPE_DISK);
  ::SetLastError(error);
  return T(h);
}

THandle TWin32Devices::OpenPortA(const std::string& name, DWORD access, DWORD shareMode,
                                 DWORD flagsAndAttributes) {
  const THandle h = CreateFileA(name, access, shareMode, OPEN_EXISTING, flagsAndAttributes);
  if (h == InvalidHandle) {
    // A folder does not open as a file; it is not a port either.
    const ::DWORD attributes = ::GetFileAttributesA(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
      ::SetLastError(ERROR_BAD_DEVICE);
    return InvalidHandle;
  }
  // Opening changes nothing on Windows; what is not a device or a pipe is
  // let go before anything is written to it.
  const ::DWORD type = ::GetFileType(H(h));
  if (type != FILE_TYPE_CHAR && type != FILE_TYPE_PIPE) {
    ForgetFile(Files, H(h));
    ::CloseHandle(H(h));
    ::SetLastError(ERROR_BAD_DEVICE);
    return InvalidHandle;
  }
  return h;
}

std::string TWin32Devices::DeviceIdentity(const std::string& name) {
  // A DOS device name (COM1, LPT1, in the device namespace or not) stands
  // for the device it is linked to, as QueryDosDevice tells.
  const bool inNamespace = name.rfind("\\\\.\\", 0) == 0;
  const std::string bare = inNamespace ? name.substr(4) : name;
  if (!bare.empty() && bare.find_first_of("\\/:") == std::string::npos) {
    std::vector<char> target(1024);
    for (;;) {
      const ::DWORD n = ::QueryDosDeviceA(bare.c_str(), target.data(), static_cast<::DWORD>(target.size()));
      if (n > 0) return "device " + std::string(target.data());
      if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || target.size() >= 65536) return {};
      target.resize(target.size() * 2);
    }
  }
  // Any other name is a path, which Windows compares without case.
  std::string upper = name;
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return "path " + upper;
}

DWORD TWin32Devices::GetFileType(THandle file) { return ::GetFileType(H(file)); }

bool TWin32Devices::WriteFile(THandle file, const void* data, DWORD count, DWORD& written,
                              THandle abortEvent) {
  written = 0;
  // The file's lock is not held while the write blocks, so that CloseHandle
  // and CancelIo from another thread are never held up by it.
  auto open = Files.Find(file);
  OVERLAPPED ov{};
  ov.hEvent = ThreadIoEvent();
  if (!ov.hEvent) return false;
  SetOffset(ov, open.get());
  bool aborted = false;
  if (!::WriteFile(H(file), data, count, nullptr, &ov)) {
    const ::DWORD error = ::GetLastError();
    if (error != ERROR_IO_PENDING) return Fail(error);
    if (abortEvent != NoHandle) {
      HANDLE both[2] = {ov.hEvent, H(abortEvent)};
      if (::WaitForMultipleObjects(2, both, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
        aborted = true;
        CancelRequest(H(file), &ov);
      }
    }
  }
  // Waits for the end, also after a cancel: the record is on this stack.
  ::DWORD done = 0;
  const bool ok = ::GetOverlappedResult(H(file), &ov, &done, TRUE) != FALSE;
  const ::DWORD result = ok ? ERROR_SUCCESS : ::GetLastError();
  written = done;
  Advance(open.get(), done);
  if (!ok) return Fail(aborted ? ERROR_OPERATION_ABORTED : result);
  return true;
}

bool TWin32Devices::ReadFile(THandle file, void* data, DWORD count, DWORD& read) {
  read = 0;
  auto open = Files.Find(file);
  OVERLAPPED ov{};
  ov.hEvent = ThreadIoEvent();
  if (!ov.hEvent) return false;
  SetOffset(ov, open.get());
  if (!::ReadFile(H(file), data, count, nullptr, &ov)) {
    const ::DWORD error = ::GetLastError();
    // The end of a disk file is not a failure, as for a plain handle.
    if (error == ERROR_HANDLE_EOF) return true;
    if (error != ERROR_IO_PENDING) return Fail(error);
  }
  ::DWORD done = 0;
  if (!::GetOverlappedResult(H(file), &ov, &done, TRUE)) {
    const ::DWORD error = ::GetLastError();
    if (error == ERROR_HANDLE_EOF) return true;
    read = done;
    return Fail(error);
  }
  read = done;
  Advance(open.get(), done);
  return true;
}

DWORD TWin32Devices::WriteFileTimed(THandle file, const void* data, DWORD count,
                                    THandle doneEvent, DWORD timeoutMs, DWORD& written,
                                    THandle abortEvent) {
  written = 0;
  if (doneEvent == NoHandle) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  auto open = Files.Find(file);
  if (!open) {
    // A write that cannot start completes at once with nothing written.
    ::SetEvent(H(doneEvent));
    ::SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_OBJECT_0;
  }
  std::lock_guard<std::mutex> hold(open->PendingLock);
  // One write outstanding per handle: one left behind is ended first.
  CollectPending(*open, true);
  open->Pending = std::make_unique<OVERLAPPED>();
  OVERLAPPED& ov = *open->Pending;
  ov.hEvent = H(doneEvent);
  SetOffset(ov, open.get());
  if (!::WriteFile(open->Handle, data, count, nullptr, &ov)) {
    const ::DWORD error = ::GetLastError();
    if (error != ERROR_IO_PENDING) {
      open->Pending.reset();
      ::SetEvent(H(doneEvent));
      ::SetLastError(error);
      return WAIT_OBJECT_0;
    }
  }
  HANDLE both[2] = {H(doneEvent), H(abortEvent)};
  const ::DWORD wait = ::WaitForMultipleObjects(abortEvent != NoHandle ? 2 : 1, both, FALSE, timeoutMs);
  if (wait == WAIT_TIMEOUT) return WAIT_TIMEOUT;
  if (wait == WAIT_OBJECT_0 + 1) {
    // Cancelled, and waited for: the record is the driver's until then.
    written = CollectPending(*open, true);
    ::SetLastError(ERROR_OPERATION_ABORTED);
    return WAIT_OBJECT_0 + 1;
  }
  if (wait != WAIT_OBJECT_0) {
    const ::DWORD error = ::GetLastError();
    CollectPending(*open, true);
    ::SetLastError(error);
    return WAIT_FAILED;
  }
  ::DWORD done = 0;
  const bool ok = ::GetOverlappedResult(open->Handle, &ov, &done, FALSE) != FALSE;
  const ::DWORD error = ok ? ERROR_SUCCESS : ::GetLastError();
  open->Pending.reset();
  if (ok) {
    written = done;
    Advance(open.get(), done);
  }
  ::SetLastError(error);
  return WAIT_OBJECT_0;
}

bool TWin32Devices::CancelIo(THandle file) {
  auto open = Files.Find(file);
  if (!open) return ::CancelIo(H(file)) != FALSE;
  std::lock_guard<std::mutex> hold(open->PendingLock);
  if (!open->Pending) return ::CancelIo(H(file)) != FALSE;
  CollectPending(*open, true);
  return true;
}

}  // namespace vornex
