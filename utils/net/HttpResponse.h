#pragma once

#include <cstdint>
#include <map>
#include <string>

class Socket;

// Status and headers of a response; each name occurs once, in byte order.
struct ResponseHead {
  int status = 500;
  std::map<std::string, std::string> headers;

  std::string format() const;
};

// The answer to one request: settings until the head goes out (before the
// first body byte), then body bytes as the handler produces them.
class HttpResponse {
public:
  explicit HttpResponse(Socket* socket);
  ~HttpResponse();
  HttpResponse(const HttpResponse&) = delete;
  HttpResponse& operator=(const HttpResponse&) = delete;

  void setStatus(int code);
  int getStatus() const { return _head->status; }
  void setHeader(const char* name, const char* value);
  void setHeader(const char* name, unsigned value);
  void setCookie(const char* name, const char* value, unsigned seconds);

  void sendHeaders();
  // For a HEAD request: the head goes out as for any other, the body not.
  void setHeadOnly() { _headOnly = true; }
  HttpResponse& write(const char* data, unsigned length);
  bool headersSent() const { return _state >= STATE_HEAD_SENT; }
  unsigned bytesSent() const { return _bytesSent; }
  // True once a send failed: the client has gone or stopped reading, and
  // nothing more is sent.
  bool sendFailed() const { return _sendFailed; }

  void sendBuffer(const char* data, unsigned length, const char* contentType);
  void sendFile(const wchar_t* path);
  void sendHtml(const char* text);
  void sendText(const char* text);
  void sendJson(const char* text);
  void sendHtmlPage(const char* body, const char* title);
  void sendError(int code);

  static const char* mimeType(const std::wstring& extension);
  // For handlers: URL coding as UrlCoding.h does it.
  static std::string urlEncode(const std::string& text);
  static std::string urlDecode(const std::string& text);

private:
  static constexpr int STATE_NOTHING_SENT = 0;
  static constexpr int STATE_HEAD_SENT = 2;
  static constexpr int STATE_BODY_SENT = 3;

  bool warnIfHeadSent() const;
  void sendWhole(const char* text, const char* contentType);
  void sendBytes(const char* data, unsigned length);

  int _state = STATE_NOTHING_SENT;
  Socket* _socket;                // not owned
  unsigned _bytesSent = 0;        // head and body bytes the socket took
  ResponseHead* _head;
  bool _sendFailed = false;
  bool _headOnly = false;
};

const char* statusText(int code);
std::string httpDate(int64_t seconds);
