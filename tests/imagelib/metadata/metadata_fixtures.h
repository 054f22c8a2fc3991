// Helpers of the metadata tests: building EXIF blocks and Photoshop resource
// blocks by hand, finding the APP1/APP13 segments of JPEG files, collecting
// rows, and reading exiftool's view of a set of files.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "imagelib/core/image.h"
#include "imagelib/metadata/exif_reader.h"
#include "imagelib/metadata/iptc_reader.h"
#include "tests/support/test_support.h"

namespace metadata_fixtures {

using Bytes = std::vector<uint8_t>;

// ---- values of directory entries ------------------------------------------

inline void Put(Bytes& out, uint64_t v, int size, bool bigEndian) {
  for (int i = 0; i < size; ++i) {
    int shift = bigEndian ? 8 * (size - 1 - i) : 8 * i;
    out.push_back((uint8_t)(v >> shift));
  }
}

// An integer value, written in the builder's byte order.
struct Ints {
  uint16_t type;
  std::vector<int64_t> values;
};
inline Ints Byte(std::vector<int64_t> v) { return {1, v}; }
inline Ints Short(std::vector<int64_t> v) { return {3, v}; }
inline Ints Long(std::vector<int64_t> v) { return {4, v}; }
inline Ints SShort(std::vector<int64_t> v) { return {8, v}; }
inline Ints SLong(std::vector<int64_t> v) { return {9, v}; }
// Rationals as numerator, denominator pairs.
inline Ints Rational(std::vector<int64_t> v) { return {5, v}; }
inline Ints SRational(std::vector<int64_t> v) { return {10, v}; }

// A raw value: type, count and the bytes as they lie in the file.
struct Raw {
  uint16_t type;
  uint32_t count;
  Bytes bytes;
};
inline Raw Ascii(const std::string& text) {
  Bytes b(text.begin(), text.end());
  b.push_back(0);
  return {2, (uint32_t)b.size(), b};
}
inline Raw Undefined(const Bytes& b) { return {7, (uint32_t)b.size(), b}; }
inline Raw UndefinedText(const std::string& text) {
  return {7, (uint32_t)text.size(), Bytes(text.begin(), text.end())};
}

inline Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

inline Bytes Join(const std::vector<Bytes>& parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// ---- directories ----------------------------------------------------------

// One entry of a hand-made directory.
struct NoteEntry {
  uint16_t tag;
  uint16_t type;
  uint32_t count;
  Bytes data;  // in the directory's byte order; larger than 4 bytes: placed after the directory
};

inline NoteEntry NoteInts(uint16_t tag, const Ints& v, bool bigEndian) {
  NoteEntry e{tag, v.type, 0, {}};
  int size = v.type == 1 ? 1 : v.type == 3 || v.type == 8 ? 2 : 4;
  e.count = (uint32_t)((v.type == 5 || v.type == 10) ? v.values.size() / 2 : v.values.size());
  for (int64_t x : v.values) Put(e.data, (uint64_t)x, size, bigEndian);
  return e;
}
inline NoteEntry NoteRaw(uint16_t tag, const Raw& v) { return {tag, v.type, v.count, v.bytes}; }

// A directory (count, entries, next link) followed by its large values.
// `position` is where the directory will lie and `base` what the value
// offsets count from, both as offsets in the same space.
inline Bytes NoteDirectory(const std::vector<NoteEntry>& entries, bool bigEndian,
                           uint32_t position, uint32_t base, uint32_t next = 0) {
  Bytes out, area;
  uint32_t dataAt = position + 2 + 12 * (uint32_t)entries.size() + 4;
  Put(out, entries.size(), 2, bigEndian);
  for (const NoteEntry& e : entries) {
    Put(out, e.tag, 2, bigEndian);
    Put(out, e.type, 2, bigEndian);
    Put(out, e.count, 4, bigEndian);
    if (e.data.size() <= 4) {
      Bytes v = e.data;
      v.resize(4, 0);
      out.insert(out.end(), v.begin(), v.end());
    } else {
      Put(out, dataAt + area.size() - base, 4, bigEndian);
      area.insert(area.end(), e.data.begin(), e.data.end());
      if (area.size() & 1) area.push_back(0);
    }
  }
  Put(out, next, 4, bigEndian);
  out.insert(out.end(), area.begin(), area.end());
  return out;
}

// ---- EXIF block builder ----------------------------------------------------

// Lays out a TIFF structure: header, then each directory in the order they
// were added, each followed by its large values. Sub-directory pointers and
// next-directory links name directories by index.
class TiffBuilder {
 public:
  explicit TiffBuilder(bool bigEndian) : bigEndian_(bigEndian) {}

  int AddDirectory() {
    dirs_.push_back({});
    return (int)dirs_.size() - 1;
  }
  void Add(int dir, uint16_t tag, const Ints& v) {
    dirs_[dir].entries.push_back({NoteInts(tag, v, bigEndian_), -1});
  }
  void Add(int dir, uint16_t tag, const Raw& v) {
    dirs_[dir].entries.push_back({NoteRaw(tag, v), -1});
  }
  // An entry with a declared count that need not match its bytes.
  void AddRaw(int dir, uint16_t tag, uint16_t type, uint32_t count, const Bytes& data) {
    dirs_[dir].entries.push_back({{tag, type, count, data}, -1});
  }
  // A LONG entry holding the offset of another directory.
  void Point(int dir, uint16_t tag, int target) {
    dirs_[dir].entries.push_back({{tag, 4, 1, {}}, target});
  }
  void Link(int dir, int next) { dirs_[dir].next = next; }
  // Offset of an entry's large value inside the TIFF data (valid after
  // Tiff()), and a way to replace its bytes by others of the same size.
  uint32_t ValueOffsetOf(int dir, size_t entry) const { return valueOffsets_.at({dir, entry}); }
  void SetData(int dir, size_t entry, const Bytes& data) {
    dirs_[dir].entries[entry].entry.data = data;
  }

  // The TIFF structure alone.
  Bytes Tiff() {
    // First pass: offsets of directories and of their large values.
    offsets_.assign(dirs_.size(), 0);
    uint32_t at = 8;
    for (size_t d = 0; d < dirs_.size(); ++d) {
      offsets_[d] = at;
      at += 2 + 12 * (uint32_t)dirs_[d].entries.size() + 4;
      for (size_t k = 0; k < dirs_[d].entries.size(); ++k) {
        size_t size = dirs_[d].entries[k].entry.data.size();
        if (dirs_[d].entries[k].target >= 0 || size <= 4) continue;
        valueOffsets_[{(int)d, k}] = at;
        at += (uint32_t)((size + 1) & ~(size_t)1);
      }
    }
    Bytes out = {(uint8_t)(bigEndian_ ? 'M' : 'I'), (uint8_t)(bigEndian_ ? 'M' : 'I')};
    Put(out, 42, 2, bigEndian_);
    Put(out, dirs_.empty() ? 0 : 8, 4, bigEndian_);
    for (size_t d = 0; d < dirs_.size(); ++d) {
      std::vector<NoteEntry> entries;
      for (const Entry& e : dirs_[d].entries) {
        entries.push_back(e.entry);
        if (e.target >= 0) Put(entries.back().data, offsets_[e.target], 4, bigEndian_);
      }
      uint32_t next = dirs_[d].next >= 0 ? offsets_[dirs_[d].next] : 0;
      Bytes dir = NoteDirectory(entries, bigEndian_, offsets_[d], 0, next);
      out.insert(out.end(), dir.begin(), dir.end());
    }
    return out;
  }

  // "Exif", two zero bytes, then the TIFF structure.
  Bytes Block() { return Join({{'E', 'x', 'i', 'f', 0, 0}, Tiff()}); }

 private:
  struct Entry {
    NoteEntry entry;
    int target;  // a directory whose offset is the value, or -1
  };
  struct Directory {
    std::vector<Entry> entries;
    int next = -1;
  };
  bool bigEndian_;
  std::vector<Directory> dirs_;
  std::vector<uint32_t> offsets_;
  std::map<std::pair<int, size_t>, uint32_t> valueOffsets_;
};

// An EXIF block of a camera: IFD0 with the Make, an Exif directory with a
// maker note made by `note` from the note's offset inside the TIFF data
// (the note's size must not depend on that offset).
template <typename NoteFunction>
inline Bytes CameraBlock(const std::string& make, bool bigEndian, NoteFunction note) {
  TiffBuilder b(bigEndian);
  int ifd0 = b.AddDirectory();
  int exif = b.AddDirectory();
  b.Add(ifd0, 271, Ascii(make));
  b.Point(ifd0, 34665, exif);
  Bytes first = note(0u);
  b.Add(exif, 37500, Undefined(first));
  b.Tiff();
  uint32_t at = b.ValueOffsetOf(exif, 0);
  b.SetData(exif, 0, note(at));
  return b.Block();
}

// ---- metadata lists --------------------------------------------------------

// A MetadataBlock list owning copies of its blocks, in the order added.
class BlockList {
 public:
  BlockList() = default;
  BlockList(const BlockList&) = delete;
  BlockList& operator=(const BlockList&) = delete;
  ~BlockList() { MetadataFree(head_); }
  void Add(uint32_t kind, const Bytes& bytes) {
    MetadataBlock* block = (MetadataBlock*)calloc(1, sizeof(MetadataBlock));
    block->kind = kind;
    block->size = (uint32_t)bytes.size();
    block->data = (uint8_t*)malloc(bytes.empty() ? 1 : bytes.size());
    if (!bytes.empty()) memcpy(block->data, bytes.data(), bytes.size());
    MetadataBlock** tail = &head_;
    while (*tail) tail = &(*tail)->next;
    *tail = block;
  }
  const MetadataBlock* head() const { return head_; }

 private:
  MetadataBlock* head_ = nullptr;
};

// ---- rows ------------------------------------------------------------------

struct ExifRow {
  int group;
  int tag;
  std::string name;
  std::string value;
  bool heading;
};

inline void CollectExifRow(void* context, int group, int tag, const char* name,
                           const char* value) {
  auto* rows = (std::vector<ExifRow>*)context;
  rows->push_back({group, tag, name ? name : "", value ? value : "", value == nullptr});
}

inline std::vector<ExifRow> ExifRows(const MetadataBlock* list, bool* ok = nullptr) {
  std::vector<ExifRow> rows;
  bool result = ReadExif(list, CollectExifRow, &rows);
  if (ok) *ok = result;
  return rows;
}

inline std::vector<ExifRow> ExifRowsOf(const Bytes& block, bool* ok = nullptr) {
  BlockList list;
  list.Add(META_EXIF, block);
  return ExifRows(list.head(), ok);
}

// The value of the first tag row of a group with a tag (or, for tag 0, a
// name); "<none>" when absent.
inline std::string Find(const std::vector<ExifRow>& rows, int group, int tag,
                        const std::string& name = "") {
  for (const ExifRow& r : rows)
    if (!r.heading && r.group == group && r.tag == tag && (name.empty() || r.name == name))
      return r.value;
  return "<none>";
}

inline std::vector<ExifRow> MakerRows(const std::vector<ExifRow>& rows) {
  std::vector<ExifRow> out;
  for (const ExifRow& r : rows)
    if (r.group == EXIF_GROUP_MAKERNOTES && !r.heading) out.push_back(r);
  return out;
}

struct IptcRow {
  int dataset;
  std::string name;
  std::string value;
};

inline void CollectIptcRow(void* context, int dataset, const char* name, const char* value) {
  ((std::vector<IptcRow>*)context)->push_back({dataset, name, value});
}

inline std::vector<IptcRow> IptcRows(const MetadataBlock* list) {
  std::vector<IptcRow> rows;
  ReadIptc(list, CollectIptcRow, &rows);
  return rows;
}

// ---- Photoshop resources ---------------------------------------------------

inline Bytes Dataset(int record, int dataset, const std::string& value) {
  Bytes out = {0x1C, (uint8_t)record, (uint8_t)dataset, (uint8_t)(value.size() >> 8),
               (uint8_t)value.size()};
  out.insert(out.end(), value.begin(), value.end());
  return out;
}

// One "8BIM" resource with a name (padded to even) and data (padded to even).
inline Bytes Resource(int id, const std::string& name, const Bytes& data) {
  Bytes out = {'8', 'B', 'I', 'M', (uint8_t)(id >> 8), (uint8_t)id, (uint8_t)name.size()};
  out.insert(out.end(), name.begin(), name.end());
  if ((name.size() + 1) & 1) out.push_back(0);
  Put(out, data.size(), 4, true);
  out.insert(out.end(), data.begin(), data.end());
  if (data.size() & 1) out.push_back(0);
  return out;
}

inline Bytes PhotoshopBlock(const std::vector<Bytes>& resources) {
  std::string signature = "Photoshop 3.0";
  Bytes out(signature.begin(), signature.end());
  out.push_back(0);
  for (const Bytes& r : resources) out.insert(out.end(), r.begin(), r.end());
  return out;
}

// ---- JPEG segments ---------------------------------------------------------

// Payloads of the segments with a marker (0xE1 APP1, 0xED APP13, ...), in
// file order, up to the start of scan.
inline std::vector<Bytes> JpegSegments(const Bytes& file, uint8_t marker) {
  std::vector<Bytes> out;
  if (file.size() < 4 || file[0] != 0xFF || file[1] != 0xD8) return out;
  size_t at = 2;
  while (at + 4 <= file.size()) {
    if (file[at] != 0xFF) {
      ++at;  // stray byte between segments
      continue;
    }
    uint8_t m = file[at + 1];
    if (m == 0xFF) {
      ++at;
      continue;
    }
    if (m == 0xD9 || m == 0xDA) break;
    if (m == 0x01 || (m >= 0xD0 && m <= 0xD7)) {
      at += 2;
      continue;
    }
    size_t length = ((size_t)file[at + 2] << 8) | file[at + 3];
    if (length < 2 || at + 2 + length > file.size()) break;
    if (m == marker) out.emplace_back(file.begin() + at + 4, file.begin() + at + 2 + length);
    at += 2 + length;
  }
  return out;
}

// The metadata list a JPEG reader keeps: every APP1 beginning with "Exif" as
// META_EXIF and every APP13 as META_IPTC, each put in front of the list.
inline void AddJpegMetadata(const Bytes& file, BlockList* list) {
  std::vector<std::pair<uint32_t, Bytes>> blocks;
  for (const Bytes& s : JpegSegments(file, 0xE1))
    if (s.size() > 5 && memcmp(s.data(), "Exif", 4) == 0) blocks.push_back({META_EXIF, s});
  for (const Bytes& s : JpegSegments(file, 0xED)) blocks.push_back({META_IPTC, s});
  for (auto it = blocks.rbegin(); it != blocks.rend(); ++it) list->Add(it->first, it->second);
}

// ---- exiftool --------------------------------------------------------------

// exiftool's tags of each file ("Group:Tag" -> value) from one run over a set
// of files; `numeric` asks for -n values. A tag shown several times keeps its
// first value here and every value, separated by '\x1f', under "+Group:Tag".
using ToolTags = std::map<std::string, std::string>;

inline std::map<std::string, ToolTags> ExiftoolTags(const std::vector<std::string>& files,
                                                    bool numeric, const std::string& extra = "") {
  std::map<std::string, ToolTags> out;
  if (files.empty()) return out;
  std::string command = "exiftool -args -G1 -a -charset iptc=cp1252 ";
  command += numeric ? "-n " : "";
  command += extra + " ";
  for (const std::string& f : files) command += "'" + f + "' ";
  command += "2>/dev/null";
  std::string text;
  testing_support::RunCommand(command, &text);
  std::string current = files.size() == 1 ? files[0] : "";
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    at = end + 1;
    if (line.rfind("======== ", 0) == 0) {
      current = line.substr(9);
      continue;
    }
    if (line.size() < 2 || line[0] != '-') continue;
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = line.substr(1, eq - 1);
    std::string value = line.substr(eq + 1);
    if (!out[current].count(key)) out[current][key] = value;
    std::string& all = out[current]["+" + key];
    all += (all.empty() ? "" : "\x1f") + value;
  }
  return out;
}

// exiftool's raw (-n) and printed tags of the files, from two runs side by side.
struct ToolViews {
  std::map<std::string, ToolTags> raw, printed;
};
inline ToolViews ExiftoolRawAndPrinted(const std::vector<std::string>& files,
                                       const std::string& extra) {
  auto rawRun = std::async(std::launch::async, [&] { return ExiftoolTags(files, true, extra); });
  ToolViews out;
  out.printed = ExiftoolTags(files, false, extra);
  out.raw = rawRun.get();
  return out;
}

// The .jpg files of some corpus folders; none when the corpus is absent.
inline std::vector<std::string> CorpusJpegs(const std::vector<std::string>& folders) {
  std::vector<std::string> files;
  for (const std::string& sub : folders) {
    std::string folder = testing_support::CorpusDir(sub);
    if (folder.empty()) continue;
    for (const std::string& f : testing_support::ListFiles(folder, ".jpg")) files.push_back(f);
  }
  return files;
}

}  // namespace metadata_fixtures
