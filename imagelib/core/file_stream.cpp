#include "imagelib/core/file_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "platform/fs/path_map.h"
#include "platform/text/codepage.h"

size_t WideLength(const char16_t* s) {
  size_t n = 0;
  if (s)
    while (s[n]) ++n;
  return n;
}

std::u16string WideFromUtf8(const std::string& s) { return platform::WideFromUtf8(s); }

std::string Utf8FromWide(const char16_t* s) {
  return s ? platform::Utf8FromWide(std::u16string(s)) : std::string();
}

namespace {

char16_t* CopyWide(const char16_t* path) {
  size_t n = WideLength(path);
  char16_t* copy = (char16_t*)malloc((n + 1) * sizeof(char16_t));
  if (!copy) return nullptr;
  if (n) memcpy(copy, path, n * sizeof(char16_t));
  copy[n] = 0;
  return copy;
}

const char* ModeString(int mode, bool* createFirst, bool* measure) {
  *createFirst = false;
  *measure = false;
  switch (mode) {
    case STREAM_READ_BINARY: *measure = true; return "rb";
    case STREAM_READ_TEXT: *measure = true; return "r";
    case STREAM_WRITE_BINARY: return "wb";
    case STREAM_UPDATE_BINARY:
    case STREAM_UPDATE_BINARY_2: return "r+b";
    case STREAM_CREATE_UPDATE_BINARY: *createFirst = true; return "w+b";
    case STREAM_WRITE_TEXT: return "w";
    case STREAM_UPDATE_TEXT:
    case STREAM_UPDATE_TEXT_2: return "r+";
    case STREAM_CREATE_UPDATE_TEXT: *createFirst = true; return "w+";
    default: return nullptr;
  }
}

}  // namespace

