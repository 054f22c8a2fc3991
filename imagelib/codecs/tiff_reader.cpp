// The TIFF reader: header and directories in either byte order, page
// counting and selection, the descriptive tags and metadata, and the strip
// and tile machinery that feeds every decompressor's rows, after the
// predictor and the sample conversions, to the pixel delivery.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <set>
#include <vector>

#include "imagelib/codecs/codecs.h"
#include "imagelib/codecs/jpeg_in_tiff.h"
#include "imagelib/codecs/tiff_decompressor.h"
#include "imagelib/codecs/tiff_deflate.h"
#include "imagelib/codecs/tiff_fax.h"
#include "imagelib/codecs/tiff_jpeg.h"
#include "imagelib/codecs/tiff_lzw.h"
#include "imagelib/codecs/tiff_packbits.h"
#include "imagelib/codecs/tiff_sgilog.h"
#include "imagelib/codecs/tiff_thunderscan.h"
#include "imagelib/core/reader_contract.h"

namespace {

const char kBadCompression[] = "TIFF : Bad data compression algorithm !";
const char kBadPhotometric[] = "TIFF : Bad photometric interpretation !";
const char kBadLzwCodes[] = "TIFF : Bad LZW codes !";

// Palette handed over as three arrays of 16-bit values.
constexpr uint32_t kPaletteArrays16 = 0x110;

// Work buffers (one band of tiles, one strip of compressed data) above this
// size are refused rather than allocated.
constexpr uint64_t kMaxWorkBuffer = 1ull << 30;

enum Tag : uint16_t {
  kImageWidth = 256,
  kImageLength = 257,
  kBitsPerSample = 258,
  kCompression = 259,
  kPhotometric = 262,
  kFillOrder = 266,
  kDocumentName = 269,
  kImageDescription = 270,
  kMake = 271,
  kModel = 272,
  kStripOffsets = 273,
  kOrientation = 274,
  kSamplesPerPixel = 277,
  kRowsPerStrip = 278,
  kStripByteCounts = 279,
  kXResolution = 282,
  kYResolution = 283,
  kPlanarConfig = 284,
  kXPosition = 286,
  kYPosition = 287,
  kT4Options = 292,
  kResolutionUnit = 296,
  kSoftware = 305,
  kDateTime = 306,
  kArtist = 315,
  kHostComputer = 316,
  kPredictor = 317,
  kColorMap = 320,
  kTileWidth = 322,
  kTileLength = 323,
  kTileOffsets = 324,
  kTileByteCounts = 325,
  kExtraSamples = 338,
  kJpegTables = 347,
  kJpegInterchange = 513,
  kJpegInterchangeLength = 514,
  kYCbCrCoefficients = 529,
  kYCbCrSubSampling = 530,
  kCopyright = 33432,
  kIptc = 33723,
  kPhotoshop = 34377,
  kExifIfd = 34665,
  kIccProfile = 34675,
  kPrivate1 = 33628,
  kPrivate2 = 34361,
  kPrivate3 = 34362,
};

enum Compression : uint32_t {
  kNone = 1,
  kCcittRle = 2,
  kGroup3 = 3,
  kGroup4 = 4,
  kLzw = 5,
  kOldJpeg = 6,
  kJpeg = 7,
  kDeflate = 8,
  kPackBits = 32773,
  kThunderScan = 32809,
  kDeflateOld = 32946,
  kSgiLog = 34676,
  kSgiLog24 = 34677,
};

enum Photometric : uint32_t {
  kMinIsWhite = 0,
  kMinIsBlack = 1,
  kRgb = 2,
  kPalette = 3,
  kSeparated = 5,
  kYCbCr = 6,
  kCieLab = 8,
  kLogL = 32844,
  kLogLuv = 32845,
};

uint32_t TypeSize(uint16_t type) {
  switch (type) {
    case 1: case 2: case 6: case 7: return 1;
    case 3: case 8: return 2;
    case 4: case 9: case 11: return 4;
    case 5: case 10: case 12: return 8;
    default: return 0;
  }
}

struct Entry {
  uint16_t tag = 0;
  uint16_t type = 0;
  uint32_t count = 0;
  uint8_t field[4] = {};
  uint64_t entryPos = 0;
  uint64_t DataSize() const { return (uint64_t)count * TypeSize(type); }
  bool Inline() const { return DataSize() <= 4; }
};

class File {
 public:
  File(FileStream* stream) : stream_(stream) {
    size_ = stream->measured >= 0 ? (uint64_t)stream->measured : stream->size;
  }
  uint64_t size() const { return size_; }
  bool big = false;

  uint16_t U16(const uint8_t* p) const {
    return big ? (uint16_t)((p[0] << 8) | p[1]) : (uint16_t)(p[0] | (p[1] << 8));
  }
  uint32_t U32(const uint8_t* p) const {
    return big ? ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | p[3]
               : (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
  }

  // Reads exactly n bytes at pos; false when they are not all in the file.
  bool ReadAt(uint64_t pos, void* buffer, size_t n) {
    if (pos > size_ || n > size_ - pos) return false;
    if (StreamSeek(stream_, (int64_t)pos) != 0) return false;
    return StreamRead(stream_, buffer, n) == n;
  }
  // Reads up to n bytes at pos; returns how many.
  size_t ReadSome(uint64_t pos, void* buffer, size_t n) {
    if (pos >= size_) return 0;
    if (n > size_ - pos) n = (size_t)(size_ - pos);
    if (StreamSeek(stream_, (int64_t)pos) != 0) return 0;
    return StreamRead(stream_, buffer, n);
  }
  bool Seek(uint64_t pos) { return pos <= size_ && StreamSeek(stream_, (int64_t)pos) == 0; }
  FileStream* stream() { return stream_; }

  uint64_t DataPos(const Entry& e) const { return e.Inline() ? e.entryPos + 8 : U32(e.field); }

  // Value i of a BYTE, SHORT or LONG entry (0 when missing).
  uint32_t Value(const Entry& e, uint32_t i = 0) {
    uint32_t size = TypeSize(e.type);
    if (i >= e.count || size == 0) return 0;
    uint8_t b[8];
    if (e.Inline()) {
      memcpy(b, e.field + i * size, size);
    } else if (!ReadAt((uint64_t)U32(e.field) + (uint64_t)i * size, b, size)) {
      return 0;
    }
    switch (e.type) {
      case 1: case 6: case 7: return b[0];
      case 3: case 8: return U16(b);
      case 4: case 9: return U32(b);
      default: return U32(b);
    }
  }

  // The first n values of an offsets or byte-counts array (missing ones 0).
  bool Values(const Entry& e, uint32_t n, std::vector<uint64_t>* out) {
    out->assign(n, 0);
    uint32_t size = TypeSize(e.type);
    if (size != 2 && size != 4 && size != 1) return e.count == 0;
    uint32_t have = std::min(e.count, n);
    if (have == 0) return true;
    std::vector<uint8_t> raw;
    const uint8_t* p;
    if (e.Inline()) {
      p = e.field;
    } else {
      uint64_t bytes = (uint64_t)have * size;
      if (bytes > size_) have = (uint32_t)(size_ / size), bytes = (uint64_t)have * size;
      raw.resize((size_t)bytes);
      size_t got = ReadSome(U32(e.field), raw.data(), raw.size());
      have = (uint32_t)(got / size);
      p = raw.data();
    }
    for (uint32_t i = 0; i < have; i++) {
      const uint8_t* q = p + (size_t)i * size;
      (*out)[i] = size == 1 ? q[0] : size == 2 ? U16(q) : U32(q);
    }
    return true;
  }

  bool Rational(const Entry& e, uint32_t* num, uint32_t* den) {
    uint8_t b[8];
    if (e.count < 1 || (e.type != 5 && e.type != 10) || !ReadAt(U32(e.field), b, 8)) return false;
    *num = U32(b);
    *den = U32(b + 4);
    return true;
  }

 private:
  FileStream* stream_;
  uint64_t size_;
};

// A page's directory as read.
struct Page {
  std::vector<Entry> entries;
  const Entry* Find(uint16_t tag) const {
    for (const Entry& e : entries)
      if (e.tag == tag) return &e;
    return nullptr;
  }

