#include "Window.h"

#include "Assert.h"
#include "DebugHeap.h"
#include "Log.h"
#include "WindowHelpers.h"
#include "WindowLog.h"

#include <cstring>
#include <utility>

namespace {

bool _baseWndInit = false;
HINSTANCE _instance = 0;
double mmPerPixelX = 1.0;
double mmPerPixelY = 1.0;

}

const int WINDOW_LOG_KEY = LogRegisterKey("L_BaseWnd", true);

WindowMap windowMap;

// ---------------------------------------------------------------- WindowFunctions

RECT WindowFunctions::getClientRect()
{
  RECT r = {0, 0, 0, 0};
  GetClientRect(hwnd, &r);
  return r;
}

void WindowFunctions::moveWindow(int x, int y, int width, int height, bool repaint)
{
  MoveWindow(hwnd, x, y, width, height, repaint);
}

void WindowFunctions::moveWindow(const RECT& r, bool repaint)
{
  RECT n = r;
  normalizeRect(n);
  MoveWindow(hwnd, n.left, n.top, n.right - n.left, n.bottom - n.top, repaint);
}

void WindowFunctions::resize(int width, int height)
{
  RECT r;
  GetWindowRect(hwnd, &r);
  // MoveWindow places a child in its parent's client coordinates.
  HWND parentWindow = (GetWindowLongW(hwnd, GWL_STYLE) & WS_CHILD) ? GetParent(hwnd) : 0;
  if (parentWindow)
    MapWindowPoints(HWND_DESKTOP, parentWindow, reinterpret_cast<POINT*>(&r), 1);
  if (!MoveWindow(hwnd, r.left, r.top, width, height, TRUE)) {
    logLastError("MoveWindow");
    ASSERT(0);
  }
}

void WindowFunctions::invalidate()
{
  if (hwnd)
    debugInvalidateRect(hwnd, nullptr, FALSE);
}

void WindowFunctions::setText(const wchar_t* text)
{
  SetWindowTextW(hwnd, text);
}

bool WindowFunctions::isMaximized()
{
  WINDOWPLACEMENT placement;
  placement.length = sizeof(placement);
  if (!GetWindowPlacement(hwnd, &placement)) {
    ASSERT(0);
    return false;
  }
  return placement.showCmd == SW_SHOWMAXIMIZED;
}

RECT WindowFunctions::getChildRect(HWND child)
{
  RECT r;
  GetWindowRect(child, &r);
  ScreenToClient(hwnd, reinterpret_cast<POINT*>(&r.left));
  ScreenToClient(hwnd, reinterpret_cast<POINT*>(&r.right));
  return r;
}

HFONT WindowFunctions::getFont()
{
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
  return font ? font : static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
}

