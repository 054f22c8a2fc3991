// Peer decoders and small load helpers shared by the codec tests of the
// simple formats (PCX, Targa, PNM, XBM, XPM, icons).
#pragma once

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace peer {

using testing_support::Rgba;

inline std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') out += "'\\''";
    else out += c;
  }
  return out + "'";
}

inline bool HavePillow() {
  static int have = -1;
  if (have < 0) have = testing_support::RunCommand("/usr/bin/python3 -c 'import PIL' 2>/dev/null") == 0;
  return have == 1;
}

// Runs a Python program with Debian's python (which has Pillow); returns
// its exit status and standard output.
inline int RunPython(const std::string& program, std::string* output = nullptr) {
  testing_support::TempDir dir;
  std::string script = dir.File("script.py");
  testing_support::WriteFileBytes(script, std::vector<uint8_t>(program.begin(), program.end()));
  return testing_support::RunCommand("/usr/bin/python3 " + Quote(script) + " 2>/dev/null", output);
}

// Python lines that define pam(path, im): writes Pillow's RGBA decoding of
// an image as a PAM file, to be read back with ReadPam.
inline const char* PillowPamWriter() {
  return "from PIL import Image\n"
         "def pam(path, im):\n"
         "    im = im.convert('RGBA')\n"
         "    with open(path, 'wb') as f:\n"
         "        f.write(b'P7\\nWIDTH %d\\nHEIGHT %d\\nDEPTH 4\\nMAXVAL 255\\nENDHDR\\n' % im.size)\n"
         "        f.write(im.tobytes())\n";
}

inline bool ParsePam(const std::string& data, Rgba* out);

inline bool ReadPam(const std::string& path, Rgba* out) {
  std::vector<uint8_t> bytes = testing_support::ReadFileBytes(path);
  return ParsePam(std::string(bytes.begin(), bytes.end()), out);
}

// Pillow's decoding as RGBA; false when Pillow cannot read the file.
inline bool DecodeWithPillow(const std::string& path, Rgba* out, int frame = 0) {
  if (!HavePillow()) return false;
  std::string data;
  std::string program =
      "import sys\nfrom PIL import Image\nim = Image.open(" + Quote(path) +
      ")\nif " + std::to_string(frame) + ": im.seek(" + std::to_string(frame) +
      ")\nim = im.convert('RGBA')\nsys.stdout.buffer.write(b'%d %d\\n' % im.size + im.tobytes())\n";
  if (RunPython(program, &data) != 0) return false;
  int w = 0, h = 0;
  size_t eol = data.find('\n');
  if (eol == std::string::npos || sscanf(data.c_str(), "%d %d", &w, &h) != 2) return false;
  if (data.size() - eol - 1 != (size_t)w * h * 4) return false;
  out->width = w;
  out->height = h;
  out->pixels.assign(data.begin() + (long)eol + 1, data.end());
  return true;
}

// Parses a PAM (P7) picture of depth 1 to 4 at maxval 255 into RGBA.
inline bool ParsePam(const std::string& data, Rgba* out) {
  int w = 0, h = 0, depth = 0, maxval = 0;
  size_t at = 0;
  for (;;) {
    size_t eol = data.find('\n', at);
    if (eol == std::string::npos) return false;
    std::string line = data.substr(at, eol - at);
    at = eol + 1;
    if (line == "ENDHDR") break;
    sscanf(line.c_str(), "WIDTH %d", &w);
    sscanf(line.c_str(), "HEIGHT %d", &h);
    sscanf(line.c_str(), "DEPTH %d", &depth);
    sscanf(line.c_str(), "MAXVAL %d", &maxval);
  }
  if (w <= 0 || h <= 0 || depth < 1 || depth > 4 || maxval != 255) return false;
  if (data.size() - at != (size_t)w * h * depth) return false;
  out->width = w;
  out->height = h;
  out->pixels.assign((size_t)w * h * 4, 255);
  const uint8_t* s = (const uint8_t*)data.data() + at;
  for (size_t i = 0; i < (size_t)w * h; ++i, s += depth) {
    uint8_t* d = &out->pixels[i * 4];
    if (depth <= 2) {
      d[0] = d[1] = d[2] = s[0];
      if (depth == 2) d[3] = s[1];
    } else {
      d[0] = s[0];
      d[1] = s[1];
      d[2] = s[2];
      if (depth == 4) d[3] = s[3];
    }
  }
  return true;
}

