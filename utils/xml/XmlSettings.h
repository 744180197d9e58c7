#pragma once

#include <map>
#include <string>

// One setting; the label and the description are the program's own, for
// its settings page.
struct XmlSetting {
  std::wstring name;
  std::wstring label;
  std::wstring description;
  std::wstring value;
};

// Named settings with a text form of one line per setting: the name, ": "
// and the value. A value holding a line feed is refused (and logged), so
// the old one stays: its tail would come back as another setting's line.
class XmlSettings {
public:
  void add(const XmlSetting& setting);
  bool get(const std::wstring& name, std::wstring& value) const;
  // An unknown name is not created.
  void set(const std::wstring& name, const std::wstring& value);
  // 0 for a value that does not start with a number.
  bool getDouble(const std::wstring& name, double& number) const;
  void save(std::wstring& text) const;
  // Lines it cannot read and unknown names are skipped.
  void load(const std::wstring& text);

private:
  std::map<std::wstring, XmlSetting> _settings;
};
