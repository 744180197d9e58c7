#include "FlexList.h"

#include "Assert.h"
#include "DebugHeap.h"
#include "Log.h"
#include "WindowPaint.h"

#include <windowsx.h>

#include <algorithm>

namespace {

const int LOG_KEY = LogRegisterKey("D_FlexList", false);

const int WHEEL_NOTCH = 120;
// Layout positions only grow while items come and go; before they could
// overflow, they are moved back to start at 0.
const int MAX_TOP_BASE = 1 << 30;

}

// ---------------------------------------------------------------- LineItem

LineItem::LineItem(LineStyle* style)
  : _userData(0), _text(nullptr), _width(0), _height(0), _style(style), _formatted(false), _icon(-1)
{
}

LineItem::~LineItem()
{
  DEBUG_FREE(_text);
}

void LineItem::setText(const wchar_t* text)
{
  DEBUG_FREE(_text);
  _text = DEBUG_WCSDUP(text ? text : L"");
  _formatted = false;
}

int LineItem::width()
{
  ASSERT(_formatted);
  return _width;
}

int LineItem::height()
{
  ASSERT(_formatted);
  return _height;
}

int LineItem::format(int width)
{
  _height = _style->font->getHeight() + _style->font->getExternalLeading();
  ASSERT(_height > 0);
  if (_height < MIN_LINE_HEIGHT)
    _height = MIN_LINE_HEIGHT;
  _width = width;
  _formatted = true;
  return _height;
}

void LineItem::draw(HDC hdc, int x, int y)
{
  if (!_formatted)
    format(_width);
  DC dc(hdc);
  SetBkMode(hdc, TRANSPARENT);
  dc.selectFont(_style->font->getHandle());
  bool selected = isSelected();
  SetTextColor(hdc, selected ? _style->selectedText : _style->text);
  bool hasIcon = _style->imageList && _icon >= 0;
  RECT r = {hasIcon ? x + LINE_ICON_SIZE + 1 : x, y, x + _width, y + _height};
  GdiBrush brush(selected ? _style->selectedBackground : _style->background);
  FillRect(hdc, &r, brush.getHandle());
  if (_text)
    DrawTextW(hdc, _text, -1, &r, DT_SINGLELINE | DT_VCENTER | DT_WORD_ELLIPSIS);
  if (hasIcon)
    ImageList_Draw(_style->imageList, _icon, hdc, x, y + _height / 2 - LINE_ICON_SIZE / 2, ILD_NORMAL);
}

// ---------------------------------------------------------------- FlexList

FlexList::FlexList(HINSTANCE instance)
  : _notify(nullptr), _topBase(0), _laidOut(0), _totalHeight(0), _offset(0), _clientHeight(0), _clientWidth(0),
    _redraw(true), _selected(-1), _averageHeight(FLEX_LIST_LINE_STEP), _background(0xFFFFFF),
    _scrollBarPending(false)
{
  hInstance = instance;
  className = L"FlexList";
  style |= WS_CHILD | WS_VISIBLE | WS_VSCROLL;
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW));
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.style |= CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
}

FlexList::~FlexList()
{
  clear();
}

HWND FlexList::create(int x, int y, int width, int height, HWND parentWindow)
{
  return Window::create(x, y, width, height, parentWindow, 0, hInstance);
}

ListItem* FlexList::getItem(int index) const
{
  return isValid(index) ? _items[index] : nullptr;
}

void FlexList::append(ListItem* item)
{
  _items.push_back(item);
  showAppended(getCount() - 1);
}

void FlexList::append(const std::vector<ListItem*>& items)
{
  if (items.empty())
    return;
  int first = getCount();
  _items.insert(_items.end(), items.begin(), items.end());
  showAppended(first);
}

void FlexList::showAppended(int first)
{
  relayout(first);
  ASSERT(hwnd);
  if (_redraw)
    invalidateBand(topOf(_items[first]), _totalHeight);
  if (_selected < 0)
    select(first);
}

void FlexList::insert(ListItem* item, int index)
{
  if (index < 0)
    index = 0;
  if (index > getCount())
    index = getCount();
  _items.insert(_items.begin() + index, item);
  // The selection stays with its item, which moved up by one.
  if (_selected >= index)
    _selected++;
  relayout(index);
  ASSERT(hwnd);
  InvalidateRect(hwnd, nullptr, TRUE);
}

