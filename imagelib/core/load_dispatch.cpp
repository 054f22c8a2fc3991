// LoadImage, GetImageInfo and SaveImage: finding the reader, running it,
// and handing the result to the caller.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "imagelib/core/file_stream.h"
#include "imagelib/core/format_registry.h"
#include "imagelib/core/pipeline_internal.h"
#include "imagelib/core/reader_contract.h"
#include "platform/text/codepage.h"

namespace {

// Result a reader may give in information mode once the description is
// complete.
constexpr int kInfoComplete = -1;

LoadContext* NewLoadContext(const LoadOptions* options, Image* image, ImageInfo* info,
                            const char16_t* path, bool infoMode) {
  LoadContext* context = (LoadContext*)calloc(1, sizeof(LoadContext));
  if (!context) return nullptr;
  context->options = *options;
  if (context->options.rowAlignment < 1) context->options.rowAlignment = 1;
  context->imageCount = 1;
  context->exifTail = &context->exifEntries;
  context->image = image;
  context->info = info;
  context->path = path;
  context->infoMode = infoMode ? 1 : 0;
  return context;
}

void FreeLoadContext(LoadContext* context) {
  if (!context) return;
  ReleaseLoadPipeline(context);
  free(context->comment);
  for (int i = 0; i < context->textCount; ++i) free(context->texts[i]);
  MetadataFree(context->metadata);
  ReleaseExifEntries(context);
  free(context);
}

bool LowerExtension(const char16_t* path, std::string* out) {
  if (!path) return false;
  size_t n = WideLength(path);
  size_t dot = n;
  for (size_t i = n; i > 0; --i)
    if (path[i - 1] == u'.') {
      dot = i - 1;
      break;
    }
  if (dot == n) return false;
  std::u16string ext(path + dot + 1, path + n);
  if (ext.size() > 128) ext.resize(128);
  for (char16_t& c : ext)
    if (c >= u'A' && c <= u'Z') c = (char16_t)(c - u'A' + u'a');
  *out = platform::Cp1252FromWide(ext);
  return true;
}

void ResetReaderState(LoadContext* context) {
  // A reader that gave up leaves nothing for the next one.
  ReleaseLoadPipeline(context);
  context->headerAccepted = 0;
  context->imageCount = 1;
  context->readerValue1 = context->readerValue2 = context->readerValue3 = 0;
  context->interlaced = 0;
  free(context->comment);
  context->comment = nullptr;
  for (int i = 0; i < context->textCount; ++i) free(context->texts[i]);
  context->textCount = 0;
  MetadataFree(context->metadata);
  context->metadata = nullptr;
  ReleaseExifEntries(context);
  context->message[0] = 0;
  if (context->image && !(context->options.flags & LOAD_NO_PIXELS)) {
    ImageFree(context->image);
    memset(context->image, 0, sizeof *context->image);
  }
}

int TryReader(int index, FileStream* stream, LoadContext* context) {
  const FormatRegistry* registry = Formats();
  const FormatEntry& row = registry->rows[index];
  if (!row.reader) return RESULT_NOT_RECOGNISED;
  ResetReaderState(context);
  StreamSeek(stream, 0);
  clearerr(stream->file);
  context->imageCount = 1;
  int result = row.reader(stream, context);
  if (result == RESULT_NOT_COMPLETE && !context->headerAccepted) result = RESULT_NOT_RECOGNISED;
  return result;
}

void NoteReader(LoadContext* context, int index, int result) {
  if (!context->info) return;
  context->info->formatIndex = (int16_t)index;
  if (result != 0 && result != kInfoComplete) {
    snprintf(context->info->message, sizeof context->info->message, "%s", context->message);
  }
}

int SelectReader(FileStream* stream, LoadContext* context) {
  const FormatRegistry* registry = Formats();
  int index = context->options.formatIndex;
  if (index >= 0) {
    if (index >= registry->count) return RESULT_NOT_RECOGNISED;
    int result = TryReader(index, stream, context);
    NoteReader(context, index, result);
    return result;
  }
  std::string ext;
  if (!LowerExtension(context->path, &ext)) return RESULT_NOT_RECOGNISED;
  for (int i = 0; i < registry->count; ++i) {
    const FormatEntry& row = registry->rows[i];
    if (!(row.flags & FORMAT_HAS_READER) || !row.extensions[0]) continue;
    for (int k = 0; k < kMaxExtensions && row.extensions[k]; ++k) {
      if (ext != row.extensions[k]) continue;
      int result = TryReader(i, stream, context);
      if (result != RESULT_NOT_RECOGNISED) {
        NoteReader(context, i, result);
        return result;
      }
      break;  // this row said no; go on with the next rows
    }
  }
  return RESULT_NOT_RECOGNISED;
}

int SelectAndProbe(FileStream* stream, LoadContext* context) {
  int result = SelectReader(stream, context);
  if (result != RESULT_NOT_RECOGNISED || context->options.formatIndex >= 0 ||
      (context->options.flags & LOAD_TRUST_EXTENSION))
    return result;
  const FormatRegistry* registry = Formats();
  for (int i = 0; i < registry->count; ++i) {
    const FormatEntry& row = registry->rows[i];
    if (!(row.flags & FORMAT_ENABLED) || !(row.flags & FORMAT_HAS_READER)) continue;
    result = TryReader(i, stream, context);
    if (result != RESULT_NOT_RECOGNISED) {
      NoteReader(context, i, result);
      return result;
    }
  }
  return RESULT_NOT_RECOGNISED;
}

int CheckTrustedExtension(const char16_t* path, int formatIndex) {
  if (formatIndex >= 0 && !IsFormatExtension(path, formatIndex)) return RESULT_NOT_RECOGNISED;
  if (!IsRegisteredExtension(path)) return RESULT_NOT_RECOGNISED;
  return 0;
}

void MoveTexts(LoadContext* context, ImageInfo* info) {
  for (int i = 0; i < context->textCount && info->textCount < kMaxTexts; ++i) {
    info->texts[info->textCount++] = context->texts[i];
    context->texts[i] = nullptr;
  }
  for (int i = 0; i < context->textCount; ++i) free(context->texts[i]);
  context->textCount = 0;
}

}  // namespace