  uint32_t width = 0, height = 0;
  uint32_t bits = 1, samples = 1;
  uint32_t compression = kNone, photometric = kMinIsBlack;
  uint32_t planar = 1, fillOrder = 1, rowsPerStrip = 0, predictor = 1, orientation = 1;
  uint32_t t4Options = 0;
  uint32_t tileWidth = 0, tileLength = 0;
  bool tiled = false;
  double lumaRed = 0.299, lumaGreen = 0.587, lumaBlue = 0.114;
  uint32_t subH = 2, subV = 2;
  uint32_t unit = 2;
  bool privateFlag = false;
};

// Reads the entries of the directory at `offset`; false on a short read.
bool ReadDirectory(File& f, uint64_t offset, Page* page) {
  uint8_t b[12];
  if (!f.ReadAt(offset, b, 2)) return false;
  uint32_t n = f.U16(b);
  page->entries.reserve(n);
  for (uint32_t i = 0; i < n; i++) {
    uint64_t pos = offset + 2 + 12ull * i;
    if (!f.ReadAt(pos, b, 12)) return false;
    Entry e;
    e.tag = f.U16(b);
    e.type = f.U16(b + 2);
    e.count = f.U32(b + 4);
    memcpy(e.field, b + 8, 4);
    e.entryPos = pos;
    page->entries.push_back(e);
  }
  return true;
}

// Counts the pages and finds the offset of page `index` (the first page
// when the index is beyond the last). The chain ends at an offset of 0, one
// outside the file, one that cannot be read, or one already visited.
uint32_t CountPages(File& f, uint32_t first, int index, uint64_t* pageOffset) {
  std::vector<uint64_t> offsets;
  std::set<uint64_t> seen;
  uint64_t offset = first;
  while (offset != 0 && offset < f.size() && offsets.size() < 65536) {
    if (!seen.insert(offset).second) break;
    uint8_t b[4];
    if (!f.ReadAt(offset, b, 2)) break;
    offsets.push_back(offset);
    if (!f.ReadAt(offset + 2 + 12ull * f.U16(b), b, 4)) break;
    offset = f.U32(b);
  }
  *pageOffset = 0;
  if (!offsets.empty())
    *pageOffset = index >= 0 && (size_t)index < offsets.size() ? offsets[(size_t)index] : offsets[0];
  return (uint32_t)offsets.size();
}

// An old-style JPEG page whose interchange stream ends before any scan
// (it holds only SOI, tables and the frame header) keeps its scan in the
// strips: the first strip starts with the SOS marker, and every strip is an
// entropy-coded segment of its own (byte-aligned, DC predictions restarted)
// without restart markers between them. Such a page is decoded from the
// header, a restart interval of one strip (unless the header sets one),
// the strips with a restart marker put between each two, and an end
// marker. Returns false when the page is not of this kind (the interchange
// stream is then decoded whole, as stored).
const uint8_t kRestartMarkers[8][2] = {{0xFF, 0xD0}, {0xFF, 0xD1}, {0xFF, 0xD2}, {0xFF, 0xD3},
                                       {0xFF, 0xD4}, {0xFF, 0xD5}, {0xFF, 0xD6}, {0xFF, 0xD7}};
const uint8_t kEndMarker[2] = {0xFF, 0xD9};

bool SplitOldJpegPieces(File& f, const Page& p, uint64_t at, uint64_t length, uint8_t dri[6],
                        std::vector<JpegStreamPiece>* pieces) {
  if (p.tiled || (p.planar == 2 && p.samples > 1) || p.width == 0 || p.height == 0) return false;
  const uint64_t end = length > 0 && at + length <= f.size() ? at + length : f.size();
  uint8_t b[10];
  if (at + 2 > end || !f.ReadAt(at, b, 2) || b[0] != 0xFF || b[1] != 0xD8) return false;
  uint64_t pos = at + 2, headerEnd = pos;
  bool haveDri = false;
  uint32_t components = 0, maxH = 1, maxV = 1;
  while (pos + 2 <= end && f.ReadAt(pos, b, 2) && b[0] == 0xFF) {
    const uint8_t marker = b[1];
    if (marker == 0xFF) {  // fill byte
      pos++;
      continue;
    }
    if (marker == 0xDA) return false;  // the scan is in the interchange stream
    if (marker == 0xD9) break;
    if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
      pos += 2;
      headerEnd = pos;
      continue;
    }
    if (pos + 4 > end || !f.ReadAt(pos + 2, b, 2)) break;
    const uint32_t size = (uint32_t)(b[0] << 8 | b[1]);
    if (size < 2 || pos + 2 + size > end) break;
    if (marker == 0xDD) haveDri = true;
    const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
                       marker != 0xCC;
    if (frame && size >= 8 && f.ReadAt(pos + 4, b, 6)) {
      components = b[5];
      for (uint32_t c = 0; c < components && 8 + 3 * c + 3 <= size; c++) {
        uint8_t component[3];
        if (!f.ReadAt(pos + 10 + 3 * c, component, 3)) break;
        maxH = std::max<uint32_t>(maxH, component[1] >> 4);
        maxV = std::max<uint32_t>(maxV, component[1] & 15);
      }
    }
    pos += 2 + size;
    headerEnd = pos;
  }
  if (components == 0 || maxH > 4 || maxV > 4) return false;

  const uint32_t rows = p.rowsPerStrip == 0 || p.rowsPerStrip > p.height ? p.height : p.rowsPerStrip;
  const uint64_t strips = ((uint64_t)p.height + rows - 1) / rows;
  const Entry* offsetsTag = p.Find(kStripOffsets);
  const Entry* countsTag = p.Find(kStripByteCounts);
  if (!offsetsTag || !countsTag || strips > f.size() + 16) return false;
  std::vector<uint64_t> offsets, counts;
  f.Values(*offsetsTag, (uint32_t)strips, &offsets);
  f.Values(*countsTag, (uint32_t)strips, &counts);
  // The scan starts in the first strip, with its SOS (or another marker).
  if (offsets[0] == 0 || !f.ReadAt(offsets[0], b, 1) || b[0] != 0xFF) return false;

