#include "Controls.h"

#include "Assert.h"
#include "Clipboard.h"
#include "DebugHeap.h"
#include "Menu.h"
#include "WindowLog.h"

#include <cstring>

// ---------------------------------------------------------------- controls

HWND ChildControl::create(DWORD style, int x, int y, int width, int height, HWND parent, int id)
{
  return createTitled(nullptr, style, x, y, width, height, parent, id);
}

HWND ChildControl::createTitled(const wchar_t* title, DWORD style, int x, int y, int width, int height, HWND parent,
                                int id)
{
  HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE));
  hwnd = CreateWindowExW(0, _windowClass, title, style | WS_CHILD | WS_VISIBLE, x, y, width, height, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
  if (!hwnd)
    logLastError("Creating a control");
  return hwnd;
}

HWND TrackBarControl::create(DWORD style, int x, int y, int width, int height, HWND parent, int id)
{
  return createTitled(L"Trackbar Control", style, x, y, width, height, parent, id);
}

int TrackBarControl::getPos()
{
  return static_cast<int>(SendMessageW(hwnd, TBM_GETPOS, 0, 0));
}

void TrackBarControl::setPos(int pos)
{
  SendMessageW(hwnd, TBM_SETPOS, TRUE, pos);
}

void TrackBarControl::setRange(int min, int max)
{
  SendMessageW(hwnd, TBM_SETRANGE, TRUE, MAKELPARAM(min, max));
}

HWND UpDownControl::create(DWORD style, HWND parent, int id)
{
  return ChildControl::create(style | WS_BORDER, 0, 0, 100, 100, parent, id);
}

void UpDownControl::setBuddy(HWND buddy)
{
  SendMessageW(hwnd, UDM_SETBUDDY, reinterpret_cast<WPARAM>(buddy), 0);
}

void UpDownControl::setRange(short lower, short upper)
{
  SendMessageW(hwnd, UDM_SETRANGE, 0, MAKELPARAM(upper, lower));
}

void UpDownControl::setPos(short pos)
{
  SendMessageW(hwnd, UDM_SETPOS, 0, MAKELPARAM(pos, 0));
}

bool UpDownControl::getPos(short& out)
{
  LRESULT result = SendMessageW(hwnd, UDM_GETPOS, 0, 0);
  if (HIWORD(result)) {
    logLastError("UDM_GETPOS");
    return false;
  }
  out = static_cast<short>(LOWORD(result));
  return true;
}

namespace {

bool richEditLoaded = false;

}

RichEditControl::~RichEditControl()
{
  delete _wrapper;
  _wrapper = nullptr;
}

HWND RichEditControl::create(DWORD style, int x, int y, int width, int height, HWND parent, int id)
{
  if (!richEditLoaded) {
    richEditLoaded = true;
    if (!LoadLibraryW(L"RICHED32.DLL"))
      logLastError("Loading the rich-edit library");
  }
  return ChildControl::create(style, x, y, width, height, parent, id);
}

void RichEditControl::setBackgroundColor(COLORREF color)
{
  SendMessageW(hwnd, EM_SETBKGNDCOLOR, 0, color);
}

void RichEditControl::enableChangeNotify()
{
  SendMessageW(hwnd, EM_SETEVENTMASK, 0, ENM_CHANGE);
}

wchar_t* RichEditControl::getText()
{
  GETTEXTLENGTHEX lengthQuery = {GTL_NUMCHARS | GTL_CLOSE, 1200};
  LRESULT length = SendMessageW(hwnd, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&lengthQuery), 0);
  if (length == E_INVALIDARG || length < 0)
    return DEBUG_WCSDUP(L"");
  wchar_t* text = static_cast<wchar_t*>(DEBUG_MALLOC((length + 1) * sizeof(wchar_t)));
  text[0] = 0;
  GETTEXTEX query;
  memset(&query, 0, sizeof(query));
  query.cb = static_cast<DWORD>(2 * length + 2);
  query.flags = GT_DEFAULT;
  query.codepage = 1200;
  SendMessageW(hwnd, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&query), reinterpret_cast<LPARAM>(text));
  return text;
}

void RichEditControl::attachContextMenu()
{
  if (!hwnd || _wrapper)
    return;
  _wrapper = new RichEditWrapper;
  _wrapper->subclass(hwnd);
}

LRESULT RichEditWrapper::handleMessage(HWND, UINT msg, WPARAM, LPARAM lParam, BOOL* handled)
{
  *handled = FALSE;
  if (msg != WM_CONTEXTMENU)
    return 0;
  POINT at = menuPosition(lParam);
  Menu menu;
  buildMenu(menu);
  HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_ARROW));
  TPMPARAMS exclude;
  exclude.cbSize = sizeof(exclude);
  SetRect(&exclude.rcExclude, at.x - 1, at.y - 1, at.x + 1, at.y + 1);
  int command = TrackPopupMenuEx(menu.hMenu, TPM_RETURNCMD, at.x, at.y, hwnd, &exclude);
  SetCursor(previous);
  runCommand(command);
  *handled = TRUE;
  return 0;
}

