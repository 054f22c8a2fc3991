// The list of device bitmaps the program created: each record names the
// source file and line that made the bitmap, so that bitmaps still alive
// can be reported. Safe to use from the thumbnail worker and the window
// thread at once.
#pragma once

#include <cstddef>

#include "platform/windows.h"

// Creates a DIB section (CreateDIBSection with no section handle) and adds
// a record for it. A record that cannot be allocated ends the program
// after "Error : _LoadBitmap malloc failed...\n" on the debug console.
HBITMAP CreateTrackedDIBSection(HDC hdc, const BITMAPINFO* info, UINT usage, void** bits,
                                const char* file, int line);
// Deletes the bitmap and removes its record when there is one.
BOOL DeleteTrackedBitmap(HBITMAP bitmap, const char* file, int line);

// Records currently kept, and whether `bitmap` has one.
size_t TrackedBitmapCount();
bool IsTrackedBitmap(HBITMAP bitmap);
// Prints every record still kept on the debug console (at exit).
void ReportTrackedBitmaps();

#define CREATE_TRACKED_DIB_SECTION(hdc, info, usage, bits) \
  CreateTrackedDIBSection((hdc), (info), (usage), (bits), __FILE__, __LINE__)
#define DELETE_TRACKED_BITMAP(bitmap) DeleteTrackedBitmap((bitmap), __FILE__, __LINE__)
