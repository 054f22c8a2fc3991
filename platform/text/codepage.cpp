#include "platform/text/codepage.h"

namespace platform {
namespace {

// Code points of bytes 0x80..0x9F in Windows-1252.
const char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char ByteForCodePoint(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return (char)c;
  for (int i = 0; i < 32; ++i)
    if (kHigh[i] == c) return (char)(0x80 + i);
  return '?';
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += (char)c;
  } else if (c < 0x800) {
    out += (char)(0xC0 | (c >> 6));
    out += (char)(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += (char)(0xE0 | (c >> 12));
    out += (char)(0x80 | ((c >> 6) & 0x3F));
    out += (char)(0x80 | (c & 0x3F));
  } else {
    out += (char)(0xF0 | (c >> 18));
    out += (char)(0x80 | ((c >> 12) & 0x3F));
    out += (char)(0x80 | ((c >> 6) & 0x3F));
    out += (char)(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::u16string WideFromCp1252(const std::string& bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (unsigned char b : bytes) out += (b >= 0x80 && b < 0xA0) ? kHigh[b - 0x80] : (char16_t)b;
  return out;
}

std::string Cp1252FromWide(const std::u16string& wide) {
  std::string out;
  out.reserve(wide.size());
  for (size_t i = 0; i < wide.size(); ++i) {
    char32_t c = wide[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
        wide[i + 1] < 0xE000) {
      ++i;
      out += '?';
      continue;
    }
    out += ByteForCodePoint(c);
  }
  return out;
}

std::string Utf8FromCp1252(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (unsigned char b : bytes) AppendUtf8(out, (b >= 0x80 && b < 0xA0) ? kHigh[b - 0x80] : b);
  return out;
}

std::u16string WideFromUtf8(const std::string& s) {
  std::u16string out;
  out.reserve(s.size());
  size_t i = 0;
  const size_t n = s.size();
  while (i < n) {
    unsigned char b = (unsigned char)s[i];
    char32_t c = 0;
    int extra = 0;
    if (b < 0x80) {
      out += (char16_t)b;
      ++i;
      continue;
    } else if ((b & 0xE0) == 0xC0) {
      c = b & 0x1F;
      extra = 1;
    } else if ((b & 0xF0) == 0xE0) {
      c = b & 0x0F;
      extra = 2;
    } else if ((b & 0xF8) == 0xF0) {
      c = b & 0x07;
      extra = 3;
    } else {
      out += (char16_t)(0xDC00 + b);  // invalid lead byte, kept losslessly
      ++i;
      continue;
    }
    bool ok = true;
    for (int k = 1; ok && k <= extra; ++k) {
      if (i + k >= n || (((unsigned char)s[i + k]) & 0xC0) != 0x80) ok = false;
      else c = (c << 6) | (((unsigned char)s[i + k]) & 0x3F);
    }
    // Reject overlong forms and surrogates so that they round-trip as bytes.
    if (ok && ((extra == 1 && c < 0x80) || (extra == 2 && c < 0x800) ||
               (extra == 3 && (c < 0x10000 || c > 0x10FFFF)) || (c >= 0xD800 && c < 0xE000)))
      ok = false;
    if (!ok) {
      out += (char16_t)(0xDC00 + b);
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      out += (char16_t)(0xD800 + (c >> 10));
      out += (char16_t)(0xDC00 + (c & 0x3FF));
    } else {
      out += (char16_t)c;
    }
    i += extra + 1;
  }
  return out;
}

std::string Utf8FromWide(const std::u16string& w) {
  std::string out;
  out.reserve(w.size());
  for (size_t i = 0; i < w.size(); ++i) {
    char32_t c = w[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < w.size() && w[i + 1] >= 0xDC00 && w[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (w[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xDC80 && c <= 0xDCFF) {
      out += (char)(c - 0xDC00);  // a byte kept from invalid UTF-8
      continue;
    }
    AppendUtf8(out, c);
  }
  return out;
}

}  // namespace platform
