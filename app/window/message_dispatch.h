// Calling a message-map row: the message's parameters unpacked as the
// row's handler takes them. Shared by the window and dialog procedures.
#pragma once

#include "app/window/message_map.h"

namespace message_map {

template <UINT Msg, class Root, class... A>
LRESULT CallMessage(Root* object, const MessageMapEntry& row, A... args) {
  static_assert(std::is_same_v<std::tuple<A...>, typename Signature<Msg>::Args>);
  return Call<Root, A...>(object, row.handler, args...);
}

// Calls `row` on `object`. WM_NOTIFY handlers get `*notifyResult` (preset
// by the caller) to fill in.
template <class Root>
LRESULT DispatchRow(Root* object, const MessageMapEntry& row, HWND hwnd, UINT msg, WPARAM wParam,
                    LPARAM lParam, LRESULT* notifyResult) {
  switch (msg) {
    case WM_CREATE:
      return CallMessage<WM_CREATE>(object, row, (CREATESTRUCT*)lParam);
    case WM_DESTROY:
      return CallMessage<WM_DESTROY>(object, row);
    case WM_SIZE:
      return CallMessage<WM_SIZE>(object, row, wParam, (int)LOWORD(lParam), (int)HIWORD(lParam));
    case WM_SETFOCUS:
      return CallMessage<WM_SETFOCUS>(object, row, wParam);
    case WM_KILLFOCUS:
      return CallMessage<WM_KILLFOCUS>(object, row, wParam);
    case WM_PAINT:
      return CallMessage<WM_PAINT>(object, row);
    case WM_CLOSE:
      return CallMessage<WM_CLOSE>(object, row);
    case WM_SETCURSOR:
      return CallMessage<WM_SETCURSOR>(object, row, wParam, (UINT)LOWORD(lParam),
                                       (UINT)HIWORD(lParam));
    case WM_INITMENUPOPUP:
      return CallMessage<WM_INITMENUPOPUP>(object, row, (HMENU)wParam, (UINT)LOWORD(lParam),
                                           (BOOL)HIWORD(lParam));
    case WM_DRAWITEM:
      return CallMessage<WM_DRAWITEM>(object, row, wParam, lParam);
    case WM_MEASUREITEM:
      return CallMessage<WM_MEASUREITEM>(object, row, wParam, lParam);
    case WM_VKEYTOITEM:
      return CallMessage<WM_VKEYTOITEM>(object, row, (UINT)LOWORD(wParam), lParam,
                                        (UINT)HIWORD(wParam));
    case WM_NOTIFY:
      if (row.first != 0 || row.code != 0)
        return Call<Root, NMHDR*, LRESULT*>(object, row.handler, (NMHDR*)lParam, notifyResult);
      return Call<Root, WPARAM, LPARAM, LRESULT*>(object, row.handler, wParam, lParam,
                                                  notifyResult);
    case WM_GETDLGCODE:
      return CallMessage<WM_GETDLGCODE>(object, row, lParam);
    case WM_KEYDOWN:
      return CallMessage<WM_KEYDOWN>(object, row, wParam, (UINT)(lParam & 15), lParam);
    case WM_KEYUP:
      return CallMessage<WM_KEYUP>(object, row, wParam, (UINT)(lParam & 15), lParam);
    case WM_CHAR:
      return CallMessage<WM_CHAR>(object, row, wParam, (UINT)(lParam & 15), lParam);
    case WM_COMMAND:
      if (row.lParamOnly) return Call<Root, LPARAM>(object, row.handler, lParam);
      if (row.first == row.last) return Call<Root>(object, row.handler);
      return Call<Root, UINT>(object, row.handler, (UINT)LOWORD(wParam));
    case WM_TIMER:
      return CallMessage<WM_TIMER>(object, row, (UINT_PTR)wParam);
    case WM_HSCROLL:
      return CallMessage<WM_HSCROLL>(object, row, (UINT)LOWORD(wParam), (int)(short)HIWORD(wParam),
                                     lParam);
    case WM_VSCROLL:
      return CallMessage<WM_VSCROLL>(object, row, (UINT)LOWORD(wParam), (int)(short)HIWORD(wParam),
                                     lParam);
    case WM_CTLCOLORDLG:
      return CallMessage<WM_CTLCOLORDLG>(object, row, wParam);
    case WM_CTLCOLORSTATIC:
      return CallMessage<WM_CTLCOLORSTATIC>(object, row, wParam, lParam);
    case WM_MOUSEMOVE:
      return CallMessage<WM_MOUSEMOVE>(object, row, wParam, GET_X_LPARAM(lParam),
                                       GET_Y_LPARAM(lParam));
    case WM_LBUTTONDOWN:
      return CallMessage<WM_LBUTTONDOWN>(object, row, wParam, GET_X_LPARAM(lParam),
                                         GET_Y_LPARAM(lParam));
    case WM_LBUTTONUP:
      return CallMessage<WM_LBUTTONUP>(object, row, wParam, GET_X_LPARAM(lParam),
                                       GET_Y_LPARAM(lParam));
    case WM_RBUTTONDOWN:
      return CallMessage<WM_RBUTTONDOWN>(object, row, wParam, GET_X_LPARAM(lParam),
                                         GET_Y_LPARAM(lParam));
    case WM_RBUTTONUP:
      return CallMessage<WM_RBUTTONUP>(object, row, wParam, GET_X_LPARAM(lParam),
                                       GET_Y_LPARAM(lParam));
    case WM_MOUSEWHEEL: {
      // The point arrives in screen coordinates.
      POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      ScreenToClient(hwnd, &pt);
      return CallMessage<WM_MOUSEWHEEL>(object, row, (UINT)LOWORD(wParam),
                                        (int)(short)HIWORD(wParam), pt);
    }
    case WM_HOTKEY:
      return CallMessage<WM_HOTKEY>(object, row, (int)wParam, (UINT)LOWORD(lParam),
                                    (UINT)HIWORD(lParam));
    default:
      return Call<Root, WPARAM, LPARAM>(object, row.handler, wParam, lParam);
  }
}

}  // namespace message_map
