#include "CgiRequest.h"

#include "Log.h"
#include "StringUtil.h"
#include "UrlCoding.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {

const int LOG_KEY = LogRegisterKey("V_CGI_REQUEST", true);

const char MULTIPART[] = "multipart/form-data";
const char BOUNDARY[] = "boundary=";
const char CRLF[] = "\r\n";

// Advances over text when the bytes before end begin with it.
bool expectText(char*& cursor, char* end, const std::string& text)
{
  if (text.size() > static_cast<size_t>(end - cursor) || memcmp(cursor, text.data(), text.size()) != 0)
    return false;
  cursor += text.size();
  return true;
}

char* findBytes(char* start, char* end, const std::string& pattern)
{
  char* found = std::search(start, end, pattern.begin(), pattern.end());
  return found == end ? nullptr : found;
}

// Cuts "Name: value" CR LF at the cursor into a lower-cased name and its value.
bool parseHeaderLine(char*& cursor, char* end, char*& name, char*& value)
{
  char* lineEnd = findBytes(cursor, end, CRLF);
  if (!lineEnd) {
    LogPrintf(LOG_KEY, "Incomplete header line.");
    return false;
  }
  *lineEnd = '\0';
  char* separator = strstr(cursor, ": ");
  if (!separator) {
    LogPrintf(LOG_KEY, "Malformed header line.");
    return false;
  }
  *separator = '\0';
  for (char* c = cursor; *c; ++c)
    *c = static_cast<char>(tolower(static_cast<unsigned char>(*c)));
  name = cursor;
  value = separator + 2;
  cursor = lineEnd + 2;
  return true;
}

char* unquote(char* text)
{
  size_t length = strlen(text);
  if (length >= 2 && text[0] == '"' && text[length - 1] == '"') {
    text[length - 1] = '\0';
    return text + 1;
  }
  return text;
}

// Splits the disposition in place at the semicolons outside quotes, so that
// a file name holding ';' stays whole.
void parseDisposition(char* disposition, char*& name, char*& filename)
{
  name = nullptr;
  filename = nullptr;
  char* piece = disposition;
  while (piece) {
    char* next = nullptr;
    bool quoted = false;
    for (char* c = piece; *c; ++c) {
      if (*c == '"') {
        quoted = !quoted;
      } else if (*c == ';' && !quoted) {
        *c = '\0';
        next = c + 1;
        break;
      }
    }
    if (*piece == ' ')
      ++piece;
    if (strncmp(piece, "name=", 5) == 0)
      name = unquote(piece + 5);
    else if (strncmp(piece, "filename=", 9) == 0)
      filename = unquote(piece + 9);
    piece = next;
  }
}

}

CgiRequest::CgiRequest(const char* data, int length, const char* contentType)
{
  if (!data) {
    data = getenv("QUERY_STRING");
    if (!data)
      return;
    length = -1;
  }
  size_t size = length < 0 ? strlen(data) : static_cast<size_t>(length);
  if (contentType && strstr(contentType, MULTIPART))
    parseMultipart(data, size, contentType);
  else
    parseQuery(data, size);
}

const char* CgiRequest::getValue(const char* key) const
{
  for (const Item& item : _items) {
    if (item.key == key)
      return item.value.c_str();
  }
  return nullptr;
}

const CgiRequest::File* CgiRequest::getFile(const char* name) const
{
  for (const File& file : _files) {
    if (strcmp(file.name, name) == 0)
      return &file;
  }
  return nullptr;
}

// Every non-empty piece between '&' is an item; a piece without '=' is a
// name with an empty value.
void CgiRequest::parseQuery(const char* text, size_t length)
{
  std::string copy(text, strnlen(text, length));
  std::vector<std::string> pieces;
  split(copy.c_str(), "&", pieces);
  for (const std::string& piece : pieces) {
    size_t equals = piece.find('=');
    std::string key = urlDecode(piece.substr(0, equals));
    std::string value = equals == std::string::npos ? std::string() : urlDecode(piece.substr(equals + 1));
    _items.push_back({key, value});
  }
}

void CgiRequest::parseMultipart(const char* data, size_t length, const char* contentType)
{
  // One byte more: the copy ends in a NUL, so no text search runs past it.
  _body.assign(data, data + length);
  _body.push_back('\0');

  const char* boundary = strstr(contentType, BOUNDARY);
  if (!boundary) {
    LogPrintf(LOG_KEY, "Failed.  Cannot find 'boundary=' in Content-type: %s", contentType);
    return;
  }
  boundary += strlen(BOUNDARY);
  if (!*boundary) {
    LogPrintf(LOG_KEY, "Failed. Zero-length boundary in Content-type: %s", contentType);
    return;
  }
  std::string delimiter = std::string("--") + boundary;

  char* cursor = _body.data();
  char* end = cursor + length;
  for (;;) {
    if (!expectText(cursor, end, delimiter)) {
      LogPrintf(LOG_KEY, "Failed. Expected '%s'", delimiter.c_str());
      return;
    }
    if (expectText(cursor, end, "--") || !parsePart(cursor, end, delimiter))
      return;
  }
}

// Parses the part after a delimiter and leaves the cursor on the next one.
bool CgiRequest::parsePart(char*& cursor, char* end, const std::string& delimiter)
{
  if (!expectText(cursor, end, CRLF)) {
    LogPrintf(LOG_KEY, "Failed. Expected CRLF");
    return false;
  }
  char* disposition = nullptr;
  while (!expectText(cursor, end, CRLF)) {
    char* name;
    char* value;
    if (!parseHeaderLine(cursor, end, name, value))
      return false;
    if (strcmp(name, "content-disposition") == 0)
      disposition = value;
  }

  // Searching for the line end with the delimiter from the content's start
  // also finds the end of an empty content.
  char* content = cursor;
  char* contentEnd = findBytes(content, end, CRLF + delimiter);
  if (!contentEnd) {
    LogPrintf(LOG_KEY, "Could not find boundary for end of part.");
    return false;
  }
  *contentEnd = '\0';
  int contentLength = static_cast<int>(contentEnd - content);
  cursor = contentEnd + 2;

  if (!disposition) {
    LogPrintf(LOG_KEY, "Failed to parse multipart entry. It did not contain the content-disposition field.");
    return true;
  }
  char* name;
  char* filename;
  parseDisposition(disposition, name, filename);
  if (!name) {
    LogPrintf(LOG_KEY, "Failed to parse multipart entry. The content-disposition field did not contain a name.");
    return true;
  }
  if (filename) {
    _files.push_back({name, filename, contentLength, content});
    return true;
  }
  addItem(name, std::string(content, contentLength));
  return true;
}

void CgiRequest::addItem(const char* key, const std::string& value)
{
  _items.push_back({key, value});
  LogPrintf(LOG_KEY, "Make item...");
  LogPrintf(LOG_KEY, "Make item key=%s", key);
  LogPrintf(LOG_KEY, "Make item value=%s", value.c_str());
}
