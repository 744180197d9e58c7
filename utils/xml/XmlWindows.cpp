#include "XmlWindows.h"

#include "Assert.h"
#include "ButtonBar.h"
#include "Log.h"
#include "StringUtil.h"
#include "WindowPaint.h"
#include "XmlApplication.h"
#include "XmlApplicationInternal.h"

#include <algorithm>
#include <cwchar>

namespace {

const int MAX_DROPPED_PATH = 260;
const int MAX_TITLE = 127;
const int EDIT_FACTORY_SIZE = 100;
const int EDIT_CONTROL_ID = 1;
const int IMAGE_GAP = 3;

}

// ---------------------------------------------------------------- XmlAppFactory

WindowFunctions* XmlAppFactory::create(HINSTANCE, HWND parent, const std::wstring& type)
{
  if (type != L"edit")
    return nullptr;
  EditControl* edit = new EditControl;
  edit->create(0, 0, 0, EDIT_FACTORY_SIZE, EDIT_FACTORY_SIZE, parent, EDIT_CONTROL_ID);
  return edit;
}

// ---------------------------------------------------------------- XmlHiddenWindow

XmlHiddenWindow::XmlHiddenWindow(HINSTANCE instance, XmlApplication* application) : _application(application)
{
  className = L"XmlHiddenWindow";
  style |= WS_CLIPCHILDREN | WS_SYSMENU | WS_THICKFRAME;
  windowClass.style |= CS_HREDRAW | CS_VREDRAW;
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW);
  windowClass.hCursor = nullptr;
  create(0, 0, 0, 0, 0, 0, instance);
  ASSERT(hwnd);
}

LRESULT XmlHiddenWindow::handleMessage(HWND h, UINT msg, WPARAM wParam, LPARAM lParam, BOOL* handled)
{
  if (msg == WM_TRAY_NOTIFY)
    _application->onTrayMessage(static_cast<UINT>(wParam), static_cast<UINT>(lParam));
  *handled = FALSE;
  return Window::handleMessage(h, msg, wParam, lParam, handled);
}

// ---------------------------------------------------------------- DefaultXmlFrameWindow

DefaultXmlFrameWindow::DefaultXmlFrameWindow(HINSTANCE instance, XmlApplication* application,
                                             const std::wstring& icon)
  : _content(nullptr), _application(application), _buttonBar(nullptr), _barIsHorizontal(false)
{
  className = L"DefaultXmlFrameWindow";
  title = L"DefaultXmlFrameWindow Window";
  style |= WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.style |= CS_HREDRAW | CS_VREDRAW;
  windowClass.hIcon = icon.empty() ? nullptr : LoadIconW(instance, icon.c_str());
}

ButtonBar* DefaultXmlFrameWindow::setButtonBar(ButtonBar* bar)
{
  ButtonBar* replaced = _buttonBar;
  _buttonBar = bar;
  _barIsHorizontal = bar->isHorizontal();
  return replaced;
}

void DefaultXmlFrameWindow::setDropCommand(const std::wstring& command)
{
  _dropCommand = command;
  if (hwnd)
    DragAcceptFiles(hwnd, TRUE);
}

void DefaultXmlFrameWindow::layout()
{
  RECT r = getClientRect();
  layout(SIZE_RESTORED, r.right, r.bottom);
}

void DefaultXmlFrameWindow::layout(WPARAM type, int width, int height)
{
  if (type == SIZE_MINIMIZED)
    return;
  RECT client = {0, 0, width, height};
  if (_statusBar.hwnd) {
    RECT r;
    GetWindowRect(_statusBar.hwnd, &r);
    int barHeight = r.bottom - r.top;
    _statusBar.moveWindow(0, height - barHeight, width, barHeight, true);
    client.bottom = height - barHeight;
  }
  if (_buttonBar) {
    RECT r = _buttonBar->getClientRect();
    if (_barIsHorizontal) {
      _buttonBar->moveWindow(0, 0, width, r.bottom, true);
      client.top = r.bottom;
    } else {
      _buttonBar->moveWindow(0, 0, r.right, client.bottom - client.top, true);
      client.left = r.right;
    }
  }
  if (_content)
    _content->moveWindow(client, false);
}

