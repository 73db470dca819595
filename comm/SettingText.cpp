#include "comm/SettingText.h"

#include <cstddef>

#include "forms/Convert.h"

namespace vornex {

namespace {

template <typename T>
struct TName {
  const char* Text;
  T Value;
};

constexpr TName<TDataBits> DataBitsNames[] = {{"4", da4}, {"5", da5}, {"6", da6}, {"7", da7}, {"8", da8}};
constexpr TName<TParity> ParityNames[] = {
    {"None", paNone}, {"Odd", paOdd}, {"Even", paEven}, {"Mark", paMark}, {"Space", paSpace}};
constexpr TName<TStopBits> StopBitsNames[] = {{"1", sb10}, {"1.5", sb15}, {"1,5", sb15}, {"2", sb20}};
// The first name of each member is the one a message gives.
constexpr TName<TFlowControl> FlowNames[] = {
    {"None", fcNone},         {"Hardware", fcCTS},      {"RTS/CTS", fcCTS},     {"XON/XOFF", fcSoftware},
    {"XONXOFF", fcSoftware}, {"Software", fcSoftware}, {"DTR/DSR", fcDTR},     {"DTR", fcDTR}};

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

template <typename T, std::size_t N>
std::optional<T> Find(const TName<T> (&names)[N], const std::string& text) {
  const std::string wanted = UpperCase(Trimmed(text));
  for (const auto& n : names)
    if (UpperCase(n.Text) == wanted) return n.Value;
  return std::nullopt;
}

// Each member once, by its first name.
template <typename T, std::size_t N>
std::string List(const TName<T> (&names)[N]) {
  std::string list;
  for (std::size_t i = 0; i < N; ++i) {
    bool seen = false;
    for (std::size_t j = 0; j < i; ++j) seen = seen || names[j].Value == names[i].Value;
    if (seen) continue;
    list += (list.empty() ? "" : ", ") + std::string(names[i].Text);
  }
  return list;
}

}  // namespace

std::optional<TBaudRate> BaudRateOfText(const std::string& text) {
  const std::string wanted = Trimmed(text);
  for (std::size_t i = 0; i < std::size(BaudRateValue); ++i)
    if (std::to_string(BaudRateValue[i]) == wanted) return static_cast<TBaudRate>(i);
  return std::nullopt;
}

std::optional<TDataBits> DataBitsOfText(const std::string& text) { return Find(DataBitsNames, text); }
std::optional<TParity> ParityOfText(const std::string& text) { return Find(ParityNames, text); }
std::optional<TStopBits> StopBitsOfText(const std::string& text) { return Find(StopBitsNames, text); }
std::optional<TFlowControl> FlowControlOfText(const std::string& text) { return Find(FlowNames, text); }

std::string ValidBaudRates() {
  std::string list;
  for (DWORD rate : BaudRateValue) list += (list.empty() ? "" : ", ") + std::to_string(rate);
  return list;
}
std::string ValidDataBits() { return List(DataBitsNames); }
std::string ValidParities() { return List(ParityNames); }
std::string ValidStopBits() { return List(StopBitsNames); }
std::string ValidFlowControls() { return List(FlowNames); }

}  // namespace vornex
