// X pixmap reader (XPM version 3): 1 to 4 characters per pixel, "c" visuals,
// "None" as the transparent colour, hexadecimal and named colours, and more
// than 256 colours as direct colour.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "imagelib/codecs/xpm_colour_names.h"
#include "imagelib/core/reader_contract.h"

namespace {

constexpr int kMaxXpmSide = 32000;
constexpr int kMaxKeyLength = 4;
constexpr uint64_t kMaxXpmFile = 1ull << 30;

struct XpmColour {
  uint32_t key;  // the key's characters, first in the lowest byte
  uint8_t rgb[3];
  bool transparent;
};

// The whole file as text, with a cursor that skips C comments between strings.
class XpmText {
 public:
  explicit XpmText(std::vector<char> bytes) : text_(std::move(bytes)) {}
  size_t size() const { return text_.size(); }
  const char* data() const { return text_.data(); }

  // Moves past the next opening quote outside comments; false when none.
  bool OpenString() {
    while (at_ < text_.size()) {
      char c = text_[at_];
      if (c == '"') {
        ++at_;
        return true;
      }
      if (c == '/' && at_ + 1 < text_.size() && text_[at_ + 1] == '*') {
        size_t end = FindFrom(at_ + 2, "*/");
        at_ = end == std::string::npos ? text_.size() : end + 2;
        continue;
      }
      ++at_;
    }
    return false;
  }

  // The string's characters up to (not including) its closing quote, which
  // is taken; false when the file ends first.
  bool StringBody(std::string* body) {
    body->clear();
    while (at_ < text_.size() && text_[at_] != '"') body->push_back(text_[at_++]);
    if (at_ >= text_.size()) return false;
    ++at_;
    return true;
  }

  void SkipPast(char c) {
    while (at_ < text_.size() && text_[at_] != c) ++at_;
    if (at_ < text_.size()) ++at_;
  }

  int Get() { return at_ < text_.size() ? (unsigned char)text_[at_++] : -1; }
  size_t remaining() const { return text_.size() - at_; }

