// Text output and measuring: ExtTextOut, DrawText, GetTextExtentPoint32 and
// GetTextMetrics over the FreeType glyphs.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/gdi/gdi_internal.h"
#include "platform/gdi/text_render.h"

using namespace platform::gdi;

namespace {

std::u16string Slice(LPCWSTR text, int count) {
  if (!text) return std::u16string();
  if (count < 0) {
    size_t n = 0;
    while (text[n]) ++n;
    return std::u16string(text, n);
  }
  return std::u16string(text, (size_t)count);
}

// "&&" shows "&", "&x" shows x.
std::u16string StripPrefixes(const std::u16string& s) {
  std::u16string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == u'&' && i + 1 < s.size()) {
      ++i;
      out += s[i];
    } else if (s[i] != u'&') {
      out += s[i];
    }
  }
  return out;
}

int Width(DeviceContext* dc, const std::u16string& s) {
  return TextWidth(dc->font->font, s.data(), (int)s.size());
}

// Breaks text into lines at line feeds and, with word breaking, at spaces
// so that each line fits `width`.
std::vector<std::u16string> Lines(DeviceContext* dc, const std::u16string& text, bool single,
                                  bool wordBreak, int width) {
  std::vector<std::u16string> lines;
  if (single) {
    std::u16string s;
    for (WCHAR c : text) s += (c == u'\r' || c == u'\n') ? u' ' : c;
    lines.push_back(s);
    return lines;
  }
  std::u16string current;
  auto flush = [&](const std::u16string& paragraph) {
    if (!wordBreak) {
      lines.push_back(paragraph);
      return;
    }
    std::u16string line;
    size_t i = 0;
    while (i <= paragraph.size()) {
      size_t end = paragraph.find(u' ', i);
      if (end == std::u16string::npos) end = paragraph.size();
      std::u16string word = paragraph.substr(i, end - i);
      std::u16string candidate = line.empty() ? word : line + u" " + word;
      if (!line.empty() && Width(dc, candidate) > width) {
        lines.push_back(line);
        line = word;
      } else {
        line = candidate;
      }
      i = end + 1;
    }
    lines.push_back(line);
  };
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r') continue;
    if (text[i] == u'\n') {
      flush(current);
      current.clear();
    } else {
      current += text[i];
    }
  }
  flush(current);
  return lines;
}

std::u16string WithEllipsis(DeviceContext* dc, const std::u16string& s, int width) {
  if (Width(dc, s) <= width) return s;
  std::u16string cut = s;
  while (!cut.empty()) {
    cut.pop_back();
    if (Width(dc, cut + u"...") <= width) return cut + u"...";
  }
  return u"...";
}

}  // namespace

BOOL ExtTextOut(HDC hdc, int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT count,
                const int*) {
  std::lock_guard<std::recursive_mutex> lock(GdiLock());
  DeviceContext* dc = FindDC(hdc);
  if (!dc) return FALSE;
  if ((options & ETO_OPAQUE) && rect) FillSurfaceRect(dc, *rect, dc->bkColour);
  std::u16string s = Slice(text, text ? (int)count : 0);
  if (s.empty()) return TRUE;
  FontMetrics m = MetricsOf(dc->font->font);
  int width = Width(dc, s);
  const RECT* clip = (options & ETO_CLIPPED) ? rect : nullptr;
  if (dc->bkMode == OPAQUE) {
    RECT cell{x, y, x + width, y + m.height};
    if (clip) IntersectRect(&cell, &cell, clip);
    FillSurfaceRect(dc, cell, dc->bkColour);
  }
  DrawTextRun(dc, x, y, s.data(), (int)s.size(), dc->textColour, clip);
  return TRUE;
}

int DrawText(HDC hdc, LPCWSTR text, int count, RECT* rect, UINT format) {
  std::lock_guard<std::recursive_mutex> lock(GdiLock());
  DeviceContext* dc = FindDC(hdc);
  if (!dc || !rect) return 0;
  std::u16string s = Slice(text, count);
  if (!(format & DT_NOPREFIX)) s = StripPrefixes(s);
  FontMetrics m = MetricsOf(dc->font->font);
  bool single = (format & DT_SINGLELINE) != 0;
  int boxWidth = rect->right - rect->left;
  std::vector<std::u16string> lines = Lines(dc, s, single, (format & DT_WORDBREAK) != 0, boxWidth);
  if (format & DT_END_ELLIPSIS)
    for (auto& l : lines) l = WithEllipsis(dc, l, boxWidth);
  int height = m.height * (int)lines.size();
  if (format & DT_CALCRECT) {
    int widest = 0;
    for (auto& l : lines) widest = std::max(widest, Width(dc, l));
    rect->right = rect->left + widest;
    rect->bottom = rect->top + height;
    return height;
  }
  int top = rect->top;
  if (single && (format & DT_VCENTER)) top = rect->top + (rect->bottom - rect->top - m.height) / 2;
  else if (single && (format & DT_BOTTOM)) top = rect->bottom - m.height;
  const RECT* clip = (format & DT_NOCLIP) ? nullptr : rect;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::u16string& l = lines[i];
    int w = Width(dc, l);
    int x = rect->left;
    if (format & DT_CENTER) x = rect->left + (boxWidth - w) / 2;
    else if (format & DT_RIGHT) x = rect->right - w;
    int y = top + (int)i * m.height;
    if (dc->bkMode == OPAQUE) {
      RECT cell{x, y, x + w, y + m.height};
      if (clip) IntersectRect(&cell, &cell, clip);
      FillSurfaceRect(dc, cell, dc->bkColour);
    }
    DrawTextRun(dc, x, y, l.data(), (int)l.size(), dc->textColour, clip);
  }
  return height;
}

BOOL GetTextExtentPoint32(HDC hdc, LPCWSTR text, int count, SIZE* size) {
  std::lock_guard<std::recursive_mutex> lock(GdiLock());
  DeviceContext* dc = FindDC(hdc);
  if (!dc || !size || count < 0 || (!text && count > 0)) return FALSE;
  size->cx = TextWidth(dc->font->font, text, count);
  size->cy = MetricsOf(dc->font->font).height;
  return TRUE;
}

BOOL GetTextMetrics(HDC hdc, TEXTMETRIC* tm) {
  std::lock_guard<std::recursive_mutex> lock(GdiLock());
  DeviceContext* dc = FindDC(hdc);
  if (!dc || !tm) return FALSE;
  FontMetrics m = MetricsOf(dc->font->font);
  *tm = TEXTMETRIC{};
  tm->tmHeight = m.height;
  tm->tmAscent = m.ascent;
  tm->tmDescent = m.descent;
  tm->tmInternalLeading = m.internalLeading;
  tm->tmAveCharWidth = m.aveCharWidth;
  tm->tmMaxCharWidth = m.maxCharWidth;
  tm->tmWeight = dc->font->font.lfWeight ? dc->font->font.lfWeight : FW_NORMAL;
  tm->tmFirstChar = 0x20;
  tm->tmLastChar = 0xFFFC;
  tm->tmDefaultChar = u'?';
  tm->tmBreakChar = u' ';
  tm->tmPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
  tm->tmCharSet = DEFAULT_CHARSET;
  tm->tmDigitizedAspectX = tm->tmDigitizedAspectY = 96;
  return TRUE;
}
