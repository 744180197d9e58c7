#include "Dialog.h"

#include "Assert.h"
#include "DebugHeap.h"
#include "Log.h"
#include "Paths.h"
#include "WindowLog.h"

#include <cstring>
#include <cwchar>

// ---------------------------------------------------------------- modeless lists

HWND ModelessDialogs[MAX_MODELESS];
HWND ModelessPropertySheets[MAX_MODELESS];

namespace {

// A window destroyed before it left its list (by its owner, or by
// DestroyWindow) frees its entry.
bool holdsLiveWindow(HWND& entry)
{
  if (entry && !IsWindow(entry))
    entry = 0;
  return entry != 0;
}

void addToList(HWND* list, HWND hwnd)
{
  for (int i = 0; i < MAX_MODELESS; i++) {
    if (!holdsLiveWindow(list[i])) {
      list[i] = hwnd;
      return;
    }
  }
  ASSERT(0);
}

void removeFromList(HWND* list, HWND hwnd)
{
  for (int i = 0; i < MAX_MODELESS; i++) {
    if (list[i] == hwnd)
      list[i] = 0;
  }
}

}

void addModelessDialog(HWND hwnd)
{
  addToList(ModelessDialogs, hwnd);
}

void removeModelessDialog(HWND hwnd)
{
  removeFromList(ModelessDialogs, hwnd);
}

void addModelessPropertySheet(HWND hwnd)
{
  addToList(ModelessPropertySheets, hwnd);
}

void removeModelessPropertySheet(HWND hwnd)
{
  removeFromList(ModelessPropertySheets, hwnd);
}

bool isModelessDialogMessage(MSG* msg)
{
  for (int i = 0; i < MAX_MODELESS; i++) {
    if (holdsLiveWindow(ModelessDialogs[i]) && IsDialogMessageW(ModelessDialogs[i], msg))
      return true;
  }
  return false;
}

bool isModelessPropertySheetMessage(MSG* msg)
{
  for (int i = 0; i < MAX_MODELESS; i++) {
    if (!holdsLiveWindow(ModelessPropertySheets[i]))
      continue;
    HWND sheet = ModelessPropertySheets[i];
    if (SendMessageW(sheet, PSM_ISDIALOGMESSAGE, 0, reinterpret_cast<LPARAM>(msg)))
      return true;
    // OK or Cancel closed the sheet: it has no current page left.
    if (!SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)) {
      ModelessPropertySheets[i] = 0;
      DestroyWindow(sheet);
      return true;
    }
  }
  return false;
}

// ---------------------------------------------------------------- Dialog

Dialog::Dialog(HINSTANCE instance, const wchar_t* templateName, HWND parentWindow)
  : parent(parentWindow), hInstance(instance), dialogTemplate(templateName)
{
}

Dialog::~Dialog()
{
  if (IsWindow(hwnd)) {
    removeModelessDialog(hwnd);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    DestroyWindow(hwnd);
  }
  parent = 0;
  hInstance = 0;
  dialogTemplate = nullptr;
}

INT_PTR Dialog::doModal()
{
  return DialogBoxParamW(hInstance, dialogTemplate, parent, staticDialogProc, reinterpret_cast<LPARAM>(this));
}

HWND Dialog::create()
{
  HWND created =
    CreateDialogParamW(hInstance, dialogTemplate, parent, staticDialogProc, reinterpret_cast<LPARAM>(this));
  if (!created) {
    logLastError("CreateDialogParamW");
    ASSERT(0);
    return 0;
  }
  addModelessDialog(created);
  return created;
}

INT_PTR Dialog::dialogProc(HWND, UINT, WPARAM, LPARAM)
{
  return 0;
}

INT_PTR CALLBACK Dialog::staticDialogProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam)
{
  if (msg == WM_INITDIALOG)
    bind(h, reinterpret_cast<Dialog*>(lParam));
  return dispatch(h, msg, wParam, lParam);
}

void Dialog::bind(HWND h, Dialog* object)
{
  SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
  object->hwnd = h;
}

INT_PTR Dialog::dispatch(HWND h, UINT msg, WPARAM wParam, LPARAM lParam)
{
  Dialog* object = reinterpret_cast<Dialog*>(GetWindowLongPtrW(h, GWLP_USERDATA));
  if (!object)
    return 0;
  INT_PTR result = object->dialogProc(h, msg, wParam, lParam);
  // A handle kept after the window went could name somebody else's window
  // later; unless the object went with it, it forgets the handle.
  if (msg == WM_NCDESTROY && GetWindowLongPtrW(h, GWLP_USERDATA) == reinterpret_cast<LONG_PTR>(object))
    object->hwnd = 0;
  return result;
}

