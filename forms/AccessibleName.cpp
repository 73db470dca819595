#include "forms/AccessibleName.h"

#include <cstdlib>

namespace vornex {

namespace {

// How far a label may stand from the control it names, in pixels.
constexpr int RowSlack = 6;
constexpr int AboveReach = 28;
constexpr int ColumnSlack = 8;

std::string Cleaned(std::string caption) {
  while (!caption.empty() && (caption.back() == ' ' || caption.back() == ':')) caption.pop_back();
  std::size_t first = caption.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : caption.substr(first);
}

bool HasLetter(const std::string& text) {
  for (char c : text)
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return true;
  return false;
}

bool Names(TControlKind kind) { return kind == TControlKind::Edit || kind == TControlKind::ComboBox; }

}  // namespace

const TControl* AccessibleLabelOf(const TControl& control) {
  if (!Names(control.Kind()) || !control.Parent()) return nullptr;
  const TRect& r = control.Bounds();
  const TLabel* beside = nullptr;
  const TLabel* above = nullptr;
  int inputs = 0;
  for (const TControl* sibling : control.Parent()->Children()) {
    if (Names(sibling->Kind())) ++inputs;
    if (sibling->Kind() != TControlKind::Label) continue;
    const auto* label = static_cast<const TLabel*>(sibling);
    // A label that shows a value ("0", "_") names nothing.
    if (!HasLetter(label->Caption())) continue;
    const TRect& l = label->Bounds();
    if (l.Left < r.Left && l.Top >= r.Top - RowSlack && l.Top < r.Top + r.Height) {
      if (!beside || l.Left > beside->Bounds().Left) beside = label;
    } else if (l.Top < r.Top && r.Top - l.Top <= AboveReach && std::abs(l.Left - r.Left) <= ColumnSlack) {
      if (!above || l.Top > above->Bounds().Top) above = label;
    }
  }
  if (beside) return beside;
  if (above) return above;
  if (inputs == 1 && control.Parent()->Kind() == TControlKind::GroupBox) return control.Parent();
  return nullptr;
}

std::string AccessibleNameOf(const TControl& control) {
  if (!control.AccessibleName().empty()) return control.AccessibleName();
  const TControl* label = AccessibleLabelOf(control);
  if (!label) return {};
  if (label->Kind() == TControlKind::Label) return Cleaned(static_cast<const TLabel*>(label)->Caption());
  return Cleaned(static_cast<const TGroupBox*>(label)->Caption());
}

}  // namespace vornex
