// The name a screen reader gives a control that has no caption of its own
// (an edit or combo box): what a sighted user reads beside it.
#pragma once

#include <string>

#include "forms/Controls.h"

namespace vornex {

// For an edit or a combo box: the label on its row to its left, else the
// label just above it, else the group box it stands in alone; nullptr when
// nothing names it.
const TControl* AccessibleLabelOf(const TControl& control);
// The control's own accessible name if it has one, else the caption of
// AccessibleLabelOf without trailing blanks and colons; may be empty.
std::string AccessibleNameOf(const TControl& control);

}  // namespace vornex
