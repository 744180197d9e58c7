#pragma once

#include "BaseWnd.h"

#include <string>
#include <vector>

class DebugWindow;
class GraphicsContext;
class MediaServer;

// Menu command ids; the log window answers COPY_LOG itself.
const UINT COPY_LOG = 1001;
const UINT OPEN_SETTINGS = 1002;
const UINT SCAN_FOLDERS = 1003;
const UINT OPEN_WEB_SITE = 1004;

// The welcome panel's width; the log window fills the rest.
const int WELCOME_PANEL_WIDTH = 400;

// The maker's web page, opened by OPEN_WEB_SITE.
extern const wchar_t* productWebPage;
// In the title and on the panel when the server could open no port.
extern const char NO_PORT_TEXT[];

// The program's one top-level window: the painted welcome panel with the
// address to open on a phone, the log window on its right, and the menu.
// While it exists the program's log and debug lines go to its log window.
class MainWindow : public Window {
public:
  MainWindow(HINSTANCE instance, MediaServer* server);
  ~MainWindow() override;

  void createWithMenu();
  void setAddress(std::string address);
  // The address to open on a phone, in the title and on the panel; an empty
  // one (the server could open no port) says so instead.
  void showAddress(const std::string& address);
  DebugWindow* getLogWindow() const { return _logWindow; }
  LRESULT handleMessage(HWND h, UINT msg, WPARAM wParam, LPARAM lParam, BOOL* handled) override;

private:
  bool onCreate();
  void onSize(int width, int height);
  void onPaint(HDC dc);
  void drawAddress(GraphicsContext* context);
  void onCommand(UINT id);

  DebugWindow* _logWindow;
  std::vector<WindowFunctions*> _children;
  std::string _address;
  Menu _menuBar;
  Menu _mainPopup;
  MediaServer* _server;
};

// Opens the address in the user's browser; false, with a log line, when the
// shell could not.
bool openInBrowser(const wchar_t* address);
