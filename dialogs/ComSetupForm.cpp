#include "dialogs/ComSetupForm.h"

#include <cstddef>
#include <string>
#include <vector>

namespace vornex {

namespace {

// Each box's items with the setting each stands for, in the boxes' order
// (parity and flow control alphabetically, not in the order of the
// enumerations).
template <typename T>
struct TChoice {
  const char* Text;
  T Value;
};
constexpr TChoice<TBaudRate> BaudRates[] = {{"9600", br9600}, {"19200", br19200}, {"57600", br57600}};
constexpr TChoice<TDataBits> DataBitsList[] = {{"4", da4}, {"5", da5}, {"6", da6}, {"7", da7}, {"8", da8}};
constexpr TChoice<TParity> Parities[] = {
    {"Even", paEven}, {"Mark", paMark}, {"None", paNone}, {"Odd", paOdd}, {"Space", paSpace}};
constexpr TChoice<TStopBits> StopBitsList[] = {{"1", sb10}, {"1.5", sb15}, {"2", sb20}};
constexpr TChoice<TFlowControl> FlowControls[] = {{"Hardware", fcCTS}, {"None", fcNone}};

template <typename T, std::size_t N>
void Fill(TComboBox& box, const TChoice<T> (&choices)[N]) {
  std::vector<std::string> items;
  for (const auto& c : choices) items.emplace_back(c.Text);
  box.SetItems(items);
}

template <typename T, std::size_t N>
std::optional<T> Chosen(const TComboBox& box, const TChoice<T> (&choices)[N]) {
  const int index = box.ItemIndex();
  if (index < 0 || static_cast<std::size_t>(index) >= N) return std::nullopt;
  return choices[index].Value;
}

}  // namespace

TComSetupForm::TComSetupForm(THost& host)
    : TForm(host, "ComSetupForm", "Setup Form", {297, 84, 208, 248}) {
  BorderStyle = TBorderStyle::Dialog;
  SystemMenu = false;
  MinimizeBox = false;
  AutoSize = true;
  SetFont({"MS Sans Serif", 10});
  Fill(CBBaudRate, BaudRates);
  Fill(CBDataBits, DataBitsList);
  Fill(CBParity, Parities);
  Fill(CBStopBits, StopBitsList);
  Fill(CBFlowControl, FlowControls);
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
