#include "platform/gdi/text_render.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <tuple>

#include "platform/gdi/pixel_rows.h"

namespace platform::gdi {
namespace {

struct Glyph {
  int advance = 0;
  int left = 0;
  int top = 0;
  int width = 0;
  int rows = 0;
  int pitch = 0;
  std::vector<uint8_t> bits;
};

struct FontFiles {
  FT_Library library = nullptr;
  FT_Face faces[2] = {nullptr, nullptr};
  bool tried = false;
  bool ok = false;
};

FontFiles& Files() {
  static FontFiles files;
  if (!files.tried) {
    files.tried = true;
    if (FT_Init_FreeType(&files.library) == 0) {
      const char* env = std::getenv("QUIVRA_FONT_DIR");
      std::string dir = env && *env ? env : "/usr/share/fonts/truetype/dejavu";
      const char* names[2] = {"/DejaVuSans.ttf", "/DejaVuSans-Bold.ttf"};
      files.ok = true;
      for (int i = 0; i < 2; ++i)
        if (FT_New_Face(files.library, (dir + names[i]).c_str(), 0, &files.faces[i]) != 0)
          files.ok = false;
    }
  }
  return files;
}

int Weight(const LOGFONT& f) { return f.lfWeight >= 600 ? 1 : 0; }

// The em size in pixels: a negative height is the character height, a
// positive one the cell height, zero the default 12.
int EmPixels(const LOGFONT& f, FT_Face face) {
  if (f.lfHeight < 0) return std::clamp<int>(-f.lfHeight, 1, 512);
  if (f.lfHeight == 0) return 12;
  long cell = face->ascender - face->descender;
  if (cell <= 0) return std::clamp<int>(f.lfHeight, 1, 512);
  int em = (int)(((long long)f.lfHeight * face->units_per_EM + cell / 2) / cell);
  return std::clamp(em, 1, 512);
}

FT_Face Select(const LOGFONT& f, int* em) {
  FontFiles& files = Files();
  if (!files.ok) return nullptr;
  FT_Face face = files.faces[Weight(f)];
  *em = EmPixels(f, face);
  FT_Set_Pixel_Sizes(face, 0, (FT_UInt)*em);
  return face;
}

std::map<std::tuple<int, int, char32_t>, std::unique_ptr<Glyph>> g_glyphs;

const Glyph* GlyphFor(const LOGFONT& f, char32_t c) {
  int em = 0;
  FT_Face face = Select(f, &em);
  if (!face) return nullptr;
  auto key = std::make_tuple(Weight(f), em, c);
  auto it = g_glyphs.find(key);
  if (it != g_glyphs.end()) return it->second.get();
  auto g = std::make_unique<Glyph>();
  FT_UInt index = FT_Get_Char_Index(face, c);
  if (FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME) == 0) {
    FT_GlyphSlot slot = face->glyph;
    g->advance = (int)((slot->advance.x + 32) >> 6);
    g->left = slot->bitmap_left;
    g->top = slot->bitmap_top;
    g->width = (int)slot->bitmap.width;
    g->rows = (int)slot->bitmap.rows;
    g->pitch = std::abs(slot->bitmap.pitch);
    if (slot->bitmap.buffer && g->rows > 0 && g->pitch > 0) {
      g->bits.resize((size_t)g->pitch * g->rows);
      for (int r = 0; r < g->rows; ++r) {
        const uint8_t* src = slot->bitmap.pitch >= 0
                                 ? slot->bitmap.buffer + (size_t)r * g->pitch
                                 : slot->bitmap.buffer + (size_t)(g->rows - 1 - r) * g->pitch;
        std::copy(src, src + g->pitch, g->bits.begin() + (size_t)r * g->pitch);
      }
    }
  }
  const Glyph* out = g.get();
  g_glyphs[key] = std::move(g);
  return out;
}

// UTF-16 to code points; lone surrogates stand for themselves.
char32_t NextChar(const WCHAR* text, int n, int* i) {
  char32_t c = text[*i];
  if (c >= 0xD800 && c < 0xDC00 && *i + 1 < n && text[*i + 1] >= 0xDC00 && text[*i + 1] < 0xE000) {
    c = 0x10000 + ((c - 0xD800) << 10) + (text[*i + 1] - 0xDC00);
    ++*i;
  }
  ++*i;
  return c;
}

RECT Intersect(const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  if (r.right <= r.left || r.bottom <= r.top) r = RECT{0, 0, 0, 0};
  return r;
}

}  // namespace

bool FontsAvailable() { return Files().ok; }

FontMetrics MetricsOf(const LOGFONT& f) {
  FontMetrics m;
  int em = 0;
  FT_Face face = Select(f, &em);
  if (!face) {
    m.height = em ? em : 12;
    m.ascent = m.height;
    return m;
  }
  const FT_Size_Metrics& s = face->size->metrics;
  m.ascent = (int)((s.ascender + 63) >> 6);
  m.descent = (int)((-s.descender + 63) >> 6);
  m.height = m.ascent + m.descent;
  m.internalLeading = std::max(0, m.height - em);
  m.maxCharWidth = (int)((s.max_advance + 63) >> 6);
  const Glyph* x = GlyphFor(f, U'x');
  m.aveCharWidth = x ? x->advance : em / 2;
  return m;
}

int TextWidth(const LOGFONT& f, const WCHAR* text, int n) {
  int width = 0;
  for (int i = 0; i < n;) {
    char32_t c = NextChar(text, n, &i);
    if (const Glyph* g = GlyphFor(f, c)) width += g->advance;
  }
  return width;
}

void DrawTextRun(DeviceContext* dc, int x, int y, const WCHAR* text, int n, COLORREF colour,
                 const RECT* clip) {
  Surface* s = TargetSurface(dc);
  if (!s || !dc->font) return;
  const LOGFONT& f = dc->font->font;
  FontMetrics m = MetricsOf(f);
  std::vector<RECT> clips = ClipRects(dc);
  if (clip) {
    RECT c = *clip;
    OffsetRect(&c, dc->origin.x, dc->origin.y);
    for (RECT& r : clips) r = Intersect(r, c);
  }
  uint32_t pixel = NativePixel(*s, colour);
  int penX = x + dc->origin.x;
  int baseline = y + dc->origin.y + m.ascent;
  for (int i = 0; i < n;) {
    char32_t c = NextChar(text, n, &i);
    const Glyph* g = GlyphFor(f, c);
    if (!g) continue;
    for (int r = 0; r < g->rows; ++r) {
      const uint8_t* bits = &g->bits[(size_t)r * g->pitch];
      int py = baseline - g->top + r;
      int run = -1;
      for (int col = 0; col <= g->width; ++col) {
        bool on = col < g->width && ((bits[col >> 3] >> (7 - (col & 7))) & 1);
        if (on && run < 0) run = col;
        if (!on && run >= 0) {
          RECT span{penX + g->left + run, py, penX + g->left + col, py + 1};
          for (const RECT& cr : clips) {
            RECT part = Intersect(span, cr);
            if (part.right > part.left) FillSpan(*s, part, pixel);
          }
          run = -1;
        }
      }
    }
    penX += g->advance;
  }
  if (dc->kind == DeviceContext::kScreen) MarkScreenChanged();
}

}  // namespace platform::gdi
