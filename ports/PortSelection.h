// The port chosen or typed in the port box decides the transfer mode; a COM
// port is probed for live modem lines: at once when picked from the list or
// at Start, and once typed text has stood still for a moment, so that no
// message box comes up while the user types (and takes a keystroke).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "comm/Comm.h"
#include "forms/Controls.h"
#include "forms/Host.h"
#include "ports/PortDiscovery.h"
#include "upload/Job.h"

namespace vornex {

inline constexpr char DeviceNotFoundText[] = "Device not found";
inline constexpr char PortCantOpenText[] = "Port can't Open";

// The main window's controls selection reads and writes.
struct TSelectionControls {
  TComboBox& ComboBox1;
  TButton& BuSetupCom;
  TLabel& LaRTS;  // shows DSR, as the caption beside it says
  TLabel& LaCTS;
  TLabel& LaRing;
  TLabel& LaRlsd;
  // Runs out once the typed text has stood still for ProbeDelayMs.
  TTimer& TiProbe;
};

class TPortSelection {
 public:
  TPortSelection(TUploadJob& job, TComm& comm1, const TPortDiscovery& ports,
                 const TSelectionControls& controls, THost& host, TPlatform& platform);

  static constexpr int ProbeDelayMs = 500;

  // True while a send loop runs; a change then waits until it has ended.
  std::function<bool()> TransferRunning;
  // The window's rule: while a USB printer is found, every port text but an
  // address or a device path sends to it. Off, the port given is the port
  // used, and a USB printer is named by its label (the command line).
  bool UsbPrinterTakesEveryPort = true;

  // The port box's change handler: the mode follows every edit; the probe
  // waits for the text to stand still, unless the port was picked.
  void ComboBox1Change();
  // Start's selection: the mode, and a COM port probed at once. False when
  // the port text is a path that is no port (a file, a folder, nothing):
  // that has been said, and nothing is to be sent.
  bool SelectForStart();
  // The USB printer a transfer in mode 4 sends to: the one the port text
  // names, else the first found.
  std::string UsbPrinterPath() const;
  // TiProbe's tick: the text has stood still.
  void TiProbeTimer();
  // After a transfer: a change made during it takes effect now.
  void TransferEnded();
  // The four modem lines of the open port into the labels; true when any
  // is on.
  bool ShowLineStates();
  bool ChangePending() const { return Pending; }

 private:
  bool Select(bool probeNow, bool starting);
  // A port text that is a device's path: its kind decides.
  bool SelectDevice(const std::string& path, TDeviceKind kind, DWORD error, bool probeNow, bool starting);
  void SelectSerial(const std::string& portText, bool probeNow);
  void Probe(const std::string& portText);

  TUploadJob& Job;
  TComm& Comm1;
  const TPortDiscovery& Ports;
  TSelectionControls C;
  THost& Host;
  TPlatform& Platform;
  bool Pending = false;
  // A probe is under way, its message perhaps on the screen: another one
  // started meanwhile (a timer or an event the message box lets through)
  // would stack a second box on it.
  bool Probing = false;
  // The USB printer the port text names, when it names one.
  std::string NamedUsbPrinter;
};

}  // namespace vornex
