#include "StringUtil.h"

#include "Assert.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

namespace {

const unsigned REPLACEMENT = 0xFFFD;
const unsigned MAX_CODE_POINT = 0x10FFFF;
const char BLANKS[] = " \t\r\n";
const wchar_t WIDE_BLANKS[] = L" \t\r\n";
const char BASE64_URL[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
const size_t READ_CHUNK = 1024;

bool isContinuation(unsigned char byte)
{
  return (byte & 0xC0) == 0x80;
}

bool isSurrogate(unsigned value)
{
  return value >= 0xD800 && value <= 0xDFFF;
}

bool isHighSurrogate(unsigned unit)
{
  return unit >= 0xD800 && unit <= 0xDBFF;
}

bool isLowSurrogate(unsigned unit)
{
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Length of the well-formed sequence at p, its value in *codePoint; 0 when p
// starts none. Over-long forms and encoded surrogates are refused, so that no
// other spelling of '.', '/' or NUL slips past byte-level checks. A missing
// continuation byte (the terminating NUL included) stops the reading.
int decodeSequence(const unsigned char* p, unsigned* codePoint)
{
  unsigned lead = p[0];
  if (lead < 0x80) {
    *codePoint = lead;
    return 1;
  }
  int length;
  unsigned value;
  unsigned smallest;
  if ((lead & 0xE0) == 0xC0) {
    length = 2;
    value = lead & 0x1F;
    smallest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    value = lead & 0x0F;
    smallest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    value = lead & 0x07;
    smallest = 0x10000;
  } else {
    return 0;
  }
  for (int i = 1; i < length; ++i) {
    if (!isContinuation(p[i]))
      return 0;
    value = (value << 6) | (p[i] & 0x3F);
  }
  if (value < smallest || value > MAX_CODE_POINT || isSurrogate(value))
    return 0;
  *codePoint = value;
  return length;
}

int putUnits(unsigned codePoint, wchar_t* out)
{
  if (codePoint < 0x10000) {
    if (out)
      out[0] = static_cast<wchar_t>(codePoint);
    return 1;
  }
  if (out) {
    codePoint -= 0x10000;
    out[0] = static_cast<wchar_t>(0xD800 | (codePoint >> 10));
    out[1] = static_cast<wchar_t>(0xDC00 | (codePoint & 0x3FF));
  }
  return 2;
}

int putBytes(unsigned codePoint, char* out)
{
  unsigned char bytes[4];
  int length;
  if (codePoint < 0x80) {
    bytes[0] = static_cast<unsigned char>(codePoint);
    length = 1;
  } else if (codePoint < 0x800) {
    bytes[0] = static_cast<unsigned char>(0xC0 | (codePoint >> 6));
    bytes[1] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
    length = 2;
  } else if (codePoint < 0x10000) {
    bytes[0] = static_cast<unsigned char>(0xE0 | (codePoint >> 12));
    bytes[1] = static_cast<unsigned char>(0x80 | ((codePoint >> 6) & 0x3F));
    bytes[2] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
    length = 3;
  } else {
    bytes[0] = static_cast<unsigned char>(0xF0 | (codePoint >> 18));
    bytes[1] = static_cast<unsigned char>(0x80 | ((codePoint >> 12) & 0x3F));
    bytes[2] = static_cast<unsigned char>(0x80 | ((codePoint >> 6) & 0x3F));
    bytes[3] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
    length = 4;
  }
  if (out)
    memcpy(out, bytes, length);
  return length;
}

template <typename String>
String trimmed(const String& s, const typename String::value_type* blanks)
{
  size_t first = s.find_first_not_of(blanks);
  if (first == String::npos)
    return String();
  return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

int hexDigitValue(char c)
{
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  return -1;
}

int base64UrlValue(char c)
{
  const char* found = c ? strchr(BASE64_URL, c) : nullptr;
  return found ? static_cast<int>(found - BASE64_URL) : -1;
}

}

int utf8ToUtf16(const char* in, wchar_t* out)
{
  const unsigned char* p = reinterpret_cast<const unsigned char*>(in);
  int count = 0;
  while (*p) {
    unsigned codePoint;
    int length = decodeSequence(p, &codePoint);
    if (length == 0) {
      codePoint = REPLACEMENT;
      length = 1;
    }
    count += putUnits(codePoint, out ? out + count : nullptr);
    p += length;
  }
  if (out)
    out[count] = 0;
  return count;
}

int utf16ToUtf8(const wchar_t* in, char* out)
{
  int count = 0;
  for (const wchar_t* p = in; *p; ++p) {
    unsigned codePoint = static_cast<unsigned>(*p);
    if (isHighSurrogate(codePoint) && isLowSurrogate(p[1])) {
      codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (static_cast<unsigned>(p[1]) - 0xDC00);
      ++p;
    } else if (isSurrogate(codePoint)) {
      codePoint = REPLACEMENT;  // a lone surrogate has no UTF-8 form
    }
    count += putBytes(codePoint, out ? out + count : nullptr);
  }
  if (out)
    out[count] = '\0';
  return count;
}

Utf8FromWide::Utf8FromWide(const wchar_t* text)
{
  if (!text)
    text = L"";
  // A unit never takes more than 4 bytes (a pair takes 4 for its 2 units).
  _buffer = new char[4 * wcslen(text) + 1];
  utf16ToUtf8(text, _buffer);
}

Utf8FromWide::Utf8FromWide(const std::wstring& text) : Utf8FromWide(text.c_str()) {}

Utf8FromWide::~Utf8FromWide()
{
  delete[] _buffer;
}

WideFromUtf8::WideFromUtf8(const char* text)
{
  if (!text)
    text = "";
  // Each byte gives at most one unit (4 bytes give a pair).
  _buffer = new wchar_t[strlen(text) + 1];
  utf8ToUtf16(text, _buffer);
}

WideFromUtf8::WideFromUtf8(const std::string& text) : WideFromUtf8(text.c_str()) {}

WideFromUtf8::~WideFromUtf8()
{
  delete[] _buffer;
}

std::wstring toWide(const std::string& utf8)
{
  return WideFromUtf8(utf8).get();
}

std::string toUtf8(const std::wstring& text)
{
  return Utf8FromWide(text).get();
}

IntString::IntString(int value)
{
  char text[16];
  snprintf(text, sizeof text, "%d", value);
  _text = text;
}

std::wstring intToWide(int value)
{
  wchar_t text[21];
  swprintf(text, 21, L"%d", value);
  return text;
}

bool startsWith(const std::string& s, const std::string& prefix)
{
  return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

bool startsWith(const std::wstring& s, const std::wstring& prefix)
{
  return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

bool endsWith(const std::string& s, const std::string& suffix)
{
  return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool endsWith(const std::wstring& s, const std::wstring& suffix)
{
  return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string trim(const std::string& s)
{
  return trimmed(s, BLANKS);
}

std::wstring trim(const std::wstring& s)
{
  return trimmed(s, WIDE_BLANKS);
}

void trimInPlace(char* s)
{
  size_t start = strspn(s, BLANKS);
  size_t length = strlen(s + start);
  while (length > 0 && strchr(BLANKS, s[start + length - 1]))
    --length;
  memmove(s, s + start, length);
  s[length] = '\0';
}

std::wstring unquote(const std::wstring& text)
{
  if (text.size() >= 2 && text.front() == L'"' && text.back() == L'"')
    return text.substr(1, text.size() - 2);
  return text;
}

std::string toHtmlEntities(const std::wstring& text)
{
  std::string out;
  for (wchar_t c : text) {
    if (c < 128)
      out += static_cast<char>(c);
    else
      out += "&#" + std::to_string(static_cast<unsigned>(c)) + ";";
  }
  return out;
}

std::string toHtmlEntities(const std::string& utf8)
{
  return toHtmlEntities(toWide(utf8));
}

std::string toUnicodeEscapes(const std::wstring& text)
{
  std::string out;
  for (wchar_t c : text) {
    if (c < 128) {
      out += static_cast<char>(c);
    } else {
      char escape[8];
      snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
      out += escape;
    }
  }
  return out;
}

std::wstring unescapeBackslashes(const std::wstring& text)
{
  std::wstring out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != L'\\') {
      out += text[i];
    } else if (++i < text.size()) {
      out += text[i] == L'n' ? L'\n' : text[i];
    }
  }
  return out;
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to)
{
  if (from.empty())
    return text;
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

std::string reversed(const std::string& s)
{
  return std::string(s.rbegin(), s.rend());
}

bool expandCarriageReturns(char* buffer, unsigned capacity)
{
  size_t length = strlen(buffer);
  size_t returns = 0;
  for (size_t i = 0; i < length; ++i)
    returns += buffer[i] == '\r';
  if (length + returns + 1 > capacity)
    return false;
  size_t to = length + returns;
  buffer[to] = '\0';
  for (size_t from = length; from-- > 0;) {
    if (buffer[from] == '\r')
      buffer[--to] = '\n';
    buffer[--to] = buffer[from];
  }
  return true;
}

const wchar_t* findOutsideQuotes(const wchar_t* text, const wchar_t* pattern)
{
  for (const wchar_t* found = wcsstr(text, pattern); found; found = wcsstr(found + 1, pattern)) {
    int quotes = 0;
    for (const wchar_t* p = text; p < found; ++p) {
      if (*p == L'\\')
        ++p;
      else if (*p == L'"')
        ++quotes;
    }
    if (quotes % 2 == 0)
      return found;
  }
  return nullptr;
}

int parseHex(const char* text, unsigned* out, int numChars)
{
  ASSERT(numChars <= 8);
  unsigned value = 0;
  int used = 0;
  for (; used < numChars; ++used) {
    int digit = hexDigitValue(text[used]);
    if (digit < 0)
      break;
    value = value * 16 + digit;
  }
  *out = value;
  return used;
}

std::string base64UrlEncode(const std::string& bytes)
{
  std::string out;
  unsigned bits = 0;
  int held = 0;
  for (unsigned char byte : bytes) {
    bits = (bits << 8) | byte;
    held += 8;
    while (held >= 6) {
      held -= 6;
      out += BASE64_URL[(bits >> held) & 0x3F];
    }
  }
  if (held > 0)
    out += BASE64_URL[(bits << (6 - held)) & 0x3F];
  return out;
}

std::string base64UrlDecode(const std::string& text)
{
  std::string out;
  unsigned bits = 0;
  int held = 0;
  for (char c : text) {
    int value = base64UrlValue(c);
    if (value < 0)
      continue;
    bits = (bits << 6) | value;
    held += 6;
    if (held >= 8) {
      held -= 8;
      out += static_cast<char>((bits >> held) & 0xFF);
    }
  }
  return out;
}

void split(const char* text, const char* delimiters, std::vector<std::string>& out)
{
  const char* p = text;
  while (*(p += strspn(p, delimiters))) {
    size_t length = strcspn(p, delimiters);
    out.emplace_back(p, length);
    p += length;
  }
}

StringTokenizer::StringTokenizer(const std::wstring& text, const wchar_t* delimiters)
    : _text(text), _delimiters(delimiters)
{
}

bool StringTokenizer::next(std::wstring& out)
{
  if (_first) {
    _first = false;
    size_t found = _text.find_first_of(_delimiters);
    if (found == std::wstring::npos) {
      out = _text;
      return true;
    }
    _position = found;
    if (found > 0) {
      out = _text.substr(0, found);
      return true;
    }
  }
  if (_position == std::wstring::npos)
    return false;
  size_t found = _text.find_first_of(_delimiters, _position + 1);
  while (found == _position + 1) {
    _position = found;
    found = _text.find_first_of(_delimiters, _position + 1);
  }
  if (found == std::wstring::npos) {
    out = _text.substr(_position + 1);
    _position = std::wstring::npos;
    return true;
  }
  out = _text.substr(_position + 1, found - _position - 1);
  _position = found;
  return true;
}

FileRead readFileChecked(const std::wstring& path, std::string& out)
{
  FILE* file = _wfopen(path.c_str(), L"r");
  if (!file)
    return FileRead::CANNOT_OPEN;
  fseek(file, 0, SEEK_END);
  long size = ftell(file);
  if (size < 0 || static_cast<unsigned long>(size) > MAX_READ_FILE_SIZE) {
    fclose(file);
    return FileRead::TOO_LARGE;
  }
  fseek(file, 0, SEEK_SET);
  char chunk[READ_CHUNK];
  size_t got;
  do {
    got = fread(chunk, 1, READ_CHUNK, file);
    out.append(chunk, got);
  } while (got == READ_CHUNK);
  fclose(file);
  return FileRead::DONE;
}

bool readFile(const std::wstring& path, std::string& out)
{
  FileRead read = readFileChecked(path, out);
  if (read == FileRead::CANNOT_OPEN)
    fprintf(stderr, "Could not open %s\n", toUtf8(path).c_str());
  else if (read == FileRead::TOO_LARGE)
    fprintf(stderr, "File too large: %s\n", toUtf8(path).c_str());
  return read == FileRead::DONE;
}

bool readFileWide(const std::wstring& path, std::wstring& out)
{
  std::string text;
  if (!readFile(path, text))
    return false;
  out = toWide(text);
  return true;
}
