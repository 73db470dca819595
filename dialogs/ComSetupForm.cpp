#include "dialogs/ComSetupForm.h"

#include <cstddef>

namespace vornex {

namespace {

// The boxes' items stand in this order (parity and flow control
// alphabetically, not in the order of the enumerations).
constexpr TBaudRate BaudRates[] = {br9600, br19200, br57600};
constexpr TDataBits DataBitsList[] = {da4, da5, da6, da7, da8};
constexpr TParity Parities[] = {paEven, paMark, paNone, paOdd, paSpace};
constexpr TStopBits StopBitsList[] = {sb10, sb15, sb20};
constexpr TFlowControl FlowControls[] = {fcCTS, fcNone};

template <typename T, std::size_t N>
std::optional<T> Chosen(const TComboBox& box, const T (&settings)[N]) {
  const int index = box.ItemIndex();
  if (index < 0 || static_cast<std::size_t>(index) >= N) return std::nullopt;
  return settings[index];
}

}  // namespace

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

std::optional<TBaudRate> TComSetupForm::ChosenBaudRate() const { return Chosen(CBBaudRate, BaudRates); }
std::optional<TDataBits> TComSetupForm::ChosenDataBits() const { return Chosen(CBDataBits, DataBitsList); }
std::optional<TParity> TComSetupForm::ChosenParity() const { return Chosen(CBParity, Parities); }
std::optional<TStopBits> TComSetupForm::ChosenStopBits() const { return Chosen(CBStopBits, StopBitsList); }
std::optional<TFlowControl> TComSetupForm::ChosenFlowControl() const {
  return Chosen(CBFlowControl, FlowControls);
}

}  // namespace vornex
