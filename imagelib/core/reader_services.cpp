// Services a reader calls while it reads: comment, texts, metadata blocks
// and raw EXIF entries.
#include <cstdlib>
#include <cstring>

#include "imagelib/core/reader_contract.h"

namespace {

// The 8-bit code page's printable characters: control characters are not.
bool Printable(char c) {
  unsigned char u = (unsigned char)c;
  return u >= 0x20 && u != 0x7F;
}

}  // namespace

void SetReaderMessage(LoadContext* context, const char* message) {
  if (!context || !message) return;
  strncpy(context->message, message, sizeof context->message - 1);
  context->message[sizeof context->message - 1] = 0;
}

void SetComment(LoadContext* context, const char* text, int length) {
  if (!(context->options.flags & LOAD_KEEP_COMMENT) || !text || !Printable(text[0])) return;
  size_t n = length > 0 ? strnlen(text, (size_t)length) : strlen(text);
  char* copy = (char*)malloc(n + 1);
  if (!copy) return;
  memcpy(copy, text, n);
  copy[n] = 0;
  free(context->comment);
  context->comment = copy;
}

int ReadComment(FileStream* stream, LoadContext* context, int size) {
  if (size <= 0) return 0;
  if (!(context->options.flags & LOAD_KEEP_COMMENT)) return Skip(stream, size);
  char* text = (char*)malloc((size_t)size + 1);
  if (!text) return Skip(stream, size);
  size_t got = StreamRead(stream, text, (size_t)size);
  text[got] = 0;
  SetComment(context, text, 0);
  free(text);
  return got < (size_t)size ? 1 : 0;
}

void AddText(LoadContext* context, const char* name, const char* value, int length) {
  if (!(context->options.flags & LOAD_KEEP_TEXTS) || context->textCount >= kMaxTexts || !value ||
      !Printable(value[0]))
    return;
  size_t valueLength = length > 0 ? strnlen(value, (size_t)length) : strlen(value);
  size_t nameLength = name ? strlen(name) : 0;
  size_t total = (name ? nameLength + 2 : 0) + valueLength;
  char* entry = (char*)malloc(total + 1);
  if (!entry) return;
  size_t at = 0;
  if (name) {
    memcpy(entry, name, nameLength);
    memcpy(entry + nameLength, ": ", 2);
    at = nameLength + 2;
  }
  memcpy(entry + at, value, valueLength);
  entry[total] = 0;
  context->texts[context->textCount++] = entry;
}

int ReadText(FileStream* stream, LoadContext* context, const char* name, int size) {
  if (size <= 0) return 0;
  if (!(context->options.flags & LOAD_KEEP_TEXTS)) return Skip(stream, size);
  char* text = (char*)malloc((size_t)size + 1);
  if (!text) return Skip(stream, size);
  size_t got = StreamRead(stream, text, (size_t)size);
  text[got] = 0;
  text[size - 1] = 0;  // the last byte is replaced by the terminator
  AddText(context, name, text, 0);
  free(text);
  return got < (size_t)size ? 1 : 0;
}

void AddMetadata(LoadContext* context, uint32_t kind, const uint8_t* data, uint32_t size) {
  if (!(context->options.flags & LOAD_KEEP_METADATA) || !data || size == 0) return;
  if (kind == META_ICC) {
    for (MetadataBlock* b = context->metadata; b; b = b->next) {
      if (b->kind != META_ICC) continue;
      uint64_t total = (uint64_t)b->size + size;
      if (total > 0xFFFFFFFFu) return;
      uint8_t* grown = (uint8_t*)realloc(b->data, (size_t)total);
      if (!grown) return;
      memcpy(grown + b->size, data, size);
      b->data = grown;
      b->size = (uint32_t)total;
      return;
    }
  }
  MetadataBlock* node = (MetadataBlock*)calloc(1, sizeof(MetadataBlock));
  if (!node) return;
  node->data = (uint8_t*)malloc(size);
  if (!node->data) {
    free(node);
    return;
  }
  memcpy(node->data, data, size);
  node->kind = kind;
  node->size = size;
  node->next = context->metadata;
  context->metadata = node;
}

void BeginExifEntries(LoadContext* context, int bigEndian) {
  context->exifBigEndian = bigEndian ? 1 : 0;
  context->exifStarted = 1;
  if (!context->exifTail) context->exifTail = &context->exifEntries;
}

void CollectExifEntry(LoadContext* context, uint16_t tag, uint16_t type, uint32_t count,
                      const uint8_t* value, uint32_t valueSize) {
  if (!context->exifStarted) BeginExifEntries(context, 0);
  ExifEntry* entry = (ExifEntry*)calloc(1, sizeof(ExifEntry));
  if (!entry) return;
  entry->tag = tag;
  entry->type = type;
  entry->count = count;
  if (value && valueSize) {
    entry->value = (uint8_t*)malloc(valueSize);
    if (!entry->value) {
      free(entry);
      return;
    }
    memcpy(entry->value, value, valueSize);
    entry->valueSize = valueSize;
  }
  *context->exifTail = entry;
  context->exifTail = &entry->next;
}
