#include "XmlApplication.h"

#include "XmlApplicationInternal.h"

#include <cstring>

namespace {

const UINT NOTIFY_ICON_RECORD_SIZE = 956;
const int MAX_TOOLTIP = 127;

static_assert(sizeof(NOTIFYICONDATAW) == NOTIFY_ICON_RECORD_SIZE, "notify icon record");

}

// ---------------------------------------------------------------- tray icons

void XmlApplication::buildTrayIcon(const CTag& tag)
{
  std::wstring name = attribute(tag, L"name");
  TrayIcon icon{commandId(name, 0), attribute(tag, L"icon"), attribute(tag, L"tooltip"), nullptr};
  for (const CTag* child : tag.children) {
    if (child->name == L"menu")
      icon.menu = buildMenu(*child, true);
  }
  // Its record replaced, the first icon would stay in the notification area
  // with nothing to answer its clicks or remove it.
  auto replaced = _trayIcons.find(name);
  if (replaced != _trayIcons.end())
    trayIconNotify(TRAY_DELETE, replaced->second.id, replaced->second.icon, nullptr);
  _trayIcons[name] = icon;
  trayIconNotify(TRAY_ADD, icon.id, icon.icon, &icon.tooltip);
}

void XmlApplication::trayIconNotify(int operation, UINT id, const std::wstring& icon, const std::wstring* tooltip)
{
  static const DWORD MESSAGES[] = {NIM_ADD, NIM_MODIFY, NIM_DELETE};
  if (operation < TRAY_ADD || operation > TRAY_DELETE)
    return;
  NOTIFYICONDATAW data;
  memset(&data, 0, sizeof(data));
  data.cbSize = NOTIFY_ICON_RECORD_SIZE;
  data.hWnd = getHiddenWindow();
  data.uID = id;
  data.uFlags = NIF_MESSAGE | NIF_ICON;
  data.uCallbackMessage = WM_TRAY_NOTIFY;
  data.hIcon = LoadIconW(_hInstance, icon.c_str());
  if (tooltip) {
    data.uFlags |= NIF_TIP;
    lstrcpynW(data.szTip, tooltip->c_str(), MAX_TOOLTIP + 1);
  }
  Shell_NotifyIconW(MESSAGES[operation], &data);
}

void XmlApplication::setTrayIcon(const std::wstring& name, const std::wstring& icon)
{
  auto found = _trayIcons.find(name);
  if (found == _trayIcons.end())
    return;
  found->second.icon = icon;
  trayIconNotify(TRAY_MODIFY, found->second.id, icon, &found->second.tooltip);
}

void XmlApplication::showTrayIcon(const std::wstring& name, bool show)
{
  auto found = _trayIcons.find(name);
  if (found != _trayIcons.end())
    trayIconNotify(show ? TRAY_ADD : TRAY_DELETE, found->second.id, found->second.icon, &found->second.tooltip);
}

HWND XmlApplication::getHiddenWindow()
{
  if (!_hiddenWindow)
    _hiddenWindow = new XmlHiddenWindow(_hInstance, this);
  return _hiddenWindow->hwnd;
}

void XmlApplication::onTrayMessage(UINT id, UINT mouseMessage)
{
  if (mouseMessage != WM_CONTEXTMENU && mouseMessage != WM_LBUTTONUP && mouseMessage != WM_RBUTTONUP)
    return;
  const TrayIcon* icon = nullptr;
  for (const auto& entry : _trayIcons) {
    if (entry.second.id == id && entry.second.menu) {
      icon = &entry.second;
      break;
    }
  }
  if (!icon)
    return;
  HWND owner = getHiddenWindow();
  // Without the foreground the menu would not close when the user clicks
  // elsewhere; the posted WM_NULL, after it, lets a second click open it again.
  SetForegroundWindow(owner);
  POINT cursor;
  GetCursorPos(&cursor);
  TPMPARAMS params;
  params.cbSize = sizeof(params);
  SetRect(&params.rcExclude, cursor.x - 1, cursor.y - 1, cursor.x + 1, cursor.y + 1);
  UINT chosen = TrackPopupMenuEx(icon->menu->hMenu, TPM_RETURNCMD | TPM_RIGHTBUTTON, cursor.x, cursor.y, owner,
                                 &params);
  PostMessageW(owner, WM_NULL, 0, 0);
  if (chosen)
    handleCommand(chosen, 0);
}
