#pragma once

#include "Window.h"

#include <windows.h>
#include <commctrl.h>
#include <richedit.h>

// Wrappers of the standard and common controls.

class Menu;

// A standard or common control made as a visible child of a parent window.
// The parent's destruction destroys the control, not this object.
class ChildControl : public WindowFunctions {
public:
  HWND create(DWORD style, int x, int y, int width, int height, HWND parent, int id);

protected:
  explicit ChildControl(const wchar_t* windowClass) : _windowClass(windowClass) {}
  HWND createTitled(const wchar_t* title, DWORD style, int x, int y, int width, int height, HWND parent, int id);

private:
  const wchar_t* _windowClass;
};

class TrackBarControl : public ChildControl {
public:
  TrackBarControl() : ChildControl(TRACKBAR_CLASSW) {}
  HWND create(DWORD style, int x, int y, int width, int height, HWND parent, int id);
  int getPos();
  void setPos(int pos);
  void setRange(int min, int max);
};

class EditControl : public ChildControl {
public:
  EditControl() : ChildControl(L"EDIT") {}
};

class StaticControl : public ChildControl {
public:
  StaticControl() : ChildControl(L"STATIC") {}
};

class UpDownControl : public ChildControl {
public:
  UpDownControl() : ChildControl(UPDOWN_CLASSW) {}
  HWND create(DWORD style, HWND parent, int id);
  void setBuddy(HWND buddy);
  void setRange(short lower, short upper);
  void setPos(short pos);
  // False when the control reports an error (its buddy's text is no number).
  bool getPos(short& out);
};

class RichEditControl;

// Gives a rich-edit control its Undo / Cut / Copy / Paste / Delete / Select
// All context menu.
class RichEditWrapper : public SubclassedWindow {
public:
  enum Command { UNDO = 1, CUT, COPY, PASTE, DELETE_SELECTION, SELECT_ALL };

  LRESULT handleMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, BOOL* handled) override;
  // Screen position of the menu for a WM_CONTEXTMENU's lParam.
  POINT menuPosition(LPARAM lParam);
  void buildMenu(Menu& menu);
  void runCommand(int command);

private:
  void copySelection(const CHARRANGE& selection);
};

class RichEditControl : public ChildControl {
public:
  RichEditControl() : ChildControl(RICHEDIT_CLASSW), _wrapper(nullptr) {}
  ~RichEditControl();

  HWND create(DWORD style, int x, int y, int width, int height, HWND parent, int id);
  void setBackgroundColor(COLORREF color);
  // The parent receives EN_CHANGE.
  void enableChangeNotify();
  // From the tracked heap; the caller frees it.
  wchar_t* getText();
  void attachContextMenu();

private:
  RichEditWrapper* _wrapper;
};

class ProgressBarControl : public ChildControl {
public:
  ProgressBarControl() : ChildControl(PROGRESS_CLASSW) {}
  void setBackgroundColor(COLORREF color);
  void setBarColor(COLORREF color);
  void setRange(int min, int max);
  void setPos(int pos);
};

class ListViewControl : public ChildControl {
public:
  ListViewControl() : ChildControl(WC_LISTVIEWW) {}
  void selectItem(int index);
  int insertItem(int index, const wchar_t* text, LPARAM data);
  bool setItemText(int item, int subItem, const wchar_t* text);
  int insertColumn(int index, int width, const wchar_t* text);
  bool deleteColumn(int column);
  bool setColumnWidth(int column, int width);
  int getColumnWidth(int column);
  int getItemCount();
  bool deleteAllItems();
  bool setBackgroundColor(COLORREF color);
};

class HotkeyControl : public ChildControl {
public:
  HotkeyControl() : ChildControl(HOTKEY_CLASSW) {}
  // A key without modifier becomes Alt+key.
  HWND create(DWORD style, int x, int y, int width, int height, HWND parent, int id);
  void setHotkey(WORD hotkey);
  WORD getHotkey();
};

// Wraps an existing tab control given through attach.
class TabControl : public WindowFunctions {
public:
  int insertTab(int index, const wchar_t* text);
  int getCurSel();
};

struct ListMessages {
  UINT resetContent, addString, getCount, getCurSel, setCurSel, getTextLength, getText;
};

// What combo boxes and list boxes share; they differ only in message numbers.
class ListControl : public ChildControl {
public:
  void resetContent();
  int addString(const wchar_t* text);
  // 0 when the control answers with an error.
  int getCount();
  int getCurSel();
  void setCurSel(int index);
  // From the tracked heap (the caller frees it), or null.
  wchar_t* getItemText(int index);

protected:
  ListControl(const wchar_t* windowClass, const ListMessages& messages)
    : ChildControl(windowClass), _messages(messages)
  {
  }

private:
  const ListMessages& _messages;
};

extern const ListMessages COMBO_BOX_MESSAGES;
extern const ListMessages LIST_BOX_MESSAGES;

class ComboBox : public ListControl {
public:
  ComboBox() : ListControl(L"COMBOBOX", COMBO_BOX_MESSAGES) {}
};

class StatusBar : public WindowFunctions {
public:
  ~StatusBar();
  HWND create(DWORD style, const wchar_t* text, HWND parent, int id);
};

class ListBox : public ListControl {
public:
  ListBox() : ListControl(L"LISTBOX", LIST_BOX_MESSAGES) {}
  using ListControl::addString;
  // The new index, or LB_ERR / LB_ERRSPACE.
  int addString(const wchar_t* text, LPARAM data);
  LPARAM getItemData(int index);
  int findStringExact(const wchar_t* text);
  int deleteString(int index);
};
