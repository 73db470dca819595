// The port settings dialog: line settings of the serial port, chosen from
// fixed lists. Created once, hidden, and reused; each box keeps what the
// user last chose or typed.
#pragma once

#include <optional>

#include "comm/CommTypes.h"
#include "forms/Controls.h"
#include "forms/Form.h"
#include "forms/Host.h"

namespace vornex {

class TComSetupForm : public TForm {
 public:
  explicit TComSetupForm(THost& host);

  TGroupBox GroupBox1{this, "GroupBox1", "Com Port Setting", {0, 0, 200, 198}};
  TLabel Label1{&GroupBox1, "Label1", "Baud Rate :", 35, 42};
  TComboBox CBBaudRate{&GroupBox1, "CBBaudRate", "9600", {94, 38, 88, 21}};
  TLabel Label2{&GroupBox1, "Label2", "Data Bits :", 42, 70};
  TComboBox CBDataBits{&GroupBox1, "CBDataBits", "8", {94, 63, 88, 21}};
  TLabel Label3{&GroupBox1, "Label3", "Parity :", 57, 91};
  TComboBox CBParity{&GroupBox1, "CBParity", "None", {94, 88, 88, 21}};
  TLabel Label4{&GroupBox1, "Label4", "Stop Bits :", 43, 115};
  TComboBox CBStopBits{&GroupBox1, "CBStopBits", "1", {94, 112, 88, 21}};
  TLabel Label5{&GroupBox1, "Label5", "Flow Control :", 29, 140};
  TComboBox CBFlowControl{&GroupBox1, "CBFlowControl", "Hardware", {94, 137, 88, 21}};
  TButton Button1{this, "Button1", "Ok", {52, 203, 52, 18}};
  TButton Button2{this, "Button2", "Cancel", {108, 203, 52, 18}};

  // Ok: the result is already set by the button; the dialog hides.
  void Button1Click() { Hide(); }

  // The setting the chosen item of each box stands for, or nothing when no
  // item is chosen: a typed text is never read.
  std::optional<TBaudRate> ChosenBaudRate() const;
  std::optional<TDataBits> ChosenDataBits() const;
  std::optional<TParity> ChosenParity() const;
  std::optional<TStopBits> ChosenStopBits() const;
  std::optional<TFlowControl> ChosenFlowControl() const;
};

}  // namespace vornex
