#include "dialogs/ComSetupForm.h"

namespace vornex {

TComSetupForm::TComSetupForm(THost& host)
    : TForm(host, "ComSetupForm", "Setup Form", {297, 84, 208, 248}) {
  BorderStyle = TBorderStyle::Dialog;
  SystemMenu = false;
  MinimizeBox = false;
  AutoSize = true;
  SetFont({"MS Sans Serif", 10});
  CBBaudRate.SetItems({"9600", "19200", "57600"});
  CBDataBits.SetItems({"4", "5", "6", "7", "8"});
  CBParity.SetItems({"Even", "Mark", "None", "Odd", "Space"});
  CBStopBits.SetItems({"1", "1.5", "2"});
  CBFlowControl.SetItems({"Hardware", "None"});
  Button1.ModalResult = mrOk;
  Button2.ModalResult = mrCancel;
  Button2.Cancel = true;
  Button1.OnClick = [this] { Button1Click(); };
}

}  // namespace vornex
