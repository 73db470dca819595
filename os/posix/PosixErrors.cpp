#include "os/posix/PosixErrors.h"

#include <netdb.h>

#include <cerrno>
#include <cstring>

namespace vornex::posix {

namespace {

thread_local DWORD ThreadLastError = 0;

// errno and the Windows code for the same failure. Where several errno
// share a code, the first one spells it.
struct TTwin {
  int Errno;
  DWORD Code;
};
constexpr TTwin FileErrors[] = {
    {ENOENT, ERROR_FILE_NOT_FOUND},       {ENOTDIR, ERROR_PATH_NOT_FOUND},
    {EACCES, ERROR_ACCESS_DENIED},        {EPERM, ERROR_ACCESS_DENIED},
    {EROFS, ERROR_ACCESS_DENIED},         {EBADF, ERROR_INVALID_HANDLE},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},    {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ENFILE, ERROR_TOO_MANY_OPEN_FILES},  {EBUSY, ERROR_SHARING_VIOLATION},
    {EWOULDBLOCK, ERROR_SHARING_VIOLATION}, {EINVAL, ERROR_INVALID_PARAMETER},
    {EOPNOTSUPP, ERROR_NOT_SUPPORTED},    {ENOTTY, ERROR_NOT_SUPPORTED},
    {EPIPE, ERROR_NO_DATA},               {ENODEV, ERROR_DEVICE_NOT_CONNECTED},
    {ENXIO, ERROR_DEVICE_NOT_CONNECTED},  {ETIMEDOUT, ERROR_COUNTER_TIMEOUT},
    {ECANCELED, ERROR_OPERATION_ABORTED}, {EPIPE, ERROR_BROKEN_PIPE},
    {EAGAIN, WSAEWOULDBLOCK},
};

// The same for sockets, in Winsock's codes.
constexpr TTwin SocketErrors[] = {
    {ECONNREFUSED, WSAECONNREFUSED}, {ETIMEDOUT, WSAETIMEDOUT},       {ECONNRESET, WSAECONNRESET},
    {EPIPE, WSAECONNRESET},          {ECONNABORTED, WSAECONNABORTED}, {ENETRESET, WSAENETRESET},
    {ENETUNREACH, WSAENETUNREACH},   {EHOSTUNREACH, WSAEHOSTUNREACH}, {ENETDOWN, WSAENETDOWN},
    {EHOSTDOWN, WSAEHOSTDOWN},       {EADDRNOTAVAIL, WSAEADDRNOTAVAIL}, {EAFNOSUPPORT, WSAEAFNOSUPPORT},
    {EACCES, WSAEACCES},             {EPERM, WSAEACCES},              {EMFILE, WSAEMFILE},
    {ENFILE, WSAEMFILE},             {ENOBUFS, WSAENOBUFS},           {ENOMEM, WSAENOBUFS},
    {ENOTCONN, WSAENOTCONN},         {ESHUTDOWN, WSAESHUTDOWN},       {ENOTSOCK, WSAENOTSOCK},
    {EBADF, WSAENOTSOCK},            {EINVAL, WSAEINVAL},             {EINTR, WSAEINTR},
};

// What getaddrinfo says, and Winsock's code for it.
constexpr TTwin LookupTwins[] = {
    {EAI_NONAME, WSAHOST_NOT_FOUND}, {EAI_AGAIN, WSATRY_AGAIN},        {EAI_FAIL, WSANO_RECOVERY},
    {EAI_NODATA, WSANO_DATA},        {EAI_SERVICE, WSATYPE_NOT_FOUND}, {EAI_FAMILY, WSAEAFNOSUPPORT},
    {EAI_MEMORY, WSAENOBUFS},
};

// Codes this platform leaves that no errno stands for, in its own words.
struct TWords {
  DWORD Code;
  const char* Text;
};
constexpr TWords OwnWords[] = {
    {ERROR_SUCCESS, "Success"},
    {ERROR_GEN_FAILURE, "The device does not work"},
    {ERROR_BAD_DEVICE, "Not a device or a pipe"},
    {ERROR_MORE_DATA, "More data is available"},
    {ERROR_NO_MORE_ITEMS, "No more data is available"},
    {ERROR_INSUFFICIENT_BUFFER, "The data area passed is too small"},
    {ERROR_IO_INCOMPLETE, "The operation is still under way"},
    {ERROR_IO_PENDING, "The operation is under way"},
};

std::string StrError(int error) {
  char buffer[256];
  // The GNU strerror_r: its answer is in buffer or a static text.
  return ::strerror_r(error, buffer, sizeof buffer);
}

}  // namespace

DWORD LastError() { return ThreadLastError; }
void SetLastError(DWORD code) { ThreadLastError = code; }

bool Fail(DWORD code) {
  ThreadLastError = code;
  return false;
}

DWORD ErrorFromErrno(int error) {
  if (error == 0) return ERROR_SUCCESS;
  for (const TTwin& t : FileErrors)
    if (t.Errno == error) return t.Code;
  return ErrnoError(error);
}

DWORD SocketError(int error) {
  for (const TTwin& t : SocketErrors)
    if (t.Errno == error) return t.Code;
  return ErrorFromErrno(error);
}

DWORD LookupFailure(int eai, int error) {
  if (eai == EAI_SYSTEM) return SocketError(error);
  for (const TTwin& t : LookupTwins)
    if (t.Errno == eai) return t.Code;
  return LookupError(eai);
}

std::string ErrorText(DWORD code, const TReasonTexts& reasons) {
  if (IsErrorOfKind(code, ErrnoErrors)) return StrError(ErrorDetail(code));
  if (IsErrorOfKind(code, LookupErrors)) return ::gai_strerror(-ErrorDetail(code));
  if (auto text = reasons.Text(code)) return *text;
  for (const TTwin& t : LookupTwins)
    if (t.Code == code) return ::gai_strerror(t.Errno);
  for (const TTwin& t : SocketErrors)
    if (t.Code == code) return StrError(t.Errno);
  for (const TTwin& t : FileErrors)
    if (t.Code == code) return StrError(t.Errno);
  for (const TWords& w : OwnWords)
    if (w.Code == code) return w.Text;
  return "Unknown error " + std::to_string(code);
}

}  // namespace vornex::posix
