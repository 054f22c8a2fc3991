// Makes the demo folder: a few small pictures drawn by the library itself
// and written with each writer, so that `make run` has something to show.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "imagelib/core/file_stream.h"
#include "imagelib/core/format_registry.h"
#include "imagelib/core/image.h"

namespace {

// A colour wheel over a soft vertical gradient.
void DrawWheel(Image* image) {
  const double cx = image->width / 2.0, cy = image->height / 2.0;
  for (int y = 0; y < image->height; ++y) {
    uint8_t* row = ImageRow(image, y);
    for (int x = 0; x < image->width; ++x) {
      double dx = x - cx, dy = y - cy;
      double angle = std::atan2(dy, dx);
      double radius = std::sqrt(dx * dx + dy * dy) / (image->height / 2.0);
      double base = 40 + 160.0 * y / image->height;
      double r = base, g = base, b = base;
      if (radius < 1) {
        r = 128 + 127 * std::cos(angle);
        g = 128 + 127 * std::cos(angle - 2.094);
        b = 128 + 127 * std::cos(angle + 2.094);
      }
      row[x * 3 + 0] = (uint8_t)r;
      row[x * 3 + 1] = (uint8_t)g;
      row[x * 3 + 2] = (uint8_t)b;
    }
  }
}

// A 16-colour palette picture of stripes.
void DrawStripes(Image* image) {
  for (int i = 0; i < 16; ++i) {
    image->palette[i] = (uint8_t)(i * 17);
    image->palette[256 + i] = (uint8_t)(255 - i * 17);
    image->palette[512 + i] = (uint8_t)((i * 64) & 255);
  }
  image->paletteCount = 16;
  for (int y = 0; y < image->height; ++y)
    for (int x = 0; x < image->width; ++x) ImageRow(image, y)[x] = (uint8_t)(((x + y) / 8) & 15);
}

int Save(const Image& image, const std::string& folder, const char* name, const char* format,
         void (*tune)(WriteOptions*) = nullptr) {
  int index = FindFormat(format);
  if (index < 0 || !(Formats()->rows[index].flags & FORMAT_HAS_WRITER)) {
    fprintf(stderr, "demo-pictures: no %s writer yet, %s skipped\n", format, name);
    return 0;
  }
  WriteOptions options;
  WriteOptionsInit(&options);
  options.formatIndex = (int16_t)index;
  if (tune) tune(&options);
  std::u16string path = WideFromUtf8(folder + "/" + name);
  std::vector<char16_t> buffer(path.begin(), path.end());
  buffer.resize(path.size() + 70, 0);
  int result = SaveImage(buffer.data(), &image, &options);
  if (result) fprintf(stderr, "demo-pictures: %s: error %d (%s)\n", name, result, ResultText(result));
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: demo-pictures FOLDER\n");
    return 2;
  }
  std::string folder = argv[1];
  RegisterFormats(1);
  Image wheel, stripes;
  if (!ImageCreate(&wheel, PIXEL_RGB, 4, 160, 120) || !ImageCreate(&stripes, PIXEL_INDEXED, 4, 96, 64)) {
    fprintf(stderr, "demo-pictures: out of memory\n");
    return 1;
  }
  DrawWheel(&wheel);
  DrawStripes(&stripes);
  wheel.comment = strdup("Colour wheel drawn by Quivra");
  int failures = 0;
  failures += Save(wheel, folder, "wheel.bmp", "bmp") != 0;
  failures += Save(wheel, folder, "wheel.jpg", "jpeg", [](WriteOptions* o) { o->quality = 85; }) != 0;
  failures += Save(wheel, folder, "wheel.png", "png") != 0;
  failures += Save(wheel, folder, "wheel.tga", "tga", [](WriteOptions* o) { o->rle = 1; }) != 0;
  failures += Save(stripes, folder, "stripes.gif", "gif") != 0;
  failures += Save(stripes, folder, "stripes.bmp", "bmp", [](WriteOptions* o) { o->rle = 1; }) != 0;
  ImageFree(&wheel);
  ImageFree(&stripes);
  UnregisterFormats();
  return failures ? 1 : 0;
}
