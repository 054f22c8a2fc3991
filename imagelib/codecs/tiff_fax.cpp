// CCITT T.4 / T.6 decoding. Each row is decoded into its list of changing
// elements (the columns where the colour changes, white first), which then
// serves as the reference row of two-dimensional coding and is painted into
// the output row as black spans.
#include "imagelib/codecs/tiff_fax.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

struct RunCode {
  const char* bits;
  int run;
};

// T.4 terminating and make-up codes.
const RunCode kWhiteCodes[] = {
    {"00110101", 0},      {"000111", 1},        {"0111", 2},          {"1000", 3},
    {"1011", 4},          {"1100", 5},          {"1110", 6},          {"1111", 7},
    {"10011", 8},         {"10100", 9},         {"00111", 10},        {"01000", 11},
    {"001000", 12},       {"000011", 13},       {"110100", 14},       {"110101", 15},
    {"101010", 16},       {"101011", 17},       {"0100111", 18},      {"0001100", 19},
    {"0001000", 20},      {"0010111", 21},      {"0000011", 22},      {"0000100", 23},
    {"0101000", 24},      {"0101011", 25},      {"0010011", 26},      {"0100100", 27},
    {"0011000", 28},      {"00000010", 29},     {"00000011", 30},     {"00011010", 31},
    {"00011011", 32},     {"00010010", 33},     {"00010011", 34},     {"00010100", 35},
    {"00010101", 36},     {"00010110", 37},     {"00010111", 38},     {"00101000", 39},
    {"00101001", 40},     {"00101010", 41},     {"00101011", 42},     {"00101100", 43},
    {"00101101", 44},     {"00000100", 45},     {"00000101", 46},     {"00001010", 47},
    {"00001011", 48},     {"01010010", 49},     {"01010011", 50},     {"01010100", 51},
    {"01010101", 52},     {"00100100", 53},     {"00100101", 54},     {"01011000", 55},
    {"01011001", 56},     {"01011010", 57},     {"01011011", 58},     {"01001010", 59},
    {"01001011", 60},     {"00110010", 61},     {"00110011", 62},     {"00110100", 63},
    {"11011", 64},        {"10010", 128},       {"010111", 192},      {"0110111", 256},
    {"00110110", 320},    {"00110111", 384},    {"01100100", 448},    {"01100101", 512},
    {"01101000", 576},    {"01100111", 640},    {"011001100", 704},   {"011001101", 768},
    {"011010010", 832},   {"011010011", 896},   {"011010100", 960},   {"011010101", 1024},
    {"011010110", 1088},  {"011010111", 1152},  {"011011000", 1216},  {"011011001", 1280},
    {"011011010", 1344},  {"011011011", 1408},  {"010011000", 1472},  {"010011001", 1536},
    {"010011010", 1600},  {"011000", 1664},     {"010011011", 1728},
};