MetadataBlock* SerialiseExifEntries(const LoadContext* context) {
  const bool big = context->exifBigEndian != 0;
  uint32_t count = 0;
  uint64_t extra = 0;
  for (const ExifEntry* e = context->exifEntries; e; e = e->next) {
    ++count;
    if (e->valueSize > 4) extra += e->valueSize + (e->valueSize & 1);
  }
  if (count == 0 || count > 0xFFFF) return nullptr;
  uint64_t directory = 2 + 12ull * count + 4;
  uint64_t total = 6 + 8 + directory + extra;
  if (total > 0xFFFFFFFFull) return nullptr;
  uint8_t* data = (uint8_t*)calloc((size_t)total, 1);
  MetadataBlock* node = (MetadataBlock*)calloc(1, sizeof(MetadataBlock));
  if (!data || !node) {
    free(data);
    free(node);
    return nullptr;
  }
  auto put16 = [&](uint8_t* p, uint32_t v) {
    if (big) { p[0] = (uint8_t)(v >> 8); p[1] = (uint8_t)v; }
    else { p[0] = (uint8_t)v; p[1] = (uint8_t)(v >> 8); }
  };
  auto put32 = [&](uint8_t* p, uint32_t v) {
    if (big) { p[0] = (uint8_t)(v >> 24); p[1] = (uint8_t)(v >> 16); p[2] = (uint8_t)(v >> 8); p[3] = (uint8_t)v; }
    else { p[0] = (uint8_t)v; p[1] = (uint8_t)(v >> 8); p[2] = (uint8_t)(v >> 16); p[3] = (uint8_t)(v >> 24); }
  };
  memcpy(data, "Exif\0\0", 6);
  uint8_t* tiff = data + 6;
  tiff[0] = tiff[1] = big ? 'M' : 'I';
  put16(tiff + 2, 42);
  put32(tiff + 4, 8);
  put16(tiff + 8, count);
  uint8_t* entry = tiff + 10;
  uint32_t valueOffset = (uint32_t)(8 + directory);
  for (const ExifEntry* e = context->exifEntries; e; e = e->next, entry += 12) {
    put16(entry, e->tag);
    put16(entry + 2, e->type);
    put32(entry + 4, e->count);
    if (e->valueSize <= 4) {
      if (e->valueSize) memcpy(entry + 8, e->value, e->valueSize);
    } else {
      put32(entry + 8, valueOffset);
      memcpy(tiff + valueOffset, e->value, e->valueSize);
      valueOffset += e->valueSize + (e->valueSize & 1);
    }
  }
  put32(entry, 0);  // no next directory
  node->kind = META_EXIF;
  node->size = (uint32_t)(14 + directory + extra);
  node->data = data;
  return node;
}

void ReleaseExifEntries(LoadContext* context) {
  ExifEntry* e = context->exifEntries;
  while (e) {
    ExifEntry* next = e->next;
    free(e->value);
    free(e);
    e = next;
  }
  context->exifEntries = nullptr;
  context->exifTail = &context->exifEntries;
  context->exifStarted = 0;
}

