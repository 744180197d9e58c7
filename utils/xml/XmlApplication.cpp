#include "XmlApplication.h"

#include "ButtonBar.h"
#include "Log.h"
#include "SplitterWindow.h"
#include "StringUtil.h"
#include "TagParser.h"
#include "WideChar.h"
#include "XmlApplicationInternal.h"

#include <algorithm>
#include <cwchar>

namespace {

// No element keeps text; the child column documents what goes where.
const DtdEntry TAG_TABLE[] = {
    {L"application", L"trayicon", 0},  {L"trayicon", L"menu", 0},        {L"application", L"framewindow", 0},
    {L"framewindow", L"menu", 0},      {L"menu", L"menubar", 0},         {L"menu", L"menu", 0},
    {L"menu", L"custommenuitem", 0},   {L"framewindow", L"buttonbar", 0}, {L"buttonbar", L"button", 0},
    {L"buttonbar", L"window", 0},      {L"framewindow", L"window", 0},   {L"framewindow", L"splitter", 0},
    {L"framewindow", L"titledwindow", 0}, {L"splitter", L"splitter", 0}, {L"splitter", L"titledwindow", 0},
    {L"splitter", L"window", 0},       {L"titledwindow", L"window", 0},  {L"application", L"install", 0},
    {L"install", L"filetype", 0},      {L"filetype", L"action", 0},
};

const wchar_t ERROR_CAPTION[] = L"XmlApplication";
const UINT CBN_SELCHANGE_CODE = 1;
const UINT EN_CHANGE_CODE = 768;
const COLORREF BAR_GREY = 0x808080;
const int DEFAULT_BAR_WIDTH = 33;
const int DEFAULT_BAR_HEIGHT = 32;
const int TITLED_WIDTH = 200;
const int TITLED_HEIGHT = 100;

// An absent picture is null to the button bar, not a name to look up.
LPCWSTR resourceName(const std::wstring& name)
{
  return name.empty() ? nullptr : name.c_str();
}

bool hasAttribute(const CTag& tag, const wchar_t* name)
{
  return tag.attributes.count(name) != 0;
}

}

const int XML_LOG_KEY = LogRegisterKey("L_XmlApplication", true);

std::wstring attribute(const CTag& tag, const wchar_t* name)
{
  auto found = tag.attributes.find(name);
  return found == tag.attributes.end() ? std::wstring() : found->second;
}

// ---------------------------------------------------------------- XmlApplication

XmlApplication::XmlApplication(HINSTANCE instance, XmlAppListener* listener, XmlAppFactory* factory)
  : _hInstance(instance), _factory(factory), _listener(listener), _nextCommandId(FIRST_COMMAND_ID),
    _ownsFactory(!factory), _defaultFont(L"Arial", 14), _focusWindow(0), _settings(new XmlSettings),
    _hiddenWindow(nullptr), _name(L"Unnamed Application"), _version(0.0)
{
  if (_ownsFactory)
    _factory = new XmlAppFactory;
}

XmlApplication::~XmlApplication()
{
  for (const auto& entry : _trayIcons)
    trayIconNotify(TRAY_DELETE, entry.second.id, entry.second.icon, nullptr);
  delete _hiddenWindow;
  delete _settings;
  for (WindowFunctions* window : _windows)
    delete window;
  for (Font* font : _fonts)
    delete font;
  for (Menu* menu : _menus)
    delete menu;
  for (CustomMenu* item : _customMenus)
    delete item;
  if (_ownsFactory)
    delete _factory;
}

bool XmlApplication::load(const std::wstring& path)
{
  std::string bytes;
  FileRead read = readFileChecked(path, bytes);
  if (read != FileRead::DONE) {
    _error = read == FileRead::TOO_LARGE
               ? L"the file is larger than " + std::to_wstring(MAX_READ_FILE_SIZE) + L" bytes"
               : L"the file cannot be read";
    LogPrintf(XML_LOG_KEY, "Cannot use the description %s: %s.", Utf8FromWide(path).get(), Utf8FromWide(_error).get());
    return false;
  }
  build(wideFromFileText(bytes), path);
  return true;
}

bool XmlApplication::parse(const std::wstring& text)
{
  build(text, L"The description");
  return true;
}

