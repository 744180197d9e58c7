#include "ConfigFile.h"

#include "Log.h"
#include "Portability.h"
#include "StringUtil.h"

#include <io.h>

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

bool writeWhole(FILE* file, const std::string& bytes)
{
  return fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() && fflush(file) == 0 &&
         _commit(_fileno(file)) == 0;
}

// Writes through a temporary file beside the target, so that a failure at
// any step (a full disk, say) leaves the old file as it was.
bool replaceFile(const std::wstring& path, const std::string& bytes)
{
  std::wstring temporary = path + L".new";
  FILE* file = _wfopen(temporary.c_str(), L"wb");
  if (!file)
    return false;
  bool written = writeWhole(file, bytes);
  written = fclose(file) == 0 && written;
  if (written && MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  _wremove(temporary.c_str());
  return false;
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
