// Text that came from a printer or the network (its replies, the names it
// announces), made harmless to show on a terminal, in a log or in a list:
// every control character it holds is written out as an escape, so that
// nothing it sends can clear a screen, move the cursor, hide a line or turn
// text around. Every front end shows such text through this one function.
#pragma once

#include <string>

namespace vornex {

// UTF-8 passes as it is, but for these, each written as an escape: C0
// controls other than newline and tab, DEL, and bytes that are no UTF-8 as
// \xNN; C1 controls, the line and paragraph separators and the marks,
// embeddings, overrides and isolates of bidirectional text as \uNNNN.
std::string ShownText(const std::string& text);
// The same for text that must stay on one line (an entry of a list, a
// reason within a sentence): newline and tab are escaped too.
std::string ShownLine(const std::string& text);

}  // namespace vornex
