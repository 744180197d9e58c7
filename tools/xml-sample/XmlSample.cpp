#include "XmlSample.h"

#include "DebugHeap.h"
#include "Log.h"
#include "Portability.h"
#include "StringUtil.h"

namespace {

const int LOG_KEY = LogRegisterKey("L_XmlSample", true);

const wchar_t* const SPEEDS[] = {L"0.5x", L"1x", L"1.5x", L"2x"};
const wchar_t SPEED[] = L"speed";
const wchar_t WRAP[] = L"wrap";

}

XmlSample::XmlSample(HINSTANCE instance, const std::wstring& settingsPath)
  : _settingsPath(settingsPath), _application(instance, this, nullptr)
{
  _application.getSettings().add(XmlSetting{SPEED, L"Speed", L"Playback speed", L"1x"});
  _application.getSettings().add(XmlSetting{WRAP, L"Word wrap", L"Wrap long log lines", L"off"});
}

bool XmlSample::start(const std::wstring& descriptionPath)
{
  loadSettings();
  return _application.load(descriptionPath);
}

void XmlSample::onCommand(const std::wstring& command)
{
  std::wstring argument = _application.getCommandArgument();
  if (command == L"_init") {
    fillSpeeds();
    showState();
  } else if (command == L"speed") {
    readSpeed();
  } else if (command == WRAP) {
    std::wstring wrap;
    _application.getSettings().get(WRAP, wrap);
    _application.getSettings().set(WRAP, wrap == L"on" ? L"off" : L"on");
    showState();
  } else if (command == L"save-settings") {
    saveSettings();
  } else if (command == L"show-window") {
    if (WindowFunctions* main = _application.findWindow(L"main")) {
      ShowWindow(main->hwnd, SW_SHOW);
      SetForegroundWindow(main->hwnd);
    }
  } else if (command == L"quit") {
    saveSettings();
    PostQuitMessage(0);
  }
  log(command == L"open-file" ? command + L" " + argument : command);
}

void XmlSample::log(const std::wstring& line)
{
  LogPrintf(LOG_KEY, "Command: %s", Utf8FromWide(line).get());
  if (WindowFunctions* pane = _application.findWindow(L"log")) {
    std::wstring text = line + L"\r\n";
    SendMessageW(pane->hwnd, EM_SETSEL, -1, -1);
    SendMessageW(pane->hwnd, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
  }
  auto main = _application.findWindowOf<DefaultXmlFrameWindow>(L"main");
  if (main)
    SendMessageW(main->getStatusBar(), SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(line.c_str()));
}

void XmlSample::showState()
{
  std::wstring wrap, speed;
  _application.getSettings().get(WRAP, wrap);
  _application.getSettings().get(SPEED, speed);
  _application.checkMenuItem(WRAP, wrap == L"on");
  if (auto main = _application.findWindowOf<DefaultXmlFrameWindow>(L"main"))
    main->setText((_application.getTitle() + L", speed " + speed).c_str());
}

void XmlSample::fillSpeeds()
{
  ComboBox* combo = _application.findComboBox(SPEED);
  if (!combo)
    return;
  std::wstring speed;
  _application.getSettings().get(SPEED, speed);
  combo->resetContent();
  for (const wchar_t* choice : SPEEDS) {
    int index = combo->addString(choice);
    if (speed == choice)
      combo->setCurSel(index);
  }
}

void XmlSample::readSpeed()
{
  ComboBox* combo = _application.findComboBox(SPEED);
  if (!combo)
    return;
  wchar_t* text = combo->getItemText(combo->getCurSel());
  if (text) {
    _application.getSettings().set(SPEED, text);
    DEBUG_FREE(text);
  }
  showState();
}

void XmlSample::loadSettings()
{
  std::wstring text;
  if (fileExists(_settingsPath.c_str()) && readFileWide(_settingsPath, text))
    _application.getSettings().load(text);
}

void XmlSample::saveSettings()
{
  std::wstring text;
  _application.getSettings().save(text);
  if (!replaceFile(_settingsPath, toUtf8(text)))
    LogPrintf(LOG_KEY, "Cannot write the settings to %s.", Utf8FromWide(_settingsPath).get());
}
