// The text format of language files: "[Section]" headers, "key = value"
// entries, keys compared without the case of A to Z, values of at least two
// characters, "\n" standing for a line break.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace language_file {

// Longest part of a line that is read; the rest of a longer line is passed over.
constexpr size_t kMaxLine = 511;

// Reads one line without its end (LF or CR LF); false at the end of the file.
bool ReadLine(FILE* file, std::string* line);

// The position just after the header of the first section whose header
// line begins with "[" and `name` (only as many characters as `name` has are
// compared), or -1 when there is none.
int32_t FindSection(FILE* file, const char* name);

// Searches the section starting at `section` for `key`; the first entry
// with that key and a value of two characters or more gives the value
// (with "\n" made into CR LF). False at the next section or the end.
bool FindEntry(FILE* file, int32_t section, const char* key, std::string* value);

// Splits an entry line: key before the first '=' without trailing blanks,
// value after it without leading blanks, up to CR or LF, without trailing
// spaces. False for a line without '='.
bool SplitEntry(const std::string& line, std::string* key, std::string* value);

// Compares the letters A to Z without case, every other byte exactly.
bool KeysEqual(const std::string& a, const std::string& b);

}  // namespace language_file
