#include "platform/text/wide.h"

#include <cstdio>
#include <cstring>

#include "platform/text/codepage.h"

namespace platform {

size_t WideLength(const WCHAR* s) {
  if (!s) return 0;
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}

size_t CopyWide(const std::u16string& from, WCHAR* to, int capacity) {
  if (!to || capacity <= 0) return 0;
  size_t n = from.size() < (size_t)capacity - 1 ? from.size() : (size_t)capacity - 1;
  for (size_t i = 0; i < n; ++i) to[i] = from[i];
  to[n] = 0;
  return n;
}

WCHAR FoldCase(WCHAR c) {
  if (c >= u'A' && c <= u'Z') return c + 32;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  return c;
}

bool WideEqualNoCase(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  return true;
}

int WideCompareNoCase(const WCHAR* a, const WCHAR* b) {
  if (!a) a = u"";
  if (!b) b = u"";
  for (;; ++a, ++b) {
    WCHAR x = FoldCase(*a), y = FoldCase(*b);
    if (x != y) return x < y ? -1 : 1;
    if (!x) return 0;
  }
}

std::u16string FormatWideV(const WCHAR* format, va_list args) {
  std::u16string out;
  if (!format) return out;
  for (const WCHAR* p = format; *p; ++p) {
    if (*p != u'%') {
      out += *p;
      continue;
    }
    ++p;
    if (*p == u'%') {
      out += u'%';
      continue;
    }
    std::string conversion = "%";
    while (*p == u'-' || *p == u'+' || *p == u' ' || *p == u'#' || *p == u'0') conversion += (char)*p++;
    int width = -1, precision = -1;
    if (*p == u'*') {
      width = va_arg(args, int);
      ++p;
    } else {
      while (*p >= u'0' && *p <= u'9') conversion += (char)*p++;
    }
    if (*p == u'.') {
      ++p;
      if (*p == u'*') {
        precision = va_arg(args, int);
        ++p;
      } else {
        std::string digits;
        while (*p >= u'0' && *p <= u'9') digits += (char)*p++;
        precision = digits.empty() ? 0 : std::atoi(digits.c_str());
      }
    }
    int size = 0;  // 0 int, 1 long, 2 long long, -1 short/narrow
    if (*p == u'h') {
      size = -1;
      ++p;
    } else if (*p == u'l') {
      size = 1;
      ++p;
      if (*p == u'l') {
        size = 2;
        ++p;
      }
    } else if (*p == u'w') {
      size = 1;
      ++p;
    } else if (p[0] == u'I' && p[1] == u'6' && p[2] == u'4') {
      size = 2;
      p += 3;
    }
    WCHAR conv = *p;
    if (!conv) break;
    std::string flagsWidth = conversion;
    if (width >= 0) flagsWidth += std::to_string(width);
    auto pad = [&](std::u16string body) {
      // Width and left alignment for strings and characters.
      bool left = conversion.find('-') != std::string::npos;
      size_t w = 0;
      if (width >= 0) {
        w = (size_t)width;
      } else {
        std::string digits;
        for (char c : conversion)
          if (c >= '0' && c <= '9' && !(digits.empty() && c == '0')) digits += c;
        w = digits.empty() ? 0 : (size_t)std::atoi(digits.c_str());
      }
      if (body.size() < w) {
        std::u16string fill(w - body.size(), u' ');
        body = left ? body + fill : fill + body;
      }
      out += body;
    };
    switch (conv) {
      case u's':
      case u'S': {
        bool narrow = (conv == u's' && size == -1) || (conv == u'S' && size != 1);
        std::u16string body;
        if (narrow) {
          const char* s = va_arg(args, const char*);
          body = WideFromCp1252(s ? s : "(null)");
        } else {
          const WCHAR* s = va_arg(args, const WCHAR*);
          body = s ? std::u16string(s) : std::u16string(u"(null)");
        }
        if (precision >= 0 && body.size() > (size_t)precision) body.resize((size_t)precision);
        pad(body);
        break;
      }
      case u'c':
      case u'C': {
        int c = va_arg(args, int);
        bool narrow = (conv == u'c' && size == -1) || (conv == u'C' && size != 1);
        std::u16string body(1, narrow ? WideFromCp1252(std::string(1, (char)c))[0] : (WCHAR)c);
        pad(body);
        break;
      }
      case u'd':
      case u'i':
      case u'u':
      case u'x':
      case u'X':
      case u'o': {
        char buf[96];
        std::string f = flagsWidth;
        if (precision >= 0) f += "." + std::to_string(precision);
        bool isSigned = conv == u'd' || conv == u'i';
        if (size == 2) {
          f += "ll";
          f += (char)conv;
          if (isSigned)
            std::snprintf(buf, sizeof buf, f.c_str(), va_arg(args, long long));
          else
            std::snprintf(buf, sizeof buf, f.c_str(), va_arg(args, unsigned long long));
        } else {
          f += (char)conv;
          // int and long are 32 bits on the device.
          if (isSigned) {
            int v = va_arg(args, int);
            if (size == -1) v = (short)v;
            std::snprintf(buf, sizeof buf, f.c_str(), v);
          } else {
            unsigned v = va_arg(args, unsigned);
            if (size == -1) v = (unsigned short)v;
            std::snprintf(buf, sizeof buf, f.c_str(), v);
          }
        }
        for (const char* q = buf; *q; ++q) out += (WCHAR)(unsigned char)*q;
        break;
      }
      case u'p': {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%p", va_arg(args, void*));
        for (const char* q = buf; *q; ++q) out += (WCHAR)(unsigned char)*q;
        break;
      }
      case u'f':
      case u'g':
      case u'e': {
        char buf[96];
        std::string f = flagsWidth;
        if (precision >= 0) f += "." + std::to_string(precision);
        f += (char)conv;
        std::snprintf(buf, sizeof buf, f.c_str(), va_arg(args, double));
        for (const char* q = buf; *q; ++q) out += (WCHAR)(unsigned char)*q;
        break;
      }
      default:
        out += u'%';
        out += conv;
    }
  }
  return out;
}

std::u16string FormatWide(const WCHAR* format, ...) {
  va_list args;
  va_start(args, format);
  std::u16string s = FormatWideV(format, args);
  va_end(args);
  return s;
}

}  // namespace platform

