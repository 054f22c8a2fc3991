// (being written)
#include "platform/controls/image_list.h"

HIMAGELIST ImageList_Create(int, int, UINT, int, int) { return nullptr; }
BOOL ImageList_Destroy(HIMAGELIST) { return FALSE; }
BOOL ImageList_GetIconSize(HIMAGELIST, int*, int*) { return FALSE; }
int ImageList_GetImageCount(HIMAGELIST) { return 0; }
int ImageList_Add(HIMAGELIST, HBITMAP, HBITMAP) { return -1; }
BOOL ImageList_Draw(HIMAGELIST, int, HDC, int, int, UINT) { return FALSE; }