const RunCode kBlackCodes[] = {
    {"0000110111", 0},    {"010", 1},           {"11", 2},            {"10", 3},
    {"011", 4},           {"0011", 5},          {"0010", 6},          {"00011", 7},
    {"000101", 8},        {"000100", 9},        {"0000100", 10},      {"0000101", 11},
    {"0000111", 12},      {"00000100", 13},     {"00000111", 14},     {"000011000", 15},
    {"0000010111", 16},   {"0000011000", 17},   {"0000001000", 18},   {"00001100111", 19},
    {"00001101000", 20},  {"00001101100", 21},  {"00000110111", 22},  {"00000101000", 23},
    {"00000010111", 24},  {"00000011000", 25},  {"000011001010", 26}, {"000011001011", 27},
    {"000011001100", 28}, {"000011001101", 29}, {"000001101000", 30}, {"000001101001", 31},
    {"000001101010", 32}, {"000001101011", 33}, {"000011010010", 34}, {"000011010011", 35},
    {"000011010100", 36}, {"000011010101", 37}, {"000011010110", 38}, {"000011010111", 39},
    {"000001101100", 40}, {"000001101101", 41}, {"000011011010", 42}, {"000011011011", 43},
    {"000001010100", 44}, {"000001010101", 45}, {"000001010110", 46}, {"000001010111", 47},
    {"000001100100", 48}, {"000001100101", 49}, {"000001010010", 50}, {"000001010011", 51},
    {"000000100100", 52}, {"000000110111", 53}, {"000000111000", 54}, {"000000100111", 55},
    {"000000101000", 56}, {"000001011000", 57}, {"000001011001", 58}, {"000000101011", 59},
    {"000000101100", 60}, {"000001011010", 61}, {"000001100110", 62}, {"000001100111", 63},
    {"0000001111", 64},       {"000011001000", 128},    {"000011001001", 192},
    {"000001011011", 256},    {"000000110011", 320},    {"000000110100", 384},
    {"000000110101", 448},    {"0000001101100", 512},   {"0000001101101", 576},
    {"0000001001010", 640},   {"0000001001011", 704},   {"0000001001100", 768},
    {"0000001001101", 832},   {"0000001110010", 896},   {"0000001110011", 960},
    {"0000001110100", 1024},  {"0000001110101", 1088},  {"0000001110110", 1152},
    {"0000001110111", 1216},  {"0000001010010", 1280},  {"0000001010011", 1344},
    {"0000001010100", 1408},  {"0000001010101", 1472},  {"0000001011010", 1536},
    {"0000001011011", 1600},  {"0000001100100", 1664},  {"0000001100101", 1728},
};

// Make-up codes shared by both colours.
const RunCode kExtendedCodes[] = {
    {"00000001000", 1792},  {"00000001100", 1856},  {"00000001101", 1920},
    {"000000010010", 1984}, {"000000010011", 2048}, {"000000010100", 2112},
    {"000000010101", 2176}, {"000000010110", 2240}, {"000000010111", 2304},
    {"000000011100", 2368}, {"000000011101", 2432}, {"000000011110", 2496},
    {"000000011111", 2560},
};

enum Mode : uint8_t { kInvalid, kPass, kHorizontal, kVertical, kExtension };

struct ModeCode {
  const char* bits;
  Mode mode;
  int offset;
};

const ModeCode kModeCodes[] = {
    {"0001", kPass, 0},          {"001", kHorizontal, 0},  {"1", kVertical, 0},
    {"011", kVertical, 1},       {"000011", kVertical, 2}, {"0000011", kVertical, 3},
    {"010", kVertical, -1},      {"000010", kVertical, -2}, {"0000010", kVertical, -3},
    {"0000001", kExtension, 0},
};

constexpr int kWhiteBits = 12;
constexpr int kBlackBits = 13;
constexpr int kModeBits = 7;

struct RunEntry {
  int16_t run;  // -1: no code
  uint8_t length;
};

struct ModeEntry {
  Mode mode;
  int8_t offset;
  uint8_t length;
};

struct Tables {
  RunEntry white[1 << kWhiteBits];
  RunEntry black[1 << kBlackBits];
  ModeEntry modes[1 << kModeBits];
};

template <typename Entry, typename Make>
void Fill(Entry* table, int indexBits, const char* bits, Make make) {
  int len = (int)strlen(bits);
  int code = 0;
  for (int i = 0; i < len; i++) code = code * 2 + (bits[i] - '0');
  int spare = indexBits - len;
  for (int low = 0; low < (1 << spare); low++) table[(code << spare) | low] = make(len);
}

const Tables& FaxTables() {
  static Tables* tables = nullptr;
  static std::once_flag once;
  std::call_once(once, [] {
    Tables* t = new Tables;
    for (auto& e : t->white) e = {-1, 0};
    for (auto& e : t->black) e = {-1, 0};
    for (auto& e : t->modes) e = {kInvalid, 0, 0};
    for (const RunCode& c : kWhiteCodes)
      Fill(t->white, kWhiteBits, c.bits, [&](int len) { return RunEntry{(int16_t)c.run, (uint8_t)len}; });
    for (const RunCode& c : kBlackCodes)
      Fill(t->black, kBlackBits, c.bits, [&](int len) { return RunEntry{(int16_t)c.run, (uint8_t)len}; });
    for (const RunCode& c : kExtendedCodes) {
      Fill(t->white, kWhiteBits, c.bits, [&](int len) { return RunEntry{(int16_t)c.run, (uint8_t)len}; });
      Fill(t->black, kBlackBits, c.bits, [&](int len) { return RunEntry{(int16_t)c.run, (uint8_t)len}; });
    }
    for (const ModeCode& c : kModeCodes)
      Fill(t->modes, kModeBits, c.bits,
           [&](int len) { return ModeEntry{c.mode, (int8_t)c.offset, (uint8_t)len}; });
    tables = t;
  });
  return *tables;
}

