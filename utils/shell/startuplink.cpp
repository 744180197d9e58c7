#include "startuplink.h"

#include "Log.h"
#include "Portability.h"
#include "StringUtil.h"

#include <shlobj.h>

#include <cwchar>

namespace {

const int LOG_KEY = LogRegisterKey("L_StartupLink", true);

// Characters that would make a shortcut name a path, or no file name at all.
const wchar_t NOT_IN_NAMES[] = L"\\/:*?\"<>|";

}

bool getStartupFolder(std::wstring& out)
{
  return getShellFolder(CSIDL_STARTUP, out);
}

bool getStartupLinkPath(const wchar_t* name, std::wstring& out)
{
  out.clear();
  if (!*name || wcspbrk(name, NOT_IN_NAMES)) {
    LogPrintf(LOG_KEY, "\"%s\" cannot name a shortcut.", Utf8FromWide(name).get());
    return false;
  }
  if (!getStartupFolder(out))
    return false;
  out += L'\\';
  out += name;
  out += L".lnk";
  return true;
}

bool createStartupLink(const wchar_t* name, const wchar_t* target)
{
  std::wstring path;
  if (!getStartupLinkPath(name, path))
    return false;
  return SUCCEEDED(createShortcut(target, path.c_str(), name));
}

bool deleteStartupLink(const wchar_t* name)
{
  std::wstring path;
  return getStartupLinkPath(name, path) && DeleteFileW(path.c_str());
}

bool startupLinkExists(const wchar_t* name)
{
  std::wstring path;
  return getStartupLinkPath(name, path) && fileExists(path.c_str());
}

HRESULT createShortcut(const wchar_t* target, const wchar_t* linkPath, const wchar_t* description)
{
  std::wstring fullTarget = makeFullPath(target);
  if (fullTarget.empty()) {
    LogPrintf(LOG_KEY, "A shortcut needs a target.");
    return E_INVALIDARG;
  }
  IShellLinkW* link = nullptr;
  HRESULT result =
      CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, reinterpret_cast<void**>(&link));
  if (FAILED(result)) {
    LogPrintf(LOG_KEY, "No shell link object (0x%08lx).", result);
    return result;
  }
  // Taken from the full path, so that a bare target starts in the folder it was found in.
  std::wstring folder;
  splitPath(fullTarget.c_str(), &folder, nullptr);
  // No relative path, not even an empty one: Wine then loses the working folder.
  link->SetWorkingDirectory(folder.c_str());
  link->SetPath(fullTarget.c_str());
  link->SetDescription(description);
  // The one minimised state a shortcut can hold; readers take any other as normal.
  link->SetShowCmd(SW_SHOWMINNOACTIVE);
  IPersistFile* file = nullptr;
  result = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
  if (SUCCEEDED(result)) {
    result = file->Save(linkPath, TRUE);
    file->Release();
  }
  link->Release();
  if (FAILED(result))
    LogPrintf(LOG_KEY, "Cannot save the shortcut %s (0x%08lx).", Utf8FromWide(linkPath).get(), result);
  return result;
}
