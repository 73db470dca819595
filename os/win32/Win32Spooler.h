// The spooler's own calls (winspool). Internal to os/win32.
#pragma once

#include "os/ReasonTexts.h"
#include "os/Spooler.h"

namespace vornex {

class TWin32Spooler : public TSpooler {
 public:
  // A failure the spooler gives no reason for is given one from `reasons`.
  explicit TWin32Spooler(TReasonTexts& reasons) : Reasons(reasons) {}

  bool EnumPrintersA(DWORD flags, std::vector<TPrinterInfo>& printers) override;
  // OpenPrinter2A where Windows has it (Vista on), else OpenPrinterA.
  bool OpenPrinter2A(const std::string& printerName, THandle& printer, DWORD options) override;
  DWORD StartDocPrinterA(THandle printer, const std::string& docName, const std::string& datatype) override;
  bool WritePrinter(THandle printer, const void* data, DWORD count, DWORD& written) override;
  bool EndDocPrinter(THandle printer) override;
  bool GetJobA(THandle printer, DWORD jobId, TJobInfo& job) override;
  bool SetJobA(THandle printer, DWORD jobId, DWORD command) override;
  bool ClosePrinter(THandle printer) override;

 private:
  // False, with a reason when the spooler left none.
  bool Failed(DWORD usual = 0);

  TReasonTexts& Reasons;
};

}  // namespace vornex
