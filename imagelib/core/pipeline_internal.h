// Internal seams between the dispatcher and the pixel pipelines.
#pragma once

#include "imagelib/core/reader_contract.h"

// Releases the load pipeline's buffers (not the Image).
void ReleaseLoadPipeline(LoadContext* context);
// Describes an Image to a writer context.
void DescribeImageForSave(SaveContext* context, const Image* image);
void ReleaseSavePipeline(SaveContext* context);
// Serialises collected EXIF entries into one META_EXIF block; null when
// there are none or memory ran out.
MetadataBlock* SerialiseExifEntries(const LoadContext* context);
void ReleaseExifEntries(LoadContext* context);
