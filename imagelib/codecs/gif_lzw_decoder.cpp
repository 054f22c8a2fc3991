#include "imagelib/codecs/gif_lzw_decoder.h"

#include <cstdio>
#include <cstring>

bool GifSubBlocks::Refill() {
  while (!terminated_ && !endOfFile_) {
    int size = StreamGetc(stream_);
    if (size < 0) {
      endOfFile_ = true;
      break;
    }
    if (size == 0) {
      terminated_ = true;
      break;
    }
    size_t got = StreamRead(stream_, block_, (size_t)size);
    pos_ = 0;
    len_ = (int)got;
    if (got < (size_t)size) endOfFile_ = true;
    if (got > 0) return true;
  }
  pos_ = len_ = 0;
  return false;
}

void GifSubBlocks::SkipRest() {
  pos_ = len_ = 0;
  while (!terminated_ && !endOfFile_) {
    int size = StreamGetc(stream_);
    if (size < 0) {
      endOfFile_ = true;
    } else if (size == 0) {
      terminated_ = true;
    } else if (fseek(stream_->file, size, SEEK_CUR) != 0) {
      endOfFile_ = true;
    }
    // A seek past the end shows at the next size byte.
  }
}

namespace {

class Decoder {
 public:
  Decoder(GifSubBlocks* source, GifLzwTables* t, int minCodeSize, int width, int height,
          uint8_t* row, GifRowSink sink, void* user, GifDecodeStatus* status)
      : source_(source), t_(t), clear_(1 << minCodeSize), end_(clear_ + 1),
        minCodeSize_(minCodeSize), width_(width), height_(height), row_(row), sink_(sink),
        user_(user), status_(status) {}

  int Run();

 private:
  // Next code of `width` bits, or -1 when the data ended.
  int ReadCode(int width) {
    while (bits_ < width) {
      int b = source_->Next();
      if (b < 0) return -1;
      buffer_ |= (uint32_t)b << bits_;
      bits_ += 8;
    }
    int code = (int)(buffer_ & ((1u << width) - 1));
    buffer_ >>= width;
    bits_ -= width;
    return code;
  }
  // Writes the string of `code` into the rows; returns nonzero to stop.
  int Emit(int code);
  int RowComplete();

  GifSubBlocks* source_;
  GifLzwTables* t_;
  const int clear_;
  const int end_;
  const int minCodeSize_;
  const int width_;
  const int height_;
  uint8_t* row_;
  GifRowSink sink_;
  void* user_;
  GifDecodeStatus* status_;
  uint32_t buffer_ = 0;
  int bits_ = 0;
  int x_ = 0;
  int stop_ = 0;     // sink result
  bool done_ = false;  // every row is out
};

int Decoder::RowComplete() {
  x_ = 0;
  int r = sink_(user_, status_->rowsDone, row_, width_);
  ++status_->rowsDone;
  if (r) {
    stop_ = r;
    return r;
  }
  if (status_->rowsDone >= height_) {
    done_ = true;
    return 1;
  }
  return 0;
}

int Decoder::Emit(int code) {
  const int len = t_->length[code];
  const uint16_t* prefix = t_->prefix;
  const uint8_t* suffix = t_->suffix;
  if (len <= width_ - x_) {
    // The whole string fits in the row: write it backwards in place.
    uint8_t* p = row_ + x_;
    int c = code;
    for (int k = len - 1; k > 0; --k) {
      p[k] = suffix[c];
      c = prefix[c];
    }
    p[0] = suffix[c];
    x_ += len;
    if (x_ == width_) return RowComplete();
    return 0;
  }
  // The string crosses rows: unwind it on the stack, then copy in pieces.
  uint8_t* stack = t_->stack;
  int c = code;
  for (int k = len - 1; k > 0; --k) {
    stack[k] = suffix[c];
    c = prefix[c];
  }
  stack[0] = suffix[c];
  int at = 0;
  while (at < len) {
    int n = len - at;
    if (n > width_ - x_) n = width_ - x_;
    memcpy(row_ + x_, stack + at, (size_t)n);
    at += n;
    x_ += n;
    if (x_ == width_ && RowComplete()) return 1;
  }
  return 0;
}

int Decoder::Run() {
  // Roots: one-byte strings.
  for (int c = 0; c < clear_; ++c) {
    t_->prefix[c] = 0;
    t_->suffix[c] = (uint8_t)c;
    t_->first[c] = (uint8_t)c;
    t_->length[c] = 1;
  }
  // The clear and end codes have no string; give them a harmless one.
  t_->length[clear_] = t_->length[end_] = 1;
  t_->suffix[clear_] = t_->suffix[end_] = 0;
  t_->first[clear_] = t_->first[end_] = 0;
  if (height_ <= 0 || width_ <= 0) return 0;

  int width = minCodeSize_ + 1;
  int nextFree = clear_ + 2;
  int previous = -1;  // -1: right after a clear code
  for (;;) {
    int code = ReadCode(width);
    if (code < 0 || code == end_) break;
    if (code == clear_) {
      width = minCodeSize_ + 1;
      nextFree = clear_ + 2;
      previous = -1;
      continue;
    }
    if (previous < 0) {
      // First code after a clear: a root; values past the roots count as 0.
      if (code > clear_) code = 0;
      previous = code;
      if (Emit(code)) break;
      continue;
    }
    if (code > nextFree) break;  // not in the table: a damaged stream
    if (nextFree < 4096) {
      // New string: the previous one plus the first byte of this one (for
      // the code being defined right now, the previous string's first byte).
      const int c = nextFree;
      t_->prefix[c] = (uint16_t)previous;
      t_->suffix[c] = code == c ? t_->first[previous] : t_->first[code];
      t_->first[c] = t_->first[previous];
      t_->length[c] = (uint16_t)(t_->length[previous] + 1);
      ++nextFree;
      if (nextFree == (1 << width) && width < 12) ++width;
    } else if (code == nextFree) {
      break;  // cannot happen with 12-bit codes; kept as a guard
    }
    previous = code;
    if (Emit(code)) break;
  }
  if (stop_) return stop_;
  if (!done_ && x_ > 0) {
    // The data ended inside a row: hand over what there is, once.
    memset(row_ + x_, 0, (size_t)(width_ - x_));
    status_->partialPixels = x_;
    int r = sink_(user_, status_->rowsDone, row_, x_);
    if (r) return r;
  }
  return 0;
}

}  // namespace

int GifLzwDecode(GifSubBlocks* source, GifLzwTables* tables, int minCodeSize, int width,
                 int height, uint8_t* row, GifRowSink sink, void* user, GifDecodeStatus* status) {
  GifDecodeStatus local;
  if (!status) status = &local;
  *status = GifDecodeStatus{};
  if (minCodeSize < 1 || minCodeSize > 11) return 0;
  Decoder decoder(source, tables, minCodeSize, width, height, row, sink, user, status);
  return decoder.Run();
}
