// The print spooler in Windows' terms: the system's print queues, a raw job
// written to one, and the job followed until it ends. A failure leaves its
// code for GetLastError: ERROR_INVALID_PRINTER_NAME for a queue that is not
// there, ERROR_INVALID_DATATYPE for a data type the queue refuses,
// ERROR_INVALID_PARAMETER for a job that is no longer in the queue, and the
// system's own reason for the rest.
#pragma once

#include <string>
#include <vector>

#include "os/OwnedHandle.h"
#include "os/WinTypes.h"

namespace vornex {

inline constexpr DWORD PRINTER_ENUM_LOCAL = 0x00000002u;
inline constexpr DWORD PRINTER_ENUM_CONNECTIONS = 0x00000004u;
// OpenPrinter2's option: the job's state from the spooler itself, not from
// the copy a client keeps of a shared printer.
inline constexpr DWORD PRINTER_OPTION_NO_CACHE = 0x00000001u;

inline constexpr DWORD JOB_STATUS_PAUSED = 0x00000001u;
inline constexpr DWORD JOB_STATUS_ERROR = 0x00000002u;
inline constexpr DWORD JOB_STATUS_DELETING = 0x00000004u;
inline constexpr DWORD JOB_STATUS_SPOOLING = 0x00000008u;
inline constexpr DWORD JOB_STATUS_PRINTING = 0x00000010u;
inline constexpr DWORD JOB_STATUS_OFFLINE = 0x00000020u;
inline constexpr DWORD JOB_STATUS_PAPEROUT = 0x00000040u;
inline constexpr DWORD JOB_STATUS_PRINTED = 0x00000080u;
inline constexpr DWORD JOB_STATUS_DELETED = 0x00000100u;
inline constexpr DWORD JOB_STATUS_BLOCKED_DEVQ = 0x00000200u;
inline constexpr DWORD JOB_STATUS_USER_INTERVENTION = 0x00000400u;
inline constexpr DWORD JOB_STATUS_RESTART = 0x00000800u;
inline constexpr DWORD JOB_STATUS_COMPLETE = 0x00001000u;

inline constexpr DWORD JOB_CONTROL_CANCEL = 3;
inline constexpr DWORD JOB_CONTROL_DELETE = 5;

inline constexpr DWORD ERROR_INVALID_PRINTER_NAME = 1801;
inline constexpr DWORD ERROR_INVALID_DATATYPE = 1804;

// A print queue, as EnumPrinters level 2 tells of it.
struct TPrinterInfo {
  // The name OpenPrinter takes: a queue, a queue/instance on Linux, a
  // \\server\queue connection on Windows.
  std::string PrinterName;
  // pDriverName: the make and model (CUPS's printer-make-and-model).
  std::string DriverName;
  // pComment: what the queue's owner wrote about it (printer-info).
  std::string Comment;
};

// A job, as GetJob level 2 tells of it.
struct TJobInfo {
  DWORD JobId = 0;
  // JOB_STATUS_* bits; none set: queued.
  DWORD Status = 0;
  // pStatus: the spooler's or the printer's own words for the state, when
  // it has any (on Linux the printer's state reasons and message).
  std::string StatusText;
  DWORD PagesPrinted = 0;
};

class TSpooler {
 public:
  virtual ~TSpooler() = default;

  // The queues of EnumPrintersA at level 2 with these PRINTER_ENUM_* flags.
  virtual bool EnumPrintersA(DWORD flags, std::vector<TPrinterInfo>& printers) = 0;
  // OpenPrinter2A: options PRINTER_OPTION_*, 0 for a plain OpenPrinterA.
  virtual bool OpenPrinter2A(const std::string& printerName, THandle& printer, DWORD options) = 0;
  // StartDocPrinterA at level 1: the job's id, or 0 on failure.
  virtual DWORD StartDocPrinterA(THandle printer, const std::string& docName, const std::string& datatype) = 0;
  // Blocks until the spooler has taken the bytes; `written` says how many.
  virtual bool WritePrinter(THandle printer, const void* data, DWORD count, DWORD& written) = 0;
  virtual bool EndDocPrinter(THandle printer) = 0;
  virtual bool GetJobA(THandle printer, DWORD jobId, TJobInfo& job) = 0;
  // JOB_CONTROL_DELETE or JOB_CONTROL_CANCEL.
  virtual bool SetJobA(THandle printer, DWORD jobId, DWORD command) = 0;
  // End or delete a document first: what one left open comes to is the
  // system's to say.
  virtual bool ClosePrinter(THandle printer) = 0;
};

// Closes a printer handle when it goes out of scope.
using TPrinterHandle = TOwnedHandle<TSpooler, &TSpooler::ClosePrinter>;

}  // namespace vornex