LRESULT DefaultXmlFrameWindow::handleMessage(HWND h, UINT msg, WPARAM wParam, LPARAM lParam, BOOL* handled)
{
  *handled = TRUE;
  switch (msg) {
  case WM_CREATE:
    _statusBar.create(SBARS_SIZEGRIP, L"", h, 0);
    if (!_dropCommand.empty())
      DragAcceptFiles(h, TRUE);
    return 0;
  case WM_SIZE:
    layout(wParam, LOWORD(lParam), HIWORD(lParam));
    return 0;
  case WM_CLOSE:
    // Closing is the command's business; without one the frame stays.
    if (!_closeCommand.empty())
      _application->executeCommand(_closeCommand);
    return 0;
  case WM_DRAWITEM:
    if (!_application->onDrawItem(*reinterpret_cast<DRAWITEMSTRUCT*>(lParam)))
      break;
    return TRUE;
  case WM_MEASUREITEM:
    if (!_application->onMeasureItem(*reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)))
      break;
    return TRUE;
  case WM_COMMAND:
    _application->handleCommand(LOWORD(wParam), HIWORD(wParam));
    return 0;
  case WM_DROPFILES:
    onDropFiles(reinterpret_cast<HDROP>(wParam));
    return 0;
  }
  *handled = FALSE;
  return Window::handleMessage(h, msg, wParam, lParam, handled);
}

void DefaultXmlFrameWindow::onDropFiles(HDROP drop)
{
  wchar_t path[MAX_DROPPED_PATH + 1] = L"";
  DragQueryFileW(drop, 0, path, MAX_DROPPED_PATH);
  DragFinish(drop);
  if (!_dropCommand.empty())
    _application->executeCommandWithArgument(_dropCommand, path);
}

// ---------------------------------------------------------------- TitledWindow

TitledWindow::TitledWindow(HINSTANCE instance)
  : _application(nullptr), _child(0), _hot(false), _pressed(false), _closeBox(), _height(0), _width(0),
    _titleHeight(0), _font(L"Tahoma", 18)
{
  hInstance = instance;
  className = L"TitledWindow";
  title = L"TitledWindow Window";
  style |= WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.style |= CS_HREDRAW;
}

