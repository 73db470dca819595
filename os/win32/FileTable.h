// What the Windows platform keeps for each device or file it opened.
// Internal to os/win32.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "os/HandleTable.h"
#include "os/win32/WinApi.h"

namespace vornex::win32 {

// The calling thread's event for its own overlapped calls: made on first
// use, reused by every later call, closed when the thread ends.
HANDLE ThreadIoEvent();

struct TOpenFile {
  HANDLE Handle = INVALID_HANDLE_VALUE;
  bool IsDisk = false;
  // Disk files only: where the next read or write goes, as a handle opened
  // without FILE_FLAG_OVERLAPPED would keep it.
  std::mutex PositionLock;
  std::uint64_t Position = 0;
  // A timed write still pending after its wait ran out; its record must live
  // until CancelIo or CloseHandle has seen it finish. Held by the timed
  // write for at most its time-out.
  std::mutex PendingLock;
  std::unique_ptr<OVERLAPPED> Pending;
};

// The files the platform opened, by the handles Windows gave them.
using TFileTable = THandleTable<TOpenFile>;

// Puts a file Windows opened into the table.
std::shared_ptr<TOpenFile> AddFile(TFileTable& files, HANDLE handle, bool isDisk);

// Takes a file out of the table before it is closed: a timed write left
// pending is cancelled and waited for.
void ForgetFile(TFileTable& files, HANDLE handle);
// Points an overlapped record at the file's position (disk files).
void SetOffset(OVERLAPPED& ov, TOpenFile* file);
// Moves a disk file's position past what a call transferred.
void Advance(TOpenFile* file, ::DWORD transferred);
// Cancels the file's pending timed write if asked, waits until it has
// finished and forgets it. The caller holds file.PendingLock.
::DWORD CollectPending(TOpenFile& file, bool cancel);
// Cancels this thread's or any thread's I/O with the record: CancelIoEx
// where Windows has it (Vista on), else CancelIo (the caller's own I/O).
void CancelRequest(HANDLE handle, OVERLAPPED* ov);

}  // namespace vornex::win32
