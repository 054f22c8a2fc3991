// Finding the embedded thumbnail inside a JPEG APP1 EXIF marker.
#pragma once

#include <cstddef>
#include <cstdint>

// Searches the marker data (starting with "Exif", 0, 0 and a TIFF header)
// for the JPEGInterchangeFormat (0x0201) and JPEGInterchangeFormatLength
// (0x0202) pair, in the first directory, the EXIF directory and the
// directories linked after them. On success returns true with the
// thumbnail's offset relative to the start of the marker data and its
// length; the range lies inside the data.
bool FindExifThumbnail(const uint8_t* data, size_t size, size_t* offset, size_t* length);