// Paints the black spans of a list of changing elements into a packed row.
void PaintRow(const std::vector<int>& changes, int width, uint8_t* row, size_t rowBytes) {
  memset(row, 0, rowBytes);
  size_t n = changes.size();
  for (size_t i = 0; i + 1 <= n; i += 2) {
    int start = changes[i];
    int end = i + 1 < n ? changes[i + 1] : width;
    if (start >= width) break;
    if (end > width) end = width;
    if (end <= start) continue;
    int firstByte = start >> 3, lastByte = (end - 1) >> 3;
    uint8_t headMask = (uint8_t)(0xFF >> (start & 7));
    uint8_t tailMask = (uint8_t)(0xFF << (7 - ((end - 1) & 7)));
    if (firstByte == lastByte) {
      row[firstByte] |= headMask & tailMask;
    } else {
      row[firstByte] |= headMask;
      if (lastByte > firstByte + 1) memset(row + firstByte + 1, 0xFF, lastByte - firstByte - 1);
      row[lastByte] |= tailMask;
    }
  }
}

class FaxDecompressor final : public TiffDecompressor {
 public:
  FaxDecompressor(TiffFaxKind kind, int width, uint32_t t4Options)
      : tables_(FaxTables()), kind_(kind), width_(width > 0 ? width : 1) {
    twoDimensional_ = kind == TiffFaxKind::kGroup3 && (t4Options & kT4TwoDimensional) != 0;
    rowBytes_ = ((size_t)width_ + 7) / 8;
    current_.reserve(64);
    reference_.reserve(64);
  }

  void Begin(const uint8_t* data, size_t size) override {
    data_ = data;
    size_ = size;
    next_ = 0;
    bits_ = 0;
    bitCount_ = 0;
    bitsLeft_ = (uint64_t)size * 8;
    consumed_ = 0;
    ended_ = false;
    firstRow_ = true;
    reference_.clear();
  }

  int Read(uint8_t* out, size_t size, size_t* produced) override {
    size_t n = 0;
    int status = TIFF_DECODE_OK;
    while (n + rowBytes_ <= size) {
      if (ended_) {
        status = TIFF_DECODE_SHORT;
        break;
      }
      int rc = DecodeRow();
      if (rc == kRowEnd) {
        ended_ = true;
        status = TIFF_DECODE_SHORT;
        break;
      }
      PaintRow(current_, width_, out + n, rowBytes_);
      n += rowBytes_;
      if (rc == kRowBad) {
        if (kind_ == TiffFaxKind::kGroup3) {
          // Group 3 rows are framed by EOL codes: go on at the next one.
          if (!ScanToEol()) ended_ = true;
          resynced_ = true;
        } else {
          ended_ = true;
          status = TIFF_DECODE_CORRUPT;
          break;
        }
      } else if (rc == kRowShort) {
        ended_ = true;
        status = TIFF_DECODE_SHORT;
        break;
      }
      reference_.swap(current_);
    }
    *produced = n;
    if (n < size) memset(out + n, 0, size - n);
    if (status == TIFF_DECODE_OK && n < size) status = TIFF_DECODE_SHORT;
    return status;
  }

 private:
  enum RowResult { kRowOk, kRowBad, kRowShort, kRowEnd };