// ImageMagick's decoding as RGBA with extra arguments after the input, in
// one run of the tool.
inline bool DecodeWithMagickArgs(const std::string& path, const std::string& args, Rgba* out,
                                 int frame = 0) {
  if (!testing_support::HaveTool("convert")) return false;
  std::string data;
  std::string source = Quote(path + "[" + std::to_string(frame) + "]");
  if (testing_support::RunCommand("convert " + source + " " + args + " -depth 8 pam:- 2>/dev/null", &data) != 0)
    return false;
  return ParsePam(data, out);
}

// Loads a file with default options (changed by flags and an optional
// tweak of the options) and converts it to RGBA.
template <typename Tweak>
int LoadRgbaWith(const std::string& path, Rgba* out, uint32_t flags, Tweak tweak,
                 ImageInfo* info = nullptr) {
  LoadOptions options;
  LoadOptionsInit(&options);
  options.flags = flags;
  tweak(options);
  Image image{};
  std::u16string w = testing_support::W(path);
  int result = LoadImage(w.c_str(), &image, &options, info);
  if (result == 0) *out = testing_support::ImageToRgba(image);
  ImageFree(&image);
  return result;
}

inline int LoadRgba(const std::string& path, Rgba* out, uint32_t flags = 0, ImageInfo* info = nullptr) {
  return LoadRgbaWith(path, out, flags, [](LoadOptions&) {}, info);
}

inline std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// Name of a file without its folder, for messages.
inline std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

inline void PutLe16(std::vector<uint8_t>& v, size_t at, int value) {
  v[at] = (uint8_t)(value & 0xFF);
  v[at + 1] = (uint8_t)((value >> 8) & 0xFF);
}

inline void AppendLe16(std::vector<uint8_t>& v, int value) {
  v.push_back((uint8_t)(value & 0xFF));
  v.push_back((uint8_t)((value >> 8) & 0xFF));
}

inline void AppendLe32(std::vector<uint8_t>& v, uint32_t value) {
  for (int i = 0; i < 4; ++i) v.push_back((uint8_t)(value >> (8 * i)));
}

// A test picture with every channel varying: RGBA, top-down.
inline Rgba Gradient(int width, int height, bool alpha) {
  Rgba p;
  p.width = width;
  p.height = height;
  p.pixels.resize((size_t)width * height * 4);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint8_t* d = p.at(x, y);
      d[0] = (uint8_t)(x * 255 / (width > 1 ? width - 1 : 1));
      d[1] = (uint8_t)(y * 255 / (height > 1 ? height - 1 : 1));
      d[2] = (uint8_t)((x * 7 + y * 13) & 0xFF);
      d[3] = alpha ? (uint8_t)((x + y) * 255 / (width + height - 2 > 0 ? width + height - 2 : 1)) : 255;
    }
  return p;
}

// Writes an RGBA picture as a PAM-free raw file and converts it with
// ImageMagick (extra arguments before the output name).
inline bool MagickFromRgba(const Rgba& picture, const std::string& args, const std::string& output) {
  testing_support::TempDir dir;
  std::string raw = dir.File("in.rgba");
  testing_support::WriteFileBytes(raw, picture.pixels);
  std::string size = std::to_string(picture.width) + "x" + std::to_string(picture.height);
  return testing_support::RunCommand("convert -size " + size + " -depth 8 rgba:" + Quote(raw) + " " + args +
                                     " " + Quote(output) + " 2>/dev/null") == 0;
}

}  // namespace peer
