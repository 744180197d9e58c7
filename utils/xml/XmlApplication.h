#pragma once

#include "BaseWnd.h"
#include "XmlAttributes.h"
#include "XmlSettings.h"
#include "XmlWindows.h"

#include <map>
#include <string>
#include <vector>

// Builds a Windows user interface from a description file: frame windows
// with a menu bar, a button bar, a status bar and one content window made of
// controls, splitters and titled windows; popup menus with plain and
// owner-drawn items; tray icons with popup menus; file types with named
// actions. Every user action comes back as a command string, which the
// application handles itself ("hide(name)" and "show(name)") or passes to
// its listener.

class ButtonBar;
class CTag;
class SplitterWindow;

// Receives every command that the application does not handle itself.
class XmlAppListener {
public:
  virtual ~XmlAppListener() {}
  virtual void onCommand(const std::wstring& command) = 0;
};

const UINT FIRST_COMMAND_ID = 1000;
const UINT WM_TRAY_NOTIFY = WM_USER + 1;

class XmlApplication {
public:
  struct MenuPair {
    Menu* menu;
    UINT id;
  };
  struct IdPair {
    UINT id;
    UINT code;
    bool operator<(const IdPair& other) const
    {
      return id < other.id || (id == other.id && code < other.code);
    }
  };
  struct TrayIcon {
    UINT id;
    std::wstring icon;
    std::wstring tooltip;
    Menu* menu;  // owned by the application's menus
  };
  struct FileTypeAction {
    std::wstring name;
    std::wstring command;
  };
  struct FileType {
    std::wstring extension;
    std::wstring description;
    std::vector<FileTypeAction> actions;
  };
  enum TrayOperation { TRAY_ADD, TRAY_MODIFY, TRAY_DELETE };

  // A null factory makes the application use its own.
  XmlApplication(HINSTANCE instance, XmlAppListener* listener, XmlAppFactory* factory);
  ~XmlApplication();
  XmlApplication(const XmlApplication&) = delete;
  XmlApplication& operator=(const XmlApplication&) = delete;

  // The file as UTF-8 when it is valid UTF-8 or starts with a byte-order
  // mark, otherwise in the ANSI code page. False, with the reason in
  // getError, only when it cannot be read or is larger than the limit.
  bool load(const std::wstring& path);
  // Builds what the text gives, however damaged, and sends "_init"; true.
  // getError and the log then list what the damage cost.
  bool parse(const std::wstring& text);
  const std::wstring& getError() const { return _error; }

  const std::wstring& getName() const { return _name; }
  std::wstring getTitle() const;
  WindowFunctions* findWindow(const std::wstring& name) const;
  // Null also when the window of that name is of another class.
  template <class T>
  T* findWindowOf(const std::wstring& name) const
  {
    return dynamic_cast<T*>(findWindow(name));
  }
  ComboBox* findComboBox(const std::wstring& name) const { return findWindowOf<ComboBox>(name); }

  // Commands.
  UINT commandId(const std::wstring& command, UINT code);
  void handleCommand(UINT id, UINT code);
  void executeCommand(const std::wstring& command);
  void executeCommandWithArgument(const std::wstring& command, const std::wstring& argument);
  const std::wstring& getCommandArgument() const { return _commandArgument; }
  void setWindowVisible(HWND window, bool show);
  void enableMenuItem(const std::wstring& name, bool enable);
  void checkMenuItem(const std::wstring& name, bool check);

  // Tray icons.
  void trayIconNotify(int operation, UINT id, const std::wstring& icon, const std::wstring* tooltip);
  void setTrayIcon(const std::wstring& name, const std::wstring& icon);
  void showTrayIcon(const std::wstring& name, bool show);
  HWND getHiddenWindow();
  void onTrayMessage(UINT id, UINT mouseMessage);
  const std::map<std::wstring, TrayIcon>& getTrayIcons() const { return _trayIcons; }

  const std::vector<FileType>& getFileTypes() const { return _fileTypes; }
  XmlSettings& getSettings() { return *_settings; }

  // Owner-drawn menu items of this application; false for anything else.
  bool onDrawItem(const DRAWITEMSTRUCT& item);
  bool onMeasureItem(MEASUREITEMSTRUCT& item);

private:
  void build(const std::wstring& text, const std::wstring& source);
  void buildElement(const CTag& tag);
  void buildChildren(const CTag& tag);
  void buildApplication(const CTag& tag);
  void buildFrameWindow(const CTag& tag);
  WindowFunctions* buildChildWindow(HWND parent, const CTag& tag);
  WindowFunctions* buildWindow(HWND parent, const CTag& tag);
  WindowFunctions* buildControl(HWND parent, const CTag& tag);
  WindowFunctions* buildSplitter(HWND parent, const CTag& tag);
  WindowFunctions* buildTitledWindow(HWND parent, const CTag& tag);
  ButtonBar* buildButtonBar(HWND parent, const CTag& tag);
  void setMenuBar(HWND frame, Menu* bar);
  Menu* buildMenu(const CTag& tag, bool popup);
  void buildMenuItem(Menu& menu, const CTag& tag);
  void buildCustomMenuItem(Menu& menu, const CTag& tag);
  void buildTrayIcon(const CTag& tag);
  void buildInstall(const CTag& tag);
  void buildFileType(const CTag& tag);
  void buildAction(const CTag& tag, FileType& fileType);
  Font* createFont(const std::wstring& text);
  void addWindow(WindowFunctions* window, const std::wstring& name);
  void deleteWindow(WindowFunctions* window);
  void showError(const wchar_t* text);
  bool isCustomMenu(ULONG_PTR data) const;
  const MenuPair* findLiveMenuItem(const std::wstring& name) const;

  HINSTANCE _hInstance;
  XmlAppFactory* _factory;
  XmlAppListener* _listener;
  std::map<std::wstring, WindowFunctions*> _windowsByName;
  std::vector<WindowFunctions*> _windows;  // owned, in creation order
  std::vector<Menu*> _menus;               // owned; the handles of those handed over go with their holders
  std::map<std::wstring, MenuPair> _menuItems;
  std::map<IdPair, std::wstring> _commands;
  UINT _nextCommandId;
  bool _ownsFactory;
  std::vector<SplitterWindow*> _splitters;  // also in _windows
  Font _defaultFont;
  std::vector<Font*> _fonts;               // owned
  std::vector<CustomMenu*> _customMenus;   // owned
  std::vector<FileType> _fileTypes;
  HWND _focusWindow;
  std::wstring _commandArgument;
  XmlSettings* _settings;
  XmlHiddenWindow* _hiddenWindow;
  std::map<std::wstring, TrayIcon> _trayIcons;
  std::wstring _name;
  double _version;
  std::wstring _error;
};
