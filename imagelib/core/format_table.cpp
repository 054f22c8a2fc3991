// The rows of the format table, in probing order. A codec that is not
// built yet has a null reader or writer here.
#include "imagelib/core/format_table.h"

#include "imagelib/codecs/codecs.h"

namespace {

#define EXT(...) {__VA_ARGS__}

const FormatEntry kRows[] = {
    // flags, shortName, description, reader, writer, writerCaps, extensions
    {FORMAT_ENABLED, "jpeg", "JPEG / JFIF", ReadJpeg, WriteJpeg, JpegWriterCaps,
     EXT("jpg", "jpeg", "jif", "jfif", "J", "jpe")},
    {FORMAT_ENABLED, "tga", "Truevision Targa", ReadTga, WriteTga, nullptr,
     EXT("tga", "targa", "pix", "bpx", "ivb")},
    {FORMAT_ENABLED, "bmp", "Windows Bitmap", ReadBmp, WriteBmp, nullptr,
     EXT("bmp", "rle", "vga", "rl4", "rl8", "sys")},
    {FORMAT_ENABLED, "gif", "CompuServe GIF", ReadGif, WriteGif, GifWriterCaps, EXT("gif", "giff")},
    {FORMAT_ENABLED, "png", "Portable Network Graphics", ReadPng, WritePng, PngWriterCaps,
     EXT("png")},
    {0, "2bp", "Pocket PC Bitmap", ReadBmp, nullptr, nullptr, EXT("2bp")},
    {FORMAT_ENABLED, "tiff", "TIFF Revision 6", ReadTiff, nullptr, nullptr,
     EXT("tif", "tim", "tiff")},
    {FORMAT_ENABLED, "pcx", "Zsoft Publisher's Paintbrush", ReadPcx, nullptr, nullptr,
     EXT("pcx", "pcc", "dcx")},
    {FORMAT_ENABLED, "pbm", "Portable Bitmap", ReadPnm, nullptr, nullptr,
     EXT("pbm", "rpbm", "ppma")},
    {FORMAT_ENABLED, "pgm", "Portable Greyscale", ReadPnm, nullptr, nullptr, EXT("pgm", "rpgm")},
    {FORMAT_ENABLED, "ppm", "Portable Pixmap", ReadPnm, nullptr, nullptr, EXT("ppm", "rppm")},
    {FORMAT_ENABLED, "pnm", "Portable Image", ReadPnm, nullptr, nullptr,
     EXT("pnm", "rpnm", "pbm", "rpbm", "pgm", "rpgm", "ppm", "rppm")},
    {FORMAT_ENABLED, "xbm", "X11 Bitmap", ReadXbm, nullptr, nullptr, EXT("xbm", "bm")},
    {FORMAT_ENABLED, "xpm", "X11 Pixmap", ReadXpm, nullptr, nullptr, EXT("xpm", "pm")},
    {FORMAT_ENABLED, "ico", "Windows Icon", ReadIco, nullptr, nullptr, EXT("ico")},
};

#undef EXT

}  // namespace

const FormatEntry* FormatTableRows(int* count) {
  *count = (int)(sizeof kRows / sizeof kRows[0]);
  return kRows;
}
