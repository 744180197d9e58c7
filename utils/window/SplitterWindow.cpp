#include "SplitterWindow.h"

#include "Assert.h"
#include "Log.h"
#include "WindowPaint.h"

#include <algorithm>
#include <cwchar>

namespace {

const int LOG_KEY = LogRegisterKey("L_SplitterWindow", true);

const int CLASS_NAME_LENGTH = 40;

// A bar pushed to an edge leaves its pane no room, not a negative size.
void movePane(HWND pane, const RECT& r)
{
  MoveWindow(pane, r.left, r.top, std::max(0L, r.right - r.left), std::max(0L, r.bottom - r.top), TRUE);
}

}

SplitterWindow::SplitterWindow(HINSTANCE instance)
  : _horizontalBar(true), _fixedBar(false), _barPos(320), _barThickness(5), _gravity(0.5),
    _hover(false), _lastWidth(0), _lastHeight(0), _dragStartX(0), _dragStartY(0), _dragging(false), _dragStartPos(0),
    _size1(0), _size2(0), _visibleMask(3)
{
  _panes[0] = _panes[1] = 0;
  className = L"SplitterWindow";
  title = L"insert title here";
  style |= WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN;
  windowClass.style |= CS_HREDRAW | CS_VREDRAW;
  windowClass.hCursor = 0;
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW);
  hInstance = instance;
}

HWND SplitterWindow::create(HWND parentWindow)
{
  Window::create(CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, parentWindow, 0, hInstance);
  ASSERT(hwnd);
  return hwnd;
}

void SplitterWindow::setPanes(HWND first, HWND second, bool sideBySide)
{
  _horizontalBar = !sideBySide;
  _panes[0] = first ? first : second;
  _panes[1] = first ? second : 0;
}

void SplitterWindow::setGravity(int size1, int size2, double gravity)
{
  _size1 = size1;
  _size2 = size2;
  _gravity = gravity;
  // The panes may be new: lay them out even when the bar stays put.
  recompute(true);
}

RECT SplitterWindow::transposed(RECT r) const
{
  if (_horizontalBar) {
    std::swap(r.left, r.top);
    std::swap(r.right, r.bottom);
  }
  return r;
}

int SplitterWindow::extent()
{
  return transposed(getClientRect()).right;
}

void SplitterWindow::recompute(bool force)
{
  RECT client = getClientRect();
  int length = transposed(client).right;
  int barPos = static_cast<int>((1.0 - _gravity) * (length - _size1 - _size2)) + _size1;
  if (barPos < 0)
    barPos = 0;
  if (!force && barPos == _barPos && client.right == _lastWidth && client.bottom == _lastHeight)
    return;
  _barPos = barPos;
  _lastWidth = client.right;
  _lastHeight = client.bottom;
  layout();
}

void SplitterWindow::layout()
{
  RECT client = getClientRect();
  if (_visibleMask == 1 || _visibleMask == 2) {
    HWND pane = _panes[_visibleMask - 1];
    if (pane)
      movePane(pane, client);
    return;
  }
  if (_visibleMask != 3)
    return;
  RECT first = transposed(client);
  RECT second = first;
  first.right = first.left + _barPos - _barThickness / 2;
  second.left = second.left + _barPos + _barThickness / 2;
  _size1 = _barPos;
  _size2 = second.right - _barPos;
  RECT moved[2] = {transposed(first), transposed(second)};
  for (int i = 0; i < 2; i++) {
    if (_panes[i])
      movePane(_panes[i], moved[i]);
  }
}

RECT SplitterWindow::getBarRect()
{
  RECT bar = transposed(getClientRect());
  bar.left += _barPos - _barThickness / 2;
  bar.right = bar.left + _barThickness;
  return transposed(bar);
}

