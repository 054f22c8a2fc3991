// Turning EXIF directory entries into display texts: the generic rules by
// value type and the tag-specific rules of the EXIF and GPS directories.
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "imagelib/metadata/exif_tables.h"

namespace {

// A double as an integer, clamped so that the conversion is always defined.
int64_t ClampToInteger(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 9.0e15) return (int64_t)9.0e15;
  if (value <= -9.0e15) return -(int64_t)9.0e15;
  return (int64_t)value;
}

uint64_t Read64(const uint8_t* p, bool bigEndian) {
  uint64_t high = Read32(bigEndian ? p : p + 4, bigEndian);
  uint64_t low = Read32(bigEndian ? p + 4 : p, bigEndian);
  return (high << 32) | low;
}

// True when the bytes of an UNDEFINED value read as text: no control
// characters before the terminating zero and nothing but zeros after it.
bool LooksLikeText(const uint8_t* bytes, uint64_t size) {
  uint64_t i = 0;
  while (i < size && bytes[i] != 0) {
    if (bytes[i] < 0x20 || bytes[i] == 0x7F) return false;
    ++i;
  }
  for (; i < size; ++i)
    if (bytes[i] != 0) return false;
  return true;
}

// "1/N" for short times, otherwise the time with two decimals.
void FormatSeconds(double seconds, char* out) {
  if (seconds > 0 && seconds < 0.25001)
    snprintf(out, kTextSize, "1/%" PRId64, ClampToInteger(1.0 / seconds + 0.5));
  else
    snprintf(out, kTextSize, "%.2f", seconds);
}

}  // namespace

uint32_t TiffTypeSize(uint32_t type) {
  static const uint8_t kSizes[13] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
  return type <= 12 ? kSizes[type] : 0;
}

EntryStatus ReadTiffEntry(const TiffData& data, uint64_t position, uint64_t base,
                          TiffEntry* entry) {
  const uint8_t* p = data.data + position;
  entry->tag = Read16(p, data.bigEndian);
  entry->type = Read16(p + 2, data.bigEndian);
  entry->count = Read32(p + 4, data.bigEndian);
  entry->bigEndian = data.bigEndian;
  if (entry->type < 1 || entry->type > 12) return EntryStatus::kBadType;
  entry->size = (uint64_t)entry->count * TiffTypeSize(entry->type);
  if (entry->size <= 4) {
    entry->value = p + 8;
    return EntryStatus::kOk;
  }
  uint64_t where = base + Read32(p + 8, data.bigEndian);
  if (!data.Fits(where, entry->size)) return EntryStatus::kOutside;
  entry->value = data.data + where;
  return EntryStatus::kOk;
}

bool EntryRational(const TiffEntry& entry, uint64_t index, int64_t* numerator,
                   int64_t* denominator) {
  if (entry.type != TIFF_RATIONAL && entry.type != TIFF_SRATIONAL) return false;
  if (index >= entry.count) return false;
  const uint8_t* p = entry.value + index * 8;
  uint32_t a = Read32(p, entry.bigEndian);
  uint32_t b = Read32(p + 4, entry.bigEndian);
  if (entry.type == TIFF_SRATIONAL) {
    *numerator = (int32_t)a;
    *denominator = (int32_t)b;
  } else {
    *numerator = a;
    *denominator = b;
  }
  return true;
}

int64_t EntryInteger(const TiffEntry& entry, uint64_t index) {
  if (index >= entry.count) return 0;
  const uint8_t* p = entry.value;
  switch (entry.type) {
    case TIFF_BYTE: return p[index];
    case TIFF_SBYTE: return (int8_t)p[index];
    case TIFF_SHORT: return Read16(p + index * 2, entry.bigEndian);
    case TIFF_SSHORT: return (int16_t)Read16(p + index * 2, entry.bigEndian);
    case TIFF_LONG: return Read32(p + index * 4, entry.bigEndian);
    case TIFF_SLONG: return (int32_t)Read32(p + index * 4, entry.bigEndian);
    case TIFF_RATIONAL:
    case TIFF_SRATIONAL:
    case TIFF_FLOAT:
    case TIFF_DOUBLE: return ClampToInteger(EntryNumber(entry, index));
    default: return 0;
  }
}

double EntryNumber(const TiffEntry& entry, uint64_t index) {
  if (index >= entry.count) return 0;
  int64_t a, b;
  switch (entry.type) {
    case TIFF_RATIONAL:
    case TIFF_SRATIONAL:
      EntryRational(entry, index, &a, &b);
      return b == 0 ? 0.0 : (double)a / (double)b;
    case TIFF_FLOAT: {
      uint32_t bits = Read32(entry.value + index * 4, entry.bigEndian);
      float f;
      memcpy(&f, &bits, sizeof f);
      return f;
    }
    case TIFF_DOUBLE: {
      uint64_t bits = Read64(entry.value + index * 8, entry.bigEndian);
      double d;
      memcpy(&d, &bits, sizeof d);
      return d;
    }
    case TIFF_ASCII:
    case TIFF_UNDEFINED: return 0;
    default: return (double)EntryInteger(entry, index);
  }
}