void FlexList::removeFirst(int count)
{
  count = std::min(count, getCount());
  if (count <= 0)
    return;
  // Items not laid out yet take no room.
  int removedHeight = count < _laidOut ? topOf(_items[count]) : _totalHeight;
  for (int i = 0; i < count; i++)
    delete _items[i];
  _items.erase(_items.begin(), _items.begin() + count);
  _laidOut = std::max(0, _laidOut - count);
  LogPrintf(LOG_KEY, "Removed the first %d items, %d left.", count, getCount());
  // A removed selection passes to the new first item rather than to the
  // next one appended.
  if (_selected >= count) {
    _selected -= count;
  } else if (_selected >= 0) {
    _selected = getCount() > 0 ? 0 : -1;
    flagSelected(_selected);
  }
  bool removedShown = _offset < removedHeight;
  _topBase += removedHeight;
  _totalHeight -= removedHeight;
  _offset -= removedHeight;
  if (_topBase > MAX_TOP_BASE) {
    for (ListItem* item : _items)
      item->_top -= _topBase;
    _topBase = 0;
  }
  if (!_redraw || !hwnd)
    return;
  // The lines in view keep their place; only a view of removed lines changes.
  if (removedShown) {
    _offset = clamped(_offset);
    InvalidateRect(hwnd, nullptr, FALSE);
  }
  updateScrollBar();
}

void FlexList::clear()
{
  for (ListItem* item : _items)
    delete item;
  _items.clear();
  _topBase = 0;
  _laidOut = 0;
  _totalHeight = 0;
  _offset = 0;
  select(-1);
}

void FlexList::select(int index)
{
  if (index == _selected)
    return;
  int old = _selected;
  if (isValid(old)) {
    invalidateItem(old);
    _items[old]->setSelected(false);
  }
  if (isValid(index)) {
    _selected = index;
    _items[index]->setSelected(true);
    invalidateItem(index);
  } else {
    _selected = -1;
  }
  if (_selected != old && _notify)
    _notify->onSelectionChanged(_selected);
}

void FlexList::flagSelected(int index)
{
  if (isValid(index))
    _items[index]->setSelected(true);
}

int FlexList::findSelected(int after)
{
  for (int i = after + 1; isValid(i); i++) {
    if (_items[i]->isSelected())
      return i;
  }
  return -1;
}

void FlexList::invalidateItem(ListItem* item)
{
  if (_redraw)
    invalidateBand(topOf(item), topOf(item) + item->height());
}

// top and bottom in the content.
void FlexList::invalidateBand(int top, int bottom)
{
  ASSERT(hwnd);
  RECT r = {0, top - _offset, _clientWidth, bottom - _offset};
  InvalidateRect(hwnd, &r, FALSE);
}

void FlexList::invalidateItem(int index)
{
  if (isValid(index))
    invalidateItem(_items[index]);
}

void FlexList::relayout(int first)
{
  first = std::min(first, _laidOut);
  if (!_redraw) {
    _laidOut = first;
    return;
  }
  int position = first >= 1 ? _items[first - 1]->_top + _items[first - 1]->height() : _topBase;
  for (int i = first; i < getCount(); i++) {
    _items[i]->_top = position;
    position += _items[i]->format(_clientWidth);
  }
  _laidOut = getCount();
  _totalHeight = position - _topBase;
  if (getCount() > 0)
    _averageHeight = static_cast<double>(_totalHeight) / getCount();
  if (hwnd)
    updateScrollBar();
}

// Drawing the bar costs milliseconds: a burst of changes (a drain's
// appends, its trimming and its scrolling) draws it once.
void FlexList::updateScrollBar()
{
  setScrollBar(false);
  if (_scrollBarPending)
    return;
  _scrollBarPending = PostMessageW(hwnd, FLEX_LIST_DRAW_SCROLL_BAR, 0, 0);
  if (!_scrollBarPending)
    setScrollBar(true);
}

void FlexList::setScrollBar(bool redraw)
{
  SCROLLINFO info = {};
  info.cbSize = sizeof info;
  info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
  info.nMax = _totalHeight + 1 < 0 ? 0 : _totalHeight + 1;
  info.nPage = _clientHeight;
  info.nPos = _offset;
  SetScrollInfo(hwnd, SB_VERT, &info, redraw);
}

// ---------------------------------------------------------------- scrolling

