#include "imagelib/core/image.h"

#include <cstdlib>
#include <cstring>

int BytesPerPixelOf(uint32_t pixelType) {
  if (pixelType & PIXEL_ANY24 || pixelType == PIXEL_ANYCOLOUR) return 3;
  if (pixelType & PIXEL_ANY32) return 4;
  return 1;
}

int64_t RowBytesFor(uint32_t pixelType, int64_t width, int rowAlignment) {
  if (rowAlignment < 1) rowAlignment = 1;
  if (width < 0) width = 0;
  int64_t bytes = pixelType == PIXEL_BW ? (width + 7) / 8 : width * BytesPerPixelOf(pixelType);
  int64_t row = (bytes + rowAlignment - 1) / rowAlignment * rowAlignment;
  return row > 0x7FFFFFFF ? -1 : row;
}

namespace {

uint8_t* AllocZeroed(int64_t bytes) {
  if (bytes < 0) return nullptr;
  return (uint8_t*)calloc((size_t)(bytes > 0 ? bytes : 1), 1);
}

}  // namespace

int ImageCreateDeep(Image* image, uint32_t pixelType, int rowAlignment, int width, int height,
                    int bitsPerSample) {
  memset(image, 0, sizeof *image);
  image->rowAlignment = (int16_t)(rowAlignment < 1 ? 1 : rowAlignment);
  uint32_t type = pixelType;
  if (type == PIXEL_BW) {
    image->bytesPerPixel = 1;
    image->bitsPerSample = 1;
    image->samplesPerPixel = 1;
  } else if ((type & PIXEL_ANY24) || type == PIXEL_ANYCOLOUR) {
    image->bytesPerPixel = 3;
    image->samplesPerPixel = 3;
    if (type == PIXEL_ANY24 || type == PIXEL_ANYCOLOUR) type = PIXEL_RGB;
  } else if (type & PIXEL_ANY32) {
    image->bytesPerPixel = 4;
    image->samplesPerPixel = 4;
    if (type == PIXEL_ANY32) type = PIXEL_RGBA;
  } else {
    image->bytesPerPixel = 1;
    image->samplesPerPixel = 1;
  }
  image->pixelType = (uint16_t)type;
  if (type != PIXEL_BW) image->bitsPerSample = 8;
  image->width = width;
  image->height = height;
  int64_t row = RowBytesFor(type, width, image->rowAlignment);
  if (bitsPerSample > 8 && type != PIXEL_BW) {
    int sampleBytes = bitsPerSample > 16 ? 4 : 2;
    image->bitsPerSample = (uint16_t)bitsPerSample;
    image->bytesPerPixel = (uint16_t)(image->samplesPerPixel * sampleBytes);
    int64_t bytes = (int64_t)(width < 0 ? 0 : width) * image->bytesPerPixel;
    row = (bytes + image->rowAlignment - 1) / image->rowAlignment * image->rowAlignment;
    if (row > 0x7FFFFFFF) row = -1;
  }
  image->transparentIndex = -1;
  if (type == PIXEL_GREY || type == PIXEL_INDEXED) image->paletteCount = 256;
  else if (type == PIXEL_BW) image->paletteCount = 2;
  if (row < 0) return 0;
  image->bytesPerRow = (int32_t)row;
  int64_t total = row * (int64_t)(height < 0 ? 0 : height);
  image->pixels = AllocZeroed(total);
  if (!image->pixels) return 0;
  if (type & PIXEL_INDEXED) {
    image->palette = AllocZeroed(1024);
    if (!image->palette) {
      free(image->pixels);
      image->pixels = nullptr;
      return 0;
    }
  }
  return 1;
}

int ImageCreate(Image* image, uint32_t pixelType, int rowAlignment, int width, int height) {
  return ImageCreateDeep(image, pixelType, rowAlignment, width, height, 8);
}

