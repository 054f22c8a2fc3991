// Readers, writers and writer capability lists of the format table.
#pragma once

#include "imagelib/core/format_registry.h"

int ReadBmp(FileStream* stream, LoadContext* context);
int WriteBmp(const char16_t* path, SaveContext* context);

int ReadJpeg(FileStream* stream, LoadContext* context);
int WriteJpeg(const char16_t* path, SaveContext* context);
void JpegWriterCaps(CapEntry* entries);

int ReadPng(FileStream* stream, LoadContext* context);
int WritePng(const char16_t* path, SaveContext* context);
void PngWriterCaps(CapEntry* entries);

int ReadGif(FileStream* stream, LoadContext* context);
int WriteGif(const char16_t* path, SaveContext* context);
void GifWriterCaps(CapEntry* entries);

int ReadTga(FileStream* stream, LoadContext* context);
int WriteTga(const char16_t* path, SaveContext* context);

int ReadTiff(FileStream* stream, LoadContext* context);
int ReadPcx(FileStream* stream, LoadContext* context);
int ReadPnm(FileStream* stream, LoadContext* context);
int ReadXbm(FileStream* stream, LoadContext* context);
int ReadXpm(FileStream* stream, LoadContext* context);
int ReadIco(FileStream* stream, LoadContext* context);