void FlexList::scrollTo(int position)
{
  int delta = position - _offset;
  _offset = position;
  ASSERT(hwnd);
  updateScrollBar();
  ScrollWindowEx(hwnd, 0, -delta, nullptr, nullptr, nullptr, nullptr, SW_INVALIDATE);
}

int FlexList::clamped(int position) const
{
  if (position > highestOffset())
    return highestOffset();
  return position < 0 ? 0 : position;
}

void FlexList::scrollClamped(int position)
{
  scrollTo(clamped(position));
}

bool FlexList::isAtEnd()
{
  return _offset >= _totalHeight - _clientHeight - FLEX_LIST_END_SLACK || _totalHeight < _clientHeight;
}

void FlexList::scrollToEnd()
{
  if (highestOffset() != _offset)
    scrollTo(highestOffset());
}

void FlexList::ensureVisible(int index)
{
  if (!isLaidOut(index))
    return;
  int top = topOf(_items[index]);
  int bottom = top + _items[index]->height();
  if (top >= _offset) {
    if (bottom > _offset + _clientHeight)
      scrollTo(bottom - _clientHeight);
  } else {
    scrollTo(top);
  }
}

bool FlexList::isVisible(int index)
{
  if (!isLaidOut(index))
    return false;
  int top = topOf(_items[index]);
  return top + _items[index]->height() > _offset && top < _offset + _clientHeight;
}

void FlexList::onVerticalScroll(int code)
{
  int position = _offset;
  switch (code) {
  case SB_LINEUP: position -= FLEX_LIST_LINE_STEP; break;
  case SB_LINEDOWN: position += FLEX_LIST_LINE_STEP; break;
  case SB_PAGEUP: position -= _clientHeight; break;
  case SB_PAGEDOWN: position += _clientHeight; break;
  case SB_THUMBPOSITION:
  case SB_THUMBTRACK: {
    SCROLLINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = SIF_TRACKPOS;
    GetScrollInfo(hwnd, SB_VERT, &info);
    position = info.nTrackPos;
    break;
  }
  case SB_TOP: position = 0; break;
  case SB_BOTTOM: position = highestOffset(); break;
  default: break;
  }
  scrollClamped(position);
}

// ---------------------------------------------------------------- painting and input

// The item before the first that starts below the offset; tops grow with
// the index, so a binary search finds it among any number of items.
int FlexList::firstPaintedItem()
{
  auto below = std::upper_bound(_items.begin(), _items.begin() + _laidOut, _offset + _topBase,
                                [](int position, const ListItem* item) { return position < item->_top; });
  int i = static_cast<int>(below - _items.begin());
  return i > 0 ? i - 1 : 0;
}

void FlexList::paint(HDC dc)
{
  if (_offset < 0) {
    RECT band = {0, 0, _clientWidth, -_offset};
    GdiBrush brush(_background);
    FillRect(dc, &band, brush.getHandle());
  }
  if (_laidOut == 0)
    return;
  SetTextColor(dc, RGB(0, 0, 0));
  int i = firstPaintedItem();
  int y = topOf(_items[i]) - _offset;
  for (; i < _laidOut; i++) {
    _items[i]->draw(dc, 0, y);
    y += _items[i]->height();
    if (y > _clientHeight)
      break;
  }
}

int FlexList::hitTest(int, int y)
{
  if (_laidOut == 0)
    return -1;
  int i = firstPaintedItem();
  int bottom = topOf(_items[i]) - _offset;
  // The band above short content holds no item.
  if (y < bottom)
    return -1;
  for (; i < _laidOut; i++) {
    bottom += _items[i]->height();
    if (y < bottom)
      return i;
    if (bottom > _clientHeight)
      break;
  }
  return -1;
}

void FlexList::onKeyDown(WPARAM key)
{
  // A suspended list may hold items not laid out yet, whose heights the
  // moves would read.
  if (_selected < 0 || !_redraw)
    return;
  int target = _selected;
  int room = _clientHeight;
  switch (key) {
  case VK_DOWN:
    if (_selected + 1 >= getCount())
      return;
    target = _selected + 1;
    break;
  case VK_UP:
    if (_selected <= 0)
      return;
    target = _selected - 1;
    break;
  case VK_NEXT:
    while (target < getCount() - 1 && room >= 1)
      room -= _items[target++]->height();
    break;
  case VK_PRIOR:
    while (target > 0 && room > 0)
      room -= _items[target--]->height();
    break;
  case VK_HOME: target = 0; break;
  case VK_END: target = getCount() - 1; break;
  default: return;
  }
  select(target);
  ensureVisible(target);
}