void WindowFunctions::setFont(HFONT font)
{
  SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

// ---------------------------------------------------------------- Window

Window::Window()
  : parent(0), hInstance(0), exStyle(0), style(0), className(L"Window"), title(L""), handlers(nullptr),
    beingDestroyed(false), keepWindow(false)
{
  memset(&windowClass, 0, sizeof(windowClass));
  windowClass.cbSize = WINDOW_CLASS_RECORD_SIZE;
  windowClass.style = CS_DBLCLKS;
  windowClass.lpfnWndProc = windowProc;
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
}

Window::~Window()
{
  beingDestroyed = true;
  parent = 0;
  hInstance = 0;
  className = nullptr;
  title = nullptr;
  if (!keepWindow && IsWindow(hwnd)) {
    // No message of the destruction may reach the half-destroyed object.
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    DestroyWindow(hwnd);
  }
  DEBUG_FREE(handlers);
  handlers = nullptr;
}

HWND Window::create(int x, int y, int width, int height, HWND parentWindow, HMENU menu, HINSTANCE instance)
{
  windowClass.lpszClassName = className;
  windowClass.hInstance = instance;
  hInstance = instance;
  // A class registered by an earlier window of this class is fine.
  RegisterClassExW(&windowClass);
  GetLastError();
  hwnd = CreateWindowExW(exStyle, className, title, style, x, y, width, height, parentWindow, menu, instance, this);
  parent = parentWindow;
  if (!hwnd)
    logLastError("CreateWindowExW");
  return hwnd;
}

void Window::addHandler(UINT msg, MessageHandler* object, MessageHandlerFunction handler)
{
  if (!handlers)
    handlers = static_cast<MessageHandlerTable*>(DEBUG_CALLOC(1, sizeof(MessageHandlerTable)));
  if (handlers->count >= MAX_MESSAGE_HANDLERS) {
    ASSERT(0);
    return;
  }
  handlers->messages[handlers->count] = msg;
  handlers->objects[handlers->count] = object;
  handlers->functions[handlers->count] = handler;
  handlers->count++;
}

LRESULT Window::handleMessage(HWND h, UINT msg, WPARAM wParam, LPARAM lParam, BOOL* handled)
{
  *handled = FALSE;
  if (!handlers)
    return 0;
  for (unsigned i = 0; i < handlers->count; i++) {
    if (handlers->messages[i] != msg)
      continue;
    (handlers->objects[i]->*handlers->functions[i])(this, msg, lParam, wParam);
    *handled = TRUE;
    // A handler that deleted this object cut the window's link to it: its
    // table is gone with it.
    if (GetWindowLongPtrW(h, GWLP_USERDATA) != reinterpret_cast<LONG_PTR>(this))
      return 0;
  }
  return 0;
}

LRESULT CALLBACK Window::windowProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam)
{
  if (msg == WM_NCCREATE) {
    Window* created = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
    created->hwnd = h;
  }
  BOOL handled = FALSE;
  LRESULT result = 0;
  Window* object = reinterpret_cast<Window*>(GetWindowLongPtrW(h, GWLP_USERDATA));
  if (object && !object->beingDestroyed)
    result = object->handleMessage(h, msg, wParam, lParam, &handled);
  // A handler may have deleted its own object, which cut the link.
  if (object && msg == WM_DESTROY && GetWindowLongPtrW(h, GWLP_USERDATA) == reinterpret_cast<LONG_PTR>(object))
    object->hwnd = 0;
  return handled ? result : DefWindowProcW(h, msg, wParam, lParam);
}

// ---------------------------------------------------------------- SubclassedWindow

SubclassedWindow::~SubclassedWindow()
{
  if (hwnd)
    unsubclass();
}

void SubclassedWindow::subclass(HWND h)
{
  ASSERT(this->hwnd == 0);
  hwnd = h;
  oldProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(subclassProc)));
  windowMap.setSubclassed(h, this);
}

void SubclassedWindow::unsubclass()
{
  SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(oldProc));
  oldProc = 0;
  windowMap.removeSubclassed(hwnd, this);
  hwnd = 0;
}

LRESULT SubclassedWindow::handleMessage(HWND, UINT, WPARAM, LPARAM, BOOL* handled)
{
  *handled = FALSE;
  return 0;
}

LRESULT CALLBACK SubclassedWindow::subclassProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam)
{
  SubclassedWindow* object = windowMap.getSubclassed(h);
  if (!object)
    return DefWindowProcW(h, msg, wParam, lParam);
  // The handler may delete the object, whose destructor gives the window its
  // own procedure back: what the message still needs is read first.
  WNDPROC proc = object->oldProc;
  BOOL handled = FALSE;
  LRESULT result = object->handleMessage(h, msg, wParam, lParam, &handled);
  // The window's own procedure still has to see its WM_DESTROY.
  if (msg == WM_DESTROY && windowMap.getSubclassed(h) == object)
    object->unsubclass();
  if (handled)
    return result;
  return proc ? CallWindowProcW(proc, h, msg, wParam, lParam) : DefWindowProcW(h, msg, wParam, lParam);
}

// ---------------------------------------------------------------- WindowMap

WindowMap::WindowMap()
{
  memset(_buckets, 0, sizeof(_buckets));
}

WindowMap::~WindowMap()
{
  for (WindowMapItem*& head : _buckets) {
    while (head) {
      WindowMapItem* next = head->next;
      DEBUG_FREE(head);
      head = next;
    }
  }
}

