#include "imagelib/codecs/gif_lzw_encoder.h"

#include <cstring>

GifLzwEncoder::GifLzwEncoder(int minCodeSize)
    : minCodeSize_(minCodeSize), clear_(1 << minCodeSize), end_((1 << minCodeSize) + 1),
      width_(minCodeSize + 1), nextFree_((1 << minCodeSize) + 2) {
  ClearTable();
  Put(clear_);
}

void GifLzwEncoder::ClearTable() {
  memset(slotCode_, 0xFF, sizeof slotCode_);
}

void GifLzwEncoder::FlushBlock() {
  if (blockLength_ == 0) return;
  out_.push_back((uint8_t)blockLength_);
  out_.insert(out_.end(), block_, block_ + blockLength_);
  blockLength_ = 0;
}

void GifLzwEncoder::Put(int code) {
  bitBuffer_ |= (uint32_t)code << bitCount_;
  bitCount_ += width_;
  while (bitCount_ >= 8) {
    block_[blockLength_++] = (uint8_t)bitBuffer_;
    if (blockLength_ == 254) FlushBlock();
    bitBuffer_ >>= 8;
    bitCount_ -= 8;
  }
  // The decoder widens its codes once its next free code passes the width.
  if (nextFree_ > (1 << width_) - 1 && width_ < 12) ++width_;
}

void GifLzwEncoder::Add(const uint8_t* pixels, size_t count) {
  size_t i = 0;
  if (current_ < 0) {
    if (count == 0) return;
    current_ = pixels[i++];
  }
  int current = current_;
  for (; i < count; ++i) {
    const int byte = pixels[i];
    int slot = (current + (byte << 4)) % kSlots;
    const int step = slot == 0 ? 1 : kSlots - slot;
    bool found = false;
    while (slotCode_[slot] >= 0) {
      if (slotPrefix_[slot] == current && slotByte_[slot] == byte) {
        current = slotCode_[slot];
        found = true;
        break;
      }
      slot -= step;
      if (slot < 0) slot += kSlots;
    }
    if (found) continue;
    Put(current);
    slotCode_[slot] = (int16_t)nextFree_++;
    slotPrefix_[slot] = (uint16_t)current;
    slotByte_[slot] = (uint8_t)byte;
    if (nextFree_ >= 4096) {
      // The table is full: start again.
      Put(clear_);
      ClearTable();
      nextFree_ = clear_ + 2;
      width_ = minCodeSize_ + 1;
    }
    current = byte;
  }
  current_ = current;
}

void GifLzwEncoder::Finish() {
  if (current_ >= 0) Put(current_);
  Put(end_);
  if (bitCount_ > 0) {
    block_[blockLength_++] = (uint8_t)bitBuffer_;
    bitBuffer_ = 0;
    bitCount_ = 0;
  }
  FlushBlock();
  out_.push_back(0);
}