void FormatFraction(int64_t numerator, int64_t denominator, char* out) {
  if (numerator == 0) {
    snprintf(out, kTextSize, "0");
    return;
  }
  if (denominator == 0) {
    snprintf(out, kTextSize, "%" PRId64 "/0", numerator);
    return;
  }
  if (denominator < 0) {
    numerator = -numerator;
    denominator = -denominator;
  }
  if (denominator == 1) {
    snprintf(out, kTextSize, "%" PRId64, numerator);
    return;
  }
  uint64_t x = numerator < 0 ? (uint64_t)-numerator : (uint64_t)numerator;
  uint64_t y = (uint64_t)denominator;
  while (y != 0) {
    uint64_t r = x % y;
    x = y;
    y = r;
  }
  numerator /= (int64_t)x;
  denominator /= (int64_t)x;
  if (denominator == 1)
    snprintf(out, kTextSize, "%" PRId64, numerator);
  else
    snprintf(out, kTextSize, "%" PRId64 "/%" PRId64, numerator, denominator);
}

void FormatTrimmedFloat(double value, char* out) {
  snprintf(out, kTextSize, "%.6f", value);
  if (!strchr(out, '.')) return;
  size_t n = strlen(out);
  while (n > 0 && out[n - 1] == '0') out[--n] = 0;
}

void FormatCharacters(const TiffEntry& entry, uint32_t limit, char* out) {
  uint64_t n = entry.size;
  if (limit != 0 && n > limit) n = limit;
  if (n > kTextSize - 1) n = kTextSize - 1;
  uint64_t i = 0;
  for (; i < n && entry.value[i] != 0; ++i) out[i] = (char)entry.value[i];
  out[i] = 0;
}

void FormatByType(const TiffEntry& entry, uint32_t limit, char* out) {
  out[0] = 0;
  switch (entry.type) {
    case TIFF_ASCII: FormatCharacters(entry, limit, out); break;
    case TIFF_UNDEFINED: {
      uint64_t n = entry.size;
      if (limit != 0 && n > limit) n = limit;
      if (LooksLikeText(entry.value, n))
        FormatCharacters(entry, limit, out);
      else
        snprintf(out, kTextSize, "(%" PRIu64 " bytes)", entry.size);
      break;
    }
    case TIFF_BYTE:
    case TIFF_SHORT:
    case TIFF_LONG:
    case TIFF_SBYTE:
    case TIFF_SSHORT:
    case TIFF_SLONG:
      if (entry.count > 0) snprintf(out, kTextSize, "%" PRId64, EntryInteger(entry));
      break;
    case TIFF_RATIONAL:
    case TIFF_SRATIONAL: {
      int64_t a, b;
      if (EntryRational(entry, 0, &a, &b)) FormatFraction(a, b, out);
      break;
    }
    case TIFF_FLOAT:
    case TIFF_DOUBLE:
      if (entry.count > 0) FormatTrimmedFloat(EntryNumber(entry), out);
      break;
    default: break;
  }
}

