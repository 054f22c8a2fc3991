// X bitmap reader: the C source form of X11 (bytes) and X10 (16-bit words),
// leftmost pixel in the lowest bit.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imagelib/codecs/buffered_input.h"
#include "imagelib/core/reader_contract.h"

namespace {

constexpr int kMaxXbmSide = 16000;
constexpr int kMaxLine = 1024;   // lines longer than 1023 characters are read in pieces
constexpr int kMaxToken = 32;    // tokens of at most 31 characters

constexpr uint8_t ReverseBits(uint8_t b) {
  uint8_t r = 0;
  for (int i = 0; i < 8; ++i)
    if (b & (1 << i)) r |= (uint8_t)(0x80 >> i);
  return r;
}

struct ReversedBytes {
  uint8_t table[256];
  constexpr ReversedBytes() : table() {
    for (int i = 0; i < 256; ++i) table[i] = ReverseBits((uint8_t)i);
  }
};
constexpr ReversedBytes kReversed;

// One line (without its line end) of at most kMaxLine - 1 characters;
// false at the end of the file when nothing was read.
bool ReadXbmLine(BufferedInput& in, std::string* line) {
  line->clear();
  int c = in.Get();
  if (c < 0) return false;
  while (c >= 0 && c != '\n') {
    if (c != '\r') line->push_back((char)c);
    if ((int)line->size() >= kMaxLine - 1) break;
    c = in.Get();
  }
  return true;
}

bool IsBlankLine(const std::string& line) {
  for (char c : line)
    if (c != ' ' && c != '\t') return false;
  return true;
}

// Matches "static <type> %s = {" with any spacing; on success gives the
// position after the brace.
bool MatchDeclaration(const std::string& line, const char* type, size_t* dataStart) {
  char name[kMaxLine];
  int end = -1;
  std::string pattern = std::string(" static ") + type + " %1023s = {%n";
  if (sscanf(line.c_str(), pattern.c_str(), name, &end) >= 1 && end > 0) {
    *dataStart = (size_t)end;
    return true;
  }
  return false;
}

// Characters of the data: first what followed the brace on the declaration
// line, then the rest of the file.
class XbmData {
 public:
  XbmData(BufferedInput& in, std::string pending) : in_(in), pending_(std::move(pending)) {}

  int Get() {
    if (at_ < pending_.size()) return (unsigned char)pending_[at_++];
    return in_.Get();
  }

  // The next value; false when no more could be read.
  bool NextValue(unsigned long* value) {
    char token[kMaxToken];
    int n = 0;
    int c = Get();
    while (c == ' ' || c == '\t' || c == '\n' || c == '\r') c = Get();
    if (c < 0) return false;
    while (c >= 0 && c != ',') {
      token[n++] = (char)c;
      if (n == kMaxToken - 1) break;
      c = Get();
    }
    token[n] = 0;
    char* end = nullptr;
    *value = strtoul(token, &end, 16);
    return end != token;
  }

 private:
  BufferedInput& in_;
  std::string pending_;
  size_t at_ = 0;
};

}  // namespace

int ReadXbm(FileStream* stream, LoadContext* context) {
  BufferedInput in(stream);
  std::string line;
  long width = 0, height = 0;
  int counted = 0;
  bool words = false;
  bool found = false;
  std::string pending;
  bool inComment = false;
  while (!found && ReadXbmLine(in, &line)) {
    if (IsBlankLine(line)) continue;
    // Lines of a C comment (such as a copyright block above the defines)
    // are neither counted nor compared.
    const size_t text = line.find_first_not_of(" \t");
    if (inComment || line.compare(text, 2, "/*") == 0) {
      size_t close = line.find("*/", inComment ? 0 : text + 2);
      inComment = close == std::string::npos;
      if (inComment || line.find_first_not_of(" \t", close + 2) == std::string::npos) continue;
      line.erase(0, close + 2);
    }
    ++counted;
    char name[kMaxLine];
    long value = 0;
    if (sscanf(line.c_str(), " #define %1023s %ld", name, &value) == 2) {
      if (strstr(name, "_width")) width = value;
      else if (strstr(name, "_height")) height = value;
      continue;
    }
    if (strncmp(line.c_str() + strspn(line.c_str(), " \t"), "#define", 7) == 0) continue;
    size_t dataStart = 0;
    if (counted >= 4) {
      // The header ends here whatever the line says; its brace, if any,
      // starts the data, and a "short" in it means 16-bit words.
      size_t brace = line.find('{');
      dataStart = brace == std::string::npos ? line.size() : brace + 1;
      words = line.find("short") != std::string::npos;
      found = true;
    } else if (MatchDeclaration(line, "unsigned short", &dataStart) ||
               MatchDeclaration(line, "short", &dataStart)) {
      words = true;
      found = true;
    } else if (MatchDeclaration(line, "unsigned char", &dataStart) ||
               MatchDeclaration(line, "char", &dataStart)) {
      found = true;
    }
    if (found) pending = line.substr(dataStart);
  }
  if (!found || width < 1 || height < 1 || width >= kMaxXbmSide || height >= kMaxXbmSide)
    return RESULT_NOT_RECOGNISED;

  const int rowBytes = words ? ((int)width + 15) / 16 * 2 : ((int)width + 7) / 8;
  SourceFormat header;
  InitSourceFormat(&header);
  strcpy(header.formatText, "X BitMap");
  header.width = (int32_t)width;
  header.height = (int32_t)height;
  header.planes = 1;
  header.bitsPerPlane = 1;
  header.bytesPerPlane = rowBytes;

  int result = StartPicture(context, &header);
  if (result != 0) return result;

  XbmData data(in, std::move(pending));
  int status = RESULT_OK;
  for (int y = 0; y < height && status == RESULT_OK; ++y) {
    uint8_t* row = header.rowBuffer;
    memset(row, 0, (size_t)rowBytes);
    for (int x = 0; x < rowBytes;) {
      unsigned long value = 0;
      if (!data.NextValue(&value)) {
        status = RESULT_NOT_COMPLETE;
        break;
      }
      row[x++] = kReversed.table[value & 0xFF];
      if (words) row[x++] = kReversed.table[(value >> 8) & 0xFF];
    }
    int delivered = DeliverRows(context, -1, -1, 1);
    if (delivered != 0) return delivered;
  }
  FinishPicture(context, PAL_WHITE_IS_ZERO, 1, nullptr);
  return status;
}
