#pragma once

#include "BaseWnd.h"

// Messages a splitter takes with a pane's handle as WPARAM.
const UINT SPLITTER_HIDE_PANE = WM_USER + 1;
const UINT SPLITTER_SHOW_PANE = WM_USER + 2;

// Lays out two child windows side by side or one above the other, with a
// bar between them that the user drags. Two reference sizes and a gravity
// decide how a change of the splitter's size is shared: with gravity 1 the
// first pane keeps its size, with 0 the second, with 0.5 both grow alike.
// A splitter whose panes are all hidden asks its parent splitter to hide it.
class SplitterWindow : public Window {
public:
  explicit SplitterWindow(HINSTANCE instance);

  HWND create(HWND parentWindow);
  // A null first pane makes the second one the first.
  void setPanes(HWND first, HWND second, bool sideBySide);
  void setGravity(int size1, int size2, double gravity);
  void setGravity(int size, double gravity) { setGravity(size, size, gravity); }
  void hidePane(HWND pane);
  void showPane(HWND pane);
  LRESULT handleMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, BOOL* handled) override;

  // The bar's centre line along the split axis, in client pixels.
  int getBarPos() const { return _barPos; }
  // Bit 0: the first pane is visible; bit 1: the second.
  int getVisibleMask() const { return _visibleMask; }
  RECT getBarRect();

private:
  // The layout runs along x; panes one above the other swap the axes.
  RECT transposed(RECT r) const;
  int extent();
  void recompute(bool force);
  void layout();
  void mouseMove(int x, int y);
  void paint(HDC dc);
  bool parentIsSplitter();
  void changeVisibility(HWND pane, bool visible);

  HWND _panes[2];
  bool _horizontalBar;
  bool _fixedBar;
  int _barPos;
  int _barThickness;
  double _gravity;
  bool _hover;
  int _lastWidth;
  int _lastHeight;
  int _dragStartX;
  int _dragStartY;
  bool _dragging;
  int _dragStartPos;
  int _size1;
  int _size2;
  int _visibleMask;
};
