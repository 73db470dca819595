#include "ports/PortSelection.h"

#include <exception>

#include "forms/Convert.h"
#include "upload/NetworkAddress.h"
#include "upload/PortErrors.h"
#include "upload/PrintQueueName.h"
#include "upload/SerialTransport.h"

namespace vornex {

TPortSelection::TPortSelection(TUploadJob& job, TComm& comm1, const TPortDiscovery& ports,
                               const TSelectionControls& controls, THost& host, TPlatform& platform)
    : Job(job), Comm1(comm1), Ports(ports), C(controls), Host(host), Platform(platform) {}

void TPortSelection::ComboBox1Change() { Select(C.ComboBox1.ItemIndex() >= 0, false); }

bool TPortSelection::SelectForStart() { return Select(true, true); }

void TPortSelection::TiProbeTimer() { Select(true, false); }

std::string TPortSelection::UsbPrinterPath() const {
  return NamedUsbPrinter.empty() ? Ports.FirstUsbPrinterPath() : NamedUsbPrinter;
}

bool TPortSelection::Select(bool probeNow, bool starting) {
  // A probe still waiting was for an earlier text.
  C.TiProbe.SetEnabled(false);
  // The running transfer keeps its mode, and Comm1 may be its port: the
  // change is applied once the transfer is over.
  if (TransferRunning && TransferRunning()) {
    Pending = true;
    return true;
  }
  Pending = false;
  Job.DevicePath.clear();
  NamedUsbPrinter.clear();
  const std::string text = C.ComboBox1.Text();
  // An address or a print queue typed or picked names the printer, even
  // beside a USB one; there is no line to set up or probe.
  if (IsNetworkPortText(text)) {
    Job.TransferMode = tmNetwork;
    C.BuSetupCom.SetEnabled(false);
    return true;
  }
  if (IsPrintQueuePortText(text)) {
    Job.TransferMode = tmPrintQueue;
    C.BuSetupCom.SetEnabled(false);
    return true;
  }
  // A device's path means the device, whatever letters it holds, and even
  // beside a USB printer.
  const TDeviceKind kind = Platform.Devices().GetDeviceKind(text);
  if (kind != TDeviceKind::NotAPath)
    return SelectDevice(text, kind, Platform.GetLastError(), probeNow, starting);
  if (UsbPrinterTakesEveryPort && !Ports.UsbPrinterPaths().empty()) {
    Job.TransferMode = tmUsbPrinter;
    C.BuSetupCom.SetEnabled(false);
    return true;
  }
  if (!UsbPrinterTakesEveryPort) {
    NamedUsbPrinter = Ports.UsbPrinterPathOf(text);
    if (!NamedUsbPrinter.empty()) {
      Job.TransferMode = tmUsbPrinter;
      C.BuSetupCom.SetEnabled(false);
      return true;
    }
  }
  if (Contains(text, "COM")) {
    SelectSerial(text, probeNow);
  } else if (Contains(text, "LPT")) {
    Job.TransferMode = tmParallel;
    C.BuSetupCom.SetEnabled(false);
  } else if (Contains(text, "USB")) {
    Job.TransferMode = tmVendorUsb;
    C.BuSetupCom.SetEnabled(false);
  }
  return true;
}

bool TPortSelection::SelectDevice(const std::string& path, TDeviceKind kind, DWORD error, bool probeNow,
                                  bool starting) {
  switch (kind) {
    case TDeviceKind::Terminal:
      // A serial line, probed and paced as a COM port is.
      Job.DevicePath = path;
      SelectSerial(path, probeNow);
      return true;
    case TDeviceKind::UsbPrinter:
      NamedUsbPrinter = path;
      Job.TransferMode = tmUsbPrinter;
      C.BuSetupCom.SetEnabled(false);
      return true;
    case TDeviceKind::ParallelPort:
    case TDeviceKind::Fifo:
    case TDeviceKind::Socket:
      // Opened by its path, in blocks.
      Job.DevicePath = path;
      Job.TransferMode = tmParallel;
      C.BuSetupCom.SetEnabled(false);
      return true;
    default:
      break;
  }
  // Nothing there, or nothing to send to: said at Start, not while typing.
  C.BuSetupCom.SetEnabled(false);
  if (starting)
    Host.ShowMessage(
        CantOpenText(Platform, PortCalled(path), kind == TDeviceKind::NotFound ? error : ERROR_BAD_DEVICE));
  return false;
}

void TPortSelection::SelectSerial(const std::string& portText, bool probeNow) {
  Job.TransferMode = tmSerial;
  C.BuSetupCom.SetEnabled(true);
  if (probeNow)
    Probe(portText);
  else
    C.TiProbe.SetEnabled(true);
}

void TPortSelection::TransferEnded() {
  if (Pending) ComboBox1Change();
}

void TPortSelection::Probe(const std::string& portText) {
  // Someone else's open port is not ours to read or close.
  if (Comm1.Enabled() || Probing) return;
  Probing = true;
  struct TDone {
    bool& Flag;
    ~TDone() { Flag = false; }
  } done{Probing};
  Comm1.SetDeviceName(SerialDeviceName(portText, Job.DevicePath));
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
