#pragma once

#include "FlexList.h"
#include "Thread.h"

#include <list>

const int DEBUG_WINDOW_STYLES = 13;
const UINT DEBUG_WINDOW_COPY = 1001;
// About a day of a busy server's log; older lines are dropped.
const int DEFAULT_MAX_LOG_LINES = 100000;

// The program's log lines as they happen, coloured by the channel that
// wrote them. Any thread may add lines: they wait in a queue until the GUI
// thread takes them all after one posted message.
class DebugWindow : public FlexListView {
public:
  explicit DebugWindow(HINSTANCE instance);
  ~DebugWindow() override;

  // Without a parent the window is top-level with its own menu.
  using FlexList::create;
  HWND create(HWND parentWindow);
  // key must live as long as the process (a channel name, "DBG").
  void addLine(const wchar_t* text, const char* key);
  LRESULT handleMessage(HWND h, UINT msg, WPARAM wParam, LPARAM lParam, BOOL* handled) override;
  void setMaxLines(int maxLines) { _maxLines = maxLines; }
  // Index into the styles for lines of the key.
  static int styleOf(const char* key);
  const LineStyle& getLineStyle(int index) const { return _styles[index]; }

protected:
  // False when the drain could not be posted (no window, a full queue).
  virtual bool postDrain();

private:
  struct Item {
    wchar_t* text;
    const char* key;
  };

  void drainQueue();
  void copyToClipboard();

  Font* _font;
  LineStyle _styles[DEBUG_WINDOW_STYLES];
  Mutex _queueLock;
  std::list<Item> _queue;
  bool _drainPosted;  // under the lock: a drain will take what is queued
  Menu _menu;
  int _maxLines;
};