bool Dialog::isChecked(int id)
{
  return SendDlgItemMessageW(hwnd, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Dialog::setChecked(int id, bool checked)
{
  SendDlgItemMessageW(hwnd, id, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

HWND Dialog::getItem(int id)
{
  return GetDlgItem(hwnd, id);
}

// ---------------------------------------------------------------- PropertyPage

static_assert(sizeof(PropertyPageRecord) == PROPERTY_PAGE_RECORD_SIZE, "property page record");
static_assert(sizeof(PROPSHEETHEADERW) == PROPERTY_SHEET_RECORD_SIZE, "property sheet header");
static_assert(sizeof(OPENFILENAMEW) == OPEN_FILE_RECORD_SIZE, "open-file record");

PropertyPage::PropertyPage(HINSTANCE instance, const wchar_t* pageTemplate) : Dialog(instance, pageTemplate, 0)
{
  memset(&_page, 0, sizeof(_page));
  _page.dwSize = PROPERTY_PAGE_RECORD_SIZE;
  _page.hInstance = instance;
  _page.pszTemplate = pageTemplate;
  _page.pszTitle = L"";
  _page.pfnDlgProc = pageProc;
  _page.lParam = reinterpret_cast<LPARAM>(this);
}

HPROPSHEETPAGE PropertyPage::createPage()
{
  return CreatePropertySheetPageW(&_page);
}

INT_PTR CALLBACK PropertyPage::pageProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam)
{
  // The platform hands over its copy of the page record.
  if (msg == WM_INITDIALOG)
    bind(h, reinterpret_cast<PropertyPage*>(reinterpret_cast<PROPSHEETPAGEW*>(lParam)->lParam));
  return dispatch(h, msg, wParam, lParam);
}

INT_PTR PropertyPage::dialogProc(HWND h, UINT msg, WPARAM, LPARAM lParam)
{
  if (msg != WM_NOTIFY)
    return 0;
  switch (reinterpret_cast<NMHDR*>(lParam)->code) {
  case PSN_APPLY:
    // A failed apply keeps the sheet open on this page.
    SetWindowLongPtrW(h, DWLP_MSGRESULT, onApply() ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE);
    return TRUE;
  case PSN_KILLACTIVE:
    SetWindowLongPtrW(h, DWLP_MSGRESULT, onKillActive() ? FALSE : TRUE);
    return TRUE;
  default:
    return 0;
  }
}

// ---------------------------------------------------------------- PropertySheetDialog

PropertySheetDialog::PropertySheetDialog(HINSTANCE instance) : _hInstance(instance), _pageCount(0), _modeless(0)
{
  memset(_pages, 0, sizeof(_pages));
  _caption[0] = 0;
  memset(&_header, 0, sizeof(_header));
  _header.dwSize = PROPERTY_SHEET_RECORD_SIZE;
  _header.dwFlags = PSH_NOAPPLYNOW;
  _header.hInstance = instance;
  _header.pszCaption = _caption;
  _header.phpage = _pages;
}

PropertySheetDialog::~PropertySheetDialog()
{
  if (IsWindow(_modeless))
    removeModelessPropertySheet(_modeless);
}

void PropertySheetDialog::setCaption(const wchar_t* caption)
{
  lstrcpynW(_caption, caption, MAX_CAPTION);
}

bool PropertySheetDialog::addPage(PropertyPage& page)
{
  if (_pageCount >= MAX_PROPERTY_PAGES) {
    LogPrintf(WINDOW_LOG_KEY, "A property sheet takes at most %d pages.", MAX_PROPERTY_PAGES);
    return false;
  }
  HPROPSHEETPAGE handle = page.createPage();
  if (!handle) {
    logLastError("CreatePropertySheetPageW");
    return false;
  }
  _pages[_pageCount++] = handle;
  return true;
}

void PropertySheetDialog::prepareHeader(HWND parent, int startPage, bool modeless)
{
  _header.dwFlags = modeless ? (_header.dwFlags | PSH_MODELESS) : (_header.dwFlags & ~PSH_MODELESS);
  _header.hwndParent = parent;
  if (startPage >= 0)
    _header.nStartPage = startPage;
  _header.nPages = _pageCount;
}

INT_PTR PropertySheetDialog::doModal(HWND parent, int startPage)
{
  prepareHeader(parent, startPage, false);
  if (_pageCount == 0)
    return 0;
  INT_PTR result = PropertySheetW(&_header);
  if (result == -1)
    logLastError("PropertySheetW");
  return result;
}

HWND PropertySheetDialog::create(HWND parent, int startPage)
{
  prepareHeader(parent, startPage, true);
  if (_pageCount == 0)
    return 0;
  _modeless = reinterpret_cast<HWND>(PropertySheetW(&_header));
  return _modeless;
}

// ---------------------------------------------------------------- FileDialog

FileDialog::FileDialog(HWND owner, const wchar_t* title)
  : _result(nullptr), _buffer(nullptr), _bufferLen(0), _pos(0), _filterLen(2)
{
  memset(_filter, 0, sizeof(_filter));
  memset(&_ofn, 0, sizeof(_ofn));
  _ofn.lStructSize = OPEN_FILE_RECORD_SIZE;
  _ofn.hwndOwner = owner;
  _ofn.lpstrFilter = _filter;
  _ofn.nFilterIndex = 1;
  _ofn.nMaxFileTitle = 255;
  _ofn.lpstrTitle = title;
  _ofn.Flags = OFN_EXPLORER;
}

FileDialog::~FileDialog()
{
  DEBUG_FREE(_result);
}

void FileDialog::addFilter(const wchar_t* name, const wchar_t* pattern)
{
  int nameLength = static_cast<int>(wcslen(name));
  int patternLength = static_cast<int>(wcslen(pattern));
  int at = _filterLen <= 2 ? 0 : _filterLen;
  // The list's final zero must fall inside the buffer too.
  if (at + nameLength + patternLength + 2 >= FILE_FILTER_LENGTH) {
    ASSERT(0);
    return;
  }
  wcscpy(_filter + at, name);
  at += nameLength + 1;
  wcscpy(_filter + at, pattern);
  at += patternLength + 1;
  _filter[at] = 0;
  _filterLen = at;
}

void FileDialog::useBuffer(wchar_t* buffer, int length)
{
  _buffer = buffer;
  _bufferLen = length;
  _pos = 0;
  _ofn.lpstrFile = buffer;
  _ofn.nMaxFile = length;
}

bool FileDialog::openFile(wchar_t* buffer, int length, bool multiSelect)
{
  useBuffer(buffer, length);
  _ofn.Flags |= (multiSelect ? OFN_ALLOWMULTISELECT : 0) | OFN_PATHMUSTEXIST;
  if (GetOpenFileNameW(&_ofn))
    return true;
  LogPrintf(WINDOW_LOG_KEY, "No file opened (error %lu, dialog error %lu).", GetLastError(), CommDlgExtendedError());
  return false;
}

bool FileDialog::saveFile(wchar_t* buffer, int length)
{
  useBuffer(buffer, length);
  _ofn.Flags |= OFN_HIDEREADONLY;
  if (GetSaveFileNameW(&_ofn))
    return true;
  LogPrintf(WINDOW_LOG_KEY, "No file saved (error %lu, dialog error %lu).", GetLastError(), CommDlgExtendedError());
  return false;
}

namespace {

// The whole path in the result, or null when it does not fit: a cut path
// names another file.
const wchar_t* wholePath(wchar_t* result, const std::wstring& path)
{
  if (path.size() >= FILE_RESULT_LENGTH) {
    LogPrintf(WINDOW_LOG_KEY, "Skipped a chosen path of %u characters.", static_cast<unsigned>(path.size()));
    return nullptr;
  }
  wcscpy(result, path.c_str());
  return result;
}

}

const wchar_t* FileDialog::nextFile()
{
  if (!_result)
    _result = static_cast<wchar_t*>(DEBUG_MALLOC(FILE_RESULT_LENGTH * sizeof(wchar_t)));
  if (!_buffer) {
    ASSERT(0);
    return nullptr;
  }
  if (_pos >= _bufferLen)
    return nullptr;
  std::wstring first(_buffer, wcsnlen(_buffer, _bufferLen));
  if (_pos == 0) {
    // One file: the platform's offset of its name lies inside the path, and
    // past the path's zero the buffer holds whatever it held before.
    if (_ofn.nFileOffset <= first.size()) {
      _pos = _bufferLen;
      return wholePath(_result, first);
    }
    _pos = static_cast<int>(first.size()) + 1;
  }
  while (_pos < _bufferLen && _buffer[_pos]) {
    const wchar_t* name = _buffer + _pos;
    _pos += static_cast<int>(wcslen(name)) + 1;
    ASSERT(_pos <= _bufferLen);
    if (wholePath(_result, joinPath(first, name)))
      return _result;
  }
  _pos = _bufferLen;
  return nullptr;
}
