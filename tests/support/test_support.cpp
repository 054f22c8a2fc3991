#include "tests/support/test_support.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>

#include "imagelib/core/file_stream.h"

namespace testing_support {

std::u16string W(const std::string& s) { return WideFromUtf8(s); }

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  std::string base = std::string(QUIVRA_BINARY_DIR) + "/test-tmp";
  mkdir(base.c_str(), 0755);
  path_ = base + "/t" + std::to_string(getpid()) + "_" + std::to_string(counter++);
  RunCommand("rm -rf '" + path_ + "'");
  mkdir(path_.c_str(), 0755);
}

TempDir::~TempDir() { RunCommand("rm -rf '" + path_ + "'"); }

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write((const char*)bytes.data(), (std::streamsize)bytes.size());
}

int RunCommand(const std::string& command, std::string* output) {
  FILE* p = popen(command.c_str(), "r");
  if (!p) return -1;
  std::string text;
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) text.append(buffer, n);
  int status = pclose(p);
  if (output) *output = std::move(text);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HaveTool(const std::string& name) {
  return RunCommand("command -v '" + name + "' >/dev/null 2>&1") == 0;
}

std::string QuivraImg() {
  const char* e = std::getenv("QUIVRA_IMG");
  if (e && *e) return e;
  return std::string(QUIVRA_BINARY_DIR) + "/tools/quivra-img";
}

std::string CorpusDir(const std::string& sub) {
  std::string dir = std::string(QUIVRA_SOURCE_DIR) + "/../shared/corpus/" + sub;
  struct stat st;
  if (stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return dir;
  return "";
}

std::vector<std::string> ListFiles(const std::string& folder, const std::string& extension) {
  std::vector<std::string> files;
  DIR* d = opendir(folder.c_str());
  if (!d) return files;
  while (dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    if (!extension.empty()) {
      if (name.size() < extension.size()) continue;
      std::string tail = name.substr(name.size() - extension.size());
      std::string lower = tail;
      for (char& c : lower) c = (char)tolower((unsigned char)c);
      if (lower != extension) continue;
    }
    files.push_back(folder + "/" + name);
  }
  closedir(d);
  std::sort(files.begin(), files.end());
  return files;
}

bool DecodeWithMagick(const std::string& path, Rgba* out, int frame) {
  if (!HaveTool("convert")) return false;
  std::string size;
  std::string source = "'" + path + "[" + std::to_string(frame) + "]'";
  if (RunCommand("identify -format '%w %h' " + source + " 2>/dev/null", &size) != 0) return false;
  int w = 0, h = 0;
  if (sscanf(size.c_str(), "%d %d", &w, &h) != 2 || w <= 0 || h <= 0) return false;
  std::string data;
  if (RunCommand("convert " + source + " -depth 8 rgba:- 2>/dev/null", &data) != 0) return false;
  if (data.size() != (size_t)w * h * 4) return false;
  out->width = w;
  out->height = h;
  out->pixels.assign(data.begin(), data.end());
  return true;
}

Rgba ImageToRgba(const Image& image) {
  Rgba out;
  out.width = image.width;
  out.height = image.height;
  out.pixels.assign((size_t)image.width * image.height * 4, 255);
  const bool bottomUp = image.layout & LAYOUT_BOTTOM_UP;
  const bool mirrored = image.layout & LAYOUT_MIRRORED;
  const int bytesPerSample = image.bitsPerSample > 16 ? 4 : image.bitsPerSample > 8 ? 2 : 1;
  for (int y = 0; y < image.height; ++y) {
    const uint8_t* row = ImageRow(&image, bottomUp ? image.height - 1 - y : y);
    for (int x = 0; x < image.width; ++x) {
      int sx = mirrored ? image.width - 1 - x : x;
      uint8_t* d = out.at(x, y);
      auto sample = [&](int i) -> uint8_t {
        // Wide samples are host-order integers; take their upper byte.
        const uint8_t* p = row + ((size_t)sx * image.samplesPerPixel + i) * bytesPerSample;
        if (bytesPerSample == 1) return p[0];
        if (bytesPerSample == 2) {
          uint16_t v;
          memcpy(&v, p, 2);
          return (uint8_t)(v >> (image.bitsPerSample - 8));
        }
        uint32_t v;
        memcpy(&v, p, 4);
        return (uint8_t)(v >> (image.bitsPerSample - 8));
      };
      switch (image.pixelType) {
        case PIXEL_BW: {
          uint8_t v = GetBit(row, sx) ? 255 : 0;
          d[0] = d[1] = d[2] = v;
          break;
        }
        case PIXEL_GREY: {
          int n = image.paletteCount > 1 ? image.paletteCount : 256;
          int v = bytesPerSample == 1 ? row[sx] : sample(0);
          if (bytesPerSample == 1 && n != 256) v = v * 255 / (n - 1);
          d[0] = d[1] = d[2] = (uint8_t)v;
          break;
        }
        case PIXEL_INDEXED: {
          int i = row[sx];
          d[0] = image.palette[i];
          d[1] = image.palette[256 + i];
          d[2] = image.palette[512 + i];
          break;
        }
        case PIXEL_RGB:
          d[0] = sample(0); d[1] = sample(1); d[2] = sample(2);
          break;
        case PIXEL_BGR:
          d[0] = sample(2); d[1] = sample(1); d[2] = sample(0);
          break;
        case PIXEL_RGBA:
          d[0] = sample(0); d[1] = sample(1); d[2] = sample(2); d[3] = sample(3);
          break;
        case PIXEL_ABGR:
          d[3] = sample(0); d[2] = sample(1); d[1] = sample(2); d[0] = sample(3);
          break;
        case PIXEL_BGRA:
          d[2] = sample(0); d[1] = sample(1); d[0] = sample(2); d[3] = sample(3);
          break;
        case PIXEL_ARGB:
          d[3] = sample(0); d[0] = sample(1); d[1] = sample(2); d[2] = sample(3);
          break;
        case PIXEL_CMYK: {
          int c = sample(0), m = sample(1), yy = sample(2), k = sample(3);
          d[0] = (uint8_t)((255 - c) * (255 - k) / 255);
          d[1] = (uint8_t)((255 - m) * (255 - k) / 255);
          d[2] = (uint8_t)((255 - yy) * (255 - k) / 255);
          break;
        }
        default:
          break;
      }
    }
  }
  return out;
}

int LoadFile(const std::string& path, Image* image, uint32_t flags, ImageInfo* info) {
  LoadOptions options;
  LoadOptionsInit(&options);
  options.flags = flags;
  std::u16string w = W(path);
  return LoadImage(w.c_str(), image, &options, info);
}

int MaxDifference(const Rgba& a, const Rgba& b, bool compareAlpha) {
  if (a.width != b.width || a.height != b.height) return 256;
  int worst = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i) {
    if (!compareAlpha && (i & 3) == 3) continue;
    worst = std::max(worst, std::abs((int)a.pixels[i] - (int)b.pixels[i]));
  }
  return worst;
}

