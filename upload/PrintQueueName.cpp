#include "upload/PrintQueueName.h"

#include <cctype>

namespace vornex {

namespace {

std::string Trimmed(const std::string& text) {
  std::size_t start = 0, end = text.size();
  while (start < end && std::isspace(static_cast<unsigned char>(text[start]))) ++start;
  while (end > start && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(start, end - start);
}

// Nothing in a list entry may break its line.
std::string OneLine(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 32 || c == 127) c = ' ';
  return text;
}

}  // namespace

bool IsPrintQueuePortText(const std::string& text) { return text.rfind(PrintQueuePortPrefix, 0) == 0; }

std::vector<std::string> PrintQueueNames(const std::string& portText) {
  std::vector<std::string> names;
  if (!IsPrintQueuePortText(portText)) return names;
  const std::string name = Trimmed(portText.substr(sizeof PrintQueuePortPrefix - 1));
  if (name.empty()) return names;
  names.push_back(name);
  // "NAME (label)": the label is the last parenthesised part after a space.
  if (name.back() == ')') {
    const std::size_t open = name.rfind(" (");
    if (open != std::string::npos) {
      const std::string bare = Trimmed(name.substr(0, open));
      if (!bare.empty()) names.push_back(bare);
    }
  }
  return names;
}

std::string PrintQueuePortText(const std::string& name, const std::string& label) {
  const std::string shown = Trimmed(OneLine(label));
  return PrintQueuePortPrefix + OneLine(name) + (shown.empty() ? "" : " (" + shown + ")");
}

}  // namespace vornex
