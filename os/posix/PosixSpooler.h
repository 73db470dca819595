// The spooler's calls over CUPS: its destinations are the queues, a raw
// job goes through Create-Job and Send-Document, and GetJob reads the job's
// and its printer's state. libcups is bound at the first call: without it
// the system has no queue, and opening one says why. Internal to os/posix.
#pragma once

#include <memory>
#include <mutex>

#include "os/HandleTable.h"
#include "os/Spooler.h"
#include "os/posix/PosixKernel.h"

namespace vornex {

class TPosixSpooler : public TSpooler {
 public:
  explicit TPosixSpooler(posix::TKernel& kernel);
  ~TPosixSpooler() override;

  // Listing runs on the UI thread: a server that does not answer is given
  // up after this long.
  static constexpr int ListLimitMs = 1000;
  // Every other request: connecting, and each answer.
  static constexpr int RequestLimitMs = 10000;

  bool EnumPrintersA(DWORD flags, std::vector<TPrinterInfo>& printers) override;
  bool OpenPrinter2A(const std::string& printerName, THandle& printer, DWORD options) override;
  DWORD StartDocPrinterA(THandle printer, const std::string& docName, const std::string& datatype) override;
  bool WritePrinter(THandle printer, const void* data, DWORD count, DWORD& written) override;
  bool EndDocPrinter(THandle printer) override;
  bool GetJobA(THandle printer, DWORD jobId, TJobInfo& job) override;
  bool SetJobA(THandle printer, DWORD jobId, DWORD command) override;
  bool ClosePrinter(THandle printer) override;

  struct TApi;
  struct TPrinter;

 private:
  // libcups, or null (the loader's reason in LoadError).
  TApi* Cups();
  // A connection to the server; null with the reason as the last error.
  struct TConnection;
  std::unique_ptr<TConnection> Connect(int limitMs);
  // The last failure of libcups on this thread as an error code.
  DWORD CupsFailure();

  posix::TKernel& Kernel;
  std::mutex BindLock;
  bool BindTried = false;
  std::unique_ptr<TApi> Api;
  DWORD LoadError = ERROR_SUCCESS;
  THandleTable<TPrinter> Printers;
};

}  // namespace vornex
