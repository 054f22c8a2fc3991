// Image lists: on this device they size list-view cells and rows, and the
// tree view draws its folder icons from one.
#pragma once

#include "platform/gdi/gdi.h"
#include "platform/win_types.h"

struct _IMAGELIST;
typedef struct _IMAGELIST* HIMAGELIST;

#define ILC_MASK 0x0001
#define ILC_COLOR 0x0000
#define ILC_COLOR4 0x0004
#define ILC_COLOR8 0x0008
#define ILC_COLOR16 0x0010
#define ILC_COLOR24 0x0018
#define ILC_COLOR32 0x0020

#define ILD_NORMAL 0x0000
#define ILD_TRANSPARENT 0x0001

HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int initial, int grow);
BOOL ImageList_Destroy(HIMAGELIST list);
BOOL ImageList_GetIconSize(HIMAGELIST list, int* cx, int* cy);
int ImageList_GetImageCount(HIMAGELIST list);
// Adds a bitmap (cut into images of the list's width); returns the first index or -1.
int ImageList_Add(HIMAGELIST list, HBITMAP image, HBITMAP mask);
// Draws one image; with ILC_MASK the mask's set bits leave the target as it was.
BOOL ImageList_Draw(HIMAGELIST list, int index, HDC dc, int x, int y, UINT style);

namespace platform::controls {
// Marks a list owned by the system (the shell's small icons): destroying it
// fails, whoever asks.
void MarkImageListShared(HIMAGELIST list);
}  // namespace platform::controls
