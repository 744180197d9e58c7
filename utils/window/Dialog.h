#pragma once

#include "Window.h"

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

// Dialogs from templates, property pages and sheets, the lists of modeless
// ones that the message loop consults, and the open and save file dialogs.

// A dialog from a template, modal or modeless; its messages reach dialogProc.
class Dialog : public WindowFunctions {
public:
  Dialog(HINSTANCE instance, const wchar_t* dialogTemplate, HWND parentWindow);
  virtual ~Dialog();
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  virtual INT_PTR doModal();
  HWND create();
  virtual INT_PTR dialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  bool isChecked(int id);
  void setChecked(int id, bool checked);
  HWND getItem(int id);

  static INT_PTR CALLBACK staticDialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

protected:
  static void bind(HWND h, Dialog* object);
  static INT_PTR dispatch(HWND h, UINT msg, WPARAM wParam, LPARAM lParam);

  HWND parent;
  HINSTANCE hInstance;
  const wchar_t* dialogTemplate;
};

const UINT PROPERTY_PAGE_RECORD_SIZE = 56;
const UINT PROPERTY_SHEET_RECORD_SIZE = 52;
const UINT OPEN_FILE_RECORD_SIZE = 88;

// The page record with the header bitmap that follows mingw's largest one.
struct PropertyPageRecord : PROPSHEETPAGEW {
  HBITMAP hbmHeader;
};

// One page of a property sheet.
class PropertyPage : public Dialog {
public:
  PropertyPage(HINSTANCE instance, const wchar_t* pageTemplate);

  HPROPSHEETPAGE createPage();
  INT_PTR dialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;
  // False keeps the user on the page.
  virtual bool onKillActive() { return true; }
  // False keeps the sheet open on the page, the changes not applied.
  virtual bool onApply() { return true; }

  static INT_PTR CALLBACK pageProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

private:
  PropertyPageRecord _page;
};

const int MAX_PROPERTY_PAGES = 25;
const int MAX_CAPTION = 256;

class PropertySheetDialog {
public:
  explicit PropertySheetDialog(HINSTANCE instance);
  virtual ~PropertySheetDialog();
  PropertySheetDialog(const PropertySheetDialog&) = delete;
  PropertySheetDialog& operator=(const PropertySheetDialog&) = delete;

  // Longer captions are cut.
  void setCaption(const wchar_t* caption);
  // False when the page cannot be made or the sheet is full.
  bool addPage(PropertyPage& page);
  INT_PTR doModal(HWND parent, int startPage);
  HWND create(HWND parent, int startPage);
  int getPageCount() const { return _pageCount; }
  const wchar_t* getCaption() const { return _caption; }

private:
  void prepareHeader(HWND parent, int startPage, bool modeless);

  HINSTANCE _hInstance;
  HPROPSHEETPAGE _pages[MAX_PROPERTY_PAGES];
  int _pageCount;
  wchar_t _caption[MAX_CAPTION];
  HWND _modeless;
  PROPSHEETHEADERW _header;
};

const int MAX_MODELESS = 4;
extern HWND ModelessDialogs[MAX_MODELESS];
extern HWND ModelessPropertySheets[MAX_MODELESS];

void addModelessDialog(HWND hwnd);
void removeModelessDialog(HWND hwnd);
void addModelessPropertySheet(HWND hwnd);
void removeModelessPropertySheet(HWND hwnd);
bool isModelessDialogMessage(MSG* msg);
// Also removes and destroys a sheet closed by OK or Cancel.
bool isModelessPropertySheetMessage(MSG* msg);

const int FILE_RESULT_LENGTH = 1040;
const int FILE_FILTER_LENGTH = 512;

// The open and save file-name dialogs, with a filter list and a reader for
// multiple selections.
class FileDialog {
public:
  FileDialog(HWND owner, const wchar_t* title);
  ~FileDialog();
  FileDialog(const FileDialog&) = delete;
  FileDialog& operator=(const FileDialog&) = delete;

  void addFilter(const wchar_t* name, const wchar_t* pattern);
  bool openFile(wchar_t* buffer, int length, bool multiSelect);
  bool saveFile(wchar_t* buffer, int length);
  // Each chosen path in turn, then null; the text is overwritten by the
  // next call. A path longer than the result holds is skipped.
  const wchar_t* nextFile();
  // The filter list as the platform reads it, FILE_FILTER_LENGTH characters.
  const wchar_t* getFilter() const { return _filter; }

private:
  // Lays a selection out in the buffer as the platform does, for tests.
  friend struct FileDialogSelection;

  void useBuffer(wchar_t* buffer, int length);

  wchar_t* _result;
  wchar_t* _buffer;
  int _bufferLen;
  int _pos;
  wchar_t _filter[FILE_FILTER_LENGTH];
  int _filterLen;
  OPENFILENAMEW _ofn;
};
