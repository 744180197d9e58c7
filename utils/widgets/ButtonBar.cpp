#include "ButtonBar.h"

#include "Assert.h"
#include "ButtonWindow.h"
#include "DebugHeap.h"
#include "Log.h"
#include "WindowPaint.h"

#include <algorithm>

const int BUTTON_BAR_LOG_KEY = LogRegisterKey("D_ButtonBar", false);

namespace {

const double PICTURE_SCALE = 0.8;

}

ButtonBar::Entry::Entry(ButtonWindow* ownButton, HWND itemWindow, int command)
  : button(ownButton), window(itemWindow), commandId(command)
{
}

ButtonBar::Entry::~Entry()
{
  delete button;
}

ButtonBar::ButtonBar(HINSTANCE instance)
  : _scaleImages(false), _spacing(BUTTON_BAR_SPACING),
    _entries(static_cast<Entry**>(DEBUG_CALLOC(MAX_BUTTON_BAR_ITEMS, sizeof(Entry*)))), _count(0),
    _commandTarget(nullptr), _backgroundColour(BUTTON_BAR_BACKGROUND), _backgroundImage(nullptr), _alignRight(false)
{
  hInstance = instance;
  className = L"ButtonBar";
  title = L"insert title here";
  style |= WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
  windowClass.style |= CS_HREDRAW | CS_VREDRAW;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW);
}

ButtonBar::~ButtonBar()
{
  for (int i = 0; i < _count; ++i)
    delete _entries[i];
  DEBUG_FREE(_entries);
  delete _backgroundImage;
}

void ButtonBar::create(HWND parentWindow, bool scaleImages)
{
  _commandTarget = parentWindow;
  _scaleImages = scaleImages;
  if (!Window::create(0, 0, 10, 10, parentWindow, nullptr, hInstance))
    LogPrintf(BUTTON_BAR_LOG_KEY, "Cannot create the button bar: %lu", GetLastError());
}

void ButtonBar::setBackgroundImage(LPCWSTR resource, bool alignRight)
{
  Bitmap* image = new Bitmap;
  if (!image->loadResource(resource)) {
    LogPrintf(BUTTON_BAR_LOG_KEY, "No background picture");
    delete image;
    return;
  }
  delete _backgroundImage;
  _backgroundImage = image;
  _alignRight = alignRight;
}

// A picture that cannot be loaded stays an empty 1 × 1 one and is not
// scaled, which would leave no pixel of it.
BitmapPtr ButtonBar::loadPicture(LPCWSTR resource)
{
  BitmapPtr picture;
  picture.reset(new Bitmap);
  if (!picture->loadResource(resource)) {
    LogPrintf(BUTTON_BAR_LOG_KEY, "A button picture is missing");
    return picture;
  }
  if (_scaleImages) {
    HDC screen = GetDC(nullptr);
    picture->resize(screen, std::max(1, static_cast<int>(picture->width() * PICTURE_SCALE)),
                    std::max(1, static_cast<int>(picture->height() * PICTURE_SCALE)));
    ReleaseDC(nullptr, screen);
  }
  return picture;
}

void ButtonBar::addButton(int commandId, LPCWSTR out, LPCWSTR over, LPCWSTR down, LPCWSTR inactive)
{
  if (_count >= MAX_BUTTON_BAR_ITEMS)
    return;
  ButtonWindow* button = new ButtonWindow(hInstance);
  button->create(hwnd, commandId);
  const LPCWSTR pictures[BUTTON_STATES] = {inactive, out, over, down};
  // In the order out, over, down, then the inactive one.
  for (int state : {BUTTON_OUT, BUTTON_OVER, BUTTON_DOWN, BUTTON_INACTIVE}) {
    if (pictures[state])
      button->setImage(state, loadPicture(pictures[state]));
  }
  append(new Entry(button, button->hwnd, commandId));
}

void ButtonBar::addButton(int commandId, WORD out, WORD over, WORD down, WORD inactive)
{
  auto resource = [](WORD id) { return id ? MAKEINTRESOURCEW(id) : nullptr; };
  addButton(commandId, resource(out), resource(over), resource(down), resource(inactive));
}

void ButtonBar::addWindow(HWND window)
{
  if (_count >= MAX_BUTTON_BAR_ITEMS)
    return;
  append(new Entry(nullptr, window, 0));
}

void ButtonBar::append(Entry* entry)
{
  _entries[_count++] = entry;
  layout();
}

ButtonBar::Entry* ButtonBar::findEntry(int commandId)
{
  for (int i = 0; i < _count; ++i) {
    if (_entries[i]->button && _entries[i]->commandId == commandId)
      return _entries[i];
  }
  return nullptr;
}

void ButtonBar::setButtonActive(int commandId, bool active)
{
  Entry* entry = findEntry(commandId);
  ASSERT(entry);
  if (entry)
    entry->button->setActive(active);
}

bool ButtonBar::isHorizontal()
{
  RECT client = getClientRect();
  return client.bottom - client.top < client.right - client.left;
}

// Items keep their own size: the outer size, so that an item with a border
// is not shrunk by it.
void ButtonBar::layout()
{
  RECT client = getClientRect();
  int barWidth = client.right - client.left;
  int barHeight = client.bottom - client.top;
  bool horizontal = barHeight < barWidth;
  int pos = _spacing;
  for (int i = 0; i < _count; ++i) {
    RECT outer;
    GetWindowRect(_entries[i]->window.hwnd, &outer);
    int w = outer.right - outer.left;
    int h = outer.bottom - outer.top;
    int x = horizontal ? pos : barWidth / 2 - w / 2;
    int y = horizontal ? barHeight / 2 - h / 2 : pos;
    pos = horizontal ? x + w + _spacing : y + h + _spacing;
    _entries[i]->window.moveWindow(x, y, w, h, true);
  }
}

void ButtonBar::paint(HDC dc)
{
  RECT client = getClientRect();
  GdiBrush brush(_backgroundColour);
  FillRect(dc, &client, brush.getHandle());
  if (!_backgroundImage)
    return;
  int x = _alignRight ? client.right - _backgroundImage->width() : 0;
  _backgroundImage->draw(dc, x, 0, _backgroundImage->width(), _backgroundImage->height(), 0, 0);
}

LRESULT ButtonBar::handleMessage(HWND h, UINT msg, WPARAM wParam, LPARAM lParam, BOOL* handled)
{
  *handled = TRUE;
  if (paintOnMessage(h, msg, wParam, [this](HDC dc) { paint(dc); }))
    return 0;
  switch (msg) {
  case WM_CREATE:
  case WM_DESTROY:
  case WM_CLOSE:
  case WM_KEYDOWN:
  case WM_MOUSEMOVE:
  case WM_LBUTTONDOWN:
  case WM_LBUTTONUP:
    return 0;
  case WM_SIZE:
    layout();
    return 0;
  case WM_ERASEBKGND:
    return 1;
  case WM_COMMAND:
    SendMessageW(_commandTarget, WM_COMMAND, wParam, lParam);
    return 0;
  }
  return Window::handleMessage(h, msg, wParam, lParam, handled);
}
