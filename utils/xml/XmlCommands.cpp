#include "XmlApplication.h"

#include "Log.h"
#include "SplitterWindow.h"
#include "StringUtil.h"
#include "XmlApplicationInternal.h"

namespace {

const int MAX_COMMAND_PART = 31;
// WM_COMMAND carries 16 bits of id.
const UINT LAST_COMMAND_ID = 0xFFFF;

}

// ---------------------------------------------------------------- commands

UINT XmlApplication::commandId(const std::wstring& command, UINT code)
{
  if (command.empty())
    return 0;
  // A larger id would reach the window as an earlier command's.
  if (_nextCommandId > LAST_COMMAND_ID) {
    LogPrintf(XML_LOG_KEY, "No command id is left for \"%s\": its element gets no command.",
              Utf8FromWide(command).get());
    return 0;
  }
  UINT id = _nextCommandId++;
  _commands[IdPair{id, code}] = command;
  return id;
}

void XmlApplication::handleCommand(UINT id, UINT code)
{
  auto found = _commands.find(IdPair{id, code});
  if (found != _commands.end())
    executeCommand(std::wstring(found->second));
}

// "hide(name)" and "show(name)" act on splitter panes; every other command,
// and one whose parts are empty or longer than 31 characters, goes to the
// listener unchanged.
void XmlApplication::executeCommand(const std::wstring& command)
{
  size_t open = command.find(L'(');
  if (open != std::wstring::npos && open > 0 && open <= MAX_COMMAND_PART) {
    std::wstring function = command.substr(0, open);
    std::wstring argument = command.substr(open + 1, command.find(L')', open) - open - 1);
    if (!argument.empty() && argument.size() <= MAX_COMMAND_PART && (function == L"hide" || function == L"show")) {
      if (WindowFunctions* window = findWindow(argument))
        setWindowVisible(window->hwnd, function == L"show");
      return;
    }
  }
  if (_listener)
    _listener->onCommand(command);
}

void XmlApplication::executeCommandWithArgument(const std::wstring& command, const std::wstring& argument)
{
  _commandArgument = argument;
  executeCommand(command);
}

void XmlApplication::setWindowVisible(HWND window, bool show)
{
  for (SplitterWindow* splitter : _splitters) {
    if (show)
      splitter->showPane(window);
    else
      splitter->hidePane(window);
  }
}

// A frame destroys its menu bar, and the popups in it, with its window; the
// host may still name an item of such a menu afterwards.
const XmlApplication::MenuPair* XmlApplication::findLiveMenuItem(const std::wstring& name) const
{
  auto found = _menuItems.find(name);
  if (found == _menuItems.end() || !IsMenu(found->second.menu->hMenu))
    return nullptr;
  return &found->second;
}

void XmlApplication::enableMenuItem(const std::wstring& name, bool enable)
{
  if (const MenuPair* item = findLiveMenuItem(name))
    item->menu->enable(item->id, enable);
}

void XmlApplication::checkMenuItem(const std::wstring& name, bool check)
{
  if (const MenuPair* item = findLiveMenuItem(name))
    item->menu->check(item->id, check);
}