void SplitterWindow::mouseMove(int x, int y)
{
  if (_fixedBar) {
    _hover = _dragging;
    return;
  }
  if (pointInRect(getBarRect(), x, y)) {
    SetCursor(LoadCursorW(nullptr, _horizontalBar ? IDC_SIZENS : IDC_SIZEWE));
    _hover = true;
  } else {
    _hover = _dragging;
  }
  if (!_dragging)
    return;
  int delta = _horizontalBar ? y - _dragStartY : x - _dragStartX;
  int length = extent();
  _barPos = _dragStartPos + delta;
  if (_barPos > length - _barThickness / 2)
    _barPos = length - _barThickness / 2;
  else if (_barPos < _barThickness / 2)
    _barPos = _barThickness / 2;
  layout();
  InvalidateRect(hwnd, nullptr, FALSE);
}

void SplitterWindow::paint(HDC dc)
{
  RECT client = getClientRect();
  FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
}

bool SplitterWindow::parentIsSplitter()
{
  HWND parentWindow = GetParent(hwnd);
  wchar_t name[CLASS_NAME_LENGTH];
  return parentWindow && GetClassNameW(parentWindow, name, CLASS_NAME_LENGTH) && wcscmp(name, className) == 0;
}

void SplitterWindow::changeVisibility(HWND pane, bool visible)
{
  if (!pane)
    return;
  int bit = pane == _panes[0] ? 1 : pane == _panes[1] ? 2 : 0;
  if (!bit) {
    LogPrintf(LOG_KEY, "%p is no pane of splitter %p", static_cast<void*>(pane), static_cast<void*>(hwnd));
    return;
  }
  int old = _visibleMask;
  _visibleMask = visible ? old | bit : old & ~bit;
  // A splitter with nothing to show takes no room in its parent splitter.
  if ((old == 0) != (_visibleMask == 0) && parentIsSplitter())
    SendMessageW(GetParent(hwnd), visible ? SPLITTER_SHOW_PANE : SPLITTER_HIDE_PANE, reinterpret_cast<WPARAM>(hwnd), 0);
  if (_visibleMask == old)
    return;
  for (int i = 0; i < 2; i++) {
    bool shown = (_visibleMask & (1 << i)) != 0;
    if (_panes[i] && shown == visible)
      ShowWindow(_panes[i], visible ? SW_SHOW : SW_HIDE);
  }
  layout();
}

void SplitterWindow::hidePane(HWND pane)
{
  changeVisibility(pane, false);
}

void SplitterWindow::showPane(HWND pane)
{
  changeVisibility(pane, true);
}

LRESULT SplitterWindow::handleMessage(HWND h, UINT msg, WPARAM wParam, LPARAM lParam, BOOL* handled)
{
  *handled = TRUE;
  int x = static_cast<short>(LOWORD(lParam));
  int y = static_cast<short>(HIWORD(lParam));
  switch (msg) {
  case WM_ERASEBKGND:
    return 1;
  case WM_PAINT:
  case WM_PRINTCLIENT:
    paintOnMessage(h, msg, wParam, [this](HDC dc) { paint(dc); });
    return 0;
  case WM_SIZE:
    recompute(false);
    invalidate();
    return 0;
  case WM_COMMAND:
    return SendMessageW(GetParent(h), msg, wParam, lParam);
  case WM_MOUSEMOVE:
    mouseMove(x, y);
    return 0;
  case WM_LBUTTONDOWN:
    if (_hover) {
      mouseMove(x, y);
      _dragStartX = x;
      _dragStartY = y;
      _dragging = true;
      _dragStartPos = _barPos;
      SetCapture(h);
    }
    return 0;
  case WM_LBUTTONUP:
    if (_hover) {
      mouseMove(x, y);
      _dragging = false;
      RECT bar = getBarRect();
      InvalidateRect(h, &bar, FALSE);
      ReleaseCapture();
    }
    return 0;
  case WM_CAPTURECHANGED:
    // Capture taken away mid-drag (a menu, another window) ends the drag.
    _dragging = false;
    return 0;
  case SPLITTER_HIDE_PANE:
    hidePane(reinterpret_cast<HWND>(wParam));
    return 0;
  case SPLITTER_SHOW_PANE:
    showPane(reinterpret_cast<HWND>(wParam));
    return 0;
  default:
    return Window::handleMessage(h, msg, wParam, lParam, handled);
  }
}
