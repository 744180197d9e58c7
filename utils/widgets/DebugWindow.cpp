#include "DebugWindow.h"

#include "Assert.h"
#include "ClipboardHelper.h"
#include "DebugHeap.h"
#include "Log.h"

#include <algorithm>
#include <string>

namespace {

const int LOG_KEY = LogRegisterKey("L_DebugWindow", true);

const COLORREF STYLE_COLOURS[DEBUG_WINDOW_STYLES] = {
  0x888888, 0x008800, 0x008888, 0x880088, 0x884400, 0x000088, 0x444444,
  0x0000FF, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF,
};

// About ten milliseconds of work: the window answers between batches.
const size_t MAX_DRAIN_BATCH = 10000;

const COLORREF BACKGROUND = 0x000000;
const COLORREF TEXT = 0xC8C8C8;
const COLORREF SELECTED_BACKGROUND = 0x800000;

}

DebugWindow::DebugWindow(HINSTANCE instance)
  : FlexListView(instance), _font(nullptr), _styles(), _drainPosted(false), _menu(false),
    _maxLines(DEFAULT_MAX_LOG_LINES)
{
  _menu.append(L"&Copy to Clipboard", DEBUG_WINDOW_COPY);
  className = L"DebugWindow";
  title = L"Debug Window";
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW));
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
}

DebugWindow::~DebugWindow()
{
  delete _font;
  for (Item& item : _queue)
    DEBUG_FREE(item.text);
}

HWND DebugWindow::create(HWND parentWindow)
{
  HMENU menu = 0;
  if (parentWindow) {
    style |= WS_VISIBLE;
  } else {
    style = (style | WS_OVERLAPPEDWINDOW | WS_VISIBLE) & ~WS_CHILD;
    // The window destroys its menu bar with itself.
    menu = _menu.handOver();
  }
  if (!Window::create(CW_USEDEFAULT, CW_USEDEFAULT, 512, 512, parentWindow, menu, hInstance)) {
    LogPrintf(LOG_KEY, "Could not create the log window: error %lu.", GetLastError());
    ASSERT(false);
  }
  // Lines added before the window existed had nothing to post to.
  MUTEX_LOCK(_queueLock);
  if (!_queue.empty() && !_drainPosted)
    _drainPosted = postDrain();
  MUTEX_UNLOCK(_queueLock);
  _font = new Font(L"Lucida Console", 12);
  setFont(_font);
  setColours(BACKGROUND, TEXT, SELECTED_BACKGROUND, TEXT);
  addLine(L"Debug Window Started.", "");
  for (int i = 0; i < DEBUG_WINDOW_STYLES; i++) {
    _styles[i] = *getStyle();
    _styles[i].text = STYLE_COLOURS[i];
  }
  return hwnd;
}

int DebugWindow::styleOf(const char* key)
{
  // 32-bit FNV-1
  unsigned hash = 2166136261u;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(key); *p; p++)
    hash = (hash * 16777619u) ^ *p;
  return (hash >> 8) % DEBUG_WINDOW_STYLES;
}

// One posted message is outstanding while lines wait. A post that fails
// leaves none outstanding, so the next line posts again.
void DebugWindow::addLine(const wchar_t* text, const char* key)
{
  Item item = {DEBUG_WCSDUP(text), key};
  MUTEX_LOCK(_queueLock);
  _queue.push_back(item);
  if (!_drainPosted)
    _drainPosted = postDrain();
  MUTEX_UNLOCK(_queueLock);
}

bool DebugWindow::postDrain()
{
  return hwnd && PostMessageW(hwnd, WM_USER, 0, 0);
}

// Lines are taken in bounded batches, the next one posted; queued lines that
// the limit would trim at once are dropped unseen. Producers wait while a
// batch is taken. The new lines are laid out before the oldest go, so the
// tops that trimming reads are right and a view scrolled up keeps its lines.
void DebugWindow::drainQueue()
{
  bool atEnd = isAtEnd();
  std::vector<ListItem*> lines;
  MUTEX_LOCK(_queueLock);
  while (_queue.size() > static_cast<size_t>(_maxLines)) {
    DEBUG_FREE(_queue.front().text);
    _queue.pop_front();
  }
  for (size_t taken = 0; taken < MAX_DRAIN_BATCH && !_queue.empty(); taken++) {
    Item item = _queue.front();
    _queue.pop_front();
    LineItem* line = new LineItem(&_styles[styleOf(item.key)]);
    line->setText(item.text);
    lines.push_back(line);
    DEBUG_FREE(item.text);
  }
  append(lines);
  if (getCount() > _maxLines)
    removeFirst(getCount() - _maxLines);
  _drainPosted = !_queue.empty() && postDrain();
  MUTEX_UNLOCK(_queueLock);
  if (atEnd)
    scrollToEnd();
}

void DebugWindow::copyToClipboard()
{
  std::wstring all;
  for (int i = 0; i < getCount(); i++) {
    const wchar_t* text = getText(i);
    if (text)
      all += text;
    all += L"\r\n";
  }
  if (!ClipboardHelper::setText(hwnd, all.c_str(), static_cast<int>(all.size())))
    LogPrintf(LOG_KEY, "Could not copy the log to the clipboard.");
}

LRESULT DebugWindow::handleMessage(HWND h, UINT msg, WPARAM wParam, LPARAM lParam, BOOL* handled)
{
  switch (msg) {
  case WM_CLOSE:
    PostQuitMessage(0);
    *handled = TRUE;
    return 0;
  case WM_COMMAND:
    if (LOWORD(wParam) == DEBUG_WINDOW_COPY)
      copyToClipboard();
    *handled = TRUE;
    return 0;
  case WM_USER:
    drainQueue();
    break;
  default:
    break;
  }
  return FlexListView::handleMessage(h, msg, wParam, lParam, handled);
}
