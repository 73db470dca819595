#include "dialogs/ComSetupForm.h"

#include <cstddef>
#include <string>
#include <vector>

#include "comm/SettingText.h"

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

// The chosen item's setting; for a typed text, the setting it names.
template <typename T, std::size_t N>
std::optional<T> Chosen(const TComboBox& box, const TChoice<T> (&choices)[N], bool typed,
                        std::optional<T> (*ofText)(const std::string&)) {
  const int index = box.ItemIndex();
  if (index >= 0 && static_cast<std::size_t>(index) < N) return choices[index].Value;
  if (typed) return ofText(box.Text());
  return std::nullopt;
}

// A line for a typed text that names no setting.
template <typename T>
std::string TypingError(const TComboBox& box, bool typed, std::optional<T> (*ofText)(const std::string&),
                        const char* what, const std::string& valid) {
  if (box.ItemIndex() >= 0 || !typed || ofText(box.Text())) return {};
  return std::string(what) + " \"" + box.Text() + "\" is not one of " + valid + "; it stays as it was.\n";
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
  // Typing clears the chosen item, picking sets it: the last of the two
  // decides what Ok applies.
  CBBaudRate.OnChange = [this] { BaudTyped = CBBaudRate.ItemIndex() < 0; };
  CBDataBits.OnChange = [this] { DataTyped = CBDataBits.ItemIndex() < 0; };
  CBParity.OnChange = [this] { ParityTyped = CBParity.ItemIndex() < 0; };
  CBStopBits.OnChange = [this] { StopTyped = CBStopBits.ItemIndex() < 0; };
  CBFlowControl.OnChange = [this] { FlowTyped = CBFlowControl.ItemIndex() < 0; };
}

std::optional<TBaudRate> TComSetupForm::ChosenBaudRate() const {
  return Chosen(CBBaudRate, BaudRates, BaudTyped, BaudRateOfText);
}
std::optional<TDataBits> TComSetupForm::ChosenDataBits() const {
  return Chosen(CBDataBits, DataBitsList, DataTyped, DataBitsOfText);
}
std::optional<TParity> TComSetupForm::ChosenParity() const {
  return Chosen(CBParity, Parities, ParityTyped, ParityOfText);
}
std::optional<TStopBits> TComSetupForm::ChosenStopBits() const {
  return Chosen(CBStopBits, StopBitsList, StopTyped, StopBitsOfText);
}
std::optional<TFlowControl> TComSetupForm::ChosenFlowControl() const {
  return Chosen(CBFlowControl, FlowControls, FlowTyped, FlowControlOfText);
}

std::string TComSetupForm::TypingErrors() const {
  std::string text = TypingError(CBBaudRate, BaudTyped, BaudRateOfText, "Baud rate", ValidBaudRates()) +
                     TypingError(CBDataBits, DataTyped, DataBitsOfText, "Data bits", ValidDataBits()) +
                     TypingError(CBParity, ParityTyped, ParityOfText, "Parity", ValidParities()) +
                     TypingError(CBStopBits, StopTyped, StopBitsOfText, "Stop bits", ValidStopBits()) +
                     TypingError(CBFlowControl, FlowTyped, FlowControlOfText, "Flow control",
                                 ValidFlowControls());
  if (!text.empty()) text.pop_back();
  return text;
}

}  // namespace vornex
