#include "os/win32/Win32Spooler.h"

#include <cstddef>
#include <type_traits>
#include <vector>

#include "os/win32/WinApi.h"
#include <winspool.h>

namespace vornex {

using namespace win32;

namespace {

// The records are read as the spooler writes them: a header that sized or
// packed them otherwise would read the wrong fields, which a 64-bit run
// under Wine would never show for the 32-bit program.
constexpr bool Narrow = sizeof(void*) == 4;
static_assert(sizeof(::PRINTER_OPTIONS) == 8, "PRINTER_OPTIONS: cbSize, dwFlags");
static_assert(sizeof(::DOC_INFO_1A) == 3 * sizeof(void*), "DOC_INFO_1A: three strings");
static_assert(sizeof(::PRINTER_DEFAULTSA) == 3 * sizeof(void*), "PRINTER_DEFAULTSA: two pointers and an access mask");
static_assert(sizeof(::PRINTER_INFO_2A) == (Narrow ? 84 : 136), "PRINTER_INFO_2A as the spooler lays it out");
static_assert(offsetof(::PRINTER_INFO_2A, pDriverName) == 4 * sizeof(void*), "PRINTER_INFO_2A.pDriverName");
static_assert(offsetof(::PRINTER_INFO_2A, pComment) == 5 * sizeof(void*), "PRINTER_INFO_2A.pComment");
static_assert(sizeof(::JOB_INFO_2A) == (Narrow ? 104 : 160), "JOB_INFO_2A as the spooler lays it out");
static_assert(offsetof(::JOB_INFO_2A, pStatus) == (Narrow ? 44 : 88), "JOB_INFO_2A.pStatus");
static_assert(offsetof(::JOB_INFO_2A, Status) == (Narrow ? 52 : 104), "JOB_INFO_2A.Status");
static_assert(offsetof(::JOB_INFO_2A, PagesPrinted) == (Narrow ? 100 : 152), "JOB_INFO_2A.PagesPrinted");
// Found at run time, so that the program still starts where it is missing;
// the pointer is the declared one, calling convention and all.
using TOpenPrinter2A = decltype(&::OpenPrinter2A);
static_assert(std::is_same_v<TOpenPrinter2A, BOOL(WINAPI*)(LPCSTR, LPHANDLE, LPPRINTER_DEFAULTSA, PPRINTER_OPTIONS)>,
              "OpenPrinter2A as winspool exports it");

TOpenPrinter2A OpenPrinter2Entry() {
  static const TOpenPrinter2A entry = [] {
    HMODULE spooler = ::GetModuleHandleA("winspool.drv");
    return spooler
               ? reinterpret_cast<TOpenPrinter2A>(reinterpret_cast<void*>(::GetProcAddress(spooler, "OpenPrinter2A")))
               : nullptr;
  }();
  return entry;
}

std::string Text(const char* s) { return s ? s : ""; }


// The records of a level-2 query, asked twice: for the size, then for them.
template <typename TCall>
bool Records(std::vector<BYTE>& buffer, TCall call) {
  // A queue added between the two calls needs more room: asked again.
  for (int attempt = 0; attempt < 3; ++attempt) {
    ::DWORD needed = 0;
    ::SetLastError(ERROR_SUCCESS);
    if (call(buffer.empty() ? nullptr : buffer.data(), static_cast<::DWORD>(buffer.size()), &needed)) return true;
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0) return false;
    buffer.assign(needed, 0);
  }
  return false;
}

}  // namespace

// Wine's spooler fails some calls without a reason: GetJob and SetJob for a
// job it has handed to CUPS (Windows says ERROR_INVALID_PARAMETER of a job
// that is gone), EndDocPrinter when CUPS refuses the job. Each call clears
// the last error first, so that an earlier call's code is not taken for it.
bool TWin32Spooler::Failed(DWORD usual) {
  if (::GetLastError() == ERROR_SUCCESS)
    ::SetLastError(usual ? usual : Reasons.Code("the spooler refused it without saying why"));
  return false;
}

