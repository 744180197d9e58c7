#include "ButtonWindow.h"

#include "Assert.h"
#include "Log.h"
#include "WindowPaint.h"

#include <algorithm>

const int BUTTON_WINDOW_LOG_KEY = LogRegisterKey("D_ButtonWindow", false);

namespace {

const int NO_SIZE_YET = 12000;

}

ButtonWindow::ButtonWindow(HINSTANCE instance) : _state(BUTTON_OUT), _commandId(0), _pressed(false)
{
  hInstance = instance;
  className = L"ButtonWindow";
  title = L"Button Window";
  style |= WS_CHILD | WS_VISIBLE;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW);
}

ButtonWindow::~ButtonWindow()
{
  for (BitmapPtr& image : _images)
    image.release();
}

void ButtonWindow::create(HWND parentWindow, int commandId)
{
  HWND made = Window::create(CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, parentWindow, nullptr,
                             hInstance);
  if (!made)
    LogPrintf(BUTTON_WINDOW_LOG_KEY, "Cannot create the button window: %lu", GetLastError());
  ASSERT(made);
  _commandId = commandId;
}

void ButtonWindow::setImage(int state, BitmapPtr image)
{
  ASSERT(state >= 0 && state < BUTTON_STATES);
  if (state < 0 || state >= BUTTON_STATES)
    return;
  _images[state] = image;
  fitToImages();
  if (state == _state)
    InvalidateRect(hwnd, nullptr, TRUE);
}

void ButtonWindow::fitToImages()
{
  int width = NO_SIZE_YET;
  int height = NO_SIZE_YET;
  for (const BitmapPtr& image : _images) {
    if (!image.isSet())
      continue;
    width = std::min(width, image->width());
    height = std::min(height, image->height());
  }
  RECT client = getClientRect();
  if (client.right - client.left != width || client.bottom - client.top != height)
    resize(width, height);
}

void ButtonWindow::setState(int state)
{
  if (state == _state)
    return;
  _state = state;
  InvalidateRect(hwnd, nullptr, TRUE);
}

void ButtonWindow::setActive(bool active)
{
  _state = active ? BUTTON_OUT : BUTTON_INACTIVE;
  InvalidateRect(hwnd, nullptr, TRUE);
}

void ButtonWindow::paint(HDC dc)
{
  for (int state = _state; state >= 0; --state) {
    Bitmap* image = _images[state].get();
    if (image) {
      image->draw(dc, 0, 0, image->width(), image->height(), 0, 0);
      return;
    }
  }
}

void ButtonWindow::onMouseMove(WPARAM keys)
{
  // A button held since a press elsewhere is no press of this one.
  if (!(keys & MK_LBUTTON))
    _pressed = false;
  if (_state == BUTTON_INACTIVE || _state == BUTTON_OVER)
    return;
  setState(_pressed ? BUTTON_DOWN : BUTTON_OVER);
  TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, hwnd, 0};
  _TrackMouseEvent(&track);
}

// A release clicks only when the press began on this button: the button does
// not capture the mouse, so a drag from elsewhere must not count. An inactive
// button still clicks.
void ButtonWindow::onButtonUp()
{
  bool click = _pressed;
  _pressed = false;
  if (_state != BUTTON_INACTIVE)
    setState(BUTTON_OVER);
  HWND owner = reinterpret_cast<HWND>(GetWindowLongPtrW(hwnd, GWLP_HWNDPARENT));
  if (click && owner)
    SendMessageW(owner, WM_COMMAND, MAKEWPARAM(_commandId, BN_CLICKED), reinterpret_cast<LPARAM>(hwnd));
}

LRESULT ButtonWindow::handleMessage(HWND h, UINT msg, WPARAM wParam, LPARAM lParam, BOOL* handled)
{
  *handled = TRUE;
  if (paintOnMessage(h, msg, wParam, [this](HDC dc) { paint(dc); }))
    return 0;
  switch (msg) {
  case WM_CREATE:
  case WM_DESTROY:
  case WM_SIZE:
  case WM_CLOSE:
  case WM_KEYDOWN:
  case WM_COMMAND:
    return 0;
  case WM_ERASEBKGND:
    return 1;
  case WM_MOUSEMOVE:
    onMouseMove(wParam);
    return 0;
  case WM_LBUTTONDOWN:
    _pressed = true;
    if (_state != BUTTON_INACTIVE)
      setState(BUTTON_DOWN);
    return 0;
  case WM_LBUTTONUP:
    onButtonUp();
    return 0;
  case WM_MOUSELEAVE:
    if (_state != BUTTON_INACTIVE)
      setState(BUTTON_OUT);
    return 0;
  }
  return Window::handleMessage(h, msg, wParam, lParam, handled);
}