  bool restarts = haveDri;
  if (!haveDri && strips > 1) {
    const uint32_t mcuWidth = components == 1 ? 8 : 8 * maxH;
    const uint32_t mcuHeight = components == 1 ? 8 : 8 * maxV;
    const uint64_t interval =
        rows % mcuHeight == 0 ? ((uint64_t)p.width + mcuWidth - 1) / mcuWidth * (rows / mcuHeight) : 0;
    if (interval > 0 && interval <= 0xFFFF) {
      const uint8_t define[6] = {0xFF, 0xDD, 0, 4, (uint8_t)(interval >> 8), (uint8_t)interval};
      memcpy(dri, define, 6);
      restarts = true;
    }
  }
  pieces->push_back({nullptr, at, headerEnd - at});
  if (restarts && !haveDri) pieces->push_back({dri, 0, 6});
  for (uint64_t i = 0; i < strips; i++) {
    if (i > 0 && restarts) pieces->push_back({kRestartMarkers[(i - 1) & 7], 0, 2});
    const uint64_t offset = offsets[(size_t)i];
    if (offset == 0 || offset >= f.size()) continue;
    const uint64_t count = std::min<uint64_t>(counts[(size_t)i], f.size() - offset);
    if (count > 0) pieces->push_back({nullptr, offset, count});
  }
  pieces->push_back({kEndMarker, 0, 2});
  return true;
}

void ReadPage(File& f, Page* p) {
  bool photometricSet = false;
  for (const Entry& e : p->entries) {
    switch (e.tag) {
      case kImageWidth: p->width = f.Value(e); break;
      case kImageLength: p->height = f.Value(e); break;
      case kBitsPerSample: p->bits = f.Value(e); break;
      case kCompression: p->compression = f.Value(e); break;
      case kPhotometric: p->photometric = f.Value(e); photometricSet = true; break;
      case kFillOrder: p->fillOrder = f.Value(e); break;
      case kOrientation: p->orientation = f.Value(e); break;
      case kSamplesPerPixel: p->samples = f.Value(e); break;
      case kRowsPerStrip: p->rowsPerStrip = f.Value(e); break;
      case kPlanarConfig: p->planar = f.Value(e); break;
      case kT4Options: p->t4Options = f.Value(e); break;
      case kResolutionUnit: p->unit = f.Value(e); break;
      case kPredictor: p->predictor = f.Value(e); break;
      case kTileWidth: p->tileWidth = f.Value(e); break;
      case kTileLength: p->tileLength = f.Value(e); break;
      case kYCbCrSubSampling:
        p->subH = f.Value(e, 0);
        p->subV = e.count > 1 ? f.Value(e, 1) : p->subV;
        break;
      case kYCbCrCoefficients: {
        if (e.type != 5 || e.count < 3) break;
        uint8_t b[24];
        if (!f.ReadAt(f.U32(e.field), b, 24)) break;
        double c[3];
        bool ok = true;
        for (int i = 0; i < 3; i++) {
          uint32_t den = f.U32(b + 8 * i + 4);
          if (den == 0) ok = false;
          else c[i] = (double)f.U32(b + 8 * i) / den;
        }
        if (ok) p->lumaRed = c[0], p->lumaGreen = c[1], p->lumaBlue = c[2];
        break;
      }
      case kPrivate1: case kPrivate2: case kPrivate3: p->privateFlag = true; break;
      default: break;
    }
  }
  // Fax pages without a photometric tag are white on zero.
  if (!photometricSet && (p->compression == kCcittRle || p->compression == kGroup3 ||
                          p->compression == kGroup4))
    p->photometric = kMinIsWhite;
  if (p->rowsPerStrip == 0 || p->rowsPerStrip > p->height) p->rowsPerStrip = p->height;
  // Tiles are told by their size; their offsets may come in either tag.
  p->tiled = p->Find(kTileWidth) && p->Find(kTileLength);
}

uint32_t Resolution(File& f, const Page& p, uint16_t tag, double* perUnit) {
  const Entry* e = p.Find(tag);
  uint32_t num, den;
  *perUnit = 0;
  if (!e || !f.Rational(*e, &num, &den) || den == 0) return 0;
  *perUnit = (double)num / den;
  switch (p.unit) {
    case 1: case 2: return num / den;
    case 3: return (uint32_t)((num / den) * 2.5380710659898478);
    default: return 0;
  }
}

// ---- text and metadata

void ReadTexts(File& f, const Page& p, LoadContext* ctx, bool haveExif) {
  uint32_t flags = ctx->options.flags;
  if (flags & LOAD_KEEP_COMMENT) {
    const Entry* e = p.Find(kImageDescription);
    if (e && e->count > 0 && e->count < f.size() && f.Seek(f.DataPos(*e)))
      ReadComment(f.stream(), ctx, (int)e->count);
  }
  if (!(flags & LOAD_KEEP_TEXTS)) return;
  if ((flags & LOAD_KEEP_METADATA) && haveExif) return;
  static const struct {
    uint16_t tag;
    const char* name;
  } kTexts[] = {{kArtist, "Artist"},         {kCopyright, "Copyright"}, {kDateTime, "DateTime"},
                {kHostComputer, "HostComputer"}, {kMake, "Make"},     {kModel, "Model"},
                {kSoftware, "Software"},     {kDocumentName, "DocumentName"}};
  for (const auto& t : kTexts) {
    const Entry* e = p.Find(t.tag);
    if (!e || e->count == 0 || e->count >= f.size()) continue;
    if (f.Seek(f.DataPos(*e))) ReadText(f.stream(), ctx, t.name, (int)e->count);
  }
}

bool ReadBlock(File& f, const Entry& e, std::vector<uint8_t>* out) {
  uint64_t size = e.DataSize();
  if (size == 0 || size > f.size()) return false;
  out->resize((size_t)size);
  return f.ReadAt(f.DataPos(e), out->data(), out->size());
}

// The EXIF entries go to the pixel delivery as one directory list, which
// becomes the first directory of the META_EXIF block. So that the block
// reads like any camera's (the page's text tags in the first directory,
// the EXIF tags in their own directory behind tag 34665), the EXIF
// directory is laid out here as the value of a private entry, and the
// 34665 entry points at it. The offsets follow the block's layout: header,
// directory, then the values longer than 4 bytes in order, each padded to
// an even length.
constexpr uint16_t kEmbeddedExifDirectory = 65000;

void PutU16(std::vector<uint8_t>& d, size_t at, uint32_t v, bool big) {
  d[at] = (uint8_t)(big ? v >> 8 : v);
  d[at + 1] = (uint8_t)(big ? v : v >> 8);
}
void PutU32(std::vector<uint8_t>& d, size_t at, uint32_t v, bool big) {
  for (int i = 0; i < 4; i++) d[at + i] = (uint8_t)(big ? v >> (24 - 8 * i) : v >> (8 * i));
}

void CollectExif(File& f, const Page& p, LoadContext* ctx) {
  const Entry* exif = p.Find(kExifIfd);
  if (!exif) return;
  uint32_t offset = f.Value(*exif);
  Page dir;
  uint8_t b[2];
  if (offset == 0 || !f.ReadAt(offset, b, 2)) return;
  ReadDirectory(f, offset, &dir);  // what could be read

  struct Collected {
    uint16_t tag, type;
    uint32_t count;
    std::vector<uint8_t> value;
  };
  std::vector<Collected> main, sub;
  std::vector<uint8_t> value;
  static const uint16_t kMainTags[] = {kDocumentName, kMake, kModel, kSoftware, kDateTime, kArtist};
  for (uint16_t tag : kMainTags) {
    const Entry* e = p.Find(tag);
    if (!e || e->type != 2 || !ReadBlock(f, *e, &value)) continue;
    main.push_back({tag, 2, e->count, value});
  }
  for (const Entry& e : dir.entries) {
    if (TypeSize(e.type) == 0) continue;
    if (e.Inline()) {
      sub.push_back({e.tag, e.type, e.count, std::vector<uint8_t>(e.field, e.field + e.DataSize())});
    } else if (ReadBlock(f, e, &value)) {
      sub.push_back({e.tag, e.type, e.count, value});
    }
  }
  if (sub.size() > 4000) sub.resize(4000);
  const bool big = f.big;
  BeginExifEntries(ctx, big ? 1 : 0);
  // Where the embedded directory will lie in the block's TIFF data.
  const uint64_t entries = main.size() + 2;
  uint64_t at = 8 + 2 + 12 * entries + 4;
  for (const Collected& c : main)
    if (c.value.size() > 4) at += c.value.size() + (c.value.size() & 1);
  // The embedded directory with its own values after it.
  uint64_t subValues = at + 2 + 12 * sub.size() + 4;
  uint64_t total = 2 + 12 * sub.size() + 4;
  for (const Collected& c : sub)
    if (c.value.size() > 4) total += c.value.size() + (c.value.size() & 1);
  if (at + total > 0xFFFFFFF0u) return;
  std::vector<uint8_t> blob((size_t)total, 0);
  PutU16(blob, 0, (uint32_t)sub.size(), big);
  size_t tail = 2 + 12 * sub.size() + 4;
  for (size_t i = 0; i < sub.size(); i++) {
    const Collected& c = sub[i];
    size_t e = 2 + 12 * i;
    PutU16(blob, e, c.tag, big);
    PutU16(blob, e + 2, c.type, big);
    PutU32(blob, e + 4, c.count, big);
    if (c.value.size() <= 4) {
      if (!c.value.empty()) memcpy(&blob[e + 8], c.value.data(), c.value.size());
    } else {
      PutU32(blob, e + 8, (uint32_t)(subValues + (tail - (2 + 12 * sub.size() + 4))), big);
      memcpy(&blob[tail], c.value.data(), c.value.size());
      tail += c.value.size() + (c.value.size() & 1);
    }
  }
  for (const Collected& c : main)
    CollectExifEntry(ctx, c.tag, c.type, c.count, c.value.data(), (uint32_t)c.value.size());
  std::vector<uint8_t> pointer(4, 0);
  PutU32(pointer, 0, (uint32_t)at, big);
  CollectExifEntry(ctx, kExifIfd, 4, 1, pointer.data(), 4);
  CollectExifEntry(ctx, kEmbeddedExifDirectory, 7, (uint32_t)blob.size(), blob.data(), (uint32_t)blob.size());
}

void CollectMetadata(File& f, const Page& p, LoadContext* ctx) {
  if (!(ctx->options.flags & LOAD_KEEP_METADATA)) return;
  CollectExif(f, p, ctx);
  std::vector<uint8_t> data;
  static const char kPhotoshopHeader[] = "Photoshop 3.0";  // with its zero byte: 14 bytes
  if (const Entry* e = p.Find(kIptc); e && ReadBlock(f, *e, &data)) {
    std::vector<uint8_t> block(14 + 4 + 2 + 4);
    memcpy(block.data(), kPhotoshopHeader, 14);
    memcpy(block.data() + 14, "8BIM\x04\x04\0\0\0\0", 10);
    block.insert(block.end(), data.begin(), data.end());
    AddMetadata(ctx, META_IPTC, block.data(), (uint32_t)block.size());
  }
  if (const Entry* e = p.Find(kPhotoshop); e && ReadBlock(f, *e, &data)) {
    std::vector<uint8_t> block(kPhotoshopHeader, kPhotoshopHeader + 14);
    block.insert(block.end(), data.begin(), data.end());
    AddMetadata(ctx, META_IPTC, block.data(), (uint32_t)block.size());
  }
  if (const Entry* e = p.Find(kIccProfile); e && p.bits == 8 && ReadBlock(f, *e, &data))
    AddMetadata(ctx, META_ICC, data.data(), (uint32_t)data.size());
}

// ---- row conversions (chosen once per page)

struct Conversion {
  int width = 0;        // pixels to convert
  int inSamples = 1;    // samples per pixel in the stored row
  int outSamples = 1;   // samples delivered
  int bits = 8;         // bits per stored sample
  bool big = false;     // byte order of 16- and 32-bit samples
  bool scale = true;    // scale narrow samples to 0..255 (not for palette indexes)
};

using RowConverter = void (*)(const uint8_t* in, uint8_t* out, const Conversion& c);

void CopyPacked(const uint8_t* in, uint8_t* out, const Conversion& c) {
  memcpy(out, in, ((size_t)c.width * c.bits + 7) / 8);
}

void PickBytes(const uint8_t* in, uint8_t* out, const Conversion& c) {
  const int n = c.inSamples, k = c.outSamples;
  if (n == k) {
    memcpy(out, in, (size_t)c.width * n);
    return;
  }
  for (int x = 0; x < c.width; x++, in += n, out += k)
    for (int s = 0; s < k; s++) out[s] = in[s];
}

template <int kBytes>
void PickUpperBytes(const uint8_t* in, uint8_t* out, const Conversion& c) {
  const int n = c.inSamples, k = c.outSamples;
  const int high = c.big ? 0 : kBytes - 1;
  for (int x = 0; x < c.width; x++, in += n * kBytes, out += k)
    for (int s = 0; s < k; s++) out[s] = in[s * kBytes + high];
}

// Any other depth: samples read most significant bit first.
void GenericSamples(const uint8_t* in, uint8_t* out, const Conversion& c) {
  const int n = c.inSamples, k = c.outSamples, bits = c.bits;
  const uint32_t max = bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
  uint64_t bit = 0;
  for (int x = 0; x < c.width; x++) {
    for (int s = 0; s < n; s++, bit += bits) {
      if (s >= k) continue;
      uint32_t v = 0;
      for (int i = 0; i < bits; i++) {
        uint64_t at = bit + i;
        v = (v << 1) | ((in[at >> 3] >> (7 - (at & 7))) & 1);
      }
      uint8_t o;
      if (!c.scale) o = (uint8_t)v;
      else if (bits > 8) o = (uint8_t)(v >> (bits - 8));
      else o = (uint8_t)(v * 255 / max);
      *out++ = o;
    }
  }
}

void LogLRow(const uint8_t* in, uint8_t* out, const Conversion& c) {
  LogL16RowToGrey((const uint16_t*)(const void*)in, out, c.width);
}
void LogLuv32Row(const uint8_t* in, uint8_t* out, const Conversion& c) {
  LogLuv32RowToRgb((const uint32_t*)(const void*)in, out, c.width);
}
void LogLuv24Row(const uint8_t* in, uint8_t* out, const Conversion& c) {
  LogLuv24RowToRgb(in, out, c.width);
}

// ---- horizontal differencing

template <int kBytes>
void UndoPredictor(uint8_t* row, int width, int samples, bool big) {
  const size_t stride = (size_t)samples * kBytes;
  const size_t total = (size_t)width * stride;
  if (kBytes == 1) {
    for (size_t i = stride; i < total; i++) row[i] = (uint8_t)(row[i] + row[i - stride]);
    return;
  }
  for (size_t i = stride; i < total; i += kBytes) {
    uint8_t* a = row + i;
    const uint8_t* b = row + i - stride;
    uint32_t va = 0, vb = 0;
    for (int j = 0; j < kBytes; j++) {
      int k = big ? j : kBytes - 1 - j;
      va = (va << 8) | a[k];
      vb = (vb << 8) | b[k];
    }
    uint32_t v = va + vb;
    for (int j = kBytes - 1; j >= 0; j--) {
      int k = big ? j : kBytes - 1 - j;
      a[k] = (uint8_t)v;
      v >>= 8;
    }
  }
}

uint8_t ReverseByte(uint8_t b) {
  b = (uint8_t)((b & 0xF0) >> 4 | (b & 0x0F) << 4);
  b = (uint8_t)((b & 0xCC) >> 2 | (b & 0x33) << 2);
  b = (uint8_t)((b & 0xAA) >> 1 | (b & 0x55) << 1);
  return b;
}

// ---- the page decoder

// YCbCr block rows to RGB rows, in double precision with the page's
// coefficients.
struct YCbCrTables {
  double red[256], blue[256], greenCb[256], greenCr[256];
  double lumaGreen;
  void Build(const Page& p) {
    for (int i = 0; i < 256; i++) {
      double c = i - 128;
      red[i] = (2 - 2 * p.lumaRed) * c;
      blue[i] = (2 - 2 * p.lumaBlue) * c;
      greenCb[i] = p.lumaBlue * (2 - 2 * p.lumaBlue) * c;
      greenCr[i] = p.lumaRed * (2 - 2 * p.lumaRed) * c;
    }
    lumaGreen = p.lumaGreen;
  }
};

enum class Kind { kPlain, kYCbCr, kLogL, kLogLuv32, kLogLuv24 };

class PageDecoder {
 public:
  PageDecoder(File& f, const Page& p, LoadContext* ctx, SourceFormat* h)
      : f_(f), p_(p), ctx_(ctx), h_(h) {}