 private:
  size_t FindFrom(size_t from, const char* what) const {
    std::string_view view(text_.data(), text_.size());
    return view.find(what, from);
  }
  std::vector<char> text_;
  size_t at_ = 0;
};

uint32_t PackKey(const char* chars, int length) {
  uint32_t key = 0;
  for (int i = 0; i < length; ++i) key |= (uint32_t)(unsigned char)chars[i] << (8 * i);
  return key;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "#" colours: 1 to 4 hexadecimal digits per component (one digit d stands
// for dd, deeper components keep their upper 8 bits), or 8 digits of which
// the first six are R, G, B. Anything else is black.
void ParseHexColour(const std::string& value, uint8_t rgb[3]) {
  rgb[0] = rgb[1] = rgb[2] = 0;
  const size_t digits = value.size() - 1;
  for (size_t i = 1; i < value.size(); ++i)
    if (HexValue(value[i]) < 0) return;
  size_t per = 0;
  if (digits == 8) per = 2;
  else if (digits % 3 == 0 && digits >= 3 && digits <= 12) per = digits / 3;
  else return;
  for (int c = 0; c < 3; ++c) {
    uint32_t v = 0;
    for (size_t k = 0; k < per; ++k) v = v * 16 + (uint32_t)HexValue(value[1 + c * per + k]);
    switch (per) {
      case 1: rgb[c] = (uint8_t)(v * 17); break;
      case 2: rgb[c] = (uint8_t)v; break;
      case 3: rgb[c] = (uint8_t)(v >> 4); break;
      default: rgb[c] = (uint8_t)(v >> 8); break;
    }
  }
}

bool IsVisualKey(const std::string& word) {
  return word == "c" || word == "m" || word == "s" || word == "g4" || word == "g";
}

// Reads the colour definition after the key: pairs of a visual key and its
// value (several words joined by spaces). The "c" value is used; without
// one, the grey-scale and mono values stand in.
void ParseColourDefinition(const std::string& definition, XpmColour* colour) {
  std::string values[5];  // c, g, g4, m, s
  int current = -1;
  size_t i = 0;
  while (i < definition.size()) {
    while (i < definition.size() && isspace((unsigned char)definition[i])) ++i;
    if (i >= definition.size()) break;
    size_t start = i;
    while (i < definition.size() && !isspace((unsigned char)definition[i])) ++i;
    std::string word = definition.substr(start, i - start);
    if (IsVisualKey(word)) {
      current = word == "c" ? 0 : word == "g" ? 1 : word == "g4" ? 2 : word == "m" ? 3 : 4;
      values[current].clear();
      continue;
    }
    if (current < 0) continue;
    if (!values[current].empty()) values[current] += ' ';
    values[current] += word;
  }
  std::string value;
  for (int k = 0; k < 4 && value.empty(); ++k) value = values[k];
  colour->rgb[0] = colour->rgb[1] = colour->rgb[2] = 0;
  colour->transparent = false;
  std::string lower = value;
  for (char& c : lower) c = (char)tolower((unsigned char)c);
  if (lower == "none") {
    colour->transparent = true;
  } else if (!value.empty() && value[0] == '#') {
    ParseHexColour(value, colour->rgb);
  } else if (!lower.empty()) {
    LookUpXpmColourName(lower.c_str(), colour->rgb);  // unknown names stay black
  }
}

// Reads a decimal number from a string, skipping blanks; false when none.
bool TakeNumber(const std::string& s, size_t* at, long* value) {
  while (*at < s.size() && isspace((unsigned char)s[*at])) ++*at;
  if (*at >= s.size() || !isdigit((unsigned char)s[*at])) return false;
  long v = 0;
  while (*at < s.size() && isdigit((unsigned char)s[*at])) {
    if (v < 100000000) v = v * 10 + (s[*at] - '0');
    ++*at;
  }
  *value = v;
  return true;
}

bool ReadWholeFile(FileStream* stream, uint64_t limit, std::vector<char>* bytes) {
  uint64_t size = stream->size;
  if (size == 0 || size > kMaxXpmFile || size > limit) return false;
  bytes->resize((size_t)size);
  size_t got = StreamRead(stream, bytes->data(), (size_t)size);
  bytes->resize(got);
  return true;
}

struct KeyTables {
  const int32_t* shortKeys;  // keys of 1 and 2 characters
  const std::unordered_map<uint32_t, int>* longKeys;
};

// Reads one row's keys of N characters after its opening quote and maps
// them to colour entries; pixels after an early closing quote keep entry 0.
// Returns 0, or 4 when the file ends inside the row.
template <int N>
int ReadRowKeys(XpmText& text, const KeyTables& keys, int32_t* indexes, int width) {
  for (int x = 0; x < width; ++x) {
    unsigned char key[N];
    for (int k = 0; k < N; ++k) {
      int c = text.Get();
      if (c < 0 || c == '"') {
        for (int rest = x; rest < width; ++rest) indexes[rest] = 0;
        return c < 0 ? RESULT_NOT_COMPLETE : RESULT_OK;
      }
      key[k] = (unsigned char)c;
    }
    if constexpr (N == 1) {
      indexes[x] = keys.shortKeys[key[0]];
    } else if constexpr (N == 2) {
      indexes[x] = keys.shortKeys[key[0] * 256 + key[1]];
    } else {
      auto found = keys.longKeys->find(PackKey(reinterpret_cast<const char*>(key), N));
      indexes[x] = found == keys.longKeys->end() ? 0 : found->second;
    }
  }
  text.SkipPast('"');  // the closing quote (and anything before it)
  return RESULT_OK;
}

using RowKeys = int (*)(XpmText&, const KeyTables&, int32_t*, int);

}  // namespace

int ReadXpm(FileStream* stream, LoadContext* context) {
  // Recognise the start before reading the whole file.
  char start[6];
  if (StreamRead(stream, start, sizeof start) != sizeof start) return RESULT_NOT_RECOGNISED;
  for (int i = 0; i < 3; ++i)
    if ((unsigned char)start[i] >= 0x80) return RESULT_NOT_RECOGNISED;
  if (memcmp(start + 3, "XPM", 3) != 0) return RESULT_NOT_RECOGNISED;
  if (StreamSeek(stream, 0) != 0) return RESULT_NOT_RECOGNISED;
  std::vector<char> bytes;
  if (!ReadWholeFile(stream, context->options.memoryCap, &bytes)) return RESULT_NO_MEMORY;
  XpmText text(std::move(bytes));

  // Values: width, height, colours, characters per pixel.
  std::string body;
  if (!text.OpenString() || !text.StringBody(&body)) return RESULT_NOT_RECOGNISED;
  size_t at = 0;
  long width = 0, height = 0, colours = 0, keyLength = 0;
  if (!TakeNumber(body, &at, &width) || !TakeNumber(body, &at, &height) ||
      !TakeNumber(body, &at, &colours) || !TakeNumber(body, &at, &keyLength))
    return RESULT_NOT_RECOGNISED;
  if (width < 1 || width > kMaxXpmSide || height < 1 || height > kMaxXpmSide || keyLength < 1 ||
      keyLength > kMaxKeyLength || colours < 1)
    return RESULT_NOT_RECOGNISED;
  // Each colour needs at least its key and two quotes.
  if ((uint64_t)colours * (uint64_t)(keyLength + 2) > text.remaining()) return RESULT_NOT_COMPLETE;
  text.SkipPast(',');

  std::vector<int32_t> shortKeys;  // index table for keys of 1 and 2 characters
  std::vector<XpmColour> table;
  std::unordered_map<uint32_t, int> longKeys;
  shortKeys.assign(65536, 0);
  table.resize((size_t)colours);
  int transparentIndex = -1;
  for (long i = 0; i < colours; ++i) {
    if (!text.OpenString() || !text.StringBody(&body)) return RESULT_NOT_COMPLETE;
    char key[kMaxKeyLength] = {0, 0, 0, 0};
    for (long k = 0; k < keyLength && k < (long)body.size(); ++k) key[k] = body[k];
    XpmColour& colour = table[(size_t)i];
    colour.key = PackKey(key, (int)keyLength);
    ParseColourDefinition(body.size() > (size_t)keyLength ? body.substr((size_t)keyLength) : "", &colour);
    if (colour.transparent && transparentIndex < 0) transparentIndex = (int)i;
    if (keyLength == 1) shortKeys[(unsigned char)key[0]] = (int32_t)i;
    else if (keyLength == 2) shortKeys[(unsigned char)key[0] * 256 + (unsigned char)key[1]] = (int32_t)i;
    else longKeys.emplace(colour.key, (int)i);  // the first entry with a key wins
  }

  const bool direct = colours > 256;
  SourceFormat header;
  InitSourceFormat(&header);
  strcpy(header.formatText, "X PixMap");
  header.width = (int32_t)width;
  header.height = (int32_t)height;
  header.planes = 1;
  if (direct) {
    header.bitsPerPlane = 24;
    header.bytesPerPlane = (int32_t)width * 3;
  } else {
    header.flags = SRC_ONE_PER_BYTE;
    header.bitsPerPlane = (int16_t)BitsForColours((int)colours);
    header.bytesPerPlane = (int32_t)width;
    header.transparentIndex = (int16_t)transparentIndex;
  }

  int result = StartPicture(context, &header);
  if (result != 0) return result;

  std::vector<int32_t> indexes((size_t)width);
  RowKeys readRow = keyLength == 1 ? ReadRowKeys<1> : keyLength == 2 ? ReadRowKeys<2>
                  : keyLength == 3 ? ReadRowKeys<3> : ReadRowKeys<4>;
  const KeyTables keys{shortKeys.data(), &longKeys};
  int status = RESULT_OK;
  for (long y = 0; y < height && status == RESULT_OK; ++y) {
    uint8_t* row = header.rowBuffer;
    if (!text.OpenString()) {
      status = RESULT_NOT_COMPLETE;
      memset(indexes.data(), 0, indexes.size() * sizeof indexes[0]);
    } else {
      status = readRow(text, keys, indexes.data(), (int)width);
    }
    if (direct) {
      for (long x = 0; x < width; ++x) memcpy(row + x * 3, table[(size_t)indexes[(size_t)x]].rgb, 3);
    } else {
      for (long x = 0; x < width; ++x) row[x] = (uint8_t)indexes[(size_t)x];
    }
    int delivered = DeliverRows(context, -1, -1, 1);
    if (delivered != 0) return delivered;
  }

  if (direct) {
    FinishPicture(context, PAL_RGB3, 8, nullptr);
  } else {
    uint8_t palette[256 * 3];
    memset(palette, 0, sizeof palette);
    for (size_t i = 0; i < table.size(); ++i) memcpy(palette + i * 3, table[i].rgb, 3);
    FinishPicture(context, PAL_RGB3, 8, palette);
  }
  return status;
}
