#include "app/window/message_map.h"

const MessageMapEntry* FindMessageRow(const MessageMapEntry* map, UINT msg, WPARAM wParam,
                                      LPARAM lParam) {
  if (!map) return nullptr;
  for (const MessageMapEntry* row = map; row->message != kMapEnd; ++row) {
    if (row->message != msg) continue;
    if (msg == WM_COMMAND) {
      UINT id = LOWORD(wParam);
      if ((row->code == kAnyCode || row->code == HIWORD(wParam)) && id >= row->first &&
          id <= row->last)
        return row;
    } else if (msg == WM_NOTIFY) {
      if (row->first == 0 && row->code == 0) return row;
      const NMHDR* header = (const NMHDR*)lParam;
      if (header && row->first == (UINT)wParam && row->code == header->code) return row;
    } else {
      return row;
    }
  }
  return nullptr;
}