int FeedDamagedCopies(const std::vector<uint8_t>& bytes, const std::string& extension, int flips) {
  TempDir dir;
  std::string path = dir.File("damaged." + extension);
  int runs = 0;
  auto loadOnce = [&](const std::vector<uint8_t>& data) {
    WriteFileBytes(path, data);
    Image image{};
    ImageInfo info{};
    LoadOptions options;
    LoadOptionsInit(&options);
    options.flags = LOAD_KEEP_PARTIAL | LOAD_KEEP_COMMENT | LOAD_KEEP_TEXTS | LOAD_KEEP_METADATA;
    options.memoryCap = 64ull << 20;
    std::u16string w = W(path);
    LoadImage(w.c_str(), &image, &options, &info);
    ImageFree(&image);
    ImageInfoFree(&info);
    ++runs;
  };
  // Truncations: every length for small files, a spread for large ones.
  size_t step = std::max<size_t>(1, bytes.size() / 200);
  for (size_t n = 0; n < bytes.size(); n += step) loadOnce(std::vector<uint8_t>(bytes.begin(), bytes.begin() + n));
  std::mt19937 random(12345);
  for (int i = 0; i < flips && !bytes.empty(); ++i) {
    std::vector<uint8_t> copy = bytes;
    int changes = 1 + (int)(random() % 4);
    for (int k = 0; k < changes; ++k) {
      size_t at = random() % copy.size();
      if (random() & 1) copy[at] ^= (uint8_t)(1u << (random() % 8));
      else copy[at] = (uint8_t)random();
    }
    loadOnce(copy);
  }
  return runs;
}

}  // namespace testing_support
