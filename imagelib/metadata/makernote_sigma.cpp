// Sigma and Foveon maker notes: "SIGMA" or "FOVEON", then a directory at the
// note's start + 10 of text entries.
#include "imagelib/metadata/makernote_decoder.h"

namespace {

const TagRow kRows[] = {
    {2, TIFF_ASCII, 0, 0, "Serial Number", nullptr},
    {3, TIFF_ASCII, 0, 0, "Drive mode", nullptr},
    {4, TIFF_ASCII, 0, 0, "Resolution Mode", nullptr},
    {5, TIFF_ASCII, 0, 0, "AF Mode", nullptr},
    {6, TIFF_ASCII, 0, 0, "Focus Setting", nullptr},
    {7, TIFF_ASCII, 0, 0, "White balance", nullptr},
    {8, TIFF_ASCII, 0, 0, "Exposure mode", nullptr},
    {9, TIFF_ASCII, 0, 0, "Metering mode", nullptr},
    {10, TIFF_ASCII, 0, 0, "Lens", nullptr},
    {11, TIFF_ASCII, 0, 0, "Color Space", nullptr},
    {12, TIFF_ASCII, 0, 0, "Exposure Compensation", nullptr},
    {13, TIFF_ASCII, 0, 0, "Contrast", nullptr},
    {14, TIFF_ASCII, 0, 0, "Shadow", nullptr},
    {15, TIFF_ASCII, 0, 0, "Highlight", nullptr},
    {16, TIFF_ASCII, 0, 0, "Saturation", nullptr},
    {17, TIFF_ASCII, 0, 0, "Sharpness", nullptr},
    {18, TIFF_ASCII, 0, 0, "X3 Fill Light", nullptr},
    {20, TIFF_ASCII, 0, 0, "Color Adjustement", nullptr},
    {21, TIFF_ASCII, 0, 0, "Adjustment Mode", nullptr},
    {22, TIFF_ASCII, 0, 0, "Quality", nullptr},
    {23, TIFF_ASCII, 0, 0, "Firmware Mode", nullptr},
    {24, TIFF_ASCII, 0, 0, "Software", nullptr},
    {25, TIFF_ASCII, 0, 0, "Auto Bracket", nullptr},
};

}  // namespace

void DecodeSigmaNote(const MakerNoteSource& source) {
  if (!source.StartsWith("sigma", 5, true) && !source.StartsWith("foveo", 5, true)) return;
  WalkMakerDirectory(source, 0, source.note + 10, MakeTable(kRows), source.tiff.bigEndian,
                     nullptr);
}
