// The device's 8-bit code page (Windows-1252) and UTF-8/UTF-16 conversions.
#pragma once

#include <string>

namespace platform {

// Windows-1252 byte string <-> UTF-16. Bytes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the same code points; characters the
// code page cannot hold become '?'.
std::u16string WideFromCp1252(const std::string& bytes);
std::string Cp1252FromWide(const std::u16string& wide);

// Windows-1252 -> UTF-8, for printing library texts on a terminal.
std::string Utf8FromCp1252(const std::string& bytes);

// UTF-8 <-> UTF-16. Invalid UTF-8 bytes are kept losslessly as lone
// surrogates U+DC80..U+DCFF, so that host file names round-trip.
std::u16string WideFromUtf8(const std::string& utf8);
std::string Utf8FromWide(const std::u16string& wide);

}  // namespace platform
