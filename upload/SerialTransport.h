// The serial transfer: the file in 16-byte pieces, each written once the port
// has reported its transmit buffer empty.
#pragma once

#include <string>

#include "comm/Comm.h"
#include "upload/Job.h"
#include "upload/SendLoop.h"

namespace vornex {

// A serial port component as the main window declares Comm1: the device
// name, write time-out, queue size, events and flow control that every
// serial transfer starts from.
void DeclareComm1(TComm& comm);

// What the serial port opens for a port text: \\.\COM1 for COM1; a tty's
// path (devicePath, set by port selection) as it stands.
std::string SerialDeviceName(const std::string& portText, const std::string& devicePath);

class TSerialTransport : public TSendLoop {
 public:
  static constexpr std::size_t PieceSize = 16;

  TSerialTransport(TComm& comm, TUploadJob& job) : Comm1(comm), Job(job) {}

  // Opens the port named in the port box, sends, lets the last piece drain,
  // and closes the port.
  void Send(TSendContext& c) override;
  void SendToSerialPort(TSendContext& c);
  // Comm1's transmit-empty handler, on the UI thread: the next piece may go.
  void Comm1TxEmpty();

 private:
  TComm& Comm1;
  TUploadJob& Job;
};

}  // namespace vornex