FileStream* StreamOpen(const char16_t* path, int mode) {
  if (!path) return nullptr;
  bool createFirst, measure;
  const char* m = ModeString(mode, &createFirst, &measure);
  if (!m) return nullptr;
  std::string host = platform::HostPathFromDevice(std::u16string(path));
  if (createFirst) {
    FILE* f = fopen(host.c_str(), "wb");
    if (!f) return nullptr;
    fclose(f);
  }
  int64_t length = 0;
  if (measure) {
    struct stat st;
    if (stat(host.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return nullptr;
    length = st.st_size;
    if (length == 0) return nullptr;
  }
  FILE* file = fopen(host.c_str(), m);
  if (!file) return nullptr;
  FileStream* s = (FileStream*)calloc(1, sizeof(FileStream));
  if (!s) {
    fclose(file);
    return nullptr;
  }
  s->file = file;
  s->measured = measure ? length : 0;
  s->size = measure ? (length > 0xFFFFFFFFll ? 0xFFFFFFFFu : (uint32_t)length) : 0;
  s->path = CopyWide(path);
  return s;
}

FileStream* StreamBorrow(FILE* file, const char16_t* path) {
  FileStream* s = (FileStream*)calloc(1, sizeof(FileStream));
  if (!s) return nullptr;
  s->file = file;
  s->borrowed = 1;
  s->path = path ? CopyWide(path) : nullptr;
  long at = ftell(file);
  if (at >= 0 && fseek(file, 0, SEEK_END) == 0) {
    long end = ftell(file);
    s->measured = end;
    s->size = end < 0 ? 0 : (uint32_t)end;
    fseek(file, at, SEEK_SET);
  } else {
    s->measured = -1;
  }
  return s;
}

void StreamClose(FileStream* stream) {
  if (!stream) return;
  if (stream->file) {
    fflush(stream->file);
    if (!stream->borrowed) fclose(stream->file);
  }
  free(stream->path);
  free(stream);
}

int64_t StreamTell(FileStream* stream) { return ftello(stream->file); }

int StreamSeek(FileStream* stream, int64_t offset) {
  if (offset < 0) return -1;
  return fseeko(stream->file, (off_t)offset, SEEK_SET) == 0 ? 0 : -1;
}

size_t StreamRead(FileStream* stream, void* buffer, size_t n) {
  return n ? fread(buffer, 1, n, stream->file) : 0;
}

int StreamGetc(FileStream* stream) { return getc(stream->file); }

size_t StreamWrite(FileStream* stream, const void* buffer, size_t n) {
  return n ? fwrite(buffer, 1, n, stream->file) : 0;
}

int Skip(FileStream* stream, long n) {
  if (n == 0) return 0;
  if (n < 0) {
    fseek(stream->file, n, SEEK_CUR);
    return 0;
  }
  // Reading (rather than seeking) notices the end of the file.
  char buffer[4096];
  while (n > 0) {
    size_t chunk = n > (long)sizeof buffer ? sizeof buffer : (size_t)n;
    size_t got = fread(buffer, 1, chunk, stream->file);
    if (got < chunk) return 1;
    n -= (long)got;
  }
  return 0;
}

uint16_t ReadU16LE(FileStream* stream) {
  int a = getc(stream->file);
  int b = getc(stream->file);
  if (a == EOF) a = 0xFF;
  if (b == EOF) b = 0xFF;
  return (uint16_t)(a | (b << 8));
}

uint16_t ReadU16BE(FileStream* stream) {
  int a = getc(stream->file);
  int b = getc(stream->file);
  if (a == EOF) a = 0xFF;
  if (b == EOF) b = 0xFF;
  return (uint16_t)((a << 8) | b);
}

uint32_t ReadU32LE(FileStream* stream) {
  uint8_t b[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  size_t got = fread(b, 1, 4, stream->file);
  for (size_t i = got; i < 4; ++i) b[i] = 0xFF;
  return (uint32_t)b[0] | ((uint32_t)b[1] << 8) | ((uint32_t)b[2] << 16) | ((uint32_t)b[3] << 24);
}

uint32_t ReadU32BE(FileStream* stream) {
  uint8_t b[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  size_t got = fread(b, 1, 4, stream->file);
  for (size_t i = got; i < 4; ++i) b[i] = 0xFF;
  return ((uint32_t)b[0] << 24) | ((uint32_t)b[1] << 16) | ((uint32_t)b[2] << 8) | (uint32_t)b[3];
}

int WriteU16LE(uint16_t value, FileStream* stream) {
  uint8_t b[2] = {(uint8_t)value, (uint8_t)(value >> 8)};
  return fwrite(b, 1, 2, stream->file) == 2;
}

int WriteU32LE(uint32_t value, FileStream* stream) {
  uint8_t b[4] = {(uint8_t)value, (uint8_t)(value >> 8), (uint8_t)(value >> 16), (uint8_t)(value >> 24)};
  return fwrite(b, 1, 4, stream->file) == 4;
}

namespace {

bool IsBlank(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Printable in the 8-bit code page: tabs and bytes above 0x7F count too.
bool IsPrintable(int c) { return c == '\t' || (c >= 0x20 && c != 0x7F); }

}  // namespace

int ReadNumber(FileStream* stream, int* value) {
  int c;
  do {
    c = getc(stream->file);
  } while (c != EOF && IsBlank(c));
  if (c == EOF) return 0;
  char text[64];
  int n = 0;
  text[n++] = (char)c;
  while (n < 63) {
    c = getc(stream->file);
    if (c == EOF) break;
    if (c < '0' || c > '9') {
      ungetc(c, stream->file);
      break;
    }
    text[n++] = (char)c;
  }
  text[n] = 0;
  *value = atoi(text);
  return 1;
}

int ReadToken(FileStream* stream, char* buffer, int size, int stop) {
  if (size < 1) return 0;
  int c;
  do {
    c = getc(stream->file);
  } while (c != EOF && IsBlank(c));
  if (c == EOF) {
    buffer[0] = 0;
    return 0;
  }
  int n = 0;
  while (c != EOF && n < size - 1 && c != stop && IsPrintable(c) && c != '\t') {
    buffer[n++] = (char)c;
    c = getc(stream->file);
  }
  buffer[n] = 0;
  return 1;
}

char* ReadLine(char* buffer, int size, FileStream* stream) {
  if (size < 1) return nullptr;
  int n = 0;
  int c = EOF;
  bool any = false;
  while (n < size - 1) {
    c = getc(stream->file);
    if (c == EOF) break;
    any = true;
    if (c == '\r') continue;
    if (c == '\n') {
      buffer[n++] = (char)c;
      break;
    }
    if (!IsPrintable(c)) break;
    buffer[n++] = (char)c;
  }
  buffer[n] = 0;
  return any ? buffer : nullptr;
}

int TempFileName(char* out, size_t size) {
  static std::atomic<unsigned> counter{0};
  std::string folder = platform::HostTempFolder();
  for (int attempt = 0; attempt < 1000; ++attempt) {
    std::string name = folder + "x_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
    int fd = open(name.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0600);
    if (fd < 0) continue;
    close(fd);
    std::string bytes = platform::Cp1252FromWide(platform::WideFromUtf8(name));
    if (bytes.size() + 1 > size) {
      unlink(name.c_str());
      return 0;
    }
    memcpy(out, bytes.c_str(), bytes.size() + 1);
    return 1;
  }
  return 0;
}
