#include "forms/win32/FontCache.h"

namespace vornex::win32 {

TFontCache::~TFontCache() {
  for (auto& entry : Fonts) ::DeleteObject(entry.second);
}

HFONT TFontCache::Get(const TFont& font) {
  if (font.Name.empty() && font.Height == 0) return static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
  const auto key = std::make_pair(font.Name, font.Height);
  auto it = Fonts.find(key);
  if (it != Fonts.end()) return it->second;
  // A negative height asks for the character height, not the cell height,
  // which is how the declared heights are meant.
  HFONT made = ::CreateFontA(-(font.Height > 0 ? font.Height : 11), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                             FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                             DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                             font.Name.empty() ? "MS Shell Dlg" : font.Name.c_str());
  if (!made) return static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
  Fonts.emplace(key, made);
  return made;
}

}  // namespace vornex::win32
