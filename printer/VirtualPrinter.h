// A printer without hardware: the far ends a real printer would have, made
// in a folder of its own. A pseudo-terminal stands for the serial port, FIFOs
// for the parallel port and a USB printer (with a sysfs entry so discovery
// lists it), the stand-in maker's library writes into a file it watches, and
// a TCP listener on 127.0.0.1 is the printer on the network (one connection
// a transfer). It reports each transfer it receives: the port, the byte
// count, SHA-256.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vornex::printer {

struct TPrinterOptions {
  // Where its devices are made; empty: a new folder under /tmp.
  std::string Dir;
  // The serial line's speed in bytes a second, from the first byte after
  // any pause; 0: as fast as they come.
  std::size_t SerialRate = 0;
  // Sent back on the serial line after each file ...
  std::string Reply = "OK;";
  // ... or, when not 0, once a transfer has brought this many bytes.
  std::size_t ReplyAt = 0;
  // A USB printer as well (while one is present, Vornex sends to it
  // whatever the port box says).
  bool Usb = true;
  // The maker's USB library's device too.
  bool Vendor = true;
  // The network printer: its port on 127.0.0.1 (0: a free one), whether it
  // takes a connection and then reads nothing, and after how many bytes of
  // a connection it resets it (0: never).
  bool Tcp = true;
  std::uint16_t TcpPort = 0;
  bool TcpStall = false;
  std::uint64_t TcpResetAfter = 0;
  // As many network printers, each a listener of its own (on TcpPort and
  // the ports after it, or free ones), all alike: a fleet.
  std::size_t TcpListeners = 1;
  // Each network printer reads this many bytes a second; 0: as fast as
  // they come.
  std::size_t TcpRate = 0;
  // A pause this long ends a transfer.
  int IdleMs = 300;
  // The USB printer's vendor and product IDs: the maker's, so that
  // discovery lists it.
  std::uint16_t UsbVendorId = 0x2A3C;
  std::uint16_t UsbProductId = 0x0002;
};

struct TReceived {
  std::string Port;  // COM1, LPT1, USB, ZUV USB0, TCP
  std::uint64_t Bytes = 0;
  std::string Sha256;
  // When its first byte came.
  std::chrono::steady_clock::time_point FirstByte;
};

class TVirtualPrinter {
 public:
  explicit TVirtualPrinter(TPrinterOptions options);
  ~TVirtualPrinter();
  TVirtualPrinter(const TVirtualPrinter&) = delete;
  TVirtualPrinter& operator=(const TVirtualPrinter&) = delete;

  const std::string& Dir() const { return Options.Dir; }
  // The device map that points Vornex's COM1 and LPT1 here.
  std::string DeviceMap() const;
  // The port text that reaches the network printer: TCP:127.0.0.1:PORT.
  std::string TcpPortText() const;
  std::uint16_t TcpPort() const { return ListeningPort; }
  // Every network printer's port text, the first one's first. Reports name
  // them TCP, TCP2, TCP3...
  std::vector<std::string> TcpPortTexts() const;
  // Everything Vornex needs to find this printer, as NAME=VALUE lines.
  std::vector<std::string> Environment() const;
  // The same as shell commands, each value quoted: pasted into a shell or
  // sourced, a ';' or a blank in a value stays in it.
  std::vector<std::string> ShellExports() const;
  // ShellExports, written as a file a shell can source.
  void WriteEnvFile(const std::string& path) const;

  std::vector<TReceived> Transfers();
  // Waits until at least n transfers have been received in all.
  bool WaitForTransfers(std::size_t n, int timeoutMs = 30000);
  // Bytes of the transfer in progress on a port.
  std::uint64_t Pending(const std::string& port);
  // Called on the printer's own thread for every transfer received.
  void SetOnTransfer(std::function<void(const TReceived&)> callback);

  // Stops or resumes taking bytes from a port.
  void SetReading(const std::string& port, bool on);
  // The far end goes away (a closed pseudo-terminal, a FIFO without its
  // reader, a network printer switched off: its connection reset, new ones
  // refused), ending the transfer in progress, and comes back.
  void Vanish(const std::string& port);
  void Return(const std::string& port);

  struct TPort;

 private:
  void Run();
  void Finish(TPort& port);
  // The reply, on the serial line or the connection.
  void Reply(TPort& port);
  // Bytes that came in on a port.
  void Take(TPort& port, const std::uint8_t* data, std::size_t n, std::chrono::steady_clock::time_point now);
  // The network printer: a connection taken, and its end.
  void Accept(TPort& port);
  void EndConnection(TPort& port, bool reset);
  TPort* Find(const std::string& name);
  // Bytes a second the port takes; 0: as fast as they come.
  std::size_t RateOf(const TPort& port) const;
  void Kick();

  TPrinterOptions Options;
  bool OwnDir = false;
  std::vector<std::unique_ptr<TPort>> Ports;
  std::mutex Lock;
  std::condition_variable Changed;
  std::vector<TReceived> Received;
  std::function<void(const TReceived&)> OnTransfer;
  int WakeFd = -1;
  std::uint16_t ListeningPort = 0;
  bool Stop = false;
  std::thread Loop;
};

}  // namespace vornex::printer
