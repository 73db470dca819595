#include "ports/PortSelection.h"

#include <exception>

#include "forms/Convert.h"
#include "upload/NetworkAddress.h"
#include "upload/PrintQueueName.h"

namespace vornex {

TPortSelection::TPortSelection(TUploadJob& job, TComm& comm1, const TPortDiscovery& ports,
                               const TSelectionControls& controls, THost& host)
    : Job(job), Comm1(comm1), Ports(ports), C(controls), Host(host) {}

void TPortSelection::ComboBox1Change() { Select(C.ComboBox1.ItemIndex() >= 0); }

void TPortSelection::SelectForStart() { Select(true); }

void TPortSelection::TiProbeTimer() { Select(true); }

void TPortSelection::Select(bool probeNow) {
  // A probe still waiting was for an earlier text.
  C.TiProbe.SetEnabled(false);
  // The running transfer keeps its mode, and Comm1 may be its port: the
  // change is applied once the transfer is over.
  if (TransferRunning && TransferRunning()) {
    Pending = true;
    return;
  }
  Pending = false;
  // An address or a print queue typed or picked names the printer, even
  // beside a USB one; there is no line to set up or probe.
  if (IsNetworkPortText(C.ComboBox1.Text())) {
    Job.TransferMode = tmNetwork;
    C.BuSetupCom.SetEnabled(false);
    return;
  }
  if (IsPrintQueuePortText(C.ComboBox1.Text())) {
    Job.TransferMode = tmPrintQueue;
    C.BuSetupCom.SetEnabled(false);
    return;
  }
  if (!Ports.UsbPrinterPaths().empty()) {
    Job.TransferMode = tmUsbPrinter;
    C.BuSetupCom.SetEnabled(false);
    return;
  }
  const std::string text = C.ComboBox1.Text();
  if (Contains(text, "COM")) {
    Job.TransferMode = tmSerial;
    C.BuSetupCom.SetEnabled(true);
    if (probeNow)
      Probe(text);
    else
      C.TiProbe.SetEnabled(true);
  } else if (Contains(text, "LPT")) {
    Job.TransferMode = tmParallel;
    C.BuSetupCom.SetEnabled(false);
  } else if (Contains(text, "USB")) {
    Job.TransferMode = tmVendorUsb;
    C.BuSetupCom.SetEnabled(false);
  }
}

void TPortSelection::TransferEnded() {
  if (Pending) ComboBox1Change();
}

void TPortSelection::Probe(const std::string& portText) {
  // Someone else's open port is not ours to read or close.
  if (Comm1.Enabled()) return;
  Comm1.SetDeviceName("\\\\.\\" + portText);
  try {
    Comm1.Open();
  } catch (const std::exception&) {
    // Whether it opened is asked of Enabled below.
  }
  if (!Comm1.Enabled()) {
    Host.ShowMessage(PortCantOpenText);
    return;
  }
  if (!ShowLineStates()) Host.ShowMessage(DeviceNotFoundText);
  Comm1.Close();
}

bool TPortSelection::ShowLineStates() {
  // GetModemState: 1 CTS, 2 DSR, 3 RING, 4 RLSD.
  const bool dsr = Comm1.GetModemState(2);
  const bool cts = Comm1.GetModemState(1);
  const bool ring = Comm1.GetModemState(3);
  const bool rlsd = Comm1.GetModemState(4);
  C.LaRTS.SetCaption(dsr ? "1" : "0");
  C.LaCTS.SetCaption(cts ? "1" : "0");
  C.LaRing.SetCaption(ring ? "1" : "0");
  C.LaRlsd.SetCaption(rlsd ? "1" : "0");
  return dsr || cts || ring || rlsd;
}

}  // namespace vornex
