// The port settings dialog: line settings of the serial port, chosen from
// fixed lists. Created once, hidden, and reused; each box keeps what the
// user last chose or typed.
#pragma once

#include <optional>
#include <string>

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

  // The setting each box stands for at Ok: its chosen item's; else, for a
  // text the user typed, the setting the text names; else nothing (a box
  // left as it was, or a typed text that names no setting).
  std::optional<TBaudRate> ChosenBaudRate() const;
  std::optional<TDataBits> ChosenDataBits() const;
  std::optional<TParity> ChosenParity() const;
  std::optional<TStopBits> ChosenStopBits() const;
  std::optional<TFlowControl> ChosenFlowControl() const;
  // The typed texts that name no setting, each with the values its box
  // takes, a line a box; empty when there are none.
  std::string TypingErrors() const;

 private:
  // The user typed in the box since choosing from its list.
  bool BaudTyped = false, DataTyped = false, ParityTyped = false, StopTyped = false, FlowTyped = false;
};

}  // namespace vornex
