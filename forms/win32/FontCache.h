// Fonts by name and character height, made once and kept while the host
// lives. Internal to forms/win32.
#pragma once

#include <map>
#include <string>
#include <utility>

#include "forms/Controls.h"
#include "os/win32/WinApi.h"

namespace vornex::win32 {

class TFontCache {
 public:
  TFontCache() = default;
  TFontCache(const TFontCache&) = delete;
  TFontCache& operator=(const TFontCache&) = delete;
  ~TFontCache();

  // The font in force for a control; the system's dialog font when none is
  // declared.
  HFONT Get(const TFont& font);

 private:
  std::map<std::pair<std::string, int>, HFONT> Fonts;
};

}  // namespace vornex::win32
