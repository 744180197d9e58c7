#pragma once

#include "BaseWnd.h"
#include "Bitmap.h"

#include <shellapi.h>

#include <string>

// The application's windows: the factory of controls by type, the hidden
// owner of the tray icons, the frame, the titled window, and the owner-drawn
// menu item.

class ButtonBar;
class XmlApplication;

// Makes the controls of "window" types that the application does not know
// itself; a program adds types by deriving and handing its factory over.
class XmlAppFactory {
public:
  virtual ~XmlAppFactory() {}
  // Null for an unknown type. The default knows "edit".
  virtual WindowFunctions* create(HINSTANCE instance, HWND parent, const std::wstring& type);
};

// Never shown: the owner of the tray icons, which receives their mouse
// messages and owns their menus.
class XmlHiddenWindow : public Window {
public:
  XmlHiddenWindow(HINSTANCE instance, XmlApplication* application);
  LRESULT handleMessage(HWND h, UINT msg, WPARAM wParam, LPARAM lParam, BOOL* handled) override;

private:
  XmlApplication* _application;
};

// The frame of a "framewindow": button bar, status bar and content window.
class DefaultXmlFrameWindow : public Window {
public:
  DefaultXmlFrameWindow(HINSTANCE instance, XmlApplication* application, const std::wstring& icon);

  // Returns the bar it held before, which the caller still owns.
  ButtonBar* setButtonBar(ButtonBar* bar);
  void setDropCommand(const std::wstring& command);
  void setCloseCommand(const std::wstring& command) { _closeCommand = command; }
  void setContent(WindowFunctions* window) { _content = window; }
  WindowFunctions* getContent() const { return _content; }
  ButtonBar* getButtonBar() const { return _buttonBar; }
  HWND getStatusBar() const { return _statusBar.hwnd; }
  void layout();
  LRESULT handleMessage(HWND h, UINT msg, WPARAM wParam, LPARAM lParam, BOOL* handled) override;

private:
  void layout(WPARAM type, int width, int height);
  void onDropFiles(HDROP drop);

  WindowFunctions* _content;  // owned by the application
  std::wstring _closeCommand;
  XmlApplication* _application;
  ButtonBar* _buttonBar;  // owned by the application
  bool _barIsHorizontal;
  StatusBar _statusBar;
  std::wstring _dropCommand;
};

// A child with a painted title strip and a close box above its one child.
class TitledWindow : public Window {
public:
  explicit TitledWindow(HINSTANCE instance);

  void setChild(HWND child) { _child = child; }
  void setCloseCommand(const std::wstring& command) { _closeCommand = command; }
  void setApplication(XmlApplication* application) { _application = application; }
  const RECT& getCloseBox() const { return _closeBox; }
  LRESULT handleMessage(HWND h, UINT msg, WPARAM wParam, LPARAM lParam, BOOL* handled) override;

private:
  void layout();
  void paint(HDC hdc);
  void onMouseMove(int x, int y);
  void onButtonUp(int x, int y);
  void invalidateCloseBox();

  XmlApplication* _application;
  std::wstring _closeCommand;
  HWND _child;
  bool _hot;
  bool _pressed;
  RECT _closeBox;
  int _height;
  int _width;
  int _titleHeight;
  Font _font;
};

// One owner-drawn menu item: an optional picture and a line of text, with a
// highlight frame when selected.
class CustomMenu {
public:
  CustomMenu();

  SIZE measure();
  void draw(HDC hdc, const RECT& item, bool selected);
  // Per channel a × (1 − factor) + b × factor.
  static COLORREF blend(COLORREF a, COLORREF b, double factor);
  // From the module's bitmap resources; one that cannot be loaded leaves
  // the item without a picture.
  void setImage(const std::wstring& name);

  std::wstring text;

private:
  BitmapPtr _image;
  int _innerMargin;
  int _outerMargin;
  COLORREF _background;
  COLORREF _textColour;
  COLORREF _highlight;
  double _blendFactor;
};
