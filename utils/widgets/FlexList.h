#pragma once

#include "BaseWnd.h"

#include <deque>
#include <vector>

// A scrolling list whose items measure and draw themselves. It scrolls by
// device units, keeps one selected item, and follows the end like a log:
// a view at the end stays there as items come or the window is resized.
// Content shorter than the window sits against the bottom edge (the scroll
// offset is then negative).

class ListItem {
  friend class FlexList;

public:
  ListItem() : _top(0), _selected(false) {}
  virtual ~ListItem() {}
  virtual int width() = 0;
  virtual int height() = 0;
  // Lays the item out for the available width; returns its height.
  virtual int format(int width) = 0;
  // (x, y) is the item's top-left corner in client coordinates.
  virtual void draw(HDC dc, int x, int y) = 0;
  virtual void setSelected(bool selected) { _selected = selected; }
  bool isSelected() const { return _selected; }

private:
  int _top;  // where the list's layout put it; see FlexList::topOf
  bool _selected;
};

// Shared by many items, owned by none of them. Colours are 0x00BBGGRR.
struct LineStyle {
  Font* font;
  HIMAGELIST imageList;
  COLORREF background;
  COLORREF text;
  COLORREF selectedBackground;
  COLORREF selectedText;
};

const int LINE_ICON_SIZE = 16;
const int MIN_LINE_HEIGHT = 16;

// One line of text, never wrapped, with an optional icon from the style's
// image list.
class LineItem : public ListItem {
public:
  explicit LineItem(LineStyle* style);
  ~LineItem() override;

  int width() override;
  int height() override;
  int format(int width) override;
  void draw(HDC dc, int x, int y) override;

  void setText(const wchar_t* text);
  const wchar_t* getText() const { return _text; }
  void setIcon(int icon) { _icon = icon; }
  void setUserData(unsigned data) { _userData = data; }
  unsigned getUserData() const { return _userData; }

private:
  unsigned _userData;
  wchar_t* _text;
  int _width;
  int _height;
  LineStyle* _style;
  bool _formatted;
  int _icon;  // -1 for none
};

class FlexListNotify {
public:
  virtual ~FlexListNotify() {}
  virtual void onDoubleClick(int) {}
  virtual void onSelectionChanged(int) {}
  virtual void onMouseDown() {}
};

const int FLEX_LIST_LINE_STEP = 14;
// Posted to itself to draw the scroll bar after a burst of changes.
const UINT FLEX_LIST_DRAW_SCROLL_BAR = WM_USER + 1;
// How close to the end a view counts as at the end.
const int FLEX_LIST_END_SLACK = 5;

class FlexList : public Window {
public:
  explicit FlexList(HINSTANCE instance);
  ~FlexList() override;

  LRESULT handleMessage(HWND h, UINT msg, WPARAM wParam, LPARAM lParam, BOOL* handled) override;
  virtual HWND create(int x, int y, int width, int height, HWND parentWindow);

  // The list owns the items from here on. Only the new items are laid out,
  // so appending costs the same however many items the list holds.
  void append(ListItem* item);
  void append(const std::vector<ListItem*>& items);
  void insert(ListItem* item, int index);
  // Deletes the first count items, in time that does not grow with the
  // items left; a view scrolled up keeps its lines.
  void removeFirst(int count);
  void clear();
  void select(int index);
  int getSelected() const { return _selected; }
  int getCount() const { return static_cast<int>(_items.size()); }
  ListItem* getItem(int index) const;
  // The item's y in the content.
  int getTop(int index) const { return topOf(_items[index]); }
  void setNotify(FlexListNotify* notify) { _notify = notify; }
  void setBackground(COLORREF colour) { _background = colour; }

  bool isAtEnd();
  void scrollToEnd();
  void scrollTo(int position);
  int getScrollOffset() const { return _offset; }
  int getTotalHeight() const { return _totalHeight; }
  void ensureVisible(int index);
  // Whether any part of the item lies in the view; false for a bad index or
  // an item not laid out yet (added while redraw is off).
  bool isVisible(int index);
  int hitTest(int x, int y);
  void invalidateItem(ListItem* item);
  void invalidateItem(int index);
  void relayout(int first);
  void flagSelected(int index);
  int findSelected(int after);

private:
  bool isValid(int index) const { return index >= 0 && index < getCount(); }
  // Only these items have a place and a height.
  bool isLaidOut(int index) const { return index >= 0 && index < _laidOut; }
  int topOf(const ListItem* item) const { return item->_top - _topBase; }
  void showAppended(int first);
  void invalidateBand(int top, int bottom);
  int firstPaintedItem();
  void paint(HDC dc);
  // The offset that shows the last pixel row of the last item at the bottom.
  int highestOffset() const { return _totalHeight - _clientHeight; }
  int clamped(int position) const;
  void scrollClamped(int position);
  void setScrollBar(bool redraw);
  void updateScrollBar();
  void onVerticalScroll(int code);
  void onKeyDown(WPARAM key);
  void onMouseDown(int y, bool isDouble);

  FlexListNotify* _notify;
  std::deque<ListItem*> _items;
  // Items keep the layout position they were given; removing items from the
  // front moves this base instead of every item.
  int _topBase;
  int _laidOut;  // items from the first on whose layout is current
  int _totalHeight;
  int _offset;
  int _clientHeight;
  int _clientWidth;
  bool _redraw;
  int _selected;
  double _averageHeight;
  COLORREF _background;
  bool _scrollBarPending;
};

// A list of text lines in one default style.
class FlexListView : public FlexList {
public:
  explicit FlexListView(HINSTANCE instance);

  LineStyle* getStyle() { return &_style; }
  void setFont(Font* font) { _style.font = font; }
  void setImageList(HIMAGELIST list) { _style.imageList = list; }
  void setColours(COLORREF background, COLORREF text, COLORREF selectedBackground, COLORREF selectedText);
  void addItem(int icon, const wchar_t* text, unsigned userData);
  // Null (or 0) for a bad index or an item that is not a line.
  const wchar_t* getText(int index);
  unsigned getItemData(int index);

private:
  LineItem* lineAt(int index);

  LineStyle _style;
};