LRESULT TitledWindow::handleMessage(HWND h, UINT msg, WPARAM wParam, LPARAM lParam, BOOL* handled)
{
  *handled = TRUE;
  switch (msg) {
  case WM_COMMAND:
    SendMessageW(GetParent(h), WM_COMMAND, wParam, lParam);
    return 0;
  case WM_CREATE: {
    const CREATESTRUCTW* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    _width = create->cx;
    _height = create->cy;
    setFont(_font.getHandle());
    layout();
    return 0;
  }
  case WM_SIZE:
    _width = LOWORD(lParam);
    _height = HIWORD(lParam);
    layout();
    return 0;
  case WM_PAINT:
  case WM_PRINTCLIENT:
    paintOnMessage(h, msg, wParam, [this](HDC hdc) { paint(hdc); });
    return 0;
  case WM_CLOSE:
    return 0;
  case WM_MOUSEMOVE:
    onMouseMove(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
    return 0;
  case WM_LBUTTONDOWN:
    if (_hot) {
      _pressed = true;
      // The release must come back here even when it lands outside.
      SetCapture(h);
      invalidateCloseBox();
    }
    return 0;
  case WM_LBUTTONUP:
    onButtonUp(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
    return 0;
  }
  *handled = FALSE;
  return 0;
}

void TitledWindow::onMouseMove(int x, int y)
{
  bool hot = pointInRect(_closeBox, x, y);
  if (hot == _hot)
    return;
  _hot = hot;
  invalidateCloseBox();
}

// Only a release over the close box closes: pressing it and moving away
// is how a user changes their mind.
void TitledWindow::onButtonUp(int x, int y)
{
  if (!_pressed)
    return;
  _pressed = false;
  ReleaseCapture();
  invalidateCloseBox();
  if (pointInRect(_closeBox, x, y) && !_closeCommand.empty() && _application)
    _application->executeCommand(_closeCommand);
}

void TitledWindow::invalidateCloseBox()
{
  InvalidateRect(hwnd, &_closeBox, FALSE);
}

void TitledWindow::layout()
{
  _titleHeight = _font.getHeight();
  if (_child)
    MoveWindow(_child, 0, _titleHeight, _width, _height - _titleHeight, TRUE);
  _closeBox.right = _width - 1;
  _closeBox.top = 1;
  _closeBox.left = _closeBox.right - _titleHeight + 2;
  _closeBox.bottom = _closeBox.top + _titleHeight - 2;
}

void TitledWindow::paint(HDC hdc)
{
  const COLORREF BLACK = RGB(0, 0, 0);
  const COLORREF WHITE = RGB(255, 255, 255);
  wchar_t text[MAX_TITLE + 1] = L"";
  GetWindowTextW(hwnd, text, MAX_TITLE + 1);
  RECT strip = getClientRect();
  strip.bottom = _titleHeight;

  // Declared before the DC, which puts its first objects back before these go.
  GdiBrush stripBrush(BLACK);
  GdiBrush boxBrush(_pressed ? RGB(255, 0, 0) : _hot ? RGB(128, 0, 0) : BLACK);
  GdiPen linePen(PS_SOLID, 1, RGB(128, 128, 128));
  GdiPen framePen(PS_SOLID, 1, WHITE);
  GdiPen crossPen(PS_SOLID, 2, WHITE);
  DC dc(hdc);

  fillOutside(hdc, _closeBox, strip, stripBrush.getHandle());
  dc.selectPen(linePen.getHandle());
  MoveToEx(hdc, 0, 0, nullptr);
  LineTo(hdc, strip.right, 0);

  SetBkMode(hdc, TRANSPARENT);
  SetTextColor(hdc, WHITE);
  dc.selectFont(_font.getHandle());
  TextOutW(hdc, 1, 0, text, static_cast<int>(wcslen(text)));

  dc.selectBrush(boxBrush.getHandle());
  dc.selectPen(framePen.getHandle());
  Rectangle(hdc, _closeBox.left, _closeBox.top, _closeBox.right, _closeBox.bottom);
  dc.selectPen(crossPen.getHandle());
  MoveToEx(hdc, _closeBox.left + 2, _closeBox.top + 2, nullptr);
  LineTo(hdc, _closeBox.right - 3, _closeBox.bottom - 3);
  MoveToEx(hdc, _closeBox.right - 3, _closeBox.top + 2, nullptr);
  LineTo(hdc, _closeBox.left + 2, _closeBox.bottom - 3);
}

// ---------------------------------------------------------------- CustomMenu

CustomMenu::CustomMenu()
  : _innerMargin(3), _outerMargin(3), _background(GetSysColor(COLOR_MENU)), _textColour(GetSysColor(COLOR_MENUTEXT)),
    _highlight(GetSysColor(COLOR_HIGHLIGHT)), _blendFactor(0.8)
{
}

void CustomMenu::setImage(const std::wstring& name)
{
  Bitmap* bitmap = new Bitmap;
  if (bitmap->loadResource(name.c_str())) {
    _image.reset(bitmap);
  } else {
    LogPrintf(XML_LOG_KEY, "No bitmap \"%s\" for a menu item.", Utf8FromWide(name).get());
    delete bitmap;
  }
}

SIZE CustomMenu::measure()
{
  int margins = 2 * (_innerMargin + _outerMargin);
  SIZE size = {margins, margins};
  int textHeight = 0;
  if (!text.empty()) {
    DC dc;
    Font font(static_cast<HFONT>(GetStockObject(SYSTEM_FONT)));
    dc.selectFont(font.getHandle());
    RECT r = {0, 0, 0, 0};
    DrawTextW(dc.getHDC(), text.c_str(), -1, &r, DT_CALCRECT | DT_SINGLELINE | DT_VCENTER);
    size.cx += r.right - r.left;
    textHeight = font.getHeight();
  }
  int imageHeight = 0;
  if (_image.isSet()) {
    size.cx += _image->width() + (text.empty() ? 0 : IMAGE_GAP);
    imageHeight = _image->height();
  }
  size.cy += std::max(imageHeight, textHeight);
  return size;
}

void CustomMenu::draw(HDC hdc, const RECT& item, bool selected)
{
  GdiBrush background(_background);
  GdiBrush frameFill(blend(_highlight, _background, _blendFactor));
  GdiPen framePen(PS_SOLID, 1, _highlight);
  DC dc(hdc);
  FillRect(hdc, &item, background.getHandle());
  RECT r = item;
  InflateRect(&r, -_outerMargin, -_outerMargin);
  if (selected) {
    dc.selectPen(framePen.getHandle());
    dc.selectBrush(frameFill.getHandle());
    Rectangle(hdc, r.left, r.top, r.right, r.bottom);
  }
  InflateRect(&r, -_innerMargin, -_innerMargin);
  if (_image.isSet()) {
    _image->draw(hdc, r.left, r.top, _image->width(), _image->height(), 0, 0);
    r.left += _image->width() + IMAGE_GAP;
  }
  int mode = SetBkMode(hdc, TRANSPARENT);
  COLORREF colour = SetTextColor(hdc, _textColour);
  DrawTextW(hdc, text.c_str(), -1, &r, DT_SINGLELINE | DT_VCENTER);
  SetTextColor(hdc, colour);
  SetBkMode(hdc, mode);
}

COLORREF CustomMenu::blend(COLORREF a, COLORREF b, double factor)
{
  auto channel = [factor](BYTE x, BYTE y) { return static_cast<BYTE>(x * (1 - factor) + y * factor); };
  return RGB(channel(GetRValue(a), GetRValue(b)), channel(GetGValue(a), GetGValue(b)),
             channel(GetBValue(a), GetBValue(b)));
}
