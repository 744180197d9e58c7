#include "MainWindow.h"

#include "Assert.h"
#include "Debug.h"
#include "DebugWindow.h"
#include "GraphicsContext.h"
#include "Log.h"
#include "MediaServer.h"
#include "StringUtil.h"
#include "WindowPaint.h"

#include <shellapi.h>

#include <cstdio>

namespace {

const int LOG_KEY = LogRegisterKey("L_MainWindow", true);

// Never 4097: the log window's own lock traces under it, and forwarding
// that trace would re-enter the log window without end.
const int DEBUG_CATEGORIES[] = {100, 99, 102, 4096, 4098, 103, 0};

DebugWindow* theLogWindow = nullptr;

const double PANEL_MARGIN = 10;
const double ADDRESS_SIZE = 20.0;
const double ADDRESS_TOP = 170;
const double GLOW_RADIUS = 2.0;

const Colour WHITE(1, 1, 1, 1);
const Colour GREY(0.5, 0.5, 0.5, 1);
const Colour YELLOW(1, 1, 0, 1);
const Colour BLACK(0, 0, 0, 1);
const Colour GRADIENT_END(86 / 255.0, 104 / 255.0, 144 / 255.0, 1);

void debugOutputToLogWindow(const char* line)
{
  theLogWindow->addLine(WideFromUtf8(line).get(), "DBG");
}

void logSinkToLogWindow(const char* key, const char* text)
{
  theLogWindow->addLine(WideFromUtf8(text).get(), key);
}

void drawBlurredText(GraphicsContext* context, const wchar_t* text, double x, double y, const Colour& colour,
                     double radius)
{
  Size size = context->measureText(text);
  GraphicsSurface* image = createImageSurface(static_cast<int>(size.w + 4 * radius),
                                              static_cast<int>(size.h + 4 * radius), true);
  GraphicsContext* imageContext = image->getContext();
  imageContext->setTextColour(colour);
  imageContext->setFont(context->getFont());
  imageContext->drawText(text, 2 * radius, 2 * radius);
  image->blur(radius);
  image->blur(radius);
  context->drawImage(imageContext, Point(x - 2 * radius, y - 2 * radius));
  delete image;
}

// A blurred white copy of the text, 2 units right and down, under it.
void drawGlowText(GraphicsContext* context, const wchar_t* text, double x, double y)
{
  drawBlurredText(context, text, x + 2, y + 2, WHITE, GLOW_RADIUS);
  context->drawText(text, x, y);
}

}

const wchar_t* productWebPage = L"https://zarudodo.example/";
const char NO_PORT_TEXT[] = "could not open a port: see the log";

bool openInBrowser(const wchar_t* address)
{
  INT_PTR result = reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", address, nullptr, nullptr,
                                                           SW_SHOWNORMAL));
  // Values up to 32 are the shell's error codes.
  if (result > 32)
    return true;
  LogPrintf(LOG_KEY, "Could not open %s in the browser: error %d.", Utf8FromWide(address).get(),
            static_cast<int>(result));
  return false;
}

MainWindow::MainWindow(HINSTANCE instance, MediaServer* server)
  : _logWindow(nullptr), _menuBar(false), _mainPopup(true), _server(server)
{
  hInstance = instance;
  className = L"MainWindow";
  title = L"Main Window";
  style |= WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_VISIBLE;
  windowClass.hIcon = LoadIconW(instance, L"VaropIcon");
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW));
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.style |= CS_HREDRAW | CS_VREDRAW;
}

MainWindow::~MainWindow()
{
  setDebugOutput(nullptr);
  LogSetSink(nullptr);
  theLogWindow = nullptr;
  delete _logWindow;
}

void MainWindow::createWithMenu()
{
  _menuBar.appendPopup(L"&Main Menu", _mainPopup);
  _mainPopup.append(L"&Copy log to clipboard", COPY_LOG)
    .append(L"&Go to official web site", OPEN_WEB_SITE)
    .appendSeparator()
    .append(L"&Scan computer for new videos", SCAN_FOLDERS)
    .appendSeparator()
    .append(L"&Settings...", OPEN_SETTINGS);
  // The window destroys its menu bar, and the popup in it, with itself.
  if (!create(CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, 0, _menuBar.handOver(), hInstance)) {
    LogPrintf(LOG_KEY, "Could not create the main window: error %lu.", GetLastError());
    ASSERT(false);
  }
}

void MainWindow::setAddress(std::string address)
{
  _address = address;
  if (hwnd)
    invalidate();
}

void MainWindow::showAddress(const std::string& address)
{
  setAddress(address.empty() ? NO_PORT_TEXT : address);
  std::string title = address.empty() ? std::string("Talveno Viridude - ") + NO_PORT_TEXT
                                      : "Talveno Viridude - Please go to " + address + " from your client device";
  setText(toWide(title).c_str());
}