void FormatExifValue(const TiffEntry& entry, const TagRow& row, char* out) {
  out[0] = 0;
  if (row.names) {
    int64_t value = ClampToInteger(EntryNumber(entry));
    snprintf(out, kTextSize, "%s (%" PRId64 ")", ValueNameOf(row.names, value), value);
    return;
  }
  const uint8_t* bytes = entry.value;
  switch (row.tag) {
    case 37382: {  // subject distance
      int64_t a, b;
      if (!EntryRational(entry, 0, &a, &b)) return;
      if (b == 0)
        snprintf(out, kTextSize, "%" PRId64 "/0", a);
      else
        snprintf(out, kTextSize, "%.0f", (double)a / (double)b);
      return;
    }
    case 37377: {  // shutter speed, APEX
      double v = EntryNumber(entry);
      double t = std::fabs(v) >= 100.0 ? 0.0 : 1.0 / std::pow(2.0, v);
      FormatSeconds(t, out);
      return;
    }
    case 33434: {  // exposure time
      double v = EntryNumber(entry);
      if (v < 0)
        snprintf(out, kTextSize, "%.1f", std::pow(2.0, std::fabs(v)));
      else
        FormatSeconds(v, out);
      return;
    }
    case 37378:  // aperture, APEX
    case 37381:  // max aperture, APEX
      snprintf(out, kTextSize, "F%.1f", std::pow(std::sqrt(2.0), EntryNumber(entry)));
      return;
    case 33437:  // F-number
      snprintf(out, kTextSize, "%2.1f", EntryNumber(entry));
      return;
    case 37121:  // components configuration
      if (entry.type != TIFF_UNDEFINED || entry.count != 4) return;
      if (bytes[0] == 4 && bytes[1] == 5 && bytes[2] == 6 && bytes[3] == 0)
        snprintf(out, kTextSize, "%s", ExifText(TEXT_RGB_UNCOMPRESSED));
      else if (bytes[0] == 1 && bytes[1] == 2 && bytes[2] == 3 && bytes[3] == 0)
        snprintf(out, kTextSize, "%s", ExifText(TEXT_YCBCR));
      else
        snprintf(out, kTextSize, "%x", Read32(bytes, false));
      return;
    case 296: {  // resolution unit
      int64_t value = EntryInteger(entry);
      if (value == 2)
        snprintf(out, kTextSize, "%s", ExifText(TEXT_INCH));
      else if (value == 3)
        snprintf(out, kTextSize, "%s", ExifText(TEXT_CENTIMETER));
      else
        snprintf(out, kTextSize, "%" PRId64, value);
      return;
    }
    case 36864:  // EXIF version
    case 40960:  // FlashPix version
      if (entry.count != 4) return;
      snprintf(out, kTextSize, "%c%c.%c%c", bytes[0], bytes[1], bytes[2], bytes[3]);
      return;
    case 37385: {  // flash: bit 0 tells whether it fired
      int64_t value = EntryInteger(entry);
      if (value & 1)
        snprintf(out, kTextSize, "%s", ExifText(TEXT_FLASH_FIRED));
      else if ((value & 3) == 0)
        snprintf(out, kTextSize, "%s", ExifText(TEXT_NO_FLASH));
      return;
    }
    case 37386:  // focal length
      FormatTrimmedFloat(EntryNumber(entry), out);
      return;
    case 37510: {  // user comment: 8-byte character code, then the text
      if (entry.count < 9) return;
      uint64_t m = entry.size < 256 ? entry.size : 256;
      if (m >= 13 && bytes[8] == ' ' && bytes[9] == ' ' && bytes[10] == ' ' && bytes[11] == ' ')
        return;
      uint64_t i = 0;
      for (; i < m - 8 && i < kTextSize - 1 && bytes[8 + i] != 0; ++i) out[i] = (char)bytes[8 + i];
      out[i] = 0;
      return;
    }
    case 40961: {  // colour space
      int64_t value = EntryInteger(entry);
      if (value == 1)
        snprintf(out, kTextSize, "%s", ExifText(TEXT_SRGB));
      else if (value == 65535)
        snprintf(out, kTextSize, "%s", ExifText(TEXT_UNCALIBRATED));
      else
        snprintf(out, kTextSize, "%" PRId64, value);
      return;
    }
    case 41728:  // file source
      if (entry.type != TIFF_UNDEFINED || entry.count != 1) return;
      if (bytes[0] == 3)
        snprintf(out, kTextSize, "%s", ExifText(TEXT_DSC));
      else
        snprintf(out, kTextSize, "%d", bytes[0]);
      return;
    case 41729:  // scene type
      if (entry.type != TIFF_UNDEFINED || entry.count != 1) return;
      if (bytes[0] == 1)
        snprintf(out, kTextSize, "%s", ExifText(TEXT_DIRECTLY_PHOTOGRAPHED));
      else
        snprintf(out, kTextSize, "%d", bytes[0]);
      return;
    default: FormatByType(entry, 0, out); return;
  }
}

void FormatGpsValue(const TiffEntry& entry, const TagRow& row, char* out) {
  FormatByType(entry, row.count, out);
  switch (row.tag) {
    case 0:  // version
      if (entry.count == 4 && entry.size == 4)
        snprintf(out, kTextSize, "%d.%d.%d.%d", entry.value[0], entry.value[1], entry.value[2],
                 entry.value[3]);
      break;
    case 2:  // latitude
    case 4:  // longitude
      if (entry.count == 3 && entry.size == 24) {
        int64_t a, b;
        char degrees[kTextSize], minutes[kTextSize];
        EntryRational(entry, 0, &a, &b);
        FormatFraction(a, b, degrees);
        EntryRational(entry, 1, &a, &b);
        FormatFraction(a, b, minutes);
        EntryRational(entry, 2, &a, &b);
        double seconds = b == 0 ? 0.0 : (double)a / (double)b;
        snprintf(out, kTextSize, "%.64s\xB0 %.64s' %.2f\"", degrees, minutes, seconds);
      }
      break;
    case 1:
    case 3:
    case 9:
    case 14:
    case 19:
    case 21:
    case 23:  // reference letters
      if (row.names) snprintf(out, kTextSize, "%s", ValueNameOf(row.names, entry.value[0]));
      break;
    case 10:  // measure mode: the stored character "2" or "3"
      if (row.names && entry.size > 0) {
        bool matched = false;
        const char* name = ValueNameOf(row.names, entry.value[0] - '0', &matched);
        if (matched) snprintf(out, kTextSize, "%s", name);
      }
      break;
    case 5:   // altitude reference
    case 30:  // differential correction
      if (row.names) {
        bool matched = false;
        const char* name = ValueNameOf(row.names, EntryInteger(entry), &matched);
        snprintf(out, kTextSize, "%s", matched ? name : "");
      }
      break;
    default: break;
  }
}
