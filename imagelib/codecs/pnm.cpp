// Portable bitmap, greymap and pixmap reader (types 1 to 6, ASCII and
// binary, maximum values up to 65535) and the XV thumbnail variant, type 7.
#include <cstdio>
#include <cstring>
#include <vector>

#include "imagelib/codecs/buffered_input.h"
#include "imagelib/core/reader_contract.h"

namespace {

constexpr int kMaxPnmSide = 16000;

const char* const kPnmFormatTexts[8] = {
    "",
    "Portable Bitmap (Type 1 - ASCII)",
    "Portable Graymap (Type 2 - ASCII)",
    "Portable Pixmap (Type 3 - ASCII)",
    "Portable Bitmap (Type 4 - Binary)",
    "Portable Graymap (Type 5 - Binary)",
    "Portable Pixmap (Type 6 - Binary)",
    "XV visual schnauzer",
};

bool IsBlank(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

void SkipLine(BufferedInput& in) {
  int c;
  do {
    c = in.Get();
  } while (c >= 0 && c != '\n');
}

// Skips blanks and comments; returns the first other character (taken), or -1.
int NextSignificant(BufferedInput& in) {
  for (;;) {
    int c = in.Get();
    if (c < 0) return -1;
    if (IsBlank(c)) continue;
    if (c == '#') {
      SkipLine(in);
      continue;
    }
    return c;
  }
}

// Reads one decimal number as the header and the ASCII samples store them:
// 0 with the value, 2 when something other than a digit comes first, 4 at the
// end of the file. Values saturate at 65535 rather than wrapping.
int ReadPnmNumber(BufferedInput& in, int* value) {
  int c = NextSignificant(in);
  if (c < 0) return RESULT_NOT_COMPLETE;
  if (c < '0' || c > '9') return RESULT_NOT_RECOGNISED;
  uint32_t v = 0;
  for (;;) {
    v = v * 10 + (uint32_t)(c - '0');
    if (v > 0xFFFF) v = 0xFFFF;
    c = in.Get();
    if (c < '0' || c > '9') break;
  }
  if (c == '#') SkipLine(in);
  *value = (int)v;
  return RESULT_OK;
}

// One ASCII bitmap pixel: a single digit (digits need not be separated).
int ReadBitDigit(BufferedInput& in, uint8_t* bit) {
  int c = NextSignificant(in);
  if (c < 0) return RESULT_NOT_COMPLETE;
  if (c < '0' || c > '9') return RESULT_NOT_RECOGNISED;
  *bit = c != '0';
  return RESULT_OK;
}

// Maps samples to bytes (maximum values up to 255) or to 16-bit values whose
// upper byte is sample x 255 / maximum (deeper files).
class SampleScale {
 public:
  explicit SampleScale(int maximum) : maximum_(maximum) {
    if (maximum_ <= 255) {
      for (int v = 0; v < 256; ++v) bytes_[v] = v >= maximum_ ? 255 : (uint8_t)(v * 255 / maximum_);
    }
  }
  uint8_t Byte(int v) const { return bytes_[v > 255 ? 255 : v]; }
  uint16_t Wide(uint32_t v) const {
    if (maximum_ == 65535) return (uint16_t)v;
    if (v >= (uint32_t)maximum_) return 0xFFFF;
    uint32_t top = v * 255 / (uint32_t)maximum_;
    uint32_t wide = (v * 65535u + (uint32_t)maximum_ / 2) / (uint32_t)maximum_;
    if (wide < (top << 8)) wide = top << 8;
    if (wide > ((top << 8) | 255)) wide = (top << 8) | 255;
    return (uint16_t)wide;
  }

 private:
  int maximum_;
  uint8_t bytes_[256] = {};
};

}  // namespace

int ReadPnm(FileStream* stream, LoadContext* context) {
  BufferedInput in(stream);
  if (in.Get() != 'P') return RESULT_NOT_RECOGNISED;
  int typeChar = in.Get();
  if (typeChar < '1' || typeChar > '7') return RESULT_NOT_RECOGNISED;
  const int type = typeChar - '0';

  int width = 0, height = 0, maximum = 255, ignored = 0;
  int r = RESULT_OK;
  if (type == 7) r = ReadPnmNumber(in, &ignored);
  if (r == RESULT_OK) r = ReadPnmNumber(in, &width);
  if (r == RESULT_OK) r = ReadPnmNumber(in, &height);
  const bool bilevel = type == 1 || type == 4;
  if (r == RESULT_OK && !bilevel) r = ReadPnmNumber(in, &maximum);
  if (r != RESULT_OK) return r;
  if (width < 1 || height < 1 || width >= kMaxPnmSide || height >= kMaxPnmSide) {
    SetReaderMessage(context, "Portable Bitmap : Bad picture's size !");
    return RESULT_BAD_SIZE;
  }
  if (maximum < 1) return RESULT_NOT_RECOGNISED;

  const bool ascii = type <= 3;
  const int samples = (type == 3 || type == 6) ? 3 : 1;
  const bool wide = !bilevel && maximum > 255;

  SourceFormat header;
  InitSourceFormat(&header);
  snprintf(header.formatText, sizeof header.formatText, "%s", kPnmFormatTexts[type]);
  header.width = width;
  header.height = height;
  header.planes = 1;
  if (type == 1) {
    header.flags = SRC_ONE_PER_BYTE;
    header.bitsPerPlane = 1;
    header.bytesPerPlane = width;
  } else if (type == 4) {
    header.bitsPerPlane = 1;
    header.bytesPerPlane = (width + 7) / 8;
  } else if (wide) {
    header.samplesPerPixel = (int16_t)samples;
    header.bitsPerPlane = 16;
    header.bytesPerPlane = width * samples * 2;
  } else {
    header.bitsPerPlane = (int16_t)(8 * samples);
    header.bytesPerPlane = width * samples;
  }

  int result = StartPicture(context, &header);
  if (result != 0) return result;

  const SampleScale scale(maximum);
  const size_t rowSamples = (size_t)width * samples;
  std::vector<uint8_t> raw;
  if (!ascii && wide) raw.resize(rowSamples * 2);
  int status = RESULT_OK;
  for (int y = 0; y < height && status == RESULT_OK; ++y) {
    uint8_t* row = header.rowBuffer;
    if (ascii) memset(row, 0, rowSamples * (wide ? 2 : 1));
    if (type == 1) {
      for (int x = 0; x < width && status == RESULT_OK; ++x) status = ReadBitDigit(in, &row[x]);
    } else if (ascii) {
      if (wide) {
        uint16_t* row16 = reinterpret_cast<uint16_t*>(row);
        for (size_t i = 0; i < rowSamples && status == RESULT_OK; ++i) {
          int v = 0;
          status = ReadPnmNumber(in, &v);
          row16[i] = scale.Wide((uint32_t)v);
        }
      } else {
        for (size_t i = 0; i < rowSamples && status == RESULT_OK; ++i) {
          int v = 0;
          status = ReadPnmNumber(in, &v);
          row[i] = scale.Byte(v);
        }
      }
    } else if (type == 4) {
      size_t bytes = (size_t)(width + 7) / 8;
      if (in.Read(row, bytes) != bytes) status = RESULT_NOT_COMPLETE;
    } else if (wide) {
      size_t got = in.Read(raw.data(), raw.size());
      if (got < raw.size()) {
        memset(raw.data() + got, 0, raw.size() - got);
        status = RESULT_NOT_COMPLETE;
      }
      uint16_t* row16 = reinterpret_cast<uint16_t*>(row);
      for (size_t i = 0; i < rowSamples; ++i)
        row16[i] = scale.Wide((uint32_t)(raw[2 * i] << 8 | raw[2 * i + 1]));
    } else {
      size_t got = in.Read(row, rowSamples);
      if (got < rowSamples) {
        memset(row + got, 0, rowSamples - got);
        status = RESULT_NOT_COMPLETE;
      }
      if (maximum != 255)
        for (size_t i = 0; i < rowSamples; ++i) row[i] = scale.Byte(row[i]);
    }
    int delivered = DeliverRows(context, -1, -1, 1);
    if (delivered != 0) return delivered;
  }

  if (bilevel) FinishPicture(context, PAL_WHITE_IS_ZERO, 1, nullptr);
  else FinishPicture(context, PAL_RGB3, 8, nullptr);
  return status;
}