bool MainWindow::onCreate()
{
  setDebugCategories(DEBUG_CATEGORIES);
  setDebugOutput(debugOutputToLogWindow);
  _logWindow = new DebugWindow(hInstance);
  theLogWindow = _logWindow;
  _logWindow->create(hwnd);
  LogSetSink(logSinkToLogWindow);
  _children.push_back(_logWindow);
  SetFocus(_logWindow->hwnd);
  return true;
}

void MainWindow::onSize(int width, int height)
{
  int logWidth = width > WELCOME_PANEL_WIDTH ? width - WELCOME_PANEL_WIDTH : 0;
  RECT r = {WELCOME_PANEL_WIDTH, 0, WELCOME_PANEL_WIDTH + logWidth, height};
  for (WindowFunctions* child : _children)
    child->moveWindow(r, false);
}

void MainWindow::onPaint(HDC dc)
{
  RECT client = getClientRect();
  GraphicsSurface* surface = createPaintDcSurface(dc);
  GraphicsContext* context = surface->getContext();
  context->setPen(NO_PEN);
  context->setTextColour(WHITE);
  context->setFont(GraphicsFont(L"Arial", 20.0, 0));

  Gradient background;
  background.start = Point(0, 0);
  background.end = Point(0, client.bottom);
  background.addStop(0.0, BLACK);
  background.addStop(0.5, BLACK);
  background.addStop(1.0, GRADIENT_END);
  context->setFillGradient(background);
  context->drawRect(Rect(-1, -1, client.right + 1, client.bottom + 1));

  drawGlowText(context, L"Talveno Viridude Media Server", 10, 10);

  context->setTextColour(GREY);
  context->setFont(GraphicsFont(L"Arial", 15.0, 0));
  char built[64];
  snprintf(built, sizeof built, "Built on %s %s", __DATE__, __TIME__);
  context->drawText(WideFromUtf8(built).get(), 10, 60);

  context->setFont(GraphicsFont(L"Arial", 15.0, 0));
  context->setTextColour(YELLOW);
  context->drawText(L"Connect your ipod/iphone to your WI-FI network.", 10, 90);
  context->drawText(L"Then go to this address in its browser", 10, 105);
  context->drawText(L"to see your videos.", 10, 120);

  drawAddress(context);
  delete surface;
}

// Centred on the panel; an address too wide for it is drawn smaller so that
// all of it stays readable inside the panel.
void MainWindow::drawAddress(GraphicsContext* context)
{
  WideFromUtf8 address(_address);
  double size = ADDRESS_SIZE;
  context->setFont(GraphicsFont(L"Arial", size, 0));
  double room = WELCOME_PANEL_WIDTH - 2 * PANEL_MARGIN;
  double width = context->measureText(address.get()).w;
  if (width > room) {
    size = size * room / width;
    context->setFont(GraphicsFont(L"Arial", size, 0));
    width = context->measureText(address.get()).w;
  }
  double x = WELCOME_PANEL_WIDTH / 2 - width / 2;
  if (x < PANEL_MARGIN)
    x = PANEL_MARGIN;
  drawGlowText(context, address.get(), x, ADDRESS_TOP);
}

void MainWindow::onCommand(UINT id)
{
  switch (id) {
  case COPY_LOG:
    SendMessageW(_logWindow->hwnd, WM_COMMAND, COPY_LOG, 0);
    break;
  case OPEN_SETTINGS:
    // Without a port there is no settings page to open.
    if (_address != NO_PORT_TEXT)
      openInBrowser((toWide(_address) + L"/configure.html").c_str());
    break;
  case SCAN_FOLDERS:
    _server->startFolderScan();
    break;
  case OPEN_WEB_SITE:
    openInBrowser(productWebPage);
    break;
  default:
    break;
  }
}

LRESULT MainWindow::handleMessage(HWND h, UINT msg, WPARAM wParam, LPARAM lParam, BOOL* handled)
{
  *handled = TRUE;
  switch (msg) {
  case WM_CREATE:
    return onCreate() ? 0 : -1;
  case WM_SIZE:
    onSize(LOWORD(lParam), HIWORD(lParam));
    return 0;
  case WM_PAINT:
  case WM_PRINTCLIENT:
    paintOnMessage(h, msg, wParam, [this](HDC dc) { onPaint(dc); });
    return 0;
  case WM_COMMAND:
    onCommand(LOWORD(wParam));
    return 0;
  case WM_CLOSE:
    // The window stays: shutdown deletes it after the loop has ended.
    PostQuitMessage(0);
    return 0;
  case WM_ERASEBKGND:
    return 1;
  case WM_DESTROY:
  case WM_KEYDOWN:
  case WM_MOUSEMOVE:
  case WM_LBUTTONDOWN:
  case WM_LBUTTONUP:
    return 0;
  default:
    *handled = FALSE;
    return 0;
  }
}
