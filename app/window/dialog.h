// Dialog objects: modal dialogs built from the program's dialog templates,
// bound to their dialog through its user-data word from WM_INITDIALOG on,
// their messages dispatched through the class's message map by one shared
// dialog procedure.
#pragma once

#include <cstdint>

#include "app/window/message_map.h"
#include "platform/windows.h"

// Root of the dialog branch.
class CBase {
 public:
  CBase() = default;
  virtual ~CBase() = default;
  CBase(const CBase&) = delete;
  CBase& operator=(const CBase&) = delete;
};

// A modal dialog from resource template `templateId`.
class CDlg : public CBase {
 public:
  CDlg(HWND parent, HINSTANCE instance, WORD templateId, const MessageMapEntry* messageMap);
  // Clears the user-data word of the dialog's handle.
  ~CDlg() override;

  // Runs the dialog modally; returns its EndDialog value (-1 when the
  // template is missing or the dialog could not be made).
  INT_PTR Run();

  HWND Handle() const { return hwnd_; }
  HINSTANCE Instance() const { return instance_; }
  WORD TemplateId() const { return templateId_; }

  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

 protected:
  HWND hwnd_ = nullptr;
  HINSTANCE instance_ = nullptr;
  HWND parent_ = nullptr;
  WORD templateId_ = 0;
  uint8_t fullScreen_ = 1;  // sized to the screen when it opens
  const MessageMapEntry* messageMap_ = nullptr;
  uint8_t modal_ = 0;
};
