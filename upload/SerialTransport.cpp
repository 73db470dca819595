#include "upload/SerialTransport.h"

#include <mutex>

#include "upload/PortErrors.h"

namespace vornex {

void DeclareComm1(TComm& comm) {
  comm.SetDeviceName("Com1");
  comm.WriteTimeout = 30000;
  comm.SetWriteBufSize(4096);
  comm.SetMonitorEvents(AllCommEvents);
  comm.SetFlowControl(fcCTS);
}

std::string SerialDeviceName(const std::string& portText, const std::string& devicePath) {
  return devicePath.empty() ? "\\\\.\\" + portText : devicePath;
}

void TSerialTransport::Send(TSendContext& c) {
  Job.TxReady = true;  // the first piece goes without waiting for an event
  Comm1.SetDeviceName(SerialDeviceName(Job.PortText, Job.DevicePath));
  Comm1.WriteAbortEvent = c.CancelEvent;
  try {
    Comm1.Open();
  } catch (...) {
    // A port that opened but refused its settings is not left open.
    Comm1.Close();
    throw;
  }
  // Not shown here: the port check at Start has said so already.
  if (!Comm1.Enabled())
    c.Job.StopReason = CantOpenText(c.Platform, PortCalled(Job.PortText), c.Platform.GetLastError());
  else
    Job.PortOpened = true;
  SendToSerialPort(c);
  c.Platform.Sleep(500);
  Comm1.Close();
}

void TSerialTransport::SendToSerialPort(TSendContext& c) {
  bool endOfData = false;
  do {
    {
      // Sleeps until the port has taken the last piece; a Cancel meanwhile
      // ends the loop, so a port that never reports stops nothing.
      std::unique_lock<std::mutex> hold(Job.TransferLock);
      Job.TxReadyChanged.wait(hold, [&] { return Job.TxReady.load() || Job.CancelRequested.load(); });
      if (!Job.TxReady) return;
    }
    std::uint8_t piece[PieceSize];
    const auto n = static_cast<std::int32_t>(Job.FileData.Read(piece, PieceSize));
    if (Job.FileData.AtEnd()) endOfData = true;
    std::lock_guard<std::mutex> hold(Job.TransferLock);
    Job.TxReady = false;
    const std::int32_t r = Comm1.Write(piece, static_cast<std::uint32_t>(n));
    if (r >= 0) Job.BytesSent += r;
    if (r != n && r >= 0 && !Job.CancelRequested)
      Job.StopReason = PortCalled(Job.PortText) + " stopped taking data.";
    if (r != n || Job.CancelRequested) return;
    if (endOfData) Job.TransferDone = true;
    Job.BlocksSent += 1;
  } while (!Job.TransferDone);
}

void TSerialTransport::Comm1TxEmpty() {
  {
    std::lock_guard<std::mutex> hold(Job.TransferLock);
    Job.TxReady = true;
  }
  Job.TxReadyChanged.notify_all();
}

}  // namespace vornex