int LoadImage(const char16_t* path, Image* image, const LoadOptions* options, ImageInfo* info) {
  if (!image || !options) return RESULT_NOT_RECOGNISED;
  if (info) memset(info, 0, sizeof *info);
  if (info) info->formatIndex = -1;
  if (options->flags & LOAD_TRUST_EXTENSION) {
    int check = CheckTrustedExtension(path, options->formatIndex);
    if (check) return check;
  }
  LoadContext* context = NewLoadContext(options, image, info, path, false);
  if (!context) return RESULT_NO_MEMORY;
  if (!(options->flags & LOAD_NO_PIXELS)) memset(image, 0, sizeof *image);

  int result;
  FileStream* stream = StreamOpen(path, STREAM_READ_BINARY);
  if (!stream) {
    result = RESULT_CANNOT_OPEN;
  } else if (stream->measured < 0) {
    result = RESULT_NOT_COMPLETE;
  } else {
    result = SelectAndProbe(stream, context);
  }
  uint32_t fileSize = stream ? stream->size : 0;
  StreamClose(stream);

  if (info && (result == 0 || result == RESULT_NOT_COMPLETE || result == RESULT_CORRUPT)) {
    info->fileSize = fileSize;
    info->imageCount = context->imageCount;
    info->readerValue1 = context->readerValue1;
    info->readerValue2 = context->readerValue2;
    info->readerValue3 = context->readerValue3;
    MoveTexts(context, info);
    info->interlaced = context->interlaced;
  }
  if (context->exifEntries) {
    if (info) {
      MetadataBlock* block = SerialiseExifEntries(context);
      if (block) {
        block->next = context->metadata;
        context->metadata = block;
      }
    }
    ReleaseExifEntries(context);
  }
  image->comment = context->comment;
  image->metadata = context->metadata;
  context->comment = nullptr;
  context->metadata = nullptr;

  // A partial picture is kept only when there is one: a reader that gave
  // up before describing the picture keeps its error.
  if ((result == RESULT_NOT_COMPLETE || result == RESULT_CORRUPT) &&
      (options->flags & LOAD_KEEP_PARTIAL) && context->headerAccepted) {
    if (options->flags & LOAD_CONSOLE)
      fputs(result == RESULT_CORRUPT ? " *** WARNING: Corrupt File ... ***\n"
                                     : " *** WARNING: File Not complete ... ***\n",
            stderr);
    result = 0;
  }
  if (result != 0) {
    // A failed load leaves an empty record: nothing half made survives.
    ImageFree(image);
  }
  FreeLoadContext(context);
  return result;
}

int GetImageInfo(const char16_t* path, int formatIndex, uint32_t flags, ImageInfo* info) {
  if (!info) return RESULT_NOT_RECOGNISED;
  memset(info, 0, sizeof *info);
  info->formatIndex = -1;
  if (flags & LOAD_TRUST_EXTENSION) {
    int check = CheckTrustedExtension(path, formatIndex);
    if (check) return check;
  }
  LoadOptions options;
  LoadOptionsInit(&options);
  options.flags = flags;
  options.formatIndex = (int16_t)formatIndex;
  Image scratch{};
  LoadContext* context = NewLoadContext(&options, &scratch, info, path, true);
  if (!context) return RESULT_NO_MEMORY;
  int result;
  FileStream* stream = StreamOpen(path, STREAM_READ_BINARY);
  if (!stream) {
    result = RESULT_CANNOT_OPEN;
  } else if (stream->measured < 0) {
    result = RESULT_NOT_COMPLETE;
  } else {
    result = SelectAndProbe(stream, context);
  }
  info->fileSize = stream ? stream->size : 0;
  StreamClose(stream);
  info->imageCount = context->imageCount;
  MoveTexts(context, info);
  info->comment = context->comment;
  info->metadata = context->metadata;
  context->comment = nullptr;
  context->metadata = nullptr;
  if (context->exifEntries) {
    if (!info->metadata) info->metadata = SerialiseExifEntries(context);
    ReleaseExifEntries(context);
  }
  ImageFree(&scratch);
  FreeLoadContext(context);
  return result == kInfoComplete ? 0 : result;
}

int SaveImage(char16_t* path, const Image* image, const WriteOptions* options) {
  if (!path || !image || !options) return RESULT_NO_WRITER;
  size_t n = WideLength(path);
  std::unique_ptr<char16_t[]> buffer(new (std::nothrow) char16_t[n + 65]);
  if (!buffer) return RESULT_NO_MEMORY;
  memcpy(buffer.get(), path, (n + 1) * sizeof(char16_t));
  SaveContext* context = (SaveContext*)calloc(1, sizeof(SaveContext));
  if (!context) return RESULT_NO_MEMORY;
  context->options = *options;
  DescribeImageForSave(context, image);

  const FormatRegistry* registry = Formats();
  int index = options->formatIndex;
  int result;
  const char* extension = nullptr;
  if (index < 0 || index >= registry->count || !registry->rows[index].writer) {
    result = RESULT_NO_WRITER;
  } else if (!WriterAccepts(index, image, &extension)) {
    result = RESULT_CANNOT_STORE;
  } else {
    if (options->flags & SAVE_ADD_EXTENSION) {
      StripExtension(buffer.get());
      const char* ext = extension ? extension : registry->rows[index].extensions[0];
      if (ext) {
        size_t at = WideLength(buffer.get());
        buffer[at++] = u'.';
        for (const char* e = ext; *e && at < n + 64; ++e) buffer[at++] = (char16_t)(unsigned char)*e;
        buffer[at] = 0;
      }
    }
    if (options->flags & SAVE_RETURN_NAME)
      memcpy(path, buffer.get(), (WideLength(buffer.get()) + 1) * sizeof(char16_t));
    context->path = buffer.get();
    result = registry->rows[index].writer(buffer.get(), context);
  }
  ReleaseSavePipeline(context);
  free(context);
  return result;
}
