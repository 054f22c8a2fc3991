// The file layer: modes, byte order, end-of-file behaviour, tokens, lines.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "imagelib/core/file_stream.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

class Stream : public ::testing::Test {
 protected:
  TempDir dir;
  FileStream* Open(const std::string& content, int mode = STREAM_READ_BINARY) {
    std::string path = dir.File("f.bin");
    WriteFileBytes(path, std::vector<uint8_t>(content.begin(), content.end()));
    return StreamOpen(W(path).c_str(), mode);
  }
};

TEST_F(Stream, ReadModesMeasureAndRefuseEmptyFiles) {
  FileStream* s = Open("abc");
  ASSERT_NE(nullptr, s);
  EXPECT_EQ(3u, s->size);
  StreamClose(s);
  EXPECT_EQ(nullptr, Open(""));
  EXPECT_EQ(nullptr, StreamOpen(W(dir.File("missing")).c_str(), STREAM_READ_BINARY));
  EXPECT_EQ(nullptr, StreamOpen(W(dir.path()).c_str(), STREAM_READ_BINARY));  // a folder
  StreamClose(nullptr);
}

TEST_F(Stream, CreateModesMakeTheFile) {
  std::string path = dir.File("new.bin");
  FileStream* s = StreamOpen(W(path).c_str(), STREAM_CREATE_UPDATE_BINARY);
  ASSERT_NE(nullptr, s);
  EXPECT_EQ(1, WriteU16LE(0x1234, s));
  EXPECT_EQ(1, WriteU32LE(0xA1B2C3D4, s));
  StreamClose(s);
  std::vector<uint8_t> bytes = ReadFileBytes(path);
  EXPECT_EQ((std::vector<uint8_t>{0x34, 0x12, 0xD4, 0xC3, 0xB2, 0xA1}), bytes);
  s = StreamOpen(W(path).c_str(), STREAM_UPDATE_BINARY);
  ASSERT_NE(nullptr, s);
  EXPECT_EQ(0x1234, ReadU16LE(s));
  StreamClose(s);
}

TEST_F(Stream, ByteOrderReadersAndTheEnd) {
  FileStream* s = Open(std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b", 11));
  EXPECT_EQ(0x0201, ReadU16LE(s));
  EXPECT_EQ(0x0304, ReadU16BE(s));
  EXPECT_EQ(0x08070605u, ReadU32LE(s));
  // Three bytes left: the missing one reads as all ones.
  EXPECT_EQ(0x090A0BFFu, ReadU32BE(s));
  EXPECT_EQ(0xFFFF, ReadU16LE(s));
  StreamClose(s);
  EXPECT_EQ(0x3412, Swap16(0x1234));
  EXPECT_EQ(0x78563412u, Swap32(0x12345678));
}

TEST_F(Stream, SkipForwardBackwardAndPastTheEnd) {
  FileStream* s = Open("0123456789");
  EXPECT_EQ(0, Skip(s, 0));
  EXPECT_EQ(0, Skip(s, 4));
  EXPECT_EQ('4', StreamGetc(s));
  EXPECT_EQ(0, Skip(s, -3));
  EXPECT_EQ('2', StreamGetc(s));
  EXPECT_EQ(1, Skip(s, 100));
  StreamClose(s);
}

TEST_F(Stream, NumbersTokensAndLines) {
  FileStream* s = Open(" \t\n 42x -7 # end", STREAM_READ_TEXT);
  int v = 0;
  ASSERT_EQ(1, ReadNumber(s, &v));
  EXPECT_EQ(42, v);
  EXPECT_EQ('x', StreamGetc(s));  // the character that ended the number is put back
  ASSERT_EQ(1, ReadNumber(s, &v));
  EXPECT_EQ(-7, v);
  char token[8];
  ASSERT_EQ(1, ReadToken(s, token, sizeof token, 'n'));
  EXPECT_STREQ("# e", token);  // blanks inside a token are printable
  ASSERT_EQ(1, ReadToken(s, token, sizeof token, 'n'));
  EXPECT_STREQ("d", token);
  EXPECT_EQ(0, ReadNumber(s, &v));
  StreamClose(s);

  s = Open("first\r\nsecond line that is long\n\x01rest");
  char line[12];
  ASSERT_NE(nullptr, ReadLine(line, sizeof line, s));
  EXPECT_STREQ("first\n", line);
  ASSERT_NE(nullptr, ReadLine(line, sizeof line, s));
  EXPECT_STREQ("second line", line);  // size - 1 characters
  ASSERT_NE(nullptr, ReadLine(line, sizeof line, s));
  EXPECT_STREQ(" that is lo", line);
  ASSERT_NE(nullptr, ReadLine(line, sizeof line, s));
  EXPECT_STREQ("ng\n", line);
  ASSERT_NE(nullptr, ReadLine(line, sizeof line, s));
  EXPECT_STREQ("", line);  // stopped at the control character
  StreamClose(s);
}

TEST(TempFileName, MakesDistinctNamesWithThePrefix) {
  char a[512], b[512];
  ASSERT_EQ(1, TempFileName(a, sizeof a));
  ASSERT_EQ(1, TempFileName(b, sizeof b));
  EXPECT_STRNE(a, b);
  EXPECT_NE(nullptr, strstr(a, "/x_"));
  remove(a);
  remove(b);
  char tiny[4];
  EXPECT_EQ(0, TempFileName(tiny, sizeof tiny));
}

TEST(Paths, NonAsciiNamesRoundTrip) {
  TempDir dir;
  std::string name = dir.File("caf\xc3\xa9 \xe2\x82\xac.bin");
  WriteFileBytes(name, {1, 2, 3});
  FileStream* s = StreamOpen(W(name).c_str(), STREAM_READ_BINARY);
  ASSERT_NE(nullptr, s);
  EXPECT_EQ(3u, s->size);
  EXPECT_EQ(name, Utf8FromWide(s->path));
  StreamClose(s);
}

}  // namespace