POINT RichEditWrapper::menuPosition(LPARAM lParam)
{
  // Monitors left of or above the primary one have negative coordinates.
  POINT at = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
  if (lParam == -1) {
    // Opened from the keyboard: at the caret.
    if (!GetCaretPos(&at))
      at.x = at.y = 0;
    ClientToScreen(hwnd, &at);
  }
  return at;
}

void RichEditWrapper::buildMenu(Menu& menu)
{
  CHARRANGE selection = {0, 0};
  SendMessageW(hwnd, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
  bool selected = selection.cpMin != selection.cpMax;
  menu.append(L"&Undo", UNDO)
    .appendSeparator()
    .append(L"Cu&t", CUT)
    .append(L"&Copy", COPY)
    .append(L"&Paste", PASTE)
    .append(L"&Delete", DELETE_SELECTION)
    .appendSeparator()
    .append(L"&Select All", SELECT_ALL);
  menu.enable(UNDO, SendMessageW(hwnd, EM_CANUNDO, 0, 0) != 0);
  menu.enable(CUT, selected);
  menu.enable(COPY, selected);
  menu.enable(PASTE, IsClipboardFormatAvailable(CF_TEXT));
  menu.enable(DELETE_SELECTION, selected);
}

void RichEditWrapper::runCommand(int command)
{
  CHARRANGE selection = {0, 0};
  SendMessageW(hwnd, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
  if (command == UNDO)
    SendMessageW(hwnd, EM_UNDO, 0, 0);
  if (command == CUT || command == COPY)
    copySelection(selection);
  if (command == PASTE) {
    wchar_t* text = getClipboardText(hwnd);
    if (text)
      SendMessageW(hwnd, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
    DEBUG_FREE(text);
  }
  if (command == CUT || command == DELETE_SELECTION)
    SendMessageW(hwnd, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
  if (command == SELECT_ALL)
    SendMessageW(hwnd, EM_SETSEL, 0, -1);
}

void RichEditWrapper::copySelection(const CHARRANGE& selection)
{
  LONG length = selection.cpMax - selection.cpMin;
  if (length <= 0)
    return;
  wchar_t* text = static_cast<wchar_t*>(DEBUG_MALLOC((length + 1) * sizeof(wchar_t)));
  TEXTRANGEW range = {selection, text};
  SendMessageW(hwnd, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
  text[length] = 0;
  if (!setClipboardText(hwnd, text))
    logLastError("Setting the clipboard");
  DEBUG_FREE(text);
}

void ProgressBarControl::setBackgroundColor(COLORREF color)
{
  SendMessageW(hwnd, PBM_SETBKCOLOR, 0, color);
}

void ProgressBarControl::setBarColor(COLORREF color)
{
  SendMessageW(hwnd, PBM_SETBARCOLOR, 0, color);
}

void ProgressBarControl::setRange(int min, int max)
{
  SendMessageW(hwnd, PBM_SETRANGE, 0, MAKELPARAM(min, max));
}

void ProgressBarControl::setPos(int pos)
{
  SendMessageW(hwnd, PBM_SETPOS, pos, 0);
}

void ListViewControl::selectItem(int index)
{
  LVITEMW item;
  memset(&item, 0, sizeof(item));
  item.state = LVIS_FOCUSED | LVIS_SELECTED;
  item.stateMask = 0xFF;
  SendMessageW(hwnd, LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&item));
}

int ListViewControl::insertItem(int index, const wchar_t* text, LPARAM data)
{
  LVITEMW item;
  memset(&item, 0, sizeof(item));
  item.mask = LVIF_TEXT | LVIF_PARAM;
  item.iItem = index;
  item.pszText = const_cast<wchar_t*>(text);
  item.lParam = data;
  return static_cast<int>(SendMessageW(hwnd, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

bool ListViewControl::setItemText(int itemIndex, int subItem, const wchar_t* text)
{
  LVITEMW item;
  memset(&item, 0, sizeof(item));
  item.mask = LVIF_TEXT;
  item.iItem = itemIndex;
  item.iSubItem = subItem;
  item.pszText = const_cast<wchar_t*>(text);
  return SendMessageW(hwnd, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item)) != 0;
}

int ListViewControl::insertColumn(int index, int width, const wchar_t* text)
{
  LVCOLUMNW column;
  memset(&column, 0, sizeof(column));
  column.mask = LVCF_WIDTH | LVCF_TEXT;
  column.cx = width;
  column.pszText = const_cast<wchar_t*>(text);
  return static_cast<int>(SendMessageW(hwnd, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column)));
}

bool ListViewControl::deleteColumn(int column)
{
  return SendMessageW(hwnd, LVM_DELETECOLUMN, column, 0) != 0;
}

bool ListViewControl::setColumnWidth(int column, int width)
{
  return SendMessageW(hwnd, LVM_SETCOLUMNWIDTH, column, MAKELPARAM(width, 0)) != 0;
}

int ListViewControl::getColumnWidth(int column)
{
  return static_cast<int>(SendMessageW(hwnd, LVM_GETCOLUMNWIDTH, column, 0));
}

int ListViewControl::getItemCount()
{
  return static_cast<int>(SendMessageW(hwnd, LVM_GETITEMCOUNT, 0, 0));
}

bool ListViewControl::deleteAllItems()
{
  return SendMessageW(hwnd, LVM_DELETEALLITEMS, 0, 0) != 0;
}

bool ListViewControl::setBackgroundColor(COLORREF color)
{
  return SendMessageW(hwnd, LVM_SETBKCOLOR, 0, color) != 0;
}

HWND HotkeyControl::create(DWORD style, int x, int y, int width, int height, HWND parent, int id)
{
  if (ChildControl::create(style, x, y, width, height, parent, id))
    SendMessageW(hwnd, HKM_SETRULES, HKCOMB_NONE, MAKELPARAM(HOTKEYF_ALT, 0));
  return hwnd;
}

void HotkeyControl::setHotkey(WORD hotkey)
{
  SendMessageW(hwnd, HKM_SETHOTKEY, hotkey, 0);
}

WORD HotkeyControl::getHotkey()
{
  return static_cast<WORD>(SendMessageW(hwnd, HKM_GETHOTKEY, 0, 0));
}

int TabControl::insertTab(int index, const wchar_t* text)
{
  TCITEMW item;
  memset(&item, 0, sizeof(item));
  item.mask = TCIF_TEXT | TCIF_IMAGE;
  item.pszText = const_cast<wchar_t*>(text);
  item.iImage = -1;
  return static_cast<int>(SendMessageW(hwnd, TCM_INSERTITEMW, index, reinterpret_cast<LPARAM>(&item)));
}

int TabControl::getCurSel()
{
  return static_cast<int>(SendMessageW(hwnd, TCM_GETCURSEL, 0, 0));
}

const ListMessages COMBO_BOX_MESSAGES = {CB_RESETCONTENT, CB_ADDSTRING,    CB_GETCOUNT, CB_GETCURSEL,
                                         CB_SETCURSEL,    CB_GETLBTEXTLEN, CB_GETLBTEXT};
const ListMessages LIST_BOX_MESSAGES = {LB_RESETCONTENT, LB_ADDSTRING, LB_GETCOUNT, LB_GETCURSEL,
                                        LB_SETCURSEL,    LB_GETTEXTLEN, LB_GETTEXT};

void ListControl::resetContent()
{
  SendMessageW(hwnd, _messages.resetContent, 0, 0);
}

int ListControl::addString(const wchar_t* text)
{
  return static_cast<int>(SendMessageW(hwnd, _messages.addString, 0, reinterpret_cast<LPARAM>(text)));
}

int ListControl::getCount()
{
  LRESULT count = SendMessageW(hwnd, _messages.getCount, 0, 0);
  return count < 0 ? 0 : static_cast<int>(count);
}

int ListControl::getCurSel()
{
  return static_cast<int>(SendMessageW(hwnd, _messages.getCurSel, 0, 0));
}

void ListControl::setCurSel(int index)
{
  SendMessageW(hwnd, _messages.setCurSel, index, 0);
}

wchar_t* ListControl::getItemText(int index)
{
  // Both kinds answer -1 (CB_ERR, LB_ERR) for errors.
  if (!IsWindow(hwnd))
    return nullptr;
  LRESULT length = SendMessageW(hwnd, _messages.getTextLength, index, 0);
  if (length < 0)
    return nullptr;
  wchar_t* text = static_cast<wchar_t*>(DEBUG_MALLOC((length + 1) * sizeof(wchar_t)));
  if (SendMessageW(hwnd, _messages.getText, index, reinterpret_cast<LPARAM>(text)) < 0) {
    DEBUG_FREE(text);
    return nullptr;
  }
  return text;
}

StatusBar::~StatusBar()
{
  if (hwnd)
    DestroyWindow(hwnd);
}

HWND StatusBar::create(DWORD style, const wchar_t* text, HWND parent, int id)
{
  hwnd = CreateStatusWindowW(style | WS_CHILD | WS_VISIBLE, text, parent, id);
  if (!hwnd)
    logLastError("CreateStatusWindowW");
  return hwnd;
}

int ListBox::addString(const wchar_t* text, LPARAM data)
{
  int index = addString(text);
  if (index == LB_ERR || index == LB_ERRSPACE)
    return index;
  return SendMessageW(hwnd, LB_SETITEMDATA, index, data) == LB_ERR ? LB_ERR : index;
}

LPARAM ListBox::getItemData(int index)
{
  ASSERT(index < getCount());
  return SendMessageW(hwnd, LB_GETITEMDATA, index, 0);
}

int ListBox::findStringExact(const wchar_t* text)
{
  return static_cast<int>(SendMessageW(hwnd, LB_FINDSTRINGEXACT, -1, reinterpret_cast<LPARAM>(text)));
}

int ListBox::deleteString(int index)
{
  return static_cast<int>(SendMessageW(hwnd, LB_DELETESTRING, index, 0));
}
