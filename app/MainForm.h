// The main window: its controls as declared, the job, the worker, and the
// wiring of every event to its handler.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "comm/Comm.h"
#include "forms/Controls.h"
#include "forms/Form.h"
#include "forms/Host.h"
#include "os/Platform.h"
#include "ports/PortDiscovery.h"
#include "ports/PortSelection.h"
#include "upload/Job.h"
#include "upload/NetworkTransport.h"
#include "upload/ParallelTransport.h"
#include "upload/RxLog.h"
#include "upload/SerialTransport.h"
#include "upload/SpoolerTransport.h"
#include "upload/UploadEngine.h"
#include "upload/UsbPrinterTransport.h"
#include "upload/VendorUsbTransport.h"
#include "upload/Worker.h"

namespace vornex {

class TComSetupForm;

class TMainForm : public TForm {
 public:
  // The port list is filled at once, waiting up to networkWaitMs for the
  // search of the network.
  TMainForm(THost& host, TPlatform& platform, DWORD networkWaitMs = TPortDiscovery::DefaultNetworkWaitMs);
  ~TMainForm() override;

  TPlatform& Platform;
  // The port settings dialog, created after this window.
  TComSetupForm* ComSetupForm = nullptr;

  // Inside the client area.
  TGroupBox GroupBox4{this, "GroupBox4", "Select a Download File", {4, 4, 261, 53}};
  TEdit EdFileName{&GroupBox4, "EdFileName", "FileName", {7, 19, 150, 21}};
  TButton BuBrowse{&GroupBox4, "BuBrowse", "Browse", {160, 19, 65, 19}};
  TGroupBox GroupBox5{this, "GroupBox5", "Select a Port ", {4, 59, 261, 50}};
  TComboBox ComboBox1{&GroupBox5, "ComboBox1", "COM1", {7, 19, 150, 21}};
  TButton BuSetupCom{&GroupBox5, "BuSetupCom", "Port setup", {160, 19, 65, 19}};
  TGroupBox GroupBox3{this, "GroupBox3", "Process", {4, 111, 261, 61}};
  TLabel LaTOK{&GroupBox3, "LaTOK", "Loading", 33, 15};
  TLabel LaSendCount{&GroupBox3, "LaSendCount", "0", 100, 7};
  TLabel LaSendCountTotal{&GroupBox3, "LaSendCountTotal", "/1", 95, 19};
  TProgressBar PBPer{&GroupBox3, "PBPer", {11, 33, 150, 16}, 0, 100};
  TLabel LaSendPer{&GroupBox3, "LaSendPer", "0", 167, 33};
  TLabel Label5{&GroupBox3, "Label5", "%", 186, 33};
  TCheckBox CBLineCheck{&GroupBox3, "CBLineCheck", "Line Check", {183, 11, 74, 16}};
  TButton BuStart{this, "BuStart", "Start", {22, 175, 68, 23}};
  TButton BuCancel{this, "BuCancel", "Cancel", {93, 175, 70, 23}};
  TButton BuExit{this, "BuExit", "Exit", {165, 175, 64, 23}};

  // Outside the client area: they exist and work, but are not seen.
  TMemo Memo1{this, "Memo1", {"Memo1"}, {4, 200, 573, 333}};
  TCheckBox CBRepeat{this, "CBRepeat", "Repeat", {272, 8, 97, 17}};
  TLabel LaRepeat{this, "LaRepeat", "Repeat Delay", 268, 28};
  TEdit EdRepeatTime{this, "EdRepeatTime", "3", {272, 48, 33, 21}};
  TUpDown UpDown2{this, "UpDown2", EdRepeatTime, 1, 100, 3};
  TLabel Label4{this, "Label4", "Repeat Counts", 272, 76};
  TEdit EdRepeatCount{this, "EdRepeatCount", "1", {272, 100, 37, 21}};
  TUpDown UpDown1{this, "UpDown1", EdRepeatCount, 0, 100, 1};
  TLabel LaCount{this, "LaCount", "0", 276, 144};
  TEdit Edit1{this, "Edit1", "512", {276, 168, 81, 21}};
  TUpDown UpDown3{this, "UpDown3", Edit1, 16, 10240, 512, false};
  TButton Button1{this, "Button1", "Button1", {468, 100, 75, 25}};
  TGroupBox GroupBox2{this, "GroupBox2", "Printer State", {347, 211, 71, 86}};
  TLabel Label2{&GroupBox2, "Label2", "DSR", 11, 19};
  TLabel Label3{&GroupBox2, "Label3", "CTS", 11, 33};
  TLabel Label15{&GroupBox2, "Label15", "RING", 11, 48};
  TLabel Label16{&GroupBox2, "Label16", "RLSD", 11, 63};
  TLabel LaRTS{&GroupBox2, "LaRTS", "_", 51, 19};
  TLabel LaCTS{&GroupBox2, "LaCTS", "_", 51, 33};
  TLabel LaRing{&GroupBox2, "LaRing", "_", 51, 48};
  TLabel LaRlsd{&GroupBox2, "LaRlsd", "_", 51, 63};

  // Not visual.
  TOpenDialog OpenDialog1{this, "OpenDialog1", ".", ""};
  TTimer TiCheck{this, "TiCheck", 1000, false};
  TTimer TiRepeat{this, "TiRepeat", 3000, false};
  TTimer TiProbe{this, "TiProbe", TPortSelection::ProbeDelayMs, false};

  // The serial port.
  TComm Comm1;

  // The upload job and what carries it out.
  TUploadJob Job;
  TUploadEngine Upload;
  TSerialTransport Serial{Comm1, Job};
  TParallelTransport Parallel;
  TVendorUsbTransport VendorUsb;
  TUsbPrinterTransport UsbPrinter;
  TNetworkTransport Network;
  TSpoolerTransport PrintQueue;
  TRxLog RxLog{Comm1, Memo1};

  // The ports to choose from, and what the choice means.
  TPortDiscovery Ports{Platform, ComboBox1};
  TPortSelection Selection{Job,   Comm1, Ports, {ComboBox1, BuSetupCom, LaRTS, LaCTS, LaRing, LaRlsd, TiProbe},
                           Host(), Platform};

  void BuBrowseClick();
  void BuExitClick();
  void Memo1Change();
  // A file dropped on the window is named in the file box, as if typed;
  // several at once name none, as one file goes at a time.
  void FormDropFiles(const std::vector<std::string>& files);
  // Port setup: the settings dialog, applied to Comm1 on Ok.
  void BuSetupComClick();
  void ApplyPortSettings();

 private:
  void WireEvents();
  // Last, so it starts once everything it reaches exists.
  std::unique_ptr<RsThread> Worker;
};

}  // namespace vornex
