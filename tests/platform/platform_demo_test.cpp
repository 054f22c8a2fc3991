// The device demonstration program run as people run it: headless with a
// driver script, and in the SDL2 window (SDL's offscreen "dummy" video
// driver); the screen it shows must be the same both ways, and keys from
// the script must change it.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::string Demo() { return std::string(QUIVRA_BINARY_DIR) + "/platform/quivra-device-demo"; }

// RGB pixels of a PNG decoded by ImageMagick, cropped below the task bar
// (whose clock shows the time of day in the window).
bool DecodeBelowTaskBar(const std::string& png, std::vector<uint8_t>* rgb) {
  std::string cmd = "convert '" + png + "' -crop 176x200+0+20 +repage -depth 8 rgb:- 2>/dev/null";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return false;
  rgb->assign(176 * 200 * 3, 0);
  size_t n = fread(rgb->data(), 1, rgb->size(), p);
  return pclose(p) == 0 && n == rgb->size();
}

class DeviceDemo : public ::testing::Test {
 protected:
  void SetUp() override {
    struct stat st;
    if (stat(Demo().c_str(), &st) != 0) GTEST_SKIP() << "build quivra-device-demo first";
    if (system("command -v convert >/dev/null 2>&1") != 0) GTEST_SKIP() << "ImageMagick is missing";
    char pattern[] = "/tmp/quivra-demo-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    if (!dir_.empty()) {
      std::string cmd = "rm -rf '" + dir_ + "'";
      (void)system(cmd.c_str());
    }
  }
  int Run(const std::string& arguments, const std::string& environment = "") {
    std::string cmd = "cd '" + dir_ + "' && " + environment + " timeout 60 '" + Demo() + "' --registry r.db " +
                      arguments + " >/dev/null 2>&1";
    int status = system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string dir_;
};

TEST_F(DeviceDemo, ScriptedKeysChangeTheScreenAndShotsAreTaken) {
  std::ofstream(dir_ + "/s.txt") << "# the demo\nwait 500\nshot first.png\nkey 5\nwait 100\nshot second.png\nkey back\n";
  ASSERT_EQ(Run("--headless --script s.txt --screenshot-on-exit exit.png"), 0);
  std::vector<uint8_t> first, second, last;
  ASSERT_TRUE(DecodeBelowTaskBar(dir_ + "/first.png", &first));
  ASSERT_TRUE(DecodeBelowTaskBar(dir_ + "/second.png", &second));
  ASSERT_TRUE(DecodeBelowTaskBar(dir_ + "/exit.png", &last));
  // Before: a white background; after "key 5": RGB(0x20, 0x40, 0x80) as a
  // 5-6-5 display shows it.
  const uint8_t* corner = &first[(170 * 176 + 2) * 3];
  EXPECT_EQ(corner[0], 255);
  EXPECT_EQ(corner[1], 255);
  EXPECT_EQ(corner[2], 255);
  const uint8_t* after = &second[(170 * 176 + 2) * 3];
  EXPECT_EQ(after[0], (0x20 >> 3 << 3) | (0x20 >> 3 >> 2));
  EXPECT_EQ(after[1], (0x40 >> 2 << 2) | (0x40 >> 2 >> 4));
  EXPECT_EQ(after[2], (0x80 >> 3 << 3) | (0x80 >> 3 >> 2));
  // The red frame around the picture.
  const uint8_t* frame = &first[((6 - 0) * 176 + 6) * 3];
  EXPECT_EQ(frame[0], 255);
  EXPECT_EQ(frame[1], 0);
  EXPECT_EQ(frame[2], 0);
  // Back ended the program; the exit shot is the screen as it was then.
  EXPECT_EQ(last, second);
}

TEST_F(DeviceDemo, TheSdlWindowShowsWhatTheHeadlessScreenHolds) {
  std::ofstream(dir_ + "/s.txt") << "wait 700\n";
  ASSERT_EQ(Run("--headless --script s.txt --screenshot-on-exit headless.png"), 0);
  int rc = Run("--zoom 3 --screenshot-on-exit sdl.png", "SDL_VIDEODRIVER=dummy QUIVRA_DEMO_QUIT_AFTER=700");
  if (rc == 1) GTEST_SKIP() << "SDL cannot open a window here";
  ASSERT_EQ(rc, 0);
  std::vector<uint8_t> headless, sdl;
  ASSERT_TRUE(DecodeBelowTaskBar(dir_ + "/headless.png", &headless));
  ASSERT_TRUE(DecodeBelowTaskBar(dir_ + "/sdl.png", &sdl));
  EXPECT_TRUE(headless == sdl) << "the window's pixels, read back and reduced by the zoom, differ";
}

TEST_F(DeviceDemo, BadOptionsAndScriptsAreRefused) {
  EXPECT_EQ(Run("--headless --depth 12"), 2);
  EXPECT_EQ(Run("--headless --screen 99"), 2);
  std::ofstream(dir_ + "/bad.txt") << "wait 10\nkey nokey\n";
  EXPECT_EQ(Run("--headless --script bad.txt"), 1);
  EXPECT_EQ(Run("--headless --script missing.txt"), 1);
}

}  // namespace
