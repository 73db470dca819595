// The serial settings as people write them, in the settings dialog's boxes
// and on the command line: a text names a member of an enumeration, or
// nothing. Case and blanks around the text do not count.
#pragma once

#include <optional>
#include <string>

#include "comm/CommTypes.h"

namespace vornex {

// Every rate of TBaudRate by its number: "115200".
std::optional<TBaudRate> BaudRateOfText(const std::string& text);
// "4" to "8".
std::optional<TDataBits> DataBitsOfText(const std::string& text);
// "None", "Odd", "Even", "Mark", "Space".
std::optional<TParity> ParityOfText(const std::string& text);
// "1", "1.5" (or "1,5"), "2".
std::optional<TStopBits> StopBitsOfText(const std::string& text);
// "None"; "Hardware" or "RTS/CTS"; "XON/XOFF", "XONXOFF" or "Software";
// "DTR/DSR" or "DTR".
std::optional<TFlowControl> FlowControlOfText(const std::string& text);

// The values each takes, for a message: "110, 300, ..., 256000".
std::string ValidBaudRates();
std::string ValidDataBits();
std::string ValidParities();
std::string ValidStopBits();
std::string ValidFlowControls();

}  // namespace vornex
