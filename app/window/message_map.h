// Message maps: each window or dialog class declares a constant table of
// rows naming, for a message (or a range of command identifiers, or a
// control's notification), the member function that handles it. The shared
// window and dialog procedures walk the table and call the member with the
// message's parameters already unpacked.
//
// A row keeps eight fields. The first six are 32-bit words; the handler and
// the adjustment added to the object's address before the call (words 6
// and 7) are held together in one pointer to member function, which on
// this 64-bit target is two 64-bit words (the function and the `this`
// adjustment), so a row is 40 bytes rather than eight 32-bit words.
//
// Tables are written with the helpers below, which check at compile time
// that a handler has the parameters its message unpacks to:
//
//   const MessageMapEntry CMyWnd::kMessageMap[] = {
//       MapMessage<WM_CREATE>(&CMyWnd::OnCreate),        // (CREATESTRUCT*)
//       MapCommand(IDOK, &CMyWnd::OnOk),                 // ()
//       MapCommandRange(32830, 32836, &CMyWnd::OnZoom),  // (UINT id)
//       MapNotify(1009, TVN_SELCHANGED, &CMyWnd::OnSel), // (NMHDR*, LRESULT*)
//       MapEnd(),
//   };
//
// Window classes (deriving from CWindow) and dialog classes (deriving from
// CDlg) both use them; every handler returns LRESULT. The tables are
// filled in during static initialisation, before main runs, and only read
// afterwards.
#pragma once

#include <tuple>
#include <type_traits>

#include "platform/commctrl.h"
#include "platform/windows.h"

class CWindow;
class CDlg;
// Never defined: every handler is stored as a pointer to a member function
// of this one type and converted back to its own type before the call.
class CMessageTarget;
typedef void (CMessageTarget::*MessageHandler)();

// Word 0 of the end row; word 1 of a command row that matches any code.
constexpr UINT kMapEnd = 0xFFFFFFFFu;
constexpr UINT kAnyCode = 0xFFFFFFFFu;

struct MessageMapEntry {
  UINT message;     // 0: message number; kMapEnd ends the table
  UINT code;        // 1: WM_COMMAND notification code (kAnyCode: any);
                    //    WM_NOTIFY notification code
  UINT first;       // 2: WM_COMMAND first identifier; WM_NOTIFY control identifier
  UINT last;        // 3: WM_COMMAND last identifier
  UINT lParamOnly;  // 4: WM_COMMAND: 1 calls the handler with lParam only
  UINT unused;      // 5
  MessageHandler handler;  // 6 and 7: member function and `this` adjustment
};

namespace message_map {

// The parameters each message is unpacked to (any message not listed:
// wParam, lParam).
template <UINT Msg>
struct Signature {
  using Args = std::tuple<WPARAM, LPARAM>;
};
#define QUIVRA_MESSAGE_SIGNATURE(msg, ...) \
  template <>                              \
  struct Signature<msg> {                  \
    using Args = std::tuple<__VA_ARGS__>;  \
  }
// Creation parameters.
QUIVRA_MESSAGE_SIGNATURE(WM_CREATE, CREATESTRUCT*);
QUIVRA_MESSAGE_SIGNATURE(WM_DESTROY);
// wParam, width (low word), height (high word).
QUIVRA_MESSAGE_SIGNATURE(WM_SIZE, WPARAM, int, int);
QUIVRA_MESSAGE_SIGNATURE(WM_SETFOCUS, WPARAM);
QUIVRA_MESSAGE_SIGNATURE(WM_KILLFOCUS, WPARAM);
QUIVRA_MESSAGE_SIGNATURE(WM_PAINT);
QUIVRA_MESSAGE_SIGNATURE(WM_CLOSE);
// wParam, hit-test code (low word), mouse message (high word).
QUIVRA_MESSAGE_SIGNATURE(WM_SETCURSOR, WPARAM, UINT, UINT);
// Menu, position (low word), system-menu flag (high word).
QUIVRA_MESSAGE_SIGNATURE(WM_INITMENUPOPUP, HMENU, UINT, BOOL);
QUIVRA_MESSAGE_SIGNATURE(WM_DRAWITEM, WPARAM, LPARAM);
QUIVRA_MESSAGE_SIGNATURE(WM_MEASUREITEM, WPARAM, LPARAM);
// Key (low word of wParam), lParam, caret (high word of wParam).
QUIVRA_MESSAGE_SIGNATURE(WM_VKEYTOITEM, UINT, LPARAM, UINT);
QUIVRA_MESSAGE_SIGNATURE(WM_GETDLGCODE, LPARAM);
// wParam, lParam & 15, lParam.
QUIVRA_MESSAGE_SIGNATURE(WM_KEYDOWN, WPARAM, UINT, LPARAM);
QUIVRA_MESSAGE_SIGNATURE(WM_KEYUP, WPARAM, UINT, LPARAM);
QUIVRA_MESSAGE_SIGNATURE(WM_CHAR, WPARAM, UINT, LPARAM);
// Timer identifier.
QUIVRA_MESSAGE_SIGNATURE(WM_TIMER, UINT_PTR);
// Request (low word), position (high word, signed), lParam.
QUIVRA_MESSAGE_SIGNATURE(WM_HSCROLL, UINT, int, LPARAM);
QUIVRA_MESSAGE_SIGNATURE(WM_VSCROLL, UINT, int, LPARAM);
QUIVRA_MESSAGE_SIGNATURE(WM_CTLCOLORDLG, WPARAM);
QUIVRA_MESSAGE_SIGNATURE(WM_CTLCOLORSTATIC, WPARAM, LPARAM);
// wParam, x, y (signed).
QUIVRA_MESSAGE_SIGNATURE(WM_MOUSEMOVE, WPARAM, int, int);
QUIVRA_MESSAGE_SIGNATURE(WM_LBUTTONDOWN, WPARAM, int, int);
QUIVRA_MESSAGE_SIGNATURE(WM_LBUTTONUP, WPARAM, int, int);
QUIVRA_MESSAGE_SIGNATURE(WM_RBUTTONDOWN, WPARAM, int, int);
QUIVRA_MESSAGE_SIGNATURE(WM_RBUTTONUP, WPARAM, int, int);
// Keys, delta (signed), point in client coordinates.
QUIVRA_MESSAGE_SIGNATURE(WM_MOUSEWHEEL, UINT, int, POINT);
// Identifier, modifiers (low word of lParam), key (high word).
QUIVRA_MESSAGE_SIGNATURE(WM_HOTKEY, int, UINT, UINT);
#undef QUIVRA_MESSAGE_SIGNATURE

// Command and notification rows have their own helpers.
template <UINT Msg>
constexpr bool kHasOwnHelper = Msg == WM_COMMAND || Msg == WM_NOTIFY || Msg == kMapEnd;

// Windows dispatch on CWindow, dialogs on CDlg.
template <class T>
using DispatchRoot = std::conditional_t<std::is_base_of_v<CWindow, T>, CWindow, CDlg>;

// The conversions between the stored type and the handler's own type are
// exact round trips (the standard guarantees them for reinterpret_cast
// between pointers to member functions); the warning about calling through
// an incompatible type does not apply.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wcast-function-type"
template <class T, class... A>
MessageHandler StoreHandler(LRESULT (T::*handler)(A...)) {
  using Root = DispatchRoot<T>;
  static_assert(std::is_base_of_v<Root, T>, "handlers are members of a CWindow or CDlg class");
  return reinterpret_cast<MessageHandler>(static_cast<LRESULT (Root::*)(A...)>(handler));
}

template <class Root, class... A>
LRESULT Call(Root* object, MessageHandler handler, A... args) {
  auto member = reinterpret_cast<LRESULT (Root::*)(A...)>(handler);
  return (object->*member)(args...);
}
#pragma GCC diagnostic pop

inline MessageMapEntry Row(UINT message, UINT code, UINT first, UINT last, UINT lParamOnly,
                           MessageHandler handler) {
  return MessageMapEntry{message, code, first, last, lParamOnly, 0, handler};
}

}  // namespace message_map

