// The port text of a print queue: PRINTER:NAME, NAME as the system knows the
// queue (Labels_Dock3, office/raw for a CUPS instance, Labels Dock 3 or
// \\server\queue on Windows). The list shows a label after the name, as
// PRINTER:NAME (label); since a Windows name may hold spaces and
// parentheses itself, a text is tried as it stands before its last
// parenthesised part is taken for a label.
#pragma once

#include <string>
#include <vector>

namespace vornex {

inline constexpr char PrintQueuePortPrefix[] = "PRINTER:";

// The text names a print queue: it starts with PRINTER:, case counting as it
// does for the other port kinds.
bool IsPrintQueuePortText(const std::string& text);
// The names the text may stand for, the likelier first: the whole name,
// then the name without a trailing " (label)". Empty when it names none.
std::vector<std::string> PrintQueueNames(const std::string& portText);
// PRINTER:NAME, and " (label)" when there is one: an entry of the port list.
std::string PrintQueuePortText(const std::string& name, const std::string& label = "");

}  // namespace vornex