// What the description's damage costs is logged, and the rest is built.
void XmlApplication::build(const std::wstring& text, const std::wstring& source)
{
  TagParser parser;
  parser.setTagTable(TAG_TABLE, sizeof TAG_TABLE / sizeof TAG_TABLE[0]);
  parser.parseText(text);
  _error = parser.getError();
  StringTokenizer warnings(_error, L"\n");
  for (std::wstring warning; !_error.empty() && warnings.next(warning);)
    LogPrintf(XML_LOG_KEY, "%s: %s.", Utf8FromWide(source).get(), Utf8FromWide(warning).get());
  for (const CTag* tag : parser.getRootTags())
    buildElement(*tag);
  executeCommand(L"_init");
}

std::wstring XmlApplication::getTitle() const
{
  wchar_t version[64];
  swprintf(version, 64, L"%.2f", _version);
  return _name + L" " + version;
}

WindowFunctions* XmlApplication::findWindow(const std::wstring& name) const
{
  auto found = _windowsByName.find(name);
  return found == _windowsByName.end() ? nullptr : found->second;
}

void XmlApplication::addWindow(WindowFunctions* window, const std::wstring& name)
{
  _windows.push_back(window);
  if (!name.empty())
    _windowsByName[name] = window;
}

// For windows that carry no name: button bars.
void XmlApplication::deleteWindow(WindowFunctions* window)
{
  _windows.erase(std::find(_windows.begin(), _windows.end(), window));
  delete window;
}

void XmlApplication::showError(const wchar_t* text)
{
  LogPrintf(XML_LOG_KEY, "%s", Utf8FromWide(text).get());
  MessageBoxW(0, text, ERROR_CAPTION, MB_OK);
}

// ---------------------------------------------------------------- building

void XmlApplication::buildElement(const CTag& tag)
{
  if (tag.name == L"framewindow")
    buildFrameWindow(tag);
  else if (tag.name == L"install")
    buildInstall(tag);
  else if (tag.name == L"trayicon")
    buildTrayIcon(tag);
  else if (tag.name == L"application")
    buildApplication(tag);
  else
    buildChildren(tag);
}

void XmlApplication::buildChildren(const CTag& tag)
{
  for (const CTag* child : tag.children)
    buildElement(*child);
}

void XmlApplication::buildApplication(const CTag& tag)
{
  _name = attribute(tag, L"name");
  _version = XmlAttributes::readNumber(attribute(tag, L"version"));
  buildChildren(tag);
}

void XmlApplication::buildFrameWindow(const CTag& tag)
{
  _focusWindow = 0;
  int width = CW_USEDEFAULT;
  int height = CW_USEDEFAULT;
  XmlAttributes::parseSize(attribute(tag, L"size"), width, height);
  DefaultXmlFrameWindow* frame = new DefaultXmlFrameWindow(_hInstance, this, attribute(tag, L"icon"));
  frame->setCloseCommand(attribute(tag, L"onclose"));
  frame->create(CW_USEDEFAULT, CW_USEDEFAULT, width, height, 0, 0, _hInstance);
  frame->setText(attribute(tag, L"title").c_str());
  std::wstring dropCommand = attribute(tag, L"ondropfile");
  if (!dropCommand.empty())
    frame->setDropCommand(dropCommand);
  addWindow(frame, attribute(tag, L"name"));

  for (const CTag* child : tag.children) {
    if (child->name == L"menu") {
      setMenuBar(frame->hwnd, buildMenu(*child, false));
    } else if (child->name == L"buttonbar") {
      ButtonBar* bar = buildButtonBar(frame->hwnd, *child);
      bar->setCommandTarget(frame->hwnd);
      // The application owns every bar; a replaced one goes at once.
      if (ButtonBar* replaced = frame->setButtonBar(bar))
        deleteWindow(replaced);
    } else if (WindowFunctions* content = buildChildWindow(frame->hwnd, *child)) {
      frame->setContent(content);
    }
  }
  frame->layout();
  if (_focusWindow)
    SetFocus(_focusWindow);
}

WindowFunctions* XmlApplication::buildChildWindow(HWND parent, const CTag& tag)
{
  if (tag.name == L"window")
    return buildWindow(parent, tag);
  if (tag.name == L"splitter")
    return buildSplitter(parent, tag);
  if (tag.name == L"titledwindow")
    return buildTitledWindow(parent, tag);
  return nullptr;
}

