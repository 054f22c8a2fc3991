// IPTC reading: the application records (record 2) of the IPTC-NAA resource
// inside a META_IPTC block (a Photoshop resource payload).
#pragma once

#include "imagelib/core/image.h"

// Receives one dataset row; name and value are 8-bit zero-terminated texts
// valid during the call.
using IptcRowCallback = void (*)(void* context, int dataset, const char* name, const char* value);

// True when some META_IPTC block of the list holds an IPTC-NAA resource.
bool HasIptc(const MetadataBlock* list);

// Emits one row per dataset of the last block holding the resource, in
// dataset-number order; repeatable datasets come as one row, joined by ",".
void ReadIptc(const MetadataBlock* list, IptcRowCallback callback, void* context);
