#pragma once

#include <windows.h>

// Window objects: a handle with the common operations, a window of our own
// class whose messages reach a virtual handler, a window somebody else made
// taken over; the map from handle to object; the framework's start-up with
// its unit conversions.

// A window handle with the common window operations; never owns the window.
class WindowFunctions {
public:
  WindowFunctions() : hwnd(0) {}
  explicit WindowFunctions(HWND h) : hwnd(h) {}
  virtual ~WindowFunctions() { hwnd = 0; }

  void attach(HWND h) { hwnd = h; }
  virtual RECT getClientRect();
  void moveWindow(int x, int y, int width, int height, bool repaint);
  void moveWindow(const RECT& r, bool repaint);
  // Keeps the window's place: for a child, its place in the parent.
  void resize(int width, int height);
  void invalidate();
  void setText(const wchar_t* text);
  bool isMaximized();
  RECT getChildRect(HWND child);
  HFONT getFont();
  void setFont(HFONT font);

  HWND hwnd;
};

class Window;

// The object of one entry of a window's handler table.
class MessageHandler {
public:
  virtual ~MessageHandler() {}
};

typedef void (MessageHandler::*MessageHandlerFunction)(Window* window, UINT msg, LPARAM lParam, WPARAM wParam);

const unsigned MAX_MESSAGE_HANDLERS = 5;

struct MessageHandlerTable {
  unsigned count;
  UINT messages[MAX_MESSAGE_HANDLERS];
  MessageHandler* objects[MAX_MESSAGE_HANDLERS];
  MessageHandlerFunction functions[MAX_MESSAGE_HANDLERS];
};

const UINT WINDOW_CLASS_RECORD_SIZE = 48;

// A window of our own class whose messages reach the virtual handleMessage.
// Subclass constructors adjust the class record and styles before create.
class Window : public WindowFunctions {
public:
  Window();
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  HWND create(int x, int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance);
  void addHandler(UINT msg, MessageHandler* object, MessageHandlerFunction handler);
  template <class T>
  void addHandler(UINT msg, T* object, void (T::*handler)(Window*, UINT, LPARAM, WPARAM))
  {
    addHandler(msg, static_cast<MessageHandler*>(object), static_cast<MessageHandlerFunction>(handler));
  }
  virtual LRESULT handleMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, BOOL* handled);

  static LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  HWND parent;
  HINSTANCE hInstance;
  WNDCLASSEXW windowClass;
  DWORD exStyle;
  DWORD style;
  const wchar_t* className;
  const wchar_t* title;
  MessageHandlerTable* handlers;
  bool beingDestroyed;
  bool keepWindow;
};

// Takes over the procedure of a window somebody else made (a control).
class SubclassedWindow : public WindowFunctions {
public:
  SubclassedWindow() : oldProc(0) {}
  virtual ~SubclassedWindow();
  SubclassedWindow(const SubclassedWindow&) = delete;
  SubclassedWindow& operator=(const SubclassedWindow&) = delete;

  void subclass(HWND h);
  virtual LRESULT handleMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, BOOL* handled);

  static LRESULT CALLBACK subclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  WNDPROC oldProc;

private:
  void unsubclass();
};

class Dialog;

struct WindowMapItem {
  HWND hwnd;
  Dialog* dialog;
  SubclassedWindow* subclassed;
  WindowMapItem* next;
};

const unsigned WINDOW_MAP_BUCKETS = 67;

// Window handle to object, for windows whose user data belongs to others.
class WindowMap {
public:
  WindowMap();
  ~WindowMap();
  WindowMap(const WindowMap&) = delete;
  WindowMap& operator=(const WindowMap&) = delete;

  void setDialog(HWND h, Dialog* dialog);
  Dialog* getDialog(HWND h);
  void removeDialog(HWND h, Dialog* dialog);
  void setSubclassed(HWND h, SubclassedWindow* window);
  SubclassedWindow* getSubclassed(HWND h);
  void removeSubclassed(HWND h, SubclassedWindow* window);

private:
  static unsigned bucketOf(HWND h) { return reinterpret_cast<UINT_PTR>(h) % WINDOW_MAP_BUCKETS; }
  WindowMapItem* find(HWND h);
  WindowMapItem* findOrAdd(HWND h);
  void removeIfEmpty(WindowMapItem* item);
  template <class T>
  void set(HWND h, T* WindowMapItem::*field, T* object);
  template <class T>
  T* get(HWND h, T* WindowMapItem::*field);
  template <class T>
  void remove(HWND h, T* WindowMapItem::*field, T* object);

  WindowMapItem* _buckets[WINDOW_MAP_BUCKETS];
};

extern WindowMap windowMap;

void initBaseWnd(HINSTANCE instance, double scale);
HINSTANCE getInstance();
int mmToPixelsX(int mm);
int mmToPixelsY(int mm);
int twipsToPixelsX(int twips);
int twipsToPixelsY(int twips);
