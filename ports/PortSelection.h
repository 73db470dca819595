// The port chosen or typed in the port box decides the transfer mode; a COM
// port is probed at once for live modem lines.
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
};

class TPortSelection {
 public:
  TPortSelection(TUploadJob& job, TComm& comm1, const TPortDiscovery& ports,
                 const TSelectionControls& controls, THost& host);

  // True while a send loop runs; a change then waits until it has ended.
  std::function<bool()> TransferRunning;

  // The port box's change handler; Start calls it too.
  void ComboBox1Change();
  // After a transfer: a change made during it takes effect now.
  void TransferEnded();
  // The four modem lines of the open port into the labels; true when any
  // is on.
  bool ShowLineStates();
  bool ChangePending() const { return Pending; }

 private:
  void Probe(const std::string& portText);

  TUploadJob& Job;
  TComm& Comm1;
  const TPortDiscovery& Ports;
  TSelectionControls C;
  THost& Host;
  bool Pending = false;
};

}  // namespace vornex