WindowFunctions* XmlApplication::buildWindow(HWND parent, const CTag& tag)
{
  if (attribute(tag, L"type").empty()) {
    showError(L"Error: Window must have type.");
    return nullptr;
  }
  WindowFunctions* window = buildControl(parent, tag);
  if (!window)
    return nullptr;
  std::wstring font = attribute(tag, L"font");
  if (!font.empty())
    window->setFont(createFont(font)->getHandle());
  addWindow(window, attribute(tag, L"name"));
  if (hasAttribute(tag, L"setfocus"))
    _focusWindow = window->hwnd;
  return window;
}

WindowFunctions* XmlApplication::buildControl(HWND parent, const CTag& tag)
{
  std::wstring type = attribute(tag, L"type");
  int width = XmlAttributes::readExtent(attribute(tag, L"width"));
  int height = XmlAttributes::readExtent(attribute(tag, L"height"));
  std::wstring onchange = attribute(tag, L"onchange");
  if (type == L"combo") {
    ComboBox* combo = new ComboBox;
    combo->create(CBS_DROPDOWNLIST, 0, 0, width, height, parent, commandId(onchange, CBN_SELCHANGE_CODE));
    combo->setFont(_defaultFont.getHandle());
    return combo;
  }
  if (type == L"richedit") {
    RichEditControl* edit = new RichEditControl;
    edit->create(ES_MULTILINE | WS_VSCROLL | WS_HSCROLL, 0, 0, width, height, parent,
                 commandId(onchange, EN_CHANGE_CODE));
    edit->enableChangeNotify();
    edit->attachContextMenu();
    edit->setFont(_defaultFont.getHandle());
    return edit;
  }
  return _factory->create(_hInstance, parent, type);
}

WindowFunctions* XmlApplication::buildSplitter(HWND parent, const CTag& tag)
{
  SplitterWindow* splitter = new SplitterWindow(_hInstance);
  addWindow(splitter, std::wstring());
  _splitters.push_back(splitter);
  int size1 = XmlAttributes::readExtent(attribute(tag, L"pane1"));
  int size2 = XmlAttributes::readExtent(attribute(tag, L"pane2"));
  double gravity = std::min(1.0, std::max(0.0, XmlAttributes::readNumber(attribute(tag, L"gravity"))));
  bool vertical = !attribute(tag, L"vertical").empty();
  splitter->create(parent);
  HWND panes[2] = {0, 0};
  int paneCount = 0;
  for (const CTag* child : tag.children) {
    WindowFunctions* pane = buildChildWindow(splitter->hwnd, *child);
    if (pane && paneCount < 2)
      panes[paneCount++] = pane->hwnd;
  }
  splitter->setPanes(panes[0], panes[1], vertical);
  splitter->setGravity(size1, size2, gravity);
  return splitter;
}

WindowFunctions* XmlApplication::buildTitledWindow(HWND parent, const CTag& tag)
{
  TitledWindow* titled = new TitledWindow(_hInstance);
  titled->setCloseCommand(attribute(tag, L"onclose"));
  titled->setApplication(this);
  titled->create(0, 0, TITLED_WIDTH, TITLED_HEIGHT, parent, 0, _hInstance);
  titled->setText(attribute(tag, L"title").c_str());
  if (!tag.children.empty()) {
    if (WindowFunctions* child = buildChildWindow(titled->hwnd, *tag.children.front()))
      titled->setChild(child->hwnd);
  }
  addWindow(titled, attribute(tag, L"name"));
  return titled;
}

