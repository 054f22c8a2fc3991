// Glyphs through FreeType: every face name maps to DejaVu Sans (weights of
// 600 and more to DejaVu Sans Bold), rendered in one bit per pixel with
// hinting, so that measures and pixels are deterministic.
#pragma once

#include "platform/gdi/gdi_internal.h"

namespace platform::gdi {

struct FontMetrics {
  int ascent = 0;
  int descent = 0;
  int height = 0;
  int internalLeading = 0;
  int aveCharWidth = 0;
  int maxCharWidth = 0;
};

// False when the font files cannot be loaded.
bool FontsAvailable();
FontMetrics MetricsOf(const LOGFONT& font);
// Sum of the advances of n characters.
int TextWidth(const LOGFONT& font, const WCHAR* text, int n);
// Draws n characters with the cell's top-left at (x, y) in the context's
// coordinates, clipped to the context and to `clip` when given.
void DrawTextRun(DeviceContext* dc, int x, int y, const WCHAR* text, int n, COLORREF colour,
                 const RECT* clip);

}  // namespace platform::gdi
