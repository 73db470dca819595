#include "app/MainForm.h"

#include "app/Version.h"
#include "dialogs/ComSetupForm.h"

namespace vornex {

namespace {

TUploadControls ControlsOf(TMainForm& f) {
  return TUploadControls{f.Edit1,      f.EdFileName,   f.ComboBox1,     f.BuBrowse,
                         f.BuSetupCom, f.BuStart,      f.BuExit,        f.CBLineCheck,
                         f.GroupBox3,  f.LaTOK,        f.LaSendCount,   f.LaSendCountTotal,
                         f.LaSendPer,  f.PBPer,        f.EdRepeatTime,  f.EdRepeatCount,
                         f.CBRepeat,   f.LaCount,      f.TiCheck,       f.TiRepeat};
}

}  // namespace

TMainForm::TMainForm(THost& host, TPlatform& platform, DWORD networkWaitMs)
    : TForm(host, "MainForm", std::string("ZUV Vornex ") + TitleVersion, {150, 113, 267, 201}),
      Platform(platform),
      Comm1(platform, host),
      Upload(Job, ControlsOf(*this), host, platform) {
  BorderStyle = TBorderStyle::Single;
  SystemMenu = true;
  MinimizeBox = true;
  SetFont({"MS Sans Serif", 11});
  BuStart.SetFont({"Arial", 15});
  BuCancel.SetFont({"Arial", 15});
  BuExit.SetFont({"Arial", 16});
  CBLineCheck.SetVisible(false);
  CBLineCheck.SetChecked(true);
  CBLineCheck.SetHint("Check if Line is break");
  PBPer.Smooth = true;
  // The only box with no caption beside it to read out.
  Edit1.SetAccessibleName("Block Size");

  DeclareComm1(Comm1);

  Upload.SetSendLoop(tmSerial, &Serial);
  Upload.SetSendLoop(tmParallel, &Parallel);
  Upload.SetSendLoop(tmVendorUsb, &VendorUsb);
  Upload.SetSendLoop(tmUsbPrinter, &UsbPrinter);
  Upload.SetSendLoop(tmNetwork, &Network);
  Upload.SetSendLoop(tmPrintQueue, &PrintQueue);
  WireEvents();
  Ports.DetermineWindowsLevel();
  Ports.NetworkWaitMs = networkWaitMs;
  Ports.RefreshPortList();
  Worker = std::make_unique<RsThread>(host, Upload, platform);
}

TMainForm::~TMainForm() {
  // A send loop still running is told to stop; the worker is then ended
  // while the calls it hands to this thread keep being served.
  Upload.BuCancelClick();
  Worker.reset();
}

void TMainForm::WireEvents() {
  BuStart.OnClick = [this] { Upload.BuStartClick(); };
  BuCancel.OnClick = [this] { Upload.BuCancelClick(); };
  BuExit.OnClick = [this] { BuExitClick(); };
  BuBrowse.OnClick = [this] { BuBrowseClick(); };
  TiCheck.OnTimer = [this] { Upload.TiCheckTimer(); };
  TiRepeat.OnTimer = [this] { Upload.TiRepeatTimer(); };
  Memo1.OnChange = [this] { Memo1Change(); };
  Comm1.OnRxChar = [this](TThreadComm&, std::uint32_t count) { RxLog.Comm1RxChar(count); };
  Upload.PrinterReplied = [this](const std::uint8_t* bytes, std::size_t count) { RxLog.Add(bytes, count); };
  Upload.JobStateChanged = [this](const std::string& state) { Memo1.Add(state); };
  Upload.TransferNote = [this](const std::string& note) { Memo1.Add(note); };
  Comm1.OnTxEmpty = [this](TThreadComm&) { Serial.Comm1TxEmpty(); };
  BuSetupCom.OnClick = [this] { BuSetupComClick(); };
  ComboBox1.OnChange = [this] { Selection.ComboBox1Change(); };
  TiProbe.OnTimer = [this] { Selection.TiProbeTimer(); };
  ComboBox1.OnDropDown = [this] { Ports.ComboBox1DropDown(); };
  Button1.OnClick = [this] { Ports.Button1Click(); };
  OnDropFiles = [this](const std::vector<std::string>& files) { FormDropFiles(files); };

  Upload.SelectPort = [this] { return Selection.SelectForStart(); };
  // Taken at Start, on this thread: a drop-down later rebuilds the list
  // without touching the transfer's copy.
  Upload.ChosenUsbPrinterPath = [this] { return Selection.UsbPrinterPath(); };
  Upload.TransferEnded = [this] { Selection.TransferEnded(); };
  Selection.TransferRunning = [this] { return Upload.Busy(); };
  Ports.InUse = [this] {
    TPortDiscovery::TInUse use;
    if (Upload.Busy()) use = {Job.TransferMode, Job.UsbPrinterPath};
    return use;
  };
}

void TMainForm::BuBrowseClick() {
  if (OpenDialog1.Execute()) EdFileName.SetText(OpenDialog1.FileName);
}

void TMainForm::BuExitClick() { Close(); }

void TMainForm::FormDropFiles(const std::vector<std::string>& files) {
  // Where typing could not reach, a drop does not either.
  if (files.size() != 1 || !EdFileName.Reachable()) return;
  EdFileName.SetText(files.front());
}

void TMainForm::BuSetupComClick() {
  if (ComSetupForm && ComSetupForm->ShowModal() == mrOk) ApplyPortSettings();
}

void TMainForm::ApplyPortSettings() {
  const TComSetupForm& f = *ComSetupForm;
  if (auto v = f.ChosenBaudRate()) Comm1.SetBaudRate(*v);
  if (auto v = f.ChosenDataBits()) Comm1.SetDataBits(*v);
  if (auto v = f.ChosenParity()) Comm1.SetParity(*v);
  if (auto v = f.ChosenStopBits()) Comm1.SetStopBits(*v);
  if (auto v = f.ChosenFlowControl()) Comm1.ChooseFlowControl(*v);
  // A typed text that names no setting applied nothing; the user is told
  // which values its box takes.
  const std::string errors = f.TypingErrors();
  if (!errors.empty()) Host().ShowMessage(errors);
}

void TMainForm::Memo1Change() {
  // Emptied, not trimmed.
  if (Memo1.Lines().size() > 500) Memo1.Clear();
}

}  // namespace vornex
