// The extended dialog: a soft-key bar from a bar resource (its menu and
// buttons translated, the Back key taken over), the Back key's behaviour
// in edit fields, and a bold copy of the dialog's font for its labels.
#pragma once

#include "app/window/dialog.h"

class CDlgEx : public CDlg {
 public:
  CDlgEx(HWND parent, HINSTANCE instance, WORD templateId, const MessageMapEntry* messageMap);
  ~CDlgEx() override;

  // The Back key outside an edit field, on release. Ends the dialog with 0.
  virtual void OnBackKey();

  // Creates the soft-key bar `barId` for the dialog, translates its menu
  // and buttons, takes over the Back key and makes the bold font. Called
  // from the dialog's WM_INITDIALOG handler. FALSE when the bar failed.
  BOOL CreateSoftKeys(UINT barId);
  // Puts the dialog's own font back into its device context and deletes
  // the bold font.
  void ReleaseFonts();

  HWND SoftKeyBar() const { return bar_; }
  HMENU SoftKeyMenu() const { return menu_; }
  HFONT BoldFont() const { return boldFont_; }

  // Row handlers shared by every extended dialog; each dialog's map names
  // them:
  //   MapMessage<WM_HOTKEY>(&CDlgEx::OnHotKey),
  //   MapMessage<WM_CTLCOLORSTATIC>(&CDlgEx::OnCtlColorStatic),
  //
  // The Back key (key 27): in an edit field, release deletes one character
  // and holding empties the field; elsewhere release calls OnBackKey.
  LRESULT OnHotKey(int id, UINT modifiers, UINT key);
  // Labels in the bold font on white.
  LRESULT OnCtlColorStatic(WPARAM dc, LPARAM control);

 protected:
  HMENU menu_ = nullptr;
  HFONT font_ = nullptr;
  HFONT boldFont_ = nullptr;
  HWND bar_ = nullptr;
};
