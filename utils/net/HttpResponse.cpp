#include "HttpResponse.h"

#include "HttpLimits.h"
#include "Log.h"
#include "Portability.h"
#include "Socket.h"
#include "UrlCoding.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

struct StatusEntry {
  int code;
  const char* text;
};

const StatusEntry STATUS_TEXTS[] = {
    {200, "OK"},
    {201, "Created"},
    {202, "Accepted"},
    {204, "No Content"},
    {301, "Moved Permanently"},
    {302, "Moved Temporarily"},
    {304, "Not Modified"},
    {400, "Bad Request"},
    {401, "Unauthorized"},
    {403, "Forbidden"},
    {404, "Not Found"},
    {500, "Internal Server Error"},
    {501, "Not Implemented"},
    {502, "Bad Gateway"},
    {503, "Service Unavailable"},
};

struct MimeEntry {
  const wchar_t* extension;
  const char* type;
};

// Compared exactly: "PNG" is not "png".
const MimeEntry MIME_TYPES[] = {
    {L"png", "image/png"},
    {L"html", "text/html"},
    {L"js", "text/javascript"},
    {L"css", "text/css"},
    {L"ts", "video/MP2T"},
    {L"m3u8", "application/x-mpegURL"},
};

const char* const PAGE_START = "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML 2.0//EN\">\n<html><head>\n<title>";

}

std::string ResponseHead::format() const
{
  char statusLine[64];
  snprintf(statusLine, sizeof statusLine, "HTTP/1.0 %d %s\r\n", status, statusText(status));
  std::string text = statusLine;
  for (const auto& header : headers)
    text += header.first + ": " + header.second + "\r\n";
  text += "\r\n";
  return text;
}

HttpResponse::HttpResponse(Socket* socket) : _socket(socket), _head(new ResponseHead) {}

HttpResponse::~HttpResponse()
{
  delete _head;
}

bool HttpResponse::warnIfHeadSent() const
{
  if (headersSent())
    LogPrintf(WEB_LOG_KEY, "setHeader: headers already sent.");
  return headersSent();
}

void HttpResponse::setStatus(int code)
{
  warnIfHeadSent();
  _head->status = code;
}

void HttpResponse::setHeader(const char* name, const char* value)
{
  warnIfHeadSent();
  _head->headers[name] = value;
}

void HttpResponse::setHeader(const char* name, unsigned value)
{
  char text[16];
  snprintf(text, sizeof text, "%u", value);
  setHeader(name, text);
}

void HttpResponse::setCookie(const char* name, const char* value, unsigned seconds)
{
  std::string cookie = std::string(name) + "=" + value + "; expires=" + httpDate(_time64(nullptr) + seconds) + "; path=/;";
  setHeader("Set-Cookie", cookie.c_str());
}

void HttpResponse::sendHeaders()
{
  std::string head = _head->format();
  sendBytes(head.data(), static_cast<unsigned>(head.size()));
  _state = STATE_HEAD_SENT;
}

HttpResponse& HttpResponse::write(const char* data, unsigned length)
{
  if (_state < STATE_HEAD_SENT)
    sendHeaders();
  if (_headOnly)
    return *this;
  sendBytes(data, length);
  _state = STATE_BODY_SENT;
  return *this;
}

// After the first failure nothing more goes out: each further send to a
// client that stopped reading would wait out the send time-out again.
void HttpResponse::sendBytes(const char* data, unsigned length)
{
  while (length > 0 && !_sendFailed) {
    int piece = length > static_cast<unsigned>(INT_MAX) ? INT_MAX : static_cast<int>(length);
    int sent = _socket->send(data, piece);
    if (sent <= 0) {
      _sendFailed = true;
      LogPrintf(WEB_DEBUG_LOG_KEY, "[%p] send failed after %u bytes; dropping the rest of the response", this,
                _bytesSent);
      return;
    }
    _bytesSent += static_cast<unsigned>(sent);
    data += sent;
    length -= static_cast<unsigned>(sent);
  }
}

void HttpResponse::sendBuffer(const char* data, unsigned length, const char* contentType)
{
  setStatus(200);
  setHeader("Content-type", contentType);
  setHeader("Content-length", length);
  write(data, length);
}

void HttpResponse::sendFile(const wchar_t* path)
{
  FILE* file = _wfopen(path, L"rb");
  if (!file) {
    sendError(404);
    return;
  }
  _fseeki64(file, 0, SEEK_END);
  long long size = _ftelli64(file);
  _fseeki64(file, 0, SEEK_SET);

  setHeader("Content-type", mimeType(getExtension(path)));
  setHeader("Content-length", static_cast<unsigned>(size < 0 ? 0 : size));
  setStatus(200);
  sendHeaders();

  char block[FILE_BLOCK_BYTES];
  size_t count = sizeof block;
  while (count == sizeof block && !_sendFailed && !_headOnly) {
    count = fread(block, 1, sizeof block, file);
    write(block, static_cast<unsigned>(count));
  }
  fclose(file);
}

void HttpResponse::sendWhole(const char* text, const char* contentType)
{
  setStatus(200);
  setHeader("Content-type", contentType);
  setHeader("Content-Length", static_cast<unsigned>(strlen(text)));
  sendHeaders();
  write(text, static_cast<unsigned>(strlen(text)));
}

void HttpResponse::sendHtml(const char* text)
{
  sendWhole(text, "text/html");
}

void HttpResponse::sendText(const char* text)
{
  sendWhole(text, "text");
}

void HttpResponse::sendJson(const char* text)
{
  sendWhole(text, "application/x-json");
}

void HttpResponse::sendHtmlPage(const char* body, const char* title)
{
  std::string page = std::string(PAGE_START) + title + "</title>\n</head><body>\n<h1>" + title + "</h1>\n" + body +
                     "</body></html>\n";
  sendHtml(page.c_str());
}

// Once the head is out, an error page would only land inside the body that
// is already on its way (a video segment, say). An orderly close would end
// that body as if it were whole: the connection is reset instead.
void HttpResponse::sendError(int code)
{
  if (headersSent()) {
    LogPrintf(WEB_DEBUG_LOG_KEY, "[%p] error %d after the head was sent; nothing more written", this, code);
    _socket->resetOnClose();
    return;
  }
  const char* text = statusText(code);
  char number[16];
  snprintf(number, sizeof number, "%d", code);
  setStatus(code);
  std::string page = std::string(PAGE_START) + number + " " + text + "</title>\n</head><body>\n<h1>" + text +
                     "</h1>\n</body></html>\n";
  setHeader("Content-Length", static_cast<unsigned>(page.size()));
  write(page.data(), static_cast<unsigned>(page.size()));
}

const char* HttpResponse::mimeType(const std::wstring& extension)
{
  for (const MimeEntry& entry : MIME_TYPES) {
    if (extension == entry.extension)
      return entry.type;
  }
  return "unknown";
}

std::string HttpResponse::urlEncode(const std::string& text)
{
  return ::urlEncode(text);
}

std::string HttpResponse::urlDecode(const std::string& text)
{
  return ::urlDecode(text);
}

const char* statusText(int code)
{
  for (const StatusEntry& entry : STATUS_TEXTS) {
    if (entry.code == code)
      return entry.text;
  }
  return "Unknown Status Code";
}

std::string httpDate(int64_t seconds)
{
  __time64_t time = seconds;
  struct tm utc;
  if (_gmtime64_s(&utc, &time) != 0)
    return "";
  char text[254];
  strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &utc);
  return text;
}
