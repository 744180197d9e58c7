#include "HttpRequest.h"

#include "CgiRequest.h"
#include "HttpLimits.h"
#include "Log.h"
#include "Portability.h"
#include "Socket.h"
#include "StringUtil.h"
#include "UrlCoding.h"

#include <cstring>
#include <cwctype>

namespace {

// Parse states (see RULES).
const int STATE_HEADERS_DONE = 11;
const int STATE_BAD = 12;

// Actions, applied in this order: 1, 2, 4, 8, 16, 64, 32, 128.
const int LOWER_CASE = 1;
const int TERMINATE = 2;
const int HEADER_BLOCK = 4;
const int NAME_START = 8;
const int VALUE_START = 16;
const int ADD_HEADER = 32;
const int BODY_NEXT = 64;
const int REQUEST_LINE_END = 128;

const int ANY = -1;

struct ParseRule {
  int state;
  int byte;
  int next;
  int actions;
};

// First matching row wins; a byte no row takes makes the request bad. Blanks
// around a value are no part of it, and a value may be empty. A line feed
// alone in the request line or a value is refused: where the log repeats
// them, it would start a line of the client's making.
const ParseRule RULES[] = {
    {0, '\r', 1, TERMINATE | REQUEST_LINE_END},           // end of request line
    {0, '\n', STATE_BAD, 0},
    {0, ANY, 0, 0},
    {1, '\n', 2, 0},
    {2, '\r', 3, 0},                                      // no headers at all
    {2, ANY, 4, LOWER_CASE | HEADER_BLOCK | NAME_START},  // first header name
    {3, '\n', STATE_HEADERS_DONE, BODY_NEXT},
    {4, ':', 5, TERMINATE},
    {4, ANY, 4, LOWER_CASE},
    {5, ' ', 5, 0},                                       // blanks before the value
    {5, '\t', 5, 0},
    {5, '\n', STATE_BAD, 0},
    {5, '\r', 8, TERMINATE | VALUE_START | ADD_HEADER},   // empty value
    {5, ANY, 7, VALUE_START},
    {7, '\r', 8, TERMINATE | ADD_HEADER},
    {7, '\n', STATE_BAD, 0},
    {7, ANY, 7, 0},
    {8, '\n', 9, 0},
    {9, '\r', 10, 0},                                     // closing empty line
    {9, ANY, 4, LOWER_CASE | NAME_START},                 // next header name
    {10, '\n', STATE_HEADERS_DONE, BODY_NEXT},
    {STATE_BAD, ANY, STATE_BAD, 0},
};

const ParseRule* findRule(int state, char byte)
{
  for (const ParseRule& rule : RULES) {
    if (rule.state == state && (rule.byte == ANY || rule.byte == byte))
      return &rule;
  }
  return nullptr;
}

char lowerCase(char c)
{
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Digits only, and no more than the request may still hold.
bool parseByteCount(const char* text, unsigned limit, int& out)
{
  if (!*text)
    return false;
  unsigned value = 0;
  for (const char* c = text; *c; ++c) {
    if (*c < '0' || *c > '9')
      return false;
    value = value * 10 + static_cast<unsigned>(*c - '0');
    if (value > limit)
      return false;
  }
  out = static_cast<int>(value);
  return true;
}

// What a host[:port] can hold: a name, an IPv4 address or a bracketed IPv6
// address, and a port. The value is repeated in every address of a playlist,
// so its length is bounded too.
bool isPlausibleHost(const char* value)
{
  const size_t MAX_HOST_LENGTH = 255;
  size_t length = strlen(value);
  return length > 0 && length <= MAX_HOST_LENGTH &&
         strspn(value, "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-.:[]") == length;
}

}

int RequestParser::feed(const char* data, unsigned length)
{
  if (_result != PARSE_INCOMPLETE)
    return _result;
  _raw.append(data, length);

  if (_state < STATE_HEADERS_DONE)
    scan();
  if (_state == STATE_BAD)
    return _result = PARSE_BAD;
  if (_state != STATE_HEADERS_DONE)
    return PARSE_INCOMPLETE;
  if (_raw.size() - _bodyStart < static_cast<unsigned>(_contentLength))
    return PARSE_INCOMPLETE;

  if (!splitRequestLine())
    return _result = PARSE_BAD;
  _result = PARSE_COMPLETE;

  if (_contentLength > 0 && _raw.size() > static_cast<unsigned>(_bodyStart + _contentLength)) {
    LogPrintf(WEB_VERBOSE_LOG_KEY, "Correct data length to %d (ContentLength=%d ContentStart=%d", _contentLength,
              _contentLength, _bodyStart);
    _raw.resize(_bodyStart + _contentLength);
  }
  return _result;
}

void RequestParser::scan()
{
  const int end = static_cast<int>(_raw.size());
  for (; _scanPosition < end; ++_scanPosition) {
    if (static_cast<unsigned>(_scanPosition) >= MAX_HEAD_BYTES)
      return refuse("request head over the size limit");
    const ParseRule* rule = findRule(_state, _raw[_scanPosition]);
    if (!rule) {
      _state = STATE_BAD;
      return;
    }
    apply(_scanPosition, rule->actions);
    if (_headers.size() > MAX_HEADER_COUNT)
      return refuse("too many header lines");
    _state = rule->next;
    if (_state == STATE_BAD)
      return;
    if (_state == STATE_HEADERS_DONE) {
      ++_scanPosition;
      if (!readContentLength())
        refuse("Content-Length not a byte count within the size limit");
      return;
    }
  }
}

void RequestParser::apply(int position, int actions)
{
  if (actions & LOWER_CASE)
    _raw[position] = lowerCase(_raw[position]);
  if (actions & TERMINATE)
    _raw[position] = '\0';
  if (actions & HEADER_BLOCK)
    _headerBlockStart = position;
  if (actions & NAME_START)
    _nameStart = position;
  if (actions & VALUE_START)
    _valueStart = position;
  if (actions & BODY_NEXT)
    _bodyStart = position + 1;
  if (actions & ADD_HEADER) {
    for (int end = position - 1; end >= _valueStart && (_raw[end] == ' ' || _raw[end] == '\t'); --end)
      _raw[end] = '\0';
    _headers.push_back({_nameStart, _valueStart});
  }
  if (actions & REQUEST_LINE_END)
    _requestLineEnd = position;
}

bool RequestParser::readContentLength()
{
  const char* value = header("content-length");
  if (!value)
    return true;
  return parseByteCount(value, MAX_REQUEST_BYTES - _bodyStart, _contentLength);
}

// Blanks taken from a header or the body would make a request of a line
// without them, and the split would cut what follows.
bool RequestParser::splitRequestLine()
{
  const size_t end = static_cast<size_t>(_requestLineEnd);
  size_t first = _raw.find(' ');
  if (first >= end)
    return false;
  size_t second = _raw.find(' ', first + 1);
  if (second >= end)
    return false;
  _raw[first] = '\0';
  _raw[second] = '\0';
  _uriStart = static_cast<int>(first + 1);
  return true;
}

void RequestParser::refuse(const char* why)
{
  _refusal = why;
  _state = STATE_BAD;
}

const char* RequestParser::method() const
{
  return _raw.c_str();
}

const char* RequestParser::uri() const
{
  return _raw.c_str() + _uriStart;
}

const char* RequestParser::path()
{
  if (_path.empty()) {
    const char* target = uri();
    const char* question = strchr(target, '?');
    _path = urlDecode(question ? std::string(target, question) : std::string(target));
  }
  return _path.c_str();
}

const char* RequestParser::query() const
{
  const char* question = strchr(uri(), '?');
  return question ? question + 1 : "";
}

const char* RequestParser::header(const char* name) const
{
  for (const HeaderPosition& h : _headers) {
    if (strcmp(_raw.c_str() + h.name, name) == 0)
      return _raw.c_str() + h.value;
  }
  return nullptr;
}

const char* RequestParser::body() const
{
  return _contentLength > 0 ? _raw.c_str() + _bodyStart : nullptr;
}

HttpRequest::HttpRequest(RequestParser* parser, const sockaddr_in& peer, const sockaddr_in& local)
    : _parser(parser), _peer(peer), _local(local)
{
}

HttpRequest::~HttpRequest()
{
  delete _params;
}

const char* HttpRequest::header(const char* name, const char* fallback) const
{
  const char* value = _parser->header(name);
  return value ? value : fallback;
}

std::string HttpRequest::remoteAddress() const
{
  return toUtf8(SocketAddress(reinterpret_cast<const sockaddr*>(&_peer)).toString(false));
}

bool HttpRequest::comesFromOwnOrigin() const
{
  const char* origin = _parser->header("origin");
  if (!origin)
    return true;
  SocketAddress local(reinterpret_cast<const sockaddr*>(&_local));
  std::string port = local.getPort() == 80 ? "" : ":" + std::to_string(local.getPort());
  bool loopback = (ntohl(_local.sin_addr.s_addr) >> 24) == 127;
  return _stricmp(origin, ("http://" + toUtf8(local.toString(false)) + port).c_str()) == 0 ||
         (loopback && _stricmp(origin, ("http://localhost" + port).c_str()) == 0);
}

std::string HttpRequest::host() const
{
  const char* value = _parser->header("host");
  if (value && isPlausibleHost(value))
    return value;
  return toUtf8(SocketAddress(reinterpret_cast<const sockaddr*>(&_local)).toString(true));
}

bool HttpRequest::getCookie(const char* name, std::string& out) const
{
  const char* cookies = _parser->header("cookie");
  if (!cookies)
    return false;
  const char* found = strstr(cookies, (std::string(name) + "=").c_str());
  if (!found)
    return false;
  const char* value = found + strlen(name) + 1;
  const char* end = strchr(value, ';');
  out.assign(value, end ? end : value + strlen(value));
  return true;
}

CgiRequest* HttpRequest::params()
{
  if (_params)
    return _params;
  const char* contentType = _parser->header("content-type");
  if (method()[0] == 'P') {
    // Never null: a null text would make the parameters read the environment.
    const char* body = _parser->body();
    _params = new CgiRequest(body ? body : "", contentLength(), contentType);
  } else {
    const char* query = _parser->query();
    _params = new CgiRequest(query, static_cast<int>(strlen(query)), contentType);
  }
  return _params;
}

namespace {

bool isSeparator(wchar_t c)
{
  return c == L'\\' || c == L'/';
}

// Names such as CON or COM1 open a device in any folder, whatever follows the dot.
bool isDeviceName(const std::wstring& component)
{
  static const wchar_t* const DEVICES[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
  std::wstring stem = component.substr(0, component.find(L'.'));
  while (!stem.empty() && stem.back() == L' ')
    stem.pop_back();
  for (wchar_t& c : stem)
    c = static_cast<wchar_t>(towupper(c));
  for (const wchar_t* device : DEVICES) {
    if (stem == device)
      return true;
  }
  return stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0) &&
         stem[3] >= L'1' && stem[3] <= L'9';
}

// A name that can only mean a file below the folder it is joined to: relative,
// no drive or stream (':'), no parent step, no device. Checked on the wide
// name too, so that no decoding of the bytes can bring a parent step back.
bool isPlainRelativeName(const std::wstring& name)
{
  if (name.empty() || isSeparator(name[0]) || name.find(L':') != std::wstring::npos)
    return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = start;
    while (end < name.size() && !isSeparator(name[end]))
      ++end;
    std::wstring component = name.substr(start, end - start);
    if (component == L".." || isDeviceName(component))
      return false;
    start = end + 1;
  }
  return true;
}

bool staysUnder(const std::wstring& root, const std::wstring& path)
{
  if (root.empty())
    return !path.empty() && !isSeparator(path[0]) && path.find(L':') == std::wstring::npos;
  return path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
         (isSeparator(root.back()) || isSeparator(path[root.size()]));
}

}

bool HttpRequest::mapToFile(const std::wstring& root, std::wstring& out) const
{
  std::string target = uri();
  target = target.substr(0, target.find('?'));
  if (target.compare(0, 2, "//") == 0 || target.find("..") != std::string::npos)
    return false;
  if (target == "/")
    target = "/index.html";
  if (target.empty() || target[0] != '/')
    return false;

  std::wstring name = toWide(target.substr(1));
  if (!isPlainRelativeName(name))
    return false;
  std::wstring joined = joinPath(root, name);
  if (!staysUnder(root, joined))
    return false;
  out = joined;
  return true;
}