  int Run(Kind kind, int outSamples, const Conversion& conv, RowConverter convert,
          std::vector<uint8_t>* jpegTables, bool jpegYCbCr);

 private:
  int Deliver(int plane, int y, int rows);
  int ProcessUnit(const uint8_t* raw, size_t rawStride, int y, int plane);
  std::unique_ptr<TiffDecompressor> MakeDecompressor(int chunkWidth, int chunkRows);
  void Note(int status) {
    if (status == TIFF_DECODE_OK) return;
    if (status == TIFF_DECODE_BAD_LZW) SetReaderMessage(ctx_, kBadLzwCodes);
    if (result_ == 0) result_ = status;
  }

  File& f_;
  const Page& p_;
  LoadContext* ctx_;
  SourceFormat* h_;
  Kind kind_ = Kind::kPlain;
  Conversion conv_;
  RowConverter convert_ = nullptr;
  int result_ = 0;
  int samplesInChunk_ = 1;
  size_t rawRowBytes_ = 0;   // one stored row of the full (padded) width
  int unitRows_ = 1;         // rows of one decoding unit (a YCbCr block row)
  const std::vector<uint8_t>* jpegTables_ = nullptr;
  bool jpegYCbCr_ = false;
  int jpegComponents_ = 1;
  YCbCrTables ycbcr_;
};

uint64_t RawRowBytes(Kind kind, const Page& p, uint64_t width, int samples) {
  switch (kind) {
    case Kind::kLogL: return width * 2;
    case Kind::kLogLuv32: return width * 4;
    case Kind::kLogLuv24: return width * 3;
    case Kind::kYCbCr: {
      // A block row: per block subH x subV luma samples and one Cb, one Cr.
      uint64_t blocks = (width + p.subH - 1) / p.subH;
      return blocks * (p.subH * p.subV + 2);
    }
    default: return (width * (uint64_t)samples * p.bits + 7) / 8;
  }
}

std::unique_ptr<TiffDecompressor> PageDecoder::MakeDecompressor(int chunkWidth, int chunkRows) {
  switch (p_.compression) {
    case kNone: return NewRawDecompressor();
    case kSgiLog24: return NewRawDecompressor();
    case kPackBits: return NewPackBitsDecompressor();
    case kLzw: return NewLzwDecompressor();
    case kDeflate: case kDeflateOld: return NewDeflateDecompressor();
    case kCcittRle: return NewFaxDecompressor(TiffFaxKind::kModifiedHuffman, chunkWidth, 0);
    case kGroup3: return NewFaxDecompressor(TiffFaxKind::kGroup3, chunkWidth, p_.t4Options);
    case kGroup4: return NewFaxDecompressor(TiffFaxKind::kGroup4, chunkWidth, 0);
    case kThunderScan: return NewThunderScanDecompressor(chunkWidth);
    case kSgiLog: return NewSgiLogDecompressor(chunkWidth, kind_ == Kind::kLogL ? 2 : 4);
    case kJpeg:
      return NewJpegDecompressor(jpegTables_ && !jpegTables_->empty() ? jpegTables_->data() : nullptr,
                                 jpegTables_ ? jpegTables_->size() : 0, jpegYCbCr_, chunkWidth, chunkRows,
                                 jpegComponents_);
    default: return nullptr;
  }
}

int PageDecoder::Deliver(int plane, int y, int rows) {
  int rc = DeliverRows(ctx_, plane, y, rows);
  return rc;
}

inline uint8_t ClampTruncate(double v) {
  if (v < 0) return 0;
  if (v > 255) return 255;
  return (uint8_t)v;
}

int PageDecoder::ProcessUnit(const uint8_t* raw, size_t rawStride, int y, int plane) {
  const int height = (int)p_.height;
  if (y >= height) return 0;
  uint8_t* out = h_->rowBuffer;
  const size_t stride = (size_t)h_->rowStride;
  if (kind_ == Kind::kYCbCr) {
    const YCbCrTables& t = ycbcr_;
    const int sh = (int)p_.subH, sv = (int)p_.subV, w = (int)p_.width;
    const int rows = std::min(sv, height - y);
    const uint8_t* block = raw;
    for (int bx = 0; bx < w; bx += sh, block += sh * sv + 2) {
      const int cb = block[sh * sv], cr = block[sh * sv + 1];
      const double rAdd = t.red[cr], bAdd = t.blue[cb], gSub = t.greenCb[cb] + t.greenCr[cr];
      for (int j = 0; j < rows; j++) {
        uint8_t* o = out + (size_t)j * stride + (size_t)bx * 3;
        for (int i = 0; i < sh && bx + i < w; i++, o += 3) {
          double Y = block[j * sh + i];
          o[0] = ClampTruncate(Y + rAdd);
          o[1] = ClampTruncate(Y - gSub / t.lumaGreen);
          o[2] = ClampTruncate(Y + bAdd);
        }
      }
    }
    return Deliver(-1, y, rows);
  }
  (void)rawStride;
  convert_(raw, out, conv_);
  return Deliver(plane, y, 1);
}

int PageDecoder::Run(Kind kind, int outSamples, const Conversion& conv, RowConverter convert,
                     std::vector<uint8_t>* jpegTables, bool jpegYCbCr) {
  kind_ = kind;
  if (kind == Kind::kYCbCr) ycbcr_.Build(p_);
  conv_ = conv;
  convert_ = convert;
  jpegTables_ = jpegTables;
  jpegYCbCr_ = jpegYCbCr;
  const Page& p = p_;
  const bool separate = p.planar == 2 && p.samples > 1;
  samplesInChunk_ = separate ? 1 : (int)p.samples;
  jpegComponents_ = samplesInChunk_;
  unitRows_ = kind == Kind::kYCbCr ? (int)p.subV : 1;
  const int planesToRead = separate ? std::max(1, outSamples) : 1;
  const int planeArg = separate && outSamples > 1 ? 0 : -1;

  // Chunk geometry.
  uint32_t chunkW, chunkH;
  if (p.tiled) {
    chunkW = p.tileWidth;
    chunkH = p.tileLength;
  } else {
    chunkW = p.width;
    chunkH = p.rowsPerStrip;
  }
  if (chunkW == 0 || chunkH == 0) return RESULT_CORRUPT;
  // Tiles far larger than any picture this library accepts are refused.
  if (chunkW > (1u << 20) || chunkH > (1u << 20)) return RESULT_NO_MEMORY;
  const uint64_t across = p.tiled ? ((uint64_t)p.width + chunkW - 1) / chunkW : 1;
  const uint64_t down = ((uint64_t)p.height + chunkH - 1) / chunkH;
  const uint64_t perPlane = across * down;
  const uint64_t chunks = perPlane * (separate ? p.samples : 1);
  if (chunks > 0x7FFFFFFF || chunks > f_.size() + 16) return RESULT_CORRUPT;
  if (kind == Kind::kYCbCr && ((chunkH % p.subV != 0 && chunkH < p.height) || (p.tiled && chunkW % p.subH != 0)))
    return RESULT_CORRUPT;

  const Entry* offsetsTag = p.Find(p.tiled ? kTileOffsets : kStripOffsets);
  const Entry* countsTag = p.Find(p.tiled ? kTileByteCounts : kStripByteCounts);
  if (!offsetsTag) offsetsTag = p.Find(p.tiled ? kStripOffsets : kTileOffsets);
  if (!countsTag) countsTag = p.Find(p.tiled ? kStripByteCounts : kTileByteCounts);
  if (!offsetsTag) return RESULT_CORRUPT;
  std::vector<uint64_t> offsets, counts;
  f_.Values(*offsetsTag, (uint32_t)chunks, &offsets);
  if (countsTag) f_.Values(*countsTag, (uint32_t)chunks, &counts);
  else counts.assign((size_t)chunks, 0);

  // One decoding unit of a chunk, and the band that collects a row of tiles.
  const uint64_t paddedWidth = across * chunkW;
  const uint64_t chunkUnitBytes64 = RawRowBytes(kind, p, chunkW, samplesInChunk_);
  const uint64_t bandUnitBytes64 = RawRowBytes(kind, p, paddedWidth, samplesInChunk_);
  if (chunkUnitBytes64 > kMaxWorkBuffer || bandUnitBytes64 > kMaxWorkBuffer) return RESULT_NO_MEMORY;
  const size_t chunkUnitBytes = (size_t)chunkUnitBytes64, bandUnitBytes = (size_t)bandUnitBytes64;
  const uint64_t unitsPerChunk = (chunkH + unitRows_ - 1) / unitRows_;
  if (chunkUnitBytes == 0) return RESULT_CORRUPT;
  if ((uint64_t)chunkUnitBytes * (p.tiled ? unitsPerChunk : 1) > kMaxWorkBuffer) return RESULT_NO_MEMORY;
  if (p.compression == kJpeg &&
      (uint64_t)chunkW * chunkH * (uint64_t)samplesInChunk_ > kMaxWorkBuffer)
    return RESULT_NO_MEMORY;
  std::vector<uint8_t> band, unit, data;
  try {
    if (p.tiled) {
      uint64_t bandBytes = (uint64_t)bandUnitBytes * unitsPerChunk;
      if (bandBytes > kMaxWorkBuffer || (uint64_t)chunkUnitBytes * unitsPerChunk > kMaxWorkBuffer)
        return RESULT_NO_MEMORY;
      band.assign((size_t)bandBytes, 0);
    }
    unit.assign(chunkUnitBytes * (p.tiled ? (size_t)unitsPerChunk : 1), 0);
  } catch (const std::bad_alloc&) {
    return RESULT_NO_MEMORY;
  }

  const bool reverseBits = p.fillOrder == 2 && p.compression != kJpeg;
  const bool predict = p.predictor == 2 && kind == Kind::kPlain &&
                       (p.bits == 8 || p.bits == 16 || p.bits == 32);
  // One decompressor serves the whole page: some keep what they learnt
  // from the first strip.
  std::unique_ptr<TiffDecompressor> dec = MakeDecompressor((int)chunkW, (int)chunkH);
  if (!dec) return RESULT_CORRUPT;
  // Tiles at the right edge keep their padding; only whole tiles are
  // decoded, and the conversions read the first `width` pixels.
  for (int plane = 0; plane < planesToRead; plane++) {
    for (uint64_t row = 0; row < down; row++) {
      const int y0 = (int)(row * chunkH);
      const int rowsHere = (int)std::min<uint64_t>(chunkH, p.height - (uint64_t)y0);
      const uint64_t unitsHere = p.tiled ? unitsPerChunk : ((uint64_t)rowsHere + unitRows_ - 1) / unitRows_;
      if (p.tiled) std::fill(band.begin(), band.end(), 0);
      for (uint64_t col = 0; col < across; col++) {
        const uint64_t index = (uint64_t)plane * perPlane + row * across + col;
        const uint64_t offset = offsets[(size_t)index];
        uint64_t count = counts[(size_t)index];
        if (offset == 0 || offset >= f_.size()) {
          Note(TIFF_DECODE_SHORT);
          continue;
        }
        if (count == 0 || count > f_.size() - offset) {
          if (count != 0) Note(TIFF_DECODE_SHORT);
          count = f_.size() - offset;
        }
        try {
          data.resize((size_t)count);
        } catch (const std::bad_alloc&) {
          return RESULT_NO_MEMORY;
        }
        data.resize(f_.ReadSome(offset, data.data(), data.size()));
        if (reverseBits)
          for (uint8_t& b : data) b = ReverseByte(b);
        dec->Begin(data.data(), data.size());
        if (p.tiled) {
          // Decode the whole tile, then place its units in the band.
          size_t produced = 0;
          int rc = dec->Read(unit.data(), unit.size(), &produced);
          Note(rc);
          if (rc == TIFF_DECODE_NO_MEMORY) return RESULT_NO_MEMORY;
          for (uint64_t u = 0; u < unitsPerChunk; u++) {
            uint8_t* src = unit.data() + u * chunkUnitBytes;
            if (predict) {
              if (p.bits == 8) UndoPredictor<1>(src, (int)chunkW, samplesInChunk_, f_.big);
              else if (p.bits == 16) UndoPredictor<2>(src, (int)chunkW, samplesInChunk_, f_.big);
              else UndoPredictor<4>(src, (int)chunkW, samplesInChunk_, f_.big);
            }
            memcpy(band.data() + u * bandUnitBytes + col * chunkUnitBytes, src, chunkUnitBytes);
          }
          continue;
        }
        // A strip: unit by unit straight to delivery.
        for (uint64_t u = 0; u < unitsHere; u++) {
          size_t produced = 0;
          int rc = dec->Read(unit.data(), chunkUnitBytes, &produced);
          if (rc == TIFF_DECODE_NO_MEMORY) return RESULT_NO_MEMORY;
          if (produced == 0 && rc != TIFF_DECODE_OK) {
            Note(rc);
            break;
          }
          if (predict) {
            if (p.bits == 8) UndoPredictor<1>(unit.data(), (int)chunkW, samplesInChunk_, f_.big);
            else if (p.bits == 16) UndoPredictor<2>(unit.data(), (int)chunkW, samplesInChunk_, f_.big);
            else UndoPredictor<4>(unit.data(), (int)chunkW, samplesInChunk_, f_.big);
          }
          int d = ProcessUnit(unit.data(), chunkUnitBytes, y0 + (int)u * unitRows_,
                              separate && outSamples > 1 ? plane : planeArg);
          if (d != 0) return d;
          if (rc != TIFF_DECODE_OK) {
            Note(rc);
            break;
          }
        }
      }
      if (p.tiled) {
        for (uint64_t u = 0; u < unitsHere; u++) {
          int y = y0 + (int)u * unitRows_;
          if (y >= (int)p.height) break;
          int d = ProcessUnit(band.data() + u * bandUnitBytes, bandUnitBytes, y,
                              separate && outSamples > 1 ? plane : planeArg);
          if (d != 0) return d;
        }
      }
    }
  }
  switch (result_) {
    case 0: return 0;
    case TIFF_DECODE_BAD_LZW: return RESULT_BAD_SIZE;
    case TIFF_DECODE_CORRUPT: return RESULT_CORRUPT;
    case TIFF_DECODE_NO_MEMORY: return RESULT_NO_MEMORY;
    default: return RESULT_NOT_COMPLETE;
  }
}

bool KnownCompression(uint32_t c) {
  switch (c) {
    case kNone: case kCcittRle: case kGroup3: case kGroup4: case kLzw: case kOldJpeg: case kJpeg:
    case kDeflate: case kPackBits: case kThunderScan: case kDeflateOld: case kSgiLog: case kSgiLog24:
      return true;
    default:
      return false;
  }
}

bool KnownPhotometric(uint32_t p) {
  switch (p) {
    case kMinIsWhite: case kMinIsBlack: case kRgb: case kPalette: case kSeparated: case kYCbCr:
    case kCieLab: case kLogL: case kLogLuv:
      return true;
    default:
      return false;
  }
}

uint16_t CompressionCode(const Page& p, SourceFormat* h) {
  switch (p.compression) {
    case kNone: return 0;
    case kPackBits: return 1;
    case kLzw: return 2;
    case kJpeg: return 3;
    case kDeflate: case kDeflateOld: return 4;
    case kCcittRle: return 6;
    case kGroup3: return (p.t4Options & kT4TwoDimensional) ? 8 : 7;
    case kGroup4: return 9;
    case kOldJpeg: strcpy(h->compressionText, "Jpeg Old Style"); return 255;
    case kSgiLog: strcpy(h->compressionText, "SGILog"); return 255;
    case kSgiLog24: strcpy(h->compressionText, "SGILog24"); return 255;
    default: return 0;
  }
}

int ReadTiffFile(FileStream* stream, LoadContext* ctx) {
  File f(stream);
  uint8_t header[8];
  size_t got = f.ReadSome(0, header, 8);
  if (got >= 2 && !((header[0] == 'I' && header[1] == 'I') || (header[0] == 'M' && header[1] == 'M')))
    return RESULT_NOT_RECOGNISED;
  if (got < 8) return RESULT_NOT_COMPLETE;
  f.big = header[0] == 'M';
  if (f.U16(header + 2) != 42 && (uint16_t)((header[2] << 8) | header[3]) != 42 &&
      (uint16_t)(header[2] | (header[3] << 8)) != 42)
    return RESULT_NOT_RECOGNISED;

  uint64_t pageOffset = 0;
  uint32_t pages = CountPages(f, f.U32(header + 4), ctx->options.imageIndex, &pageOffset);
  if (pages == 0) return RESULT_NOT_COMPLETE;
  ctx->imageCount = pages;

  Page p;
  if (!ReadDirectory(f, pageOffset, &p)) return RESULT_NOT_COMPLETE;
  ReadPage(f, &p);

  const bool haveExif = p.Find(kExifIfd) != nullptr;
  ReadTexts(f, p, ctx, haveExif);
  CollectMetadata(f, p, ctx);

  const Entry* interchange = p.Find(kJpegInterchange);
  if (!KnownCompression(p.compression) || (p.compression == kOldJpeg && !interchange)) {
    SetReaderMessage(ctx, kBadCompression);
    return RESULT_BAD_SIZE;
  }
  if (!KnownPhotometric(p.photometric)) {
    SetReaderMessage(ctx, kBadPhotometric);
    return RESULT_BAD_SIZE;
  }
  if (p.bits == 0 || p.samples == 0) return RESULT_NOT_COMPLETE;

  SourceFormat h;
  InitSourceFormat(&h);
  h.width = (int32_t)std::min<uint32_t>(p.width, 0x7FFFFFFF);
  h.height = (int32_t)std::min<uint32_t>(p.height, 0x7FFFFFFF);
  double xPerUnit = 0, yPerUnit = 0;
  h.xDpi = (int32_t)std::min<uint32_t>(Resolution(f, p, kXResolution, &xPerUnit), 0x7FFFFFFF);
  h.yDpi = (int32_t)std::min<uint32_t>(Resolution(f, p, kYResolution, &yPerUnit), 0x7FFFFFFF);
  for (int i = 0; i < 2; i++) {
    const Entry* e = p.Find(i == 0 ? kXPosition : kYPosition);
    uint32_t num, den;
    if (e && f.Rational(*e, &num, &den) && den != 0) {
      double pixels = (double)num / den * (i == 0 ? xPerUnit : yPerUnit);
      uint32_t v = pixels > 0 && pixels < 4e9 ? (uint32_t)pixels : 0;
      (i == 0 ? ctx->readerValue1 : ctx->readerValue2) = v;
    }
  }
  switch (p.orientation) {
    case 2: h.layout = LAYOUT_MIRRORED; break;
    case 3: h.layout = LAYOUT_MIRRORED | LAYOUT_BOTTOM_UP; break;
    case 4: h.layout = LAYOUT_BOTTOM_UP; break;
    default: break;
  }
  h.compression = CompressionCode(p, &h);
  switch (p.photometric) {
    case kSeparated: h.colourModel = 3; break;
    case kYCbCr: h.colourModel = 4; break;
    case kCieLab: h.colourModel = 6; break;
    case kLogLuv: h.colourModel = 7; break;
    case kLogL: h.colourModel = 8; break;
    default: h.colourModel = 0; break;
  }
  strcpy(h.formatText, p.tiled ? "TIFF (Tiled)" : "TIFF");

  if (p.compression == kOldJpeg) {
    uint32_t at = f.Value(*interchange);
    const Entry* lengthTag = p.Find(kJpegInterchangeLength);
    const uint32_t length = lengthTag ? f.Value(*lengthTag) : 0;
    std::vector<JpegStreamPiece> pieces;
    uint8_t dri[6] = {};
    try {
      if (SplitOldJpegPieces(f, p, at, length, dri, &pieces))
        return DecodeJpegInTiffPieces(stream, pieces.data(), pieces.size(), ctx, "TIFF (jpeg)");
    } catch (const std::bad_alloc&) {
      return RESULT_NO_MEMORY;
    }
    if (!f.Seek(at)) return RESULT_NOT_COMPLETE;
    return DecodeJpegInTiff(stream, ctx, "TIFF (jpeg)");
  }

  // What the page stores, and what is delivered.
  const bool separate = p.planar == 2 && p.samples > 1;
  const int bits = (int)p.bits;
  if (bits > 32) return RESULT_NOT_COMPLETE;
  Kind kind = Kind::kPlain;
  int outSamples = 1;
  Conversion conv;
  conv.width = h.width;
  conv.inSamples = separate ? 1 : (int)p.samples;
  conv.bits = bits;
  conv.big = f.big;
  bool jpegYCbCr = false;

  switch (p.photometric) {
    case kRgb:
      outSamples = p.samples >= 4 ? 4 : p.samples >= 3 ? 3 : 1;
      break;
    case kSeparated:
      if (p.samples < 4) {
        SetReaderMessage(ctx, kBadPhotometric);
        return RESULT_BAD_SIZE;
      }
      outSamples = 4;
      h.flags |= SRC_CMYK;
      break;
    case kCieLab:
      outSamples = p.samples >= 3 ? 3 : 1;
      if (outSamples == 3) h.flags |= SRC_LAB_SIGNED_D50;
      break;
    case kYCbCr:
      if (p.samples < 3) {
        SetReaderMessage(ctx, kBadPhotometric);
        return RESULT_BAD_SIZE;
      }
      outSamples = 3;
      if (p.compression == kJpeg) {
        jpegYCbCr = !separate;
      } else {
        if (separate || bits != 8 || !(p.subH == 1 || p.subH == 2 || p.subH == 4) ||
            !(p.subV == 1 || p.subV == 2 || p.subV == 4)) {
          SetReaderMessage(ctx, kBadPhotometric);
          return RESULT_BAD_SIZE;
        }
        kind = Kind::kYCbCr;
      }
      break;
    case kLogL:
    case kLogLuv:
      if (p.compression == kSgiLog) {
        kind = p.photometric == kLogL ? Kind::kLogL : Kind::kLogLuv32;
      } else if (p.compression == kSgiLog24 && p.photometric == kLogLuv) {
        kind = Kind::kLogLuv24;
      } else {
        SetReaderMessage(ctx, kBadCompression);
        return RESULT_BAD_SIZE;
      }
      if (separate) return RESULT_NOT_COMPLETE;
      outSamples = kind == Kind::kLogL ? 1 : 3;
      break;
    default:  // grey and palette
      outSamples = 1;
      break;
  }
  if ((p.compression == kSgiLog || p.compression == kSgiLog24) && kind == Kind::kPlain) {
    SetReaderMessage(ctx, kBadPhotometric);
    return RESULT_BAD_SIZE;
  }
  // Bilevel decompressors produce one-bit rows of one sample.
  if (p.compression == kCcittRle || p.compression == kGroup3 || p.compression == kGroup4) {
    if (bits != 1 || conv.inSamples != 1) return RESULT_NOT_COMPLETE;
  }
  if (p.compression == kThunderScan && (bits != 4 || conv.inSamples != 1)) return RESULT_NOT_COMPLETE;
  if (p.compression == kJpeg && bits != 8) return RESULT_NOT_COMPLETE;
  // Separate planes are converted one plane (one sample) at a time.
  const bool planeByPlane = separate && outSamples > 1;
  conv.outSamples = planeByPlane ? 1 : outSamples;

  // Delivered layout and row converter.
  RowConverter convert = nullptr;
  const Entry* colorMap = p.Find(kColorMap);
  const bool palette = p.photometric == kPalette && colorMap && colorMap->count <= 3u * 65536 && bits <= 8;
  conv.scale = !palette;
  if (kind == Kind::kLogL) {
    convert = LogLRow;
  } else if (kind == Kind::kLogLuv32) {
    convert = LogLuv32Row;
  } else if (kind == Kind::kLogLuv24) {
    convert = LogLuv24Row;
  } else if (kind == Kind::kPlain) {
    if (!planeByPlane && outSamples == 1 && conv.inSamples == 1 &&
        (bits == 1 || bits == 2 || bits == 4 || bits == 8)) {
      convert = CopyPacked;
    } else if (bits == 8) {
      convert = PickBytes;
    } else if (bits == 16) {
      convert = PickUpperBytes<2>;
    } else if (bits == 32) {
      convert = PickUpperBytes<4>;
    } else {
      convert = GenericSamples;
    }
  }
  int deliveredBits = 8;
  if (outSamples == 1 && kind == Kind::kPlain && convert == CopyPacked) deliveredBits = bits;
  if (planeByPlane) {
    h.planes = (int16_t)outSamples;
    h.bitsPerPlane = 8;
    h.flags |= SRC_PLANE_BY_PLANE;
    h.bytesPerPlane = h.width;
  } else {
    h.planes = 1;
    h.bitsPerPlane = (int16_t)(deliveredBits * outSamples);
    h.bytesPerPlane = (int32_t)(((int64_t)h.width * h.bitsPerPlane + 7) / 8);
  }
  h.samplesPerPixel = 0;
  h.rowsPerCall = kind == Kind::kYCbCr ? p.subV : 1;
  if (p.tiled) h.flags |= SRC_TILED_2;
  if (p.tiled && (p.tileWidth == 0 || p.tileLength == 0)) return RESULT_NOT_COMPLETE;

  // JPEG tables and colour map.
  std::vector<uint8_t> jpegTables;
  if (p.compression == kJpeg) {
    if (const Entry* e = p.Find(kJpegTables)) {
      uint64_t size = e->DataSize();
      if (size > 0 && size <= f.size()) {
        try {
          jpegTables.resize((size_t)size);
        } catch (const std::bad_alloc&) {
          return RESULT_NO_MEMORY;
        }
        if (!f.ReadAt(f.DataPos(*e), jpegTables.data(), jpegTables.size())) jpegTables.clear();
      }
    }
  }
  std::vector<uint16_t> colours;
  if (palette) {
    const Entry* e = p.Find(kColorMap);
    const uint32_t entries = 1u << deliveredBits;
    colours.assign(3 * entries, 0);
    std::vector<uint64_t> values;
    uint32_t perChannel = e->count / 3;
    f.Values(*e, e->count, &values);
    for (uint32_t c = 0; c < 3; c++)
      for (uint32_t i = 0; i < perChannel && i < entries; i++)
        colours[c * entries + i] = (uint16_t)values[c * perChannel + i];
  }

  int rc = StartPicture(ctx, &h);
  if (rc != 0) return rc;
  PageDecoder decoder(f, p, ctx, &h);
  conv.width = h.width;
  int result = decoder.Run(kind, outSamples, conv, convert, &jpegTables, jpegYCbCr);
  if (result == RESULT_CANCELLED) return result;

  int finish;
  const bool bilevelFax = p.compression == kCcittRle || p.compression == kGroup3 || p.compression == kGroup4;
  (void)bilevelFax;  // fax rows come out with black as 1, like stored rows
  if (palette) {
    finish = FinishPicture(ctx, kPaletteArrays16, 16, colours.data());
  } else if (p.photometric == kMinIsWhite && outSamples == 1 && kind == Kind::kPlain) {
    finish = FinishPicture(ctx, PAL_WHITE_IS_ZERO, 0, nullptr);
  } else {
    finish = FinishPicture(ctx, 0, 0, nullptr);
  }
  if (finish != 0 && result == 0) result = finish;
  return result;
}

}  // namespace

int ReadTiff(FileStream* stream, LoadContext* ctx) {
  // Sizes come from the file; an allocation that fails is out of memory,
  // never an exception leaving the library.
  try {
    return ReadTiffFile(stream, ctx);
  } catch (const std::bad_alloc&) {
    return RESULT_NO_MEMORY;
  } catch (const std::length_error&) {
    return RESULT_NO_MEMORY;
  }
}
