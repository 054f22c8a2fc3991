// A small read-ahead buffer over a FileStream for the byte-oriented readers
// (PCX, Targa, PNM, icons): bounded block reads instead of one library call
// per byte, with a position that stays exact for seeks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "imagelib/core/file_stream.h"

class BufferedInput {
 public:
  explicit BufferedInput(FileStream* stream) : stream_(stream) {}
  BufferedInput(const BufferedInput&) = delete;
  BufferedInput& operator=(const BufferedInput&) = delete;

  // Next byte, or -1 at the end of the file.
  int Get() {
    if (pos_ == end_ && !Fill()) return -1;
    return buffer_[pos_++];
  }

  // Next byte without taking it, or -1.
  int Peek() {
    if (pos_ == end_ && !Fill()) return -1;
    return buffer_[pos_];
  }

  // Copies up to n bytes; returns how many were available.
  size_t Read(void* destination, size_t n) {
    uint8_t* out = static_cast<uint8_t*>(destination);
    size_t done = 0;
    while (done < n) {
      if (pos_ == end_) {
        // Large reads bypass the buffer.
        if (n - done >= sizeof buffer_) {
          size_t got = StreamRead(stream_, out + done, n - done);
          done += got;
          break;
        }
        if (!Fill()) break;
      }
      size_t take = end_ - pos_;
      if (take > n - done) take = n - done;
      memcpy(out + done, buffer_ + pos_, take);
      pos_ += take;
      done += take;
    }
    return done;
  }

  // Drops n bytes; false when the file ended first.
  bool SkipBytes(uint64_t n) {
    while (n > 0) {
      if (pos_ == end_ && !Fill()) return false;
      size_t take = end_ - pos_;
      if (take > n) take = (size_t)n;
      pos_ += take;
      n -= take;
    }
    return true;
  }

  // Absolute position in the file.
  int64_t Tell() { return StreamTell(stream_) - (int64_t)(end_ - pos_); }

  // Moves to an absolute position; false when the stream refused.
  bool Seek(int64_t offset) {
    pos_ = end_ = 0;
    return offset >= 0 && StreamSeek(stream_, offset) == 0;
  }

  uint16_t U16LE() {
    uint8_t b[2];
    if (Read(b, 2) != 2) {
      eof_ = true;
      return 0xFFFF;
    }
    return (uint16_t)(b[0] | (b[1] << 8));
  }

  uint32_t U32LE() {
    uint8_t b[4];
    if (Read(b, 4) != 4) {
      eof_ = true;
      return 0xFFFFFFFFu;
    }
    return (uint32_t)b[0] | ((uint32_t)b[1] << 8) | ((uint32_t)b[2] << 16) | ((uint32_t)b[3] << 24);
  }

  // True once a U16LE or U32LE ran past the end.
  bool HitEnd() const { return eof_; }

 private:
  bool Fill() {
    pos_ = 0;
    end_ = StreamRead(stream_, buffer_, sizeof buffer_);
    return end_ > 0;
  }

  FileStream* stream_;
  size_t pos_ = 0;
  size_t end_ = 0;
  bool eof_ = false;
  uint8_t buffer_[8192];
};