  // ---- bits
  void Refill() {
    while (bitCount_ <= 56) {
      bits_ <<= 8;
      if (next_ < size_) bits_ |= data_[next_++];
      bitCount_ += 8;
    }
  }
  uint32_t Peek(int n) {
    if (bitCount_ < n) Refill();
    return (uint32_t)(bits_ >> (bitCount_ - n)) & ((1u << n) - 1);
  }
  void Consume(int n) {
    bitCount_ -= n;
    consumed_ += (uint64_t)n;
  }
  bool Exhausted() const { return consumed_ >= bitsLeft_; }
  bool Overran() const { return consumed_ > bitsLeft_; }
  int GetBit() {
    int b = (int)Peek(1);
    Consume(1);
    return b;
  }

  // Consumes an EOL (eleven or more zero bits, then a one) when one is next.
  bool TakeEol() {
    if (Peek(11) != 0 || Exhausted()) return false;
    while (!Exhausted() && Peek(1) == 0) Consume(1);
    if (Exhausted()) return false;
    Consume(1);
    return true;
  }

  // Skips forward to just after the next EOL; false at the end of the data.
  bool ScanToEol() {
    while (!Exhausted()) {
      if (Peek(11) == 0) return TakeEol();
      Consume(1);
    }
    return false;
  }

  // One run of the colour (make-up codes followed by a terminating code).
  // On a bad code the make-up part read so far is left in *partial.
  int DecodeRun(int colour, int* partial = nullptr) {
    int total = 0;
    for (;;) {
      RunEntry e = colour == 0 ? tables_.white[Peek(kWhiteBits)] : tables_.black[Peek(kBlackBits)];
      if (e.run < 0) {
        if (partial) *partial = total;
        return -1;
      }
      Consume(e.length);
      total += e.run;
      if (e.run < 64) return total;
      if (total > width_) return -1;
    }
  }

  void AddChange(int x) { current_.push_back(x); }

  // Uncompressed mode: pixel patterns until an exit code, which also gives
  // the colour of what follows. Returns false on a bad code.
  bool Uncompressed(int* pos, int* colour) {
    for (;;) {
      if (Exhausted()) return false;
      int zeros = 0;
      while (zeros <= 11 && Peek(1) == 0 && !Exhausted()) {
        Consume(1);
        zeros++;
      }
      if (Exhausted()) return false;
      Consume(1);  // the one that ends the code
      int whites, black = 0;
      bool exit = false;
      if (zeros <= 4) {
        whites = zeros;
        black = 1;
      } else if (zeros == 5) {
        whites = 5;
      } else if (zeros <= 10) {
        whites = zeros - 6;
        exit = true;
      } else {
        return false;
      }
      if (*pos + whites + black > width_) return false;
      for (int i = 0; i < whites; i++) Pixel(pos, colour, 0);
      if (black) Pixel(pos, colour, 1);
      if (exit) {
        int next = GetBit();
        if (next != *colour) {
          AddChange(*pos);
          *colour = next;
        }
        return true;
      }
    }
  }

  void Pixel(int* pos, int* colour, int c) {
    if (c != *colour) {
      AddChange(*pos);
      *colour = c;
    }
    (*pos)++;
  }

  RowResult Decode1D() {
    int pos = 0, colour = 0;
    while (pos < width_) {
      if (Peek(12) == 0x00F) {  // 000000001111: uncompressed mode
        Consume(12);
        if (!Uncompressed(&pos, &colour)) return kRowBad;
        continue;
      }
      int partial = 0;
      int run = DecodeRun(colour, &partial);
      if (run < 0 && partial > 0) {
        // Like libtiff, a run cut short still paints its make-up part.
        pos = std::min(pos + partial, width_);
        AddChange(pos);
        rowEnd_ = pos;
      }
      if (run < 0 || pos + run > width_) return Overran() ? kRowShort : kRowBad;
      pos += run;
      AddChange(pos);
      rowEnd_ = pos;
      colour ^= 1;
    }
    return Overran() ? kRowShort : kRowOk;
  }

