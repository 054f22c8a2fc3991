#include "app/lang/language_file.h"

#include <climits>
#include <cstring>

namespace language_file {

bool ReadLine(FILE* file, std::string* line) {
  line->clear();
  int c = std::getc(file);
  if (c == EOF) return false;
  while (c != EOF && c != '\n') {
    if (line->size() < kMaxLine) line->push_back((char)c);
    c = std::getc(file);
  }
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return true;
}

int32_t FindSection(FILE* file, const char* name) {
  if (!file || !name || std::fseek(file, 0, SEEK_SET) != 0) return -1;
  const size_t length = std::strlen(name);
  std::string line;
  while (ReadLine(file, &line)) {
    if (line.size() >= 1 + length && line[0] == '[' && line.compare(1, length, name) == 0) {
      long position = std::ftell(file);
      return position >= 0 && position <= INT32_MAX ? (int32_t)position : -1;
    }
  }
  return -1;
}

static char Upper(char c) { return c >= 'a' && c <= 'z' ? (char)(c - 'a' + 'A') : c; }

bool KeysEqual(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Upper(a[i]) != Upper(b[i])) return false;
  return true;
}

bool SplitEntry(const std::string& line, std::string* key, std::string* value) {
  size_t equals = line.find('=');
  if (equals == std::string::npos) return false;
  size_t keyEnd = equals;
  while (keyEnd > 0 && (line[keyEnd - 1] == ' ' || line[keyEnd - 1] == '\t')) --keyEnd;
  key->assign(line, 0, keyEnd);
  size_t start = equals + 1;
  while (start < line.size() && (line[start] == ' ' || line[start] == '\t')) ++start;
  size_t end = start;
  while (end < line.size() && line[end] != '\r' && line[end] != '\n') ++end;
  while (end > start && line[end - 1] == ' ') --end;
  value->assign(line, start, end - start);
  return true;
}

bool FindEntry(FILE* file, int32_t section, const char* key, std::string* value) {
  if (!file || !key || section < 0 || std::fseek(file, section, SEEK_SET) != 0) return false;
  const std::string wanted = key;
  std::string line, k, v;
  while (ReadLine(file, &line)) {
    if (!line.empty() && line[0] == '[') return false;
    if (!SplitEntry(line, &k, &v) || v.size() < 2 || !KeysEqual(k, wanted)) continue;
    value->clear();
    for (size_t i = 0; i < v.size(); ++i) {
      if (v[i] == '\\' && i + 1 < v.size() && v[i + 1] == 'n') {
        value->append("\r\n");
        ++i;
      } else {
        value->push_back(v[i]);
      }
    }
    return true;
  }
  return false;
}

}  // namespace language_file
