// Helpers shared by the test executables: temporary folders, files, peer
// tools, the picture corpus, and loading pictures into plain pixel arrays.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "imagelib/core/format_registry.h"
#include "imagelib/core/image.h"

namespace testing_support {

// UTF-16 path from an ordinary string.
std::u16string W(const std::string& s);

// A fresh folder under the build tree, removed at destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::vector<uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// Runs a shell command; returns its exit status and, when given, its
// standard output.
int RunCommand(const std::string& command, std::string* output = nullptr);
// True when a program is on the PATH.
bool HaveTool(const std::string& name);
// Path of the quivra-img executable built beside the tests.
std::string QuivraImg();

// ../shared/corpus/SUB (relative to the source tree), or "" when absent.
std::string CorpusDir(const std::string& sub);
std::vector<std::string> ListFiles(const std::string& folder, const std::string& extension = "");

// A picture as plain 8-bit RGBA, top-down.
struct Rgba {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;  // width * height * 4
  uint8_t* at(int x, int y) { return &pixels[((size_t)y * width + x) * 4]; }
  const uint8_t* at(int x, int y) const { return &pixels[((size_t)y * width + x) * 4]; }
};

// Decodes a file with ImageMagick (`convert FILE[frame] -depth 8 rgba:-`);
// false when the tool is missing or fails.
bool DecodeWithMagick(const std::string& path, Rgba* out, int frame = 0);

// Any Image (any pixel type, layout) as RGBA; alpha 255 when it has none.
Rgba ImageToRgba(const Image& image);

// Registers the format table for the test's lifetime.
class FormatsScope {
 public:
  FormatsScope() { RegisterFormats(1); }
  ~FormatsScope() { UnregisterFormats(); }
};

// LoadImage with default options changed by flags; returns the result.
int LoadFile(const std::string& path, Image* image, uint32_t flags = 0, ImageInfo* info = nullptr);

// Largest difference of any channel between two pictures of equal size
// (256 when the sizes differ). Alpha is compared when compareAlpha is set.
int MaxDifference(const Rgba& a, const Rgba& b, bool compareAlpha = false);

// Every truncated prefix and some bit-flipped copies of a file's bytes are
// loaded; the loader must return without crashing. Returns how many loads ran.
int FeedDamagedCopies(const std::vector<uint8_t>& bytes, const std::string& extension,
                      int flips = 64);

}  // namespace testing_support
