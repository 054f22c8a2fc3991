// A TIFF file built field by field for the reader's tests: one directory,
// strips (or tiles) laid out after the header, values stored in the chosen
// byte order.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace tiff_test {

enum : uint16_t { kByte = 1, kAscii = 2, kShort = 3, kLong = 4, kRational = 5, kUndefined = 7 };

class TiffBuilder {
 public:
  explicit TiffBuilder(bool bigEndian = false) : big_(bigEndian) {}

  void Shorts(uint16_t tag, const std::vector<uint32_t>& values) {
    std::vector<uint8_t> d;
    for (uint32_t v : values) Put16(d, v);
    Add(tag, kShort, (uint32_t)values.size(), d);
  }
  void Short(uint16_t tag, uint32_t value) { Shorts(tag, {value}); }
  void Long(uint16_t tag, uint32_t value) {
    std::vector<uint8_t> d;
    Put32(d, value);
    Add(tag, kLong, 1, d);
  }
  void Rational(uint16_t tag, uint32_t num, uint32_t den) { Rationals(tag, {num, den}); }
  void Rationals(uint16_t tag, const std::vector<uint32_t>& pairs) {
    std::vector<uint8_t> d;
    for (uint32_t v : pairs) Put32(d, v);
    Add(tag, kRational, (uint32_t)pairs.size() / 2, d);
  }
  void Ascii(uint16_t tag, const std::string& text) {
    std::vector<uint8_t> d(text.begin(), text.end());
    d.push_back(0);
    Add(tag, kAscii, (uint32_t)d.size(), d);
  }
  void Raw(uint16_t tag, uint16_t type, uint32_t count, const std::vector<uint8_t>& data) {
    Add(tag, type, count, data);
  }
  // Pixel data: each chunk becomes one strip (or tile, with tiled set).
  std::vector<std::vector<uint8_t>> chunks;
  bool tiled = false;

  std::vector<uint8_t> Build() const {
    std::vector<uint8_t> f;
    f.push_back(big_ ? 'M' : 'I');
    f.push_back(big_ ? 'M' : 'I');
    Put16(f, 42);
    Put32(f, 0);  // patched below
    std::vector<uint32_t> offsets, counts;
    for (const auto& c : chunks) {
      offsets.push_back((uint32_t)f.size());
      counts.push_back((uint32_t)c.size());
      f.insert(f.end(), c.begin(), c.end());
      if (f.size() & 1) f.push_back(0);
    }
    std::vector<Field> all = fields_;
    if (!chunks.empty()) {
      Field o{(uint16_t)(tiled ? 324 : 273), kLong, (uint32_t)offsets.size(), {}};
      Field n{(uint16_t)(tiled ? 325 : 279), kLong, (uint32_t)counts.size(), {}};
      for (uint32_t v : offsets) Put32(o.data, v);
      for (uint32_t v : counts) Put32(n.data, v);
      all.push_back(o);
      all.push_back(n);
    }
    std::sort(all.begin(), all.end(), [](const Field& a, const Field& b) { return a.tag < b.tag; });
    uint32_t ifd = (uint32_t)f.size();
    Set32(f, 4, ifd);
    uint32_t extra = ifd + 2 + 12 * (uint32_t)all.size() + 4;
    std::vector<uint8_t> tail;
    Put16(f, (uint32_t)all.size());
    for (const Field& e : all) {
      Put16(f, e.tag);
      Put16(f, e.type);
      Put32(f, e.count);
      if (e.data.size() <= 4) {
        std::vector<uint8_t> v = e.data;
        v.resize(4, 0);
        f.insert(f.end(), v.begin(), v.end());
      } else {
        Put32(f, extra + (uint32_t)tail.size());
        tail.insert(tail.end(), e.data.begin(), e.data.end());
        if (tail.size() & 1) tail.push_back(0);
      }
    }
    Put32(f, 0);
    f.insert(f.end(), tail.begin(), tail.end());
    return f;
  }

  void Put16(std::vector<uint8_t>& d, uint32_t v) const {
    if (big_) {
      d.push_back((uint8_t)(v >> 8));
      d.push_back((uint8_t)v);
    } else {
      d.push_back((uint8_t)v);
      d.push_back((uint8_t)(v >> 8));
    }
  }
  void Put32(std::vector<uint8_t>& d, uint32_t v) const {
    for (int i = 0; i < 4; i++) d.push_back((uint8_t)(big_ ? v >> (24 - 8 * i) : v >> (8 * i)));
  }
  void Set32(std::vector<uint8_t>& d, size_t at, uint32_t v) const {
    for (int i = 0; i < 4; i++) d[at + i] = (uint8_t)(big_ ? v >> (24 - 8 * i) : v >> (8 * i));
  }

 private:
  struct Field {
    uint16_t tag, type;
    uint32_t count;
    std::vector<uint8_t> data;
  };
  void Add(uint16_t tag, uint16_t type, uint32_t count, const std::vector<uint8_t>& data) {
    fields_.erase(std::remove_if(fields_.begin(), fields_.end(), [&](const Field& f) { return f.tag == tag; }),
                  fields_.end());
    fields_.push_back({tag, type, count, data});
  }
  bool big_;
  std::vector<Field> fields_;
};

// A grey (or other) page of the given geometry with one strip.
inline TiffBuilder Basic(int width, int height, int bits, int samples, int photometric,
                         const std::vector<uint8_t>& data, bool big = false) {
  TiffBuilder b(big);
  b.Long(256, (uint32_t)width);
  b.Long(257, (uint32_t)height);
  std::vector<uint32_t> bps((size_t)samples, (uint32_t)bits);
  b.Shorts(258, bps);
  b.Short(259, 1);
  b.Short(262, (uint32_t)photometric);
  b.Short(277, (uint32_t)samples);
  b.Long(278, (uint32_t)height);
  b.chunks.push_back(data);
  return b;
}

}  // namespace tiff_test
