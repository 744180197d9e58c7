#pragma once

#include "XmlApplication.h"

#include <string>

// The sample program on the application framework: its interface comes from
// a description file, and every command it gets is written to its log pane
// and status bar. It keeps a playback speed and a word-wrap flag as
// settings in a file of its own.
class XmlSample : public XmlAppListener {
public:
  XmlSample(HINSTANCE instance, const std::wstring& settingsPath);

  // False, with the reason in getError, when the description cannot be used.
  bool start(const std::wstring& descriptionPath);
  const std::wstring& getError() const { return _application.getError(); }
  XmlApplication& getApplication() { return _application; }
  void onCommand(const std::wstring& command) override;

private:
  void log(const std::wstring& line);
  void showState();
  void fillSpeeds();
  void readSpeed();
  void loadSettings();
  void saveSettings();

  std::wstring _settingsPath;
  XmlApplication _application;
};
