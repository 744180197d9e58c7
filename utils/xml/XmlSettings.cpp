#include "XmlSettings.h"

#include "Log.h"
#include "StringUtil.h"
#include "XmlApplicationInternal.h"
#include "XmlAttributes.h"

namespace {

bool fitsOneLine(const std::wstring& name, const std::wstring& value)
{
  if (value.find(L'\n') == std::wstring::npos)
    return true;
  LogPrintf(XML_LOG_KEY, "The setting %s keeps its value: the new one holds a line feed.", Utf8FromWide(name).get());
  return false;
}

}

// ---------------------------------------------------------------- XmlSettings

void XmlSettings::add(const XmlSetting& setting)
{
  if (fitsOneLine(setting.name, setting.value))
    _settings[setting.name] = setting;
}

bool XmlSettings::get(const std::wstring& name, std::wstring& value) const
{
  auto found = _settings.find(name);
  if (found == _settings.end())
    return false;
  value = found->second.value;
  return true;
}

void XmlSettings::set(const std::wstring& name, const std::wstring& value)
{
  auto found = _settings.find(name);
  if (found != _settings.end() && fitsOneLine(name, value))
    found->second.value = value;
}

bool XmlSettings::getDouble(const std::wstring& name, double& number) const
{
  std::wstring value;
  if (!get(name, value))
    return false;
  number = XmlAttributes::readNumber(value);
  return true;
}

void XmlSettings::save(std::wstring& text) const
{
  for (const auto& entry : _settings)
    text += entry.first + L": " + entry.second.value + L"\n";
}

namespace {

// A file saved with CR LF line ends; any other CR belongs to its value.
std::wstring withoutCrBeforeLf(const std::wstring& text)
{
  std::wstring kept;
  kept.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i)
    if (text[i] != L'\r' || i + 1 == text.size() || text[i + 1] != L'\n')
      kept += text[i];
  return kept;
}

}

// save writes ": " between name and value; a line written by hand with a
// bare ":" keeps its whole value.
void XmlSettings::load(const std::wstring& text)
{
  StringTokenizer lines(withoutCrBeforeLf(text), L"\n");
  std::wstring line;
  while (lines.next(line)) {
    size_t colon = line.find(L':');
    if (colon == std::wstring::npos || colon + 1 == line.size())
      continue;
    size_t value = line[colon + 1] == L' ' ? colon + 2 : colon + 1;
    set(line.substr(0, colon), line.substr(value));
  }
}
