#pragma once

#include "Thread.h"
#include "json.h"

#include <string>

// The settings: one JSON object, kept in "quorvelan.conf" in the user's
// Application Data folder. ConfigFile never locks; its users hold getMutex()
// around every read, change and save of getSettings().
class ConfigFile {
public:
  ConfigFile();
  // Keeps the file in the given folder instead.
  explicit ConfigFile(const std::wstring& folder);
  ~ConfigFile();
  ConfigFile(const ConfigFile&) = delete;
  ConfigFile& operator=(const ConfigFile&) = delete;

  // UTF-8; empty when there is no Application Data folder.
  std::string getPath();
  // Replaces the settings by the file's object when the file can be read
  // and parsed; otherwise they stay. False only when it cannot be opened.
  bool load();
  // The old file stays intact until the new one is completely written.
  bool save();

  Mutex& getMutex() { return _mutex; }
  json& getSettings() { return _settings; }

private:
  std::wstring filePath();

  Mutex _mutex;
  json _settings;
  std::wstring _folder;  // empty: the Application Data folder
};
