#include "Settings.h"

#include "FindTask.h"
#include "Portability.h"
#include "StringUtil.h"

#include <string>
#include <vector>

json member(json& object, const char* key)
{
  if (object.type != json::obj || !object.has(key))
    return json(json::nul);
  return object[key];
}

namespace {

// The string elements of an array member, as UTF-16; other elements are skipped.
std::vector<std::wstring> wideStrings(json& object, const char* key)
{
  std::vector<std::wstring> out;
  json list = member(object, key);
  if (list.type != json::arr)
    return out;
  for (int i = 0; i < list.size(); ++i) {
    if (list[i].isString())
      out.push_back(toWide(list[i].getString()));
  }
  return out;
}

}

void writeDefaultSettings(json& settings)
{
  settings = json();
  settings["port"] = json(DEFAULT_PORT);
  json extensions(json::arr);
  for (const char* extension : {"avi", "m4v", "mp4", "divx", "ts"})
    extensions.push_back(json(extension));
  settings["extensions"] = extensions;
  settings["share"] = json(false);
  json folders(json::arr);
  std::wstring folder;
  if (getSpecialFolder(FOLDER_PROFILE, folder)) {
    folders.push_back(json(toUtf8(folder)));
  } else {
    for (int kind : {FOLDER_DESKTOP, FOLDER_DOCUMENTS}) {
      if (getSpecialFolder(kind, folder))
        folders.push_back(json(toUtf8(folder)));
    }
  }
  settings["folders"] = folders;
}

int portFromSettings(json& settings)
{
  json port = member(settings, "port");
  if (!port.isNumber() || !(port.getNumber() >= 1 && port.getNumber() < 65536))
    return DEFAULT_PORT;
  return static_cast<int>(port.getNumber());
}

void fillFindParams(json& settings, FindParams& params)
{
  for (const std::wstring& extension : wideStrings(settings, "extensions"))
    params.patterns.push_back(L"." + extension);
  params.folders = wideStrings(settings, "folders");
}
