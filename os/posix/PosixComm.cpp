#include "os/posix/PosixComm.h"

#include "os/posix/PosixPlatform.h"

namespace vornex {

namespace posix {

bool OpenComm(TFileObject&) { return true; }
void CloseComm(TFileObject&) {}
std::int64_t CommWriteDeadline(TFileObject&, std::uint32_t, std::int64_t) { return -1; }
void CommWritten(TFileObject&, std::uint32_t) {}
bool CommRead(TFileObject&, void*, std::uint32_t, std::uint32_t& read, std::uint32_t& error) {
  read = 0;
  error = ERROR_NOT_SUPPORTED;
  return false;
}

}  // namespace posix

bool TPosixPlatform::SetupComm(THandle, DWORD, DWORD) { return Fail(ERROR_NOT_SUPPORTED); }
bool TPosixPlatform::GetCommState(THandle, DCB&) { return Fail(ERROR_NOT_SUPPORTED); }
bool TPosixPlatform::SetCommState(THandle, const DCB&) { return Fail(ERROR_NOT_SUPPORTED); }
bool TPosixPlatform::SetCommTimeouts(THandle, const COMMTIMEOUTS&) { return Fail(ERROR_NOT_SUPPORTED); }
bool TPosixPlatform::SetCommMask(THandle, DWORD) { return Fail(ERROR_NOT_SUPPORTED); }
bool TPosixPlatform::WaitCommEvent(THandle, DWORD&) { return Fail(ERROR_NOT_SUPPORTED); }
bool TPosixPlatform::ClearCommError(THandle, DWORD&, COMSTAT&) { return Fail(ERROR_NOT_SUPPORTED); }
bool TPosixPlatform::PurgeComm(THandle, DWORD) { return Fail(ERROR_NOT_SUPPORTED); }
bool TPosixPlatform::EscapeCommFunction(THandle, DWORD) { return Fail(ERROR_NOT_SUPPORTED); }
bool TPosixPlatform::GetCommModemStatus(THandle, DWORD&) { return Fail(ERROR_NOT_SUPPORTED); }
std::shared_ptr<posix::TFileObject> TPosixPlatform::CommFile(THandle h) { return File(h); }

}  // namespace vornex
