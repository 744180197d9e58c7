#include "json.h"

#include "Assert.h"
#include "Debug.h"
#include "StringUtil.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

const unsigned short DEBUG_JSON = 103;

// The C library's white space, tested without isspace: bytes above 0x7F
// would be negative chars there.
bool isSpace(char c)
{
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isNumberChar(char c)
{
  return (c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-';
}

char unescaped(char c)
{
  switch (c) {
  case 'b': return '\b';
  case 'f': return '\f';
  case 'n': return '\n';
  case 'r': return '\r';
  case 't': return '\t';
  default: return c;
  }
}

// The letter of c's two-character escape, or 0 when it has none.
char escapeLetter(unsigned c)
{
  switch (c) {
  case '"': return '"';
  case '/': return '/';
  case '\\': return '\\';
  case '\b': return 'b';
  case '\f': return 'f';
  case '\n': return 'n';
  case '\r': return 'r';
  case '\t': return 't';
  default: return 0;
  }
}

void appendUnicodeEscape(unsigned unit, std::string& out)
{
  char escape[8];
  snprintf(escape, sizeof escape, "\\u%04x", unit);
  out += escape;
}

// Control characters are escaped too: browsers refuse them raw, and a raw
// 0x1A would end a file read in text mode.
void appendEscapedUnit(unsigned unit, unsigned lastRaw, std::string& out)
{
  char letter = escapeLetter(unit);
  if (letter) {
    out += '\\';
    out += letter;
  } else if (unit < ' ' || unit > lastRaw) {
    appendUnicodeEscape(unit, out);
  } else {
    out += static_cast<char>(unit);
  }
}

void appendEscaped(const std::string& text, std::string& out)
{
  for (char c : text)
    appendEscapedUnit(static_cast<unsigned char>(c), 0xFF, out);
}

void appendQuoted(const std::string& text, std::string& out)
{
  out += '"';
  appendEscaped(text, out);
  out += '"';
}

void appendNumber(double number, std::string& out)
{
  // "%g" would write inf or nan, which no JSON reader accepts.
  if (!std::isfinite(number)) {
    out += "null";
    return;
  }
  char text[32];
  snprintf(text, sizeof text, "%g", number);
  out += text;
}

// The UTF-8 of a run of UTF-16 units, zero units kept: the conversion
// itself would stop at the first one.
std::string utf8FromUnits(const std::wstring& units)
{
  std::string result;
  size_t start = 0;
  for (size_t zero; (zero = units.find(L'\0', start)) != std::wstring::npos; start = zero + 1)
    result += toUtf8(units.substr(start, zero - start)) + '\0';
  return result + toUtf8(units.substr(start));
}

class Parser {
public:
  explicit Parser(const char* text) : _at(text) {}

  json value()
  {
    skipSpace();
    char c = *_at;
    if (c == '{')
      return object();
    if (c == '[')
      return array();
    if (c == '"')
      return json(string());
    if (c == '-' || (c >= '0' && c <= '9'))
      return number();
    return word();
  }

private:
  void skipSpace()
  {
    while (isSpace(*_at))
      ++_at;
  }

  [[noreturn]] void failAt(const char* prefix) { throw std::string(prefix) + _at; }

  void enter()
  {
    if (++_depth > json::MAX_DEPTH)
      throw std::string("error: nesting too deep");
    ++_at;
  }

  json object()
  {
    enter();
    json result;
    for (;;) {
      skipSpace();
      if (*_at == '}') {
        ++_at;
        break;
      }
      if (*_at != '"')
        failAt("1error at ");
      std::string key = string();
      skipSpace();
      if (*_at != ':')
        failAt("3error at ");
      ++_at;
      result[key] = value();
      skipSpace();
      if (*_at == ',')
        ++_at;
    }
    --_depth;
    return result;
  }

  json array()
  {
    enter();
    json result(json::arr);
    for (;;) {
      skipSpace();
      if (*_at == ']')
        break;
      result.push_back(value());
      skipSpace();
      if (*_at == ',')
        ++_at;
      if (!*_at)
        throw std::string("error at end");
    }
    ++_at;
    --_depth;
    return result;
  }

  // Reads up to the closing quote, or to the end of the text when there is
  // none; a backslash hides the character after it. A run of \u escapes is
  // converted as one UTF-16 text, so that surrogate pairs combine.
  std::string string()
  {
    ++_at;
    std::string result;
    std::wstring units;
    while (*_at && *_at != '"') {
      unsigned unit;
      if (_at[0] == '\\' && _at[1] == 'u' && parseHex(_at + 2, &unit, 4) == 4) {
        units += static_cast<wchar_t>(unit);
        _at += 6;
        continue;
      }
      result += utf8FromUnits(units);
      units.clear();
      if (*_at == '\\' && _at[1]) {
        result += unescaped(_at[1]);
        _at += 2;
      } else {
        result += *_at++;
      }
    }
    result += utf8FromUnits(units);
    if (*_at)
      ++_at;
    return result;
  }

  json number()
  {
    const char* start = _at;
    ++_at;
    while (isNumberChar(*_at))
      ++_at;
    std::string text(start, _at);
    return json(strtod(text.c_str(), nullptr));
  }

  json word()
  {
    if (strncmp(_at, "false", 5) == 0) {
      _at += 5;
      return json(false);
    }
    if (strncmp(_at, "true", 4) == 0) {
      _at += 4;
      return json(true);
    }
    if (strncmp(_at, "null", 4) == 0) {
      _at += 4;
      return json(json::nul);
    }
    throw std::string("error");
  }

  const char* _at;
  int _depth = 0;
};

}

json::json() : type(nul)
{
  setEmpty(obj);
}

json::json(Type t) : type(nul)
{
  setEmpty(t);
}

json::json(const std::vector<json>& elements) : type(arr)
{
  _payload.elements = new Elements(elements);
}

json::json(const std::string& text) : type(str)
{
  _payload.text = new std::string(text);
}

json::json(const char* text) : type(str)
{
  _payload.text = new std::string(text);
}

json::json(double number) : type(num)
{
  _payload.number = number;
}

json::json(int number) : json(static_cast<double>(number)) {}

json::json(bool value) : type(bln)
{
  _payload.flag = value;
}

json::json(const json& other) : type(nul)
{
  _payload.number = 0;
  copyPayload(other);
}

json::json(json&& other) noexcept : type(nul)
{
  _payload.number = 0;
  swap(other);
}

json::~json()
{
  release();
}

// Copies before freeing, so that assigning a value its own member works.
json& json::operator=(const json& other)
{
  json copy(other);
  swap(copy);
  return *this;
}

json& json::operator=(json&& other) noexcept
{
  json taken(std::move(other));
  swap(taken);
  return *this;
}

void json::swap(json& other) noexcept
{
  std::swap(_payload, other._payload);
  std::swap(type, other.type);
}

void json::release()
{
  if (type == obj)
    delete _payload.members;
  else if (type == str)
    delete _payload.text;
  else if (type == arr)
    delete _payload.elements;
  type = nul;
  _payload.number = 0;
}

void json::setEmpty(int t)
{
  release();
  if (t == obj)
    _payload.members = new Members;
  else if (t == str)
    _payload.text = new std::string;
  else if (t == arr)
    _payload.elements = new Elements;
  type = t;
}

void json::copyPayload(const json& other)
{
  setEmpty(other.type);
  if (type == obj)
    *_payload.members = *other._payload.members;
  else if (type == str)
    *_payload.text = *other._payload.text;
  else if (type == arr)
    *_payload.elements = *other._payload.elements;
  else
    _payload = other._payload;
}

json& json::operator[](const std::string& key)
{
  ASSERT(type == obj);
  return (*_payload.members)[key];
}

json& json::operator[](int index)
{
  ASSERT(type == arr && index >= 0 && index < size());
  return (*_payload.elements)[index];
}

bool json::has(const std::string& key) const
{
  return type == obj && _payload.members->count(key) != 0;
}

int json::size() const
{
  if (type == obj)
    return static_cast<int>(_payload.members->size());
  if (type == arr)
    return static_cast<int>(_payload.elements->size());
  return 1;
}

void json::push_back(const json& element)
{
  ASSERT(type == arr);
  _payload.elements->push_back(element);
}

void json::push_back(json&& element)
{
  ASSERT(type == arr);
  _payload.elements->push_back(std::move(element));
}

void json::checkType(int t) const
{
  ASSERT(type==t);
}

std::string json::getString() const
{
  checkType(str);
  return *_payload.text;
}

double json::getNumber() const
{
  checkType(num);
  return _payload.number;
}

bool json::getBool() const
{
  checkType(bln);
  return _payload.flag;
}

json json::parse(const char* text)
{
  return Parser(text).value();
}

json json::parse(const std::string& text)
{
  return parse(text.c_str());
}

std::string json::serialise() const
{
  std::string out;
  appendTo(out);
  return out;
}

void json::appendTo(std::string& out) const
{
  switch (type) {
  case obj: {
    out += '{';
    const char* separator = "";
    for (const auto& member : *_payload.members) {
      out += separator;
      appendQuoted(member.first, out);
      out += ':';
      member.second.appendTo(out);
      separator = ",";
    }
    out += '}';
    break;
  }
  case arr: {
    out += '[';
    const char* separator = "";
    for (const json& element : *_payload.elements) {
      out += separator;
      element.appendTo(out);
      separator = ",";
    }
    out += ']';
    break;
  }
  case str:
    appendQuoted(*_payload.text, out);
    break;
  case num:
    appendNumber(_payload.number, out);
    break;
  case bln:
    out += _payload.flag ? "true" : "false";
    break;
  default:
    out += "null";
  }
}

bool json::equals(const json& other) const
{
  if (type != other.type) {
    debugPrint(DEBUG_JSON, "Type mismatch");
    return false;
  }
  switch (type) {
  case obj:
    return membersEqual(other);
  case str:
    debugPrint(DEBUG_JSON, "checking string equality: %s==%s?", _payload.text->c_str(), other._payload.text->c_str());
    return *_payload.text == *other._payload.text;
  case num:
    debugPrint(DEBUG_JSON, "checking numeric equality: %g==%g?", _payload.number, other._payload.number);
    return _payload.number == other._payload.number;
  case arr:
    return elementsEqual(other);
  case bln:
    return _payload.flag == other._payload.flag;
  default:
    return true;
  }
}

bool json::membersEqual(const json& other) const
{
  auto first = _payload.members->begin();
  auto second = other._payload.members->begin();
  for (;;) {
    if (first == _payload.members->end()) {
      debugPrint(DEBUG_JSON, "end of iter1 and maybe iter2");
      return second == other._payload.members->end();
    }
    if (second == other._payload.members->end()) {
      debugPrint(DEBUG_JSON, "end of iter2->not equal");
      return false;
    }
    if (first->first != second->first || !first->second.equals(second->second)) {
      debugPrint(DEBUG_JSON, "first or second mismatch");
      debugPrint(DEBUG_JSON, "first: %s==%s? ", first->first.c_str(), second->first.c_str());
      return false;
    }
    ++first;
    ++second;
  }
}

bool json::elementsEqual(const json& other) const
{
  if (_payload.elements->size() != other._payload.elements->size()) {
    debugPrint(DEBUG_JSON, "array size mismatch");
    return false;
  }
  for (size_t i = 0; i < _payload.elements->size(); ++i) {
    if (!(*_payload.elements)[i].equals((*other._payload.elements)[i])) {
      debugPrint(DEBUG_JSON, "array element mismatch at %d", static_cast<int>(i));
      return false;
    }
  }
  return true;
}

std::string jsonEscapeWide(const std::wstring& text)
{
  std::string out;
  for (wchar_t unit : text)
    appendEscapedUnit(unit, 0x7E, out);
  return out;
}
