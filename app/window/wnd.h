// Window objects: a C++ object bound to its window through the window's
// user-data word, its messages dispatched through the class's message map
// by one shared window procedure.
#pragma once

#include <cstdint>
#include <string>

#include "app/window/message_map.h"
#include "platform/windows.h"

// Root of the window branch.
class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd() = default;
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;
};

// A window with a registered class and a message map.
class CWindow : public CWnd {
 public:
  // `messageMap` may be null (every message then goes to the previous
  // window procedure). An auto-delete object deletes itself after its
  // window's WM_DESTROY; it must have been created with new.
  CWindow(HINSTANCE instance, const MessageMapEntry* messageMap, bool autoDelete = false);
  // Destroys the window if it still exists, after unbinding it.
  ~CWindow() override;

  // Registers `className` for the instance with the shared window procedure
  // (once per instance); the name is stored in any case. A failed
  // registration shows "RegisterClass() failed" and returns FALSE.
  BOOL RegisterClass(UINT classStyle, LPCWSTR className);
  // Creates a window of the stored class with this object as creation
  // parameter; an empty rectangle gives the default position and size.
  HWND Create(DWORD exStyle, LPCWSTR title, DWORD style, const RECT& rect, HWND parent, UINT id);
  // Binds the object to control `id` of `dialog` instead of creating a
  // window: the control's own procedure becomes the previous procedure.
  BOOL Attach(HWND dialog, int id);

  HWND Handle() const { return hwnd_; }
  HINSTANCE Instance() const { return instance_; }
  const std::u16string& ClassName() const { return className_; }

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

 protected:
  // CreateWindowEx of the stored class; an empty rectangle takes the
  // platform's default position and size.
  HWND CreateOfClass(DWORD exStyle, LPCWSTR title, DWORD style, const RECT& rect, HWND parent,
                     UINT id, LPVOID param);
  // Binds an existing window (a built-in control) to this object.
  BOOL Subclass(HWND hwnd);
  // Where messages the map leaves go: the previous procedure, else the default.
  LRESULT PassOn(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) const;

  HWND hwnd_ = nullptr;
  HINSTANCE instance_ = nullptr;
  WNDPROC previousProc_ = nullptr;
  std::u16string className_;
  const MessageMapEntry* messageMap_ = nullptr;
  uint8_t autoDelete_ = 0;

 private:
  // Clears the binding: handle, user-data word, previous procedure put back.
  void Unbind();
};
