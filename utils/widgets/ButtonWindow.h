#pragma once

// A push button drawn from pictures, one per state, that tells its parent
// about a click with WM_COMMAND.

#include "BaseWnd.h"
#include "Bitmap.h"

const int BUTTON_INACTIVE = 0;
const int BUTTON_OUT = 1;
const int BUTTON_OVER = 2;
const int BUTTON_DOWN = 3;
const int BUTTON_STATES = 4;

class ButtonWindow : public Window {
public:
  explicit ButtonWindow(HINSTANCE instance);
  ~ButtonWindow() override;

  void create(HWND parentWindow, int commandId);
  // The window takes the smallest width and height among its pictures.
  void setImage(int state, BitmapPtr image);
  void setActive(bool active);
  int getState() const { return _state; }

  LRESULT handleMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, BOOL* handled) override;

private:
  void setState(int state);
  void fitToImages();
  void paint(HDC dc);
  void onMouseMove(WPARAM keys);
  void onButtonUp();

  int _state;
  BitmapPtr _images[BUTTON_STATES];
  int _commandId;
  // The left button went down on this button and is still held.
  bool _pressed;
};