WindowMapItem* WindowMap::find(HWND h)
{
  for (WindowMapItem* item = _buckets[bucketOf(h)]; item; item = item->next) {
    if (item->hwnd == h)
      return item;
  }
  return nullptr;
}

WindowMapItem* WindowMap::findOrAdd(HWND h)
{
  WindowMapItem* item = find(h);
  if (item)
    return item;
  item = static_cast<WindowMapItem*>(DEBUG_CALLOC(1, sizeof(WindowMapItem)));
  item->hwnd = h;
  item->next = _buckets[bucketOf(h)];
  _buckets[bucketOf(h)] = item;
  return item;
}

void WindowMap::removeIfEmpty(WindowMapItem* item)
{
  if (item->dialog || item->subclassed)
    return;
  for (WindowMapItem** link = &_buckets[bucketOf(item->hwnd)]; *link; link = &(*link)->next) {
    if (*link == item) {
      *link = item->next;
      DEBUG_FREE(item);
      return;
    }
  }
  ASSERT(0);
}

template <class T>
void WindowMap::set(HWND h, T* WindowMapItem::*field, T* object)
{
  WindowMapItem* item = findOrAdd(h);
  ASSERT(item->*field == 0);
  item->*field = object;
}

template <class T>
T* WindowMap::get(HWND h, T* WindowMapItem::*field)
{
  WindowMapItem* item = find(h);
  return item ? item->*field : nullptr;
}

template <class T>
void WindowMap::remove(HWND h, T* WindowMapItem::*field, T* object)
{
  WindowMapItem* item = find(h);
  if (!item || item->*field != object) {
    ASSERT(0);
    return;
  }
  item->*field = nullptr;
  removeIfEmpty(item);
}

void WindowMap::setDialog(HWND h, Dialog* dialog)
{
  set(h, &WindowMapItem::dialog, dialog);
}

Dialog* WindowMap::getDialog(HWND h)
{
  return get(h, &WindowMapItem::dialog);
}

void WindowMap::removeDialog(HWND h, Dialog* dialog)
{
  remove(h, &WindowMapItem::dialog, dialog);
}

void WindowMap::setSubclassed(HWND h, SubclassedWindow* window)
{
  set(h, &WindowMapItem::subclassed, window);
}

SubclassedWindow* WindowMap::getSubclassed(HWND h)
{
  return get(h, &WindowMapItem::subclassed);
}

void WindowMap::removeSubclassed(HWND h, SubclassedWindow* window)
{
  remove(h, &WindowMapItem::subclassed, window);
}

// ---------------------------------------------------------------- framework

void initBaseWnd(HINSTANCE instance, double scale)
{
  _baseWndInit = true;
  _instance = instance;
  int longSide = GetSystemMetrics(SM_CXSCREEN);
  int shortSide = GetSystemMetrics(SM_CYSCREEN);
  bool portrait = shortSide > longSide;
  if (portrait)
    std::swap(longSide, shortSide);
  // A large screen is taken to be 377 x 302 mm, a small one 286 x 215 mm.
  bool large = longSide > 1024;
  mmPerPixelX = (large ? 377.0 : 286.0) / longSide / scale;
  mmPerPixelY = (large ? 302.0 : 215.0) / shortSide / scale;
  if (portrait)
    std::swap(mmPerPixelX, mmPerPixelY);
}

HINSTANCE getInstance()
{
  ASSERT(_baseWndInit);
  return _instance;
}

int mmToPixelsX(int mm)
{
  ASSERT(_baseWndInit);
  return static_cast<int>(mm / mmPerPixelX);
}

int mmToPixelsY(int mm)
{
  ASSERT(_baseWndInit);
  return static_cast<int>(mm / mmPerPixelY);
}

int twipsToPixelsX(int twips)
{
  ASSERT(_baseWndInit);
  return mmToPixelsX(static_cast<int>(twips * 25.4 / 1440));
}

int twipsToPixelsY(int twips)
{
  ASSERT(_baseWndInit);
  return mmToPixelsY(static_cast<int>(twips * 25.4 / 1440));
}

static_assert(sizeof(WNDCLASSEXW) == WINDOW_CLASS_RECORD_SIZE, "window class record");