int ImageCreateRaw(Image* image, uint32_t pixelType, int bytesPerRow, int width, int height,
                   int allocate) {
  memset(image, 0, sizeof *image);
  image->pixelType = (uint16_t)pixelType;
  image->bytesPerRow = bytesPerRow;
  image->width = width;
  image->height = height;
  image->transparentIndex = -1;
  image->rowAlignment = 1;
  if (allocate) {
    image->pixels = AllocZeroed((int64_t)(bytesPerRow < 0 ? 0 : bytesPerRow) * (height < 0 ? 0 : height));
    if (!image->pixels) return 0;
  }
  if (pixelType & PIXEL_INDEXED) {
    image->palette = AllocZeroed(1024);
    if (!image->palette) {
      free(image->pixels);
      image->pixels = nullptr;
      return 0;
    }
  }
  return 1;
}

void MetadataFree(MetadataBlock* list) {
  while (list) {
    MetadataBlock* next = list->next;
    free(list->data);
    free(list);
    list = next;
  }
}

MetadataBlock* MetadataDuplicate(const MetadataBlock* list) {
  MetadataBlock* head = nullptr;
  MetadataBlock** tail = &head;
  for (const MetadataBlock* b = list; b; b = b->next) {
    MetadataBlock* node = (MetadataBlock*)calloc(1, sizeof(MetadataBlock));
    if (!node) break;
    node->kind = b->kind;
    node->size = b->size;
    if (b->data && b->size) {
      node->data = (uint8_t*)malloc(b->size);
      if (node->data) memcpy(node->data, b->data, b->size);
    }
    *tail = node;
    tail = &node->next;
  }
  return head;
}

const MetadataBlock* FindMetadata(const MetadataBlock* list, uint32_t kind) {
  for (; list; list = list->next)
    if (list->kind == kind) return list;
  return nullptr;
}

void ImageCopyExtras(Image* destination, const Image* source) {
  destination->layout = source->layout;
  destination->xDpi = source->xDpi;
  destination->yDpi = source->yDpi;
  if (source->comment) destination->comment = strdup(source->comment);
  if (source->metadata) destination->metadata = MetadataDuplicate(source->metadata);
}

int ImageCreateLike(Image* destination, uint32_t pixelType, const Image* source) {
  if (!ImageCreate(destination, pixelType, source->rowAlignment, source->width, source->height))
    return 1;
  ImageCopyExtras(destination, source);
  return 0;
}

int ImageCopy(Image* source, Image* destination, const Rect* rect) {
  if (!rect) {
    if (!destination) return 0;
    Image copy;
    if (!ImageCreateDeep(&copy, source->pixelType, source->rowAlignment, source->width,
                         source->height, source->bitsPerSample)) {
      ImageFree(&copy);
      return 1;
    }
    // A record made with another alignment rule (the load pipeline's) keeps
    // its own row length.
    if (copy.bytesPerRow != source->bytesPerRow) {
      free(copy.pixels);
      copy.bytesPerRow = source->bytesPerRow;
      copy.pixels = (uint8_t*)malloc((size_t)source->bytesPerRow * (size_t)source->height + 1);
      if (!copy.pixels) {
        ImageFree(&copy);
        return 1;
      }
    }
    copy.bytesPerPixel = source->bytesPerPixel;
    copy.samplesPerPixel = source->samplesPerPixel;
    if (source->pixels)
      memcpy(copy.pixels, source->pixels, (size_t)source->bytesPerRow * (size_t)source->height);
    copy.paletteCount = source->paletteCount;
    copy.transparentIndex = source->transparentIndex;
    if (source->palette) {
      if (!copy.palette) copy.palette = (uint8_t*)calloc(1024, 1);
      if (!copy.palette) {
        ImageFree(&copy);
        return 1;
      }
      memcpy(copy.palette, source->palette, 1024);
    }
    ImageCopyExtras(&copy, source);
    *destination = copy;
    return 0;
  }
  Rect cut;
  if (ClipRect(source, rect, &cut) != 0) return RESULT_EMPTY_REGION;
  Image crop;
  if (!ImageCreate(&crop, source->pixelType, source->rowAlignment, cut.width, cut.height)) {
    ImageFree(&crop);
    return 1;
  }
  crop.paletteCount = source->paletteCount;
  crop.transparentIndex = source->transparentIndex;
  crop.bitsPerSample = source->bitsPerSample;
  ImageCopyExtras(&crop, source);
  for (int y = 0; y < cut.height; ++y) {
    const uint8_t* from = ImageRow(source, cut.y + y);
    uint8_t* to = ImageRow(&crop, y);
    if (source->pixelType == PIXEL_BW) {
      for (int x = 0; x < cut.width; ++x) PutBit(to, x, GetBit(from, cut.x + x));
    } else {
      memcpy(to, from + (size_t)cut.x * source->bytesPerPixel, (size_t)cut.width * source->bytesPerPixel);
    }
  }
  if (source->palette && crop.palette) memcpy(crop.palette, source->palette, 1024);
  if (destination) {
    *destination = crop;
  } else {
    ImageFree(source);
    *source = crop;
  }
  return 0;
}

