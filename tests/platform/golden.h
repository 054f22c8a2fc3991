// Screens compared with reviewed pictures: tests/data/golden/NAME.png holds
// the whole headless screen as it looked when a person checked it by eye.
// Run a test with QUIVRA_UPDATE_GOLDEN=1 to write the picture instead, look
// at it, and commit it only when it is right.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/backend/headless/headless.h"
#include "platform/windows.h"
#include "tests/support/test_support.h"

namespace platform_test {

inline std::string GoldenPath(const std::string& name) {
  return std::string(QUIVRA_SOURCE_DIR) + "/tests/data/golden/" + name + ".png";
}

// Paints everything pending, then compares the whole screen exactly.
inline void ExpectScreenMatchesGolden(const std::string& name) {
  platform::headless::RunPending();
  std::string path = GoldenPath(name);
  const char* update = std::getenv("QUIVRA_UPDATE_GOLDEN");
  if (update && *update && *update != '0') {
    ASSERT_TRUE(platform::headless::SaveScreenshot(path)) << path;
    return;
  }
  testing_support::FormatsScope formats;
  Image golden{};
  ASSERT_EQ(testing_support::LoadFile(path, &golden), 0) << "missing golden picture " << path
                                        << " (write it with QUIVRA_UPDATE_GOLDEN=1)";
  testing_support::Rgba expected = testing_support::ImageToRgba(golden);
  ImageFree(&golden);
  std::vector<uint8_t> screen = platform::headless::ScreenRgb();
  int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  ASSERT_EQ(expected.width, w) << name;
  ASSERT_EQ(expected.height, h) << name;
  int differing = 0, firstX = -1, firstY = -1;
  for (int y = 0; y < h; y++) {
    for (int x = 0; x < w; x++) {
      const uint8_t* e = expected.at(x, y);
      const uint8_t* s = &screen[((size_t)y * w + x) * 3];
      if (e[0] != s[0] || e[1] != s[1] || e[2] != s[2]) {
        if (differing++ == 0) firstX = x, firstY = y;
      }
    }
  }
  EXPECT_EQ(differing, 0) << name << ": " << differing << " pixels differ, first at (" << firstX
                          << ", " << firstY << ")";
}

}  // namespace platform_test
