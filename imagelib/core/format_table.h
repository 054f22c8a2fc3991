// The built-in rows of the format table (copied by RegisterFormats).
#pragma once

#include "imagelib/core/format_registry.h"

const FormatEntry* FormatTableRows(int* count);