void FlexList::onMouseDown(int y, bool isDouble)
{
  SetFocus(hwnd);
  if (_notify)
    _notify->onMouseDown();
  int index = hitTest(0, y);
  if (index < 0)
    return;
  select(index);
  if (isDouble && _notify)
    _notify->onDoubleClick(index);
}

LRESULT FlexList::handleMessage(HWND h, UINT msg, WPARAM wParam, LPARAM lParam, BOOL* handled)
{
  *handled = TRUE;
  switch (msg) {
  case WM_CREATE: {
    const CREATESTRUCTW* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    _clientHeight = cs->cy;
    _clientWidth = cs->cx;
    return 0;
  }
  case WM_SIZE: {
    bool atEnd = isAtEnd();
    _clientWidth = LOWORD(lParam);
    _clientHeight = HIWORD(lParam);
    relayout(0);
    if (atEnd)
      scrollToEnd();
    // A parent may move the list without repainting it (a maximise does):
    // the lines laid out anew and the scroll bar in its new place show now.
    if (_redraw)
      RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME);
    return 0;
  }
  case WM_SETREDRAW:
    if (wParam) {
      _redraw = true;
      relayout(0);
      ASSERT(hwnd);
      InvalidateRect(hwnd, nullptr, FALSE);
    } else {
      _redraw = false;
    }
    return 0;
  case WM_PAINT:
  case WM_PRINTCLIENT:
    // A suspended list leaves the screen as it is, but takes the region as
    // painted: left invalid, it would bring WM_PAINT straight back. Resuming
    // invalidates the whole list. Printing always paints.
    if (_redraw || msg == WM_PRINTCLIENT)
      paintOnMessage(h, msg, wParam, [this](HDC dc) { paint(dc); });
    else
      ValidateRect(h, nullptr);
    return 0;
  case WM_ERASEBKGND:
    return 1;
  case FLEX_LIST_DRAW_SCROLL_BAR:
    _scrollBarPending = false;
    setScrollBar(true);
    return 0;
  case WM_VSCROLL:
    onVerticalScroll(LOWORD(wParam));
    return 0;
  case WM_MOUSEWHEEL: {
    int notches = -static_cast<short>(HIWORD(wParam));
    scrollClamped(_offset + static_cast<int>(notches * _averageHeight * 2 / WHEEL_NOTCH));
    return 0;
  }
  case WM_KEYDOWN:
    onKeyDown(wParam);
    return 0;
  case WM_LBUTTONDOWN:
  case WM_LBUTTONDBLCLK:
    onMouseDown(GET_Y_LPARAM(lParam), msg == WM_LBUTTONDBLCLK);
    return 0;
  case WM_MOUSEMOVE:
    if (wParam & MK_LBUTTON)
      onMouseDown(GET_Y_LPARAM(lParam), false);
    return 0;
  case WM_LBUTTONUP:
  case WM_DESTROY:
  case WM_CLOSE:
  case WM_COMMAND:
    return 0;
  default:
    *handled = FALSE;
    return 0;
  }
}

// ---------------------------------------------------------------- FlexListView

FlexListView::FlexListView(HINSTANCE instance)
  : FlexList(instance), _style{&defaultFont, nullptr, 0xFFFFFF, 0x000000, 0x800000, 0x00FFFF}
{
}

void FlexListView::setColours(COLORREF background, COLORREF text, COLORREF selectedBackground,
                              COLORREF selectedText)
{
  _style.background = background;
  _style.text = text;
  _style.selectedBackground = selectedBackground;
  _style.selectedText = selectedText;
  setBackground(background);
}

void FlexListView::addItem(int icon, const wchar_t* text, unsigned userData)
{
  LineItem* item = new LineItem(&_style);
  item->setText(text);
  item->setIcon(icon);
  item->setUserData(userData);
  append(item);
}

LineItem* FlexListView::lineAt(int index)
{
  return dynamic_cast<LineItem*>(getItem(index));
}

const wchar_t* FlexListView::getText(int index)
{
  LineItem* line = lineAt(index);
  return line ? line->getText() : nullptr;
}

unsigned FlexListView::getItemData(int index)
{
  LineItem* line = lineAt(index);
  return line ? line->getUserData() : 0;
}