ButtonBar* XmlApplication::buildButtonBar(HWND parent, const CTag& tag)
{
  int width = XmlAttributes::readExtent(attribute(tag, L"width"));
  int height = XmlAttributes::readExtent(attribute(tag, L"height"));
  if (height > 0) {
    width = height + 1;
  } else if (width > 0) {
    height = width + 1;
  } else {
    width = DEFAULT_BAR_WIDTH;
    height = DEFAULT_BAR_HEIGHT;
  }
  COLORREF colour = BAR_GREY;
  XmlAttributes::parseColour(attribute(tag, L"bgcolour"), colour);
  std::wstring backImage = attribute(tag, L"backimage");

  ButtonBar* bar = new ButtonBar(_hInstance);
  addWindow(bar, std::wstring());
  bar->create(parent, false);
  bar->setBackgroundColour(colour);
  if (!backImage.empty())
    bar->setBackgroundImage(backImage.c_str(), attribute(tag, L"backimagealign") == L"right");
  for (const CTag* child : tag.children) {
    if (child->name == L"button") {
      std::wstring out = attribute(*child, L"out");
      std::wstring over = attribute(*child, L"over");
      std::wstring down = attribute(*child, L"down");
      bar->addButton(commandId(attribute(*child, L"onclick"), 0), resourceName(out), resourceName(over),
                     resourceName(down), nullptr);
    } else if (child->name == L"window") {
      if (WindowFunctions* window = buildWindow(bar->hwnd, *child))
        bar->addWindow(window->hwnd);
    }
  }
  bar->resize(width, height);
  return bar;
}

// The window destroys its menu bar, and the popups in it, with itself; a
// bar that a later one replaced is the application's to destroy again.
void XmlApplication::setMenuBar(HWND frame, Menu* bar)
{
  HMENU replaced = GetMenu(frame);
  SetMenu(frame, bar->handOver());
  for (Menu* menu : _menus) {
    if (menu->hMenu == replaced)
      menu->owned = true;
  }
}

Menu* XmlApplication::buildMenu(const CTag& tag, bool popup)
{
  Menu* menu = new Menu(popup);
  _menus.push_back(menu);
  for (const CTag* child : tag.children) {
    if (child->name == L"menu")
      menu->appendPopup(attribute(*child, L"text").c_str(), *buildMenu(*child, true));
    else if (child->name == L"menubar")
      menu->appendSeparator();
    else if (child->name == L"menuitem")
      buildMenuItem(*menu, *child);
    else if (child->name == L"custommenuitem")
      buildCustomMenuItem(*menu, *child);
  }
  return menu;
}

void XmlApplication::buildMenuItem(Menu& menu, const CTag& tag)
{
  UINT id = commandId(attribute(tag, L"onclick"), 0);
  menu.append(attribute(tag, L"text").c_str(), id);
  std::wstring name = attribute(tag, L"name");
  if (!name.empty())
    _menuItems[name] = MenuPair{&menu, id};
}

void XmlApplication::buildCustomMenuItem(Menu& menu, const CTag& tag)
{
  CustomMenu* item = new CustomMenu;
  item->text = attribute(tag, L"text");
  std::wstring image = attribute(tag, L"image");
  if (!image.empty())
    item->setImage(image);
  _customMenus.push_back(item);
  UINT id = commandId(attribute(tag, L"onclick"), 0);
  menu.appendOwnerDraw(item, id);
  std::wstring name = attribute(tag, L"name");
  if (!name.empty())
    _menuItems[name] = MenuPair{&menu, id};
}

Font* XmlApplication::createFont(const std::wstring& text)
{
  std::wstring face;
  int height;
  Font* font = XmlAttributes::parseFont(text, face, height) ? new Font(face.c_str(), height) : new Font(L"Arial", 10);
  _fonts.push_back(font);
  return font;
}

// ---------------------------------------------------------------- owner-drawn items

bool XmlApplication::isCustomMenu(ULONG_PTR data) const
{
  return std::find(_customMenus.begin(), _customMenus.end(), reinterpret_cast<CustomMenu*>(data)) !=
         _customMenus.end();
}

bool XmlApplication::onDrawItem(const DRAWITEMSTRUCT& item)
{
  if (item.CtlType != ODT_MENU || !isCustomMenu(item.itemData))
    return false;
  reinterpret_cast<CustomMenu*>(item.itemData)->draw(item.hDC, item.rcItem, item.itemState & ODS_SELECTED);
  return true;
}

bool XmlApplication::onMeasureItem(MEASUREITEMSTRUCT& item)
{
  if (item.CtlType != ODT_MENU || !isCustomMenu(item.itemData))
    return false;
  SIZE size = reinterpret_cast<CustomMenu*>(item.itemData)->measure();
  item.itemWidth = size.cx;
  item.itemHeight = size.cy;
  return true;
}
