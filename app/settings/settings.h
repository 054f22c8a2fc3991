// Every persisted option of the program in one record, read from the
// registry at start and written back at exit.
#pragma once

#include <string>
#include <vector>

#include "platform/windows.h"

// How a picture is saved: by the "Save as" command and by screen capture.
struct SaveChoices {
  int32_t format = 0;      // 0 JPEG, 1 BMP, 2 GIF, 3 PNG
  int32_t quality = 80;    // JPEG quality
  int32_t level = 7;       // PNG compression level
  uint32_t exif = 1;       // keep the EXIF block (0 or 1)
  int32_t colourMode = 3;  // 0 Black&White, 1 16 colors, 2 256 colors, 3 24 Bits; never stored
};

class Settings {
 public:
  Settings() = default;
  virtual ~Settings() = default;

  // Reads every value (a missing or unusable one gives its default), then
  // the favorites.
  void Load();
  // Writes every value, then replaces the stored favorites by the list.
  void Save();

  std::u16string path;  // folder opened at start, ending with '\'
  int32_t mode = 0;     // 0 Thumbnails, 1 Strip, 2 List, 3 Details
  uint8_t useEmbedded = 1;
  uint8_t highQuality = 0;
  uint8_t showFilename = 1;
  uint8_t showExt = 1;
  int32_t thumbSize = 1;  // 0 Small, 1 Normal, 2 Large
  int32_t sortBy = 0;     // field in the low byte, 0x1000 descending
  std::vector<std::u16string> favorites;
  int32_t fit = 2;     // zoom mode of the picture view
  int32_t rotate = 1;  // automatic rotation mode
  uint32_t autoROnlyFull = 1;
  int32_t resizeBigPicture = 0;  // 0 none, 1 120x160, 2 240x320, 3 480x640, 4 720x960
  uint32_t noBWResize = 1;
  int32_t delay = 2;  // slideshow seconds
  uint8_t useTransition = 1;
  uint8_t useLoop = 1;
  SaveChoices save;
  SaveChoices capture;
  std::u16string capturePath;  // empty: the browser's current folder
};

// At most this many favorites are read back.
constexpr int kMaxFavorites = 50;