void ImageFree(Image* image) {
  if (!image) return;
  free(image->pixels);
  free(image->palette);
  free(image->comment);
  MetadataFree(image->metadata);
  image->pixels = nullptr;
  image->palette = nullptr;
  image->comment = nullptr;
  image->metadata = nullptr;
}

void ImageInfoFree(ImageInfo* info) {
  if (!info) return;
  for (int i = 0; i < kMaxTexts; ++i) {
    free(info->texts[i]);
    info->texts[i] = nullptr;
  }
  info->textCount = 0;
  free(info->comment);
  info->comment = nullptr;
  MetadataFree(info->metadata);
  info->metadata = nullptr;
}

int ClipRect(const Image* image, const Rect* input, Rect* output) {
  if (!input) {
    *output = Rect{0, 0, image->width, image->height};
    return 0;
  }
  int64_t left = input->x > 0 ? input->x : 0;
  int64_t top = input->y > 0 ? input->y : 0;
  int64_t right = (int64_t)input->x + input->width;
  int64_t bottom = (int64_t)input->y + input->height;
  if (right > image->width) right = image->width;
  if (bottom > image->height) bottom = image->height;
  int64_t w = right - left, h = bottom - top;
  *output = Rect{(int32_t)left, (int32_t)top, (int32_t)(w < INT32_MIN ? INT32_MIN : w),
                 (int32_t)(h < INT32_MIN ? INT32_MIN : h)};
  return (w <= 0 || h <= 0) ? RESULT_EMPTY_REGION : 0;
}

const char* CompressionName(int code) {
  switch (code) {
    case 1: return "Rle";
    case 2: return "LZW";
    case 3: return "JPEG";
    case 4: return "ZIP";
    case 5: return "Sgi Rle";
    case 6: return "CCITT Rle";
    case 7: return "CCITT Group 3";
    case 8: return "CCITT Group 3-2D";
    case 9: return "CCITT Group 4";
    case 10: return "Wavelet";
    default: return "Uncompressed";
  }
}

const char* ColourModelName(int code) {
  switch (code) {
    case 2: return "CMY";
    case 3: return "CMYK";
    case 4: return "YCbCr";
    case 5: return "YUV16";
    case 6: return "CIE Lab";
    case 7: return "CIE Log2(L) (u',v')";
    case 8: return "CIE Log2(L)";
    default: return "RGB";
  }
}

void CompressionText(char* destination, int length, int code, const char* readerText) {
  if (!destination || length < 1) return;
  const char* text = code == 255 ? (readerText ? readerText : "") : CompressionName(code);
  size_t n = strlen(text);
  if (n > (size_t)(length - 1)) n = (size_t)(length - 1);
  memcpy(destination, text, n);
  destination[n] = 0;
}
