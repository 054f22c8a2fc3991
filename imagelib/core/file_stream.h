// The small file layer used by readers and writers: opening by wide path,
// byte-order readers and writers, tokens and lines.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

enum : int {
  STREAM_READ_BINARY = 17,
  STREAM_UPDATE_BINARY = 19,
  STREAM_UPDATE_BINARY_2 = 20,
  STREAM_WRITE_BINARY = 18,
  STREAM_CREATE_UPDATE_BINARY = 27,
  STREAM_READ_TEXT = 33,
  STREAM_WRITE_TEXT = 34,
  STREAM_UPDATE_TEXT = 35,
  STREAM_UPDATE_TEXT_2 = 36,
  STREAM_CREATE_UPDATE_TEXT = 43,
};

struct FileStream {
  FILE* file;
  uint32_t size;      // length measured at open for reading
  uint32_t borrowed;  // nonzero: StreamClose does not close the file
  char16_t* path;     // owned copy of the wide path
  int64_t measured;   // the measured length, -1 when it could not be measured
};

// Length of a zero-terminated wide string.
size_t WideLength(const char16_t* s);

FileStream* StreamOpen(const char16_t* path, int mode);
// Wraps an already open FILE; the stream does not close it.
FileStream* StreamBorrow(FILE* file, const char16_t* path);
void StreamClose(FileStream* stream);

// Position helpers over the stream's FILE.
int64_t StreamTell(FileStream* stream);
int StreamSeek(FileStream* stream, int64_t offset);  // absolute; 0 on success
size_t StreamRead(FileStream* stream, void* buffer, size_t n);
int StreamGetc(FileStream* stream);  // EOF (-1) at the end
size_t StreamWrite(FileStream* stream, const void* buffer, size_t n);

int Skip(FileStream* stream, long n);

uint16_t ReadU16LE(FileStream* stream);
uint16_t ReadU16BE(FileStream* stream);
uint32_t ReadU32LE(FileStream* stream);
uint32_t ReadU32BE(FileStream* stream);
int WriteU16LE(uint16_t value, FileStream* stream);  // 1 on success
int WriteU32LE(uint32_t value, FileStream* stream);

inline uint16_t Swap16(uint16_t v) { return (uint16_t)((v >> 8) | (v << 8)); }
inline uint32_t Swap32(uint32_t v) {
  return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

int ReadNumber(FileStream* stream, int* value);
int ReadToken(FileStream* stream, char* buffer, int size, int stop);
char* ReadLine(char* buffer, int size, FileStream* stream);

// A fresh name in the device's temporary folder with the prefix "x_",
// as an 8-bit string; 1 on success.
int TempFileName(char* out, size_t size);

// Path helpers shared by the dispatcher and the tools.
std::u16string WideFromUtf8(const std::string& s);
std::string Utf8FromWide(const char16_t* s);