bool TWin32Spooler::EnumPrintersA(DWORD flags, std::vector<TPrinterInfo>& printers) {
  printers.clear();
  std::vector<BYTE> buffer;
  ::DWORD returned = 0;
  if (!Records(buffer, [&](LPBYTE into, ::DWORD size, ::DWORD* needed) {
        return ::EnumPrintersA(flags, nullptr, 2, into, size, needed, &returned) != FALSE;
      }))
    return Failed();
  if (buffer.empty()) return true;
  const auto* records = reinterpret_cast<const ::PRINTER_INFO_2A*>(buffer.data());
  for (::DWORD i = 0; i < returned; ++i)
    printers.push_back(
        TPrinterInfo{Text(records[i].pPrinterName), Text(records[i].pDriverName), Text(records[i].pComment)});
  return true;
}

bool TWin32Spooler::OpenPrinter2A(const std::string& printerName, THandle& printer, DWORD options) {
  printer = NoHandle;
  HANDLE h = nullptr;
  ::PRINTER_DEFAULTSA defaults{nullptr, nullptr, PRINTER_ACCESS_USE};
  std::string name = printerName;
  BOOL ok;
  ::SetLastError(ERROR_SUCCESS);
  if (TOpenPrinter2A open2 = options ? OpenPrinter2Entry() : nullptr) {
    // mingw-w64 numbers PRINTER_OPTION_NO_CACHE from 0; Windows's value is
    // the one in os/Spooler.h.
    ::PRINTER_OPTIONS o{sizeof(::PRINTER_OPTIONS), options};
    ok = open2(name.c_str(), &h, &defaults, &o);
  } else {
    ok = ::OpenPrinterA(name.data(), &h, &defaults);
  }
  if (!ok) return Failed();
  printer = T(h);
  return true;
}

DWORD TWin32Spooler::StartDocPrinterA(THandle printer, const std::string& docName, const std::string& datatype) {
  std::string doc = docName, type = datatype;
  ::DOC_INFO_1A info{doc.data(), nullptr, type.data()};
  ::SetLastError(ERROR_SUCCESS);
  const ::DWORD job = ::StartDocPrinterA(H(printer), 1, reinterpret_cast<LPBYTE>(&info));
  if (job == 0) Failed();
  return job;
}

bool TWin32Spooler::WritePrinter(THandle printer, const void* data, DWORD count, DWORD& written) {
  ::DWORD w = 0;
  ::SetLastError(ERROR_SUCCESS);
  const bool ok = ::WritePrinter(H(printer), const_cast<void*>(data), count, &w) != FALSE;
  written = w;
  return ok || Failed();
}

bool TWin32Spooler::EndDocPrinter(THandle printer) {
  ::SetLastError(ERROR_SUCCESS);
  return ::EndDocPrinter(H(printer)) != FALSE || Failed();
}

bool TWin32Spooler::GetJobA(THandle printer, DWORD jobId, TJobInfo& job) {
  std::vector<BYTE> buffer;
  if (!Records(buffer, [&](LPBYTE into, ::DWORD size, ::DWORD* needed) {
        return ::GetJobA(H(printer), jobId, 2, into, size, needed) != FALSE;
      }))
    return Failed(ERROR_INVALID_PARAMETER);
  if (buffer.size() < sizeof(::JOB_INFO_2A)) {
    ::SetLastError(ERROR_INVALID_DATA);
    return false;
  }
  const auto& record = *reinterpret_cast<const ::JOB_INFO_2A*>(buffer.data());
  job = TJobInfo{record.JobId, record.Status, Text(record.pStatus), record.PagesPrinted};
  return true;
}

bool TWin32Spooler::SetJobA(THandle printer, DWORD jobId, DWORD command) {
  ::SetLastError(ERROR_SUCCESS);
  return ::SetJobA(H(printer), jobId, 0, nullptr, command) != FALSE || Failed(ERROR_INVALID_PARAMETER);
}

bool TWin32Spooler::ClosePrinter(THandle printer) { return ::ClosePrinter(H(printer)) != FALSE; }

}  // namespace vornex