using namespace platform;

int lstrlen(LPCWSTR s) { return (int)WideLength(s); }
int lstrcmpi(LPCWSTR a, LPCWSTR b) { return WideCompareNoCase(a, b); }
int lstrcmp(LPCWSTR a, LPCWSTR b) {
  if (!a) a = u"";
  if (!b) b = u"";
  for (;; ++a, ++b) {
    if (*a != *b) return *a < *b ? -1 : 1;
    if (!*a) return 0;
  }
}
LPWSTR lstrcpy(LPWSTR to, LPCWSTR from) {
  size_t n = WideLength(from);
  for (size_t i = 0; i < n; ++i) to[i] = from[i];
  to[n] = 0;
  return to;
}
LPWSTR lstrcpyn(LPWSTR to, LPCWSTR from, int capacity) {
  CopyWide(from ? std::u16string(from) : std::u16string(), to, capacity);
  return to;
}
LPWSTR lstrcat(LPWSTR to, LPCWSTR from) {
  lstrcpy(to + WideLength(to), from);
  return to;
}

int wsprintf(LPWSTR buffer, LPCWSTR format, ...) {
  va_list args;
  va_start(args, format);
  std::u16string s = FormatWideV(format, args);
  va_end(args);
  // The device limits wsprintf output to 1024 characters.
  if (s.size() > 1024) s.resize(1024);
  for (size_t i = 0; i < s.size(); ++i) buffer[i] = s[i];
  buffer[s.size()] = 0;
  return (int)s.size();
}

int _snwprintf(LPWSTR buffer, size_t capacity, LPCWSTR format, ...) {
  va_list args;
  va_start(args, format);
  std::u16string s = FormatWideV(format, args);
  va_end(args);
  if (!buffer || capacity == 0) return -1;
  if (s.size() >= capacity) {
    for (size_t i = 0; i < capacity; ++i) buffer[i] = s[i];
    return -1;
  }
  for (size_t i = 0; i < s.size(); ++i) buffer[i] = s[i];
  buffer[s.size()] = 0;
  return (int)s.size();
}