  RowResult Decode2D() {
    // The reference row with enough sentinels at the width for every lookup.
    for (int i = 0; i < 4; i++) reference_.push_back(width_);
    const int* ref = reference_.data();
    int a0 = -1, colour = 0;
    size_t j = 0;
    auto findB1 = [&]() {
      if (j > 0) j--;
      while (ref[j] <= a0 || (int)(j & 1) != colour) j++;
    };
    while (a0 < width_) {
      rowEnd_ = a0 < 0 ? 0 : a0;
      if (Exhausted()) return kRowShort;
      ModeEntry m = tables_.modes[Peek(kModeBits)];
      switch (m.mode) {
        case kPass: {
          Consume(m.length);
          findB1();
          a0 = ref[j + 1];
          break;
        }
        case kHorizontal: {
          Consume(m.length);
          int start = a0 < 0 ? 0 : a0;
          int r1 = DecodeRun(colour);
          if (r1 < 0) return Overran() ? kRowShort : kRowBad;
          int r2 = DecodeRun(colour ^ 1);
          if (r2 < 0) return Overran() ? kRowShort : kRowBad;
          int a1 = start + r1, a2 = a1 + r2;
          if (a2 > width_) return kRowBad;
          AddChange(a1);
          AddChange(a2);
          a0 = a2;
          break;
        }
        case kVertical: {
          Consume(m.length);
          findB1();
          int a1 = ref[j] + m.offset;
          if (a1 < (a0 < 0 ? 0 : a0) || a1 > width_) return kRowBad;
          AddChange(a1);
          a0 = a1;
          colour ^= 1;
          break;
        }
        case kExtension: {
          if (Peek(10) != 0x0F) return kRowBad;  // 0000001111: uncompressed
          Consume(10);
          int pos = a0 < 0 ? 0 : a0;
          if (!Uncompressed(&pos, &colour)) return kRowBad;
          a0 = pos;
          if (a0 >= width_) {
            reference_.resize(reference_.size() - 4);
            return kRowOk;
          }
          break;
        }
        default:
          return Overran() ? kRowShort : kRowBad;
      }
    }
    reference_.resize(reference_.size() - 4);
    return Overran() ? kRowShort : kRowOk;
  }

  RowResult DecodeRow() {
    current_.clear();
    if (Exhausted()) return kRowEnd;
    bool twoD = false;
    switch (kind_) {
      case TiffFaxKind::kModifiedHuffman:
        if (!firstRow_) {
          int misalign = (int)(consumed_ & 7);
          if (misalign) Consume(8 - misalign);
          if (Exhausted()) return kRowEnd;
        }
        break;
      case TiffFaxKind::kGroup3: {
        // Every row starts after an EOL; anything before it is skipped, as
        // libtiff does. After a damaged or short row the EOL that ended it
        // was taken already.
        if (!resynced_ && !ScanToEol()) return kRowEnd;
        resynced_ = false;
        int tag = twoDimensional_ ? GetBit() : 1;
        if (Exhausted()) return kRowEnd;
        twoD = twoDimensional_ && tag == 0;
        break;
      }
      case TiffFaxKind::kGroup4:
        if (Peek(12) == 1) return kRowEnd;  // EOFB
        twoD = true;
        break;
    }
    firstRow_ = false;
    rowEnd_ = 0;
    RowResult rc = twoD ? Decode2D() : Decode1D();
    if (rc != kRowOk && (current_.size() & 1)) {
      // Keep the row's runs so far; the rest of the row is white.
      current_.push_back(std::max(rowEnd_, current_.back()));
    }
    // An empty reference row means all white.
    return rc;
  }

  const Tables& tables_;
  TiffFaxKind kind_;
  int width_;
  bool twoDimensional_ = false;
  size_t rowBytes_;
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t next_ = 0;
  uint64_t bits_ = 0;
  int bitCount_ = 0;
  uint64_t bitsLeft_ = 0;
  uint64_t consumed_ = 0;
  bool ended_ = false;
  bool firstRow_ = true;
  bool resynced_ = false;
  int rowEnd_ = 0;
  std::vector<int> current_;
  std::vector<int> reference_;
};

}  // namespace

std::unique_ptr<TiffDecompressor> NewFaxDecompressor(TiffFaxKind kind, int width,
                                                     uint32_t t4Options) {
  return std::make_unique<FaxDecompressor>(kind, width, t4Options);
}
