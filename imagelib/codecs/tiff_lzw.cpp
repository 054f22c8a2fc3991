// LZW decoding for TIFF strips and tiles. The string table keeps, for every
// code, its prefix code, its last byte, its first byte and its length, so a
// string is written back to front straight into the output; a string that
// does not fit in what is left of a read is parked and finished by the next
// read.
#include "imagelib/codecs/tiff_lzw.h"

#include <cstring>

namespace {

constexpr int kClear = 256;
constexpr int kEndOfInformation = 257;
constexpr int kFirstFree = 258;
constexpr int kTableSize = 4096;

class LzwDecompressor final : public TiffDecompressor {
 public:
  LzwDecompressor() {
    for (int i = 0; i < 256; i++) {
      prefix_[i] = 0;
      suffix_[i] = (uint8_t)i;
      first_[i] = (uint8_t)i;
      length_[i] = 1;
    }
  }

  void Begin(const uint8_t* data, size_t size) override {
    if (!decided_) {
      // Early encoders wrote the clear code least significant bit first,
      // which puts 0x00 then a byte with its low bit set at the start.
      oldBitOrder_ = size >= 2 && data[0] == 0 && (data[1] & 1) != 0;
      decided_ = true;
    }
    in_ = data;
    end_ = data + size;
    bits_ = 0;
    bitCount_ = 0;
    ResetTable();
    previous_ = -1;
    parkedSize_ = parkedPos_ = 0;
    finished_ = false;
  }

  int Read(uint8_t* out, size_t size, size_t* produced) override {
    size_t n = 0;
    int status = TIFF_DECODE_OK;
    if (parkedPos_ < parkedSize_) {
      size_t k = parkedSize_ - parkedPos_;
      if (k > size) k = size;
      memcpy(out, parked_ + parkedPos_, k);
      parkedPos_ += k;
      n = k;
    }
    while (n < size) {
      if (finished_) {
        status = TIFF_DECODE_SHORT;
        break;
      }
      int code = NextCode();
      if (code < 0 || code == kEndOfInformation) {
        finished_ = true;
        continue;
      }
      if (code == kClear) {
        ResetTable();
        previous_ = -1;
        continue;
      }
      int emit;
      if (code < nextCode_) {
        emit = code;
        if (previous_ >= 0) AddEntry(previous_, first_[code]);
      } else if (code == nextCode_ && previous_ >= 0) {
        AddEntry(previous_, first_[previous_]);
        emit = code;
        if (emit >= nextCode_) {  // the table was full: nothing was added
          status = TIFF_DECODE_BAD_LZW;
          break;
        }
      } else {
        status = TIFF_DECODE_BAD_LZW;
        break;
      }
      previous_ = code;
      size_t len = length_[emit];
      size_t room = size - n;
      if (len <= room) {
        WriteString(emit, out + n + len - 1);
        n += len;
      } else {
        WriteString(emit, parked_ + len - 1);
        memcpy(out + n, parked_, room);
        n += room;
        parkedSize_ = len;
        parkedPos_ = room;
      }
    }
    *produced = n;
    if (n < size) memset(out + n, 0, size - n);
    if (status == TIFF_DECODE_OK && n < size) status = TIFF_DECODE_SHORT;
    return status;
  }

 private:
  void ResetTable() {
    nextCode_ = kFirstFree;
    width_ = 9;
  }

  void AddEntry(int prefix, uint8_t byte) {
    if (nextCode_ >= kTableSize) return;
    prefix_[nextCode_] = (uint16_t)prefix;
    suffix_[nextCode_] = byte;
    first_[nextCode_] = first_[prefix];
    length_[nextCode_] = (uint16_t)(length_[prefix] + 1);
    nextCode_++;
    // The usual writer widens the codes one code before the table needs it.
    int limit = oldBitOrder_ ? (1 << width_) : (1 << width_) - 1;
    if (nextCode_ >= limit && width_ < 12) width_++;
  }

  // Writes the string of `code` backwards, ending at `last`.
  void WriteString(int code, uint8_t* last) {
    while (code >= 256) {
      *last-- = suffix_[code];
      code = prefix_[code];
    }
    *last = (uint8_t)code;
  }

  int NextCode() {
    while (bitCount_ < width_) {
      if (in_ >= end_) return -1;
      if (oldBitOrder_)
        bits_ |= (uint64_t)*in_++ << bitCount_;
      else
        bits_ = (bits_ << 8) | *in_++;
      bitCount_ += 8;
    }
    int code;
    if (oldBitOrder_) {
      code = (int)(bits_ & ((1u << width_) - 1));
      bits_ >>= width_;
    } else {
      code = (int)((bits_ >> (bitCount_ - width_)) & ((1u << width_) - 1));
    }
    bitCount_ -= width_;
    return code;
  }

  const uint8_t* in_ = nullptr;
  const uint8_t* end_ = nullptr;
  uint64_t bits_ = 0;
  int bitCount_ = 0;
  int width_ = 9;
  int nextCode_ = kFirstFree;
  int previous_ = -1;
  bool oldBitOrder_ = false;
  bool decided_ = false;
  bool finished_ = false;
  uint16_t prefix_[kTableSize];
  uint8_t suffix_[kTableSize];
  uint8_t first_[kTableSize];
  uint16_t length_[kTableSize];
  uint8_t parked_[kTableSize + 1];
  size_t parkedSize_ = 0;
  size_t parkedPos_ = 0;
};

}  // namespace

std::unique_ptr<TiffDecompressor> NewLzwDecompressor() {
  return std::make_unique<LzwDecompressor>();
}
