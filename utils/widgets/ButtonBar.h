#pragma once

// A row or column of picture buttons and other child windows on a solid
// background with an optional picture; the buttons' commands go on to a
// command window, the parent by default.

#include "BaseWnd.h"
#include "Bitmap.h"

class ButtonWindow;

const int MAX_BUTTON_BAR_ITEMS = 16;
const int BUTTON_BAR_SPACING = 3;
const COLORREF BUTTON_BAR_BACKGROUND = 0xFF9966;

class ButtonBar : public Window {
public:
  struct Entry {
    Entry(ButtonWindow* ownButton, HWND itemWindow, int command);
    ~Entry();
    Entry(const Entry&) = delete;
    Entry& operator=(const Entry&) = delete;

    // Null for an item that wraps a window the bar does not own.
    ButtonWindow* button;
    WindowFunctions window;
    int commandId;
  };

  explicit ButtonBar(HINSTANCE instance);
  ~ButtonBar() override;

  // At (0, 0), 10 × 10: the owner sizes the bar.
  void create(HWND parentWindow, bool scaleImages);
  void setCommandTarget(HWND target) { _commandTarget = target; }
  void setBackgroundColour(COLORREF colour) { _backgroundColour = colour; }
  // A resource name or identifier; a picture that cannot be loaded leaves
  // the bar as it was.
  void setBackgroundImage(LPCWSTR resource, bool alignRight);
  // Pictures for the normal, hovered, pressed and inactive states: resource
  // names or identifiers, null or 0 for none.
  void addButton(int commandId, LPCWSTR out, LPCWSTR over, LPCWSTR down, LPCWSTR inactive);
  void addButton(int commandId, WORD out, WORD over, WORD down, WORD inactive);
  void addWindow(HWND window);
  Entry* findEntry(int commandId);
  void setButtonActive(int commandId, bool active);
  int getCount() const { return _count; }
  bool isHorizontal();
  void layout();

  LRESULT handleMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, BOOL* handled) override;

private:
  void append(Entry* entry);
  BitmapPtr loadPicture(LPCWSTR resource);
  void paint(HDC dc);

  bool _scaleImages;
  int _spacing;
  Entry** _entries;
  int _count;
  HWND _commandTarget;
  COLORREF _backgroundColour;
  Bitmap* _backgroundImage;
  bool _alignRight;
};