// A row for any message but WM_COMMAND and WM_NOTIFY; the handler takes
// the parameters listed in message_map::Signature for that message.
template <UINT Msg, class T, class... A>
MessageMapEntry MapMessage(LRESULT (T::*handler)(A...)) {
  static_assert(!message_map::kHasOwnHelper<Msg>, "use MapCommand... or MapNotify... for this message");
  static_assert(std::is_same_v<std::tuple<A...>, typename message_map::Signature<Msg>::Args>,
                "the handler's parameters do not match what this message unpacks to");
  return message_map::Row(Msg, 0, 0, 0, 0, message_map::StoreHandler(handler));
}

// WM_COMMAND for one identifier with any notification code; no arguments.
template <class T>
MessageMapEntry MapCommand(UINT id, LRESULT (T::*handler)()) {
  return message_map::Row(WM_COMMAND, kAnyCode, id, id, 0, message_map::StoreHandler(handler));
}
// WM_COMMAND for one identifier sent with notification `code` only.
template <class T>
MessageMapEntry MapCommandCode(UINT id, UINT code, LRESULT (T::*handler)()) {
  return message_map::Row(WM_COMMAND, code, id, id, 0, message_map::StoreHandler(handler));
}
// WM_COMMAND for every identifier from `first` to `last`; the handler gets
// the identifier.
template <class T>
MessageMapEntry MapCommandRange(UINT first, UINT last, LRESULT (T::*handler)(UINT),
                                UINT code = kAnyCode) {
  return message_map::Row(WM_COMMAND, code, first, last, 0, message_map::StoreHandler(handler));
}
// WM_COMMAND for one identifier; the handler gets the command's lParam.
template <class T>
MessageMapEntry MapCommandLParam(UINT id, LRESULT (T::*handler)(LPARAM), UINT code = kAnyCode) {
  return message_map::Row(WM_COMMAND, code, id, id, 1, message_map::StoreHandler(handler));
}
// WM_NOTIFY from control `id` with notification `code`: the handler gets
// the notification header and the result word (preset to -1), which is
// the message's result.
template <class T>
MessageMapEntry MapNotify(UINT id, UINT code, LRESULT (T::*handler)(NMHDR*, LRESULT*)) {
  return message_map::Row(WM_NOTIFY, code, id, 0, 0, message_map::StoreHandler(handler));
}
// WM_NOTIFY from every control with every code: the handler gets wParam,
// lParam and the result word, which is the result when it returns non-zero.
template <class T>
MessageMapEntry MapAnyNotify(LRESULT (T::*handler)(WPARAM, LPARAM, LRESULT*)) {
  return message_map::Row(WM_NOTIFY, 0, 0, 0, 0, message_map::StoreHandler(handler));
}
inline MessageMapEntry MapEnd() { return MessageMapEntry{kMapEnd, 0, 0, 0, 0, 0, nullptr}; }

// The first row of `map` that takes the message, or null when the end row
// comes first.
const MessageMapEntry* FindMessageRow(const MessageMapEntry* map, UINT msg, WPARAM wParam,
                                      LPARAM lParam);
