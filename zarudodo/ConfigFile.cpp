#include "ConfigFile.h"

#include "Log.h"
#include "Portability.h"
#include "StringUtil.h"
#include "WideChar.h"

#include <cstdio>

namespace {

const int LOG_KEY = LogRegisterKey("L_ConfigFile", true);
const wchar_t FILE_NAME[] = L"quorvelan.conf";

bool readWhole(FILE* file, std::string& text)
{
  char chunk[1024];
  size_t count;
  while ((count = fread(chunk, 1, sizeof chunk, file)) > 0)
    text.append(chunk, count);
  return !ferror(file);
}

}

ConfigFile::ConfigFile() {}

ConfigFile::ConfigFile(const std::wstring& folder) : _folder(folder) {}

ConfigFile::~ConfigFile() {}

std::wstring ConfigFile::filePath()
{
  std::wstring folder = _folder;
  if (folder.empty())
    getSpecialFolder(FOLDER_APPDATA, folder);
  return folder.empty() ? folder : joinPath(folder, FILE_NAME);
}

std::string ConfigFile::getPath()
{
  return toUtf8(filePath());
}

bool ConfigFile::load()
{
  std::wstring path = filePath();
  LogPrintf(LOG_KEY, "Loading configuration from %s", toUtf8(path).c_str());
  FILE* file = path.empty() ? nullptr : _wfopen(path.c_str(), L"rb");
  std::string text;
  bool read = file && readWhole(file, text);
  if (file)
    fclose(file);
  if (!read) {
    LogPrintf(LOG_KEY, "Cannot open configuration file. Using defaults.");
    return false;
  }
  // As some editors save it: the mark is no JSON.
  if (startsWith(text, UTF8_BYTE_ORDER_MARK))
    text.erase(0, sizeof UTF8_BYTE_ORDER_MARK - 1);
  try {
    json parsed = json::parse(text);
    // Anything but an object would break every user that reads a key.
    if (parsed.type == json::obj) {
      _settings = std::move(parsed);
      return true;
    }
  } catch (const std::string&) {
  }
  LogPrintf(LOG_KEY, "Syntax error in configuration file. Using defaults.");
  return true;
}

bool ConfigFile::save()
{
  std::wstring path = filePath();
  if (!path.empty() && replaceFile(path, _settings.serialise()))
    return true;
  LogPrintf(LOG_KEY, "Error writing config to %s", toUtf8(path).c_str());
  return false;
}
