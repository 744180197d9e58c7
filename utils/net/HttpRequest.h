#pragma once

#include <winsock2.h>

#include <string>
#include <vector>

class CgiRequest;

// Results of RequestParser::feed.
const int PARSE_COMPLETE = 0;
const int PARSE_BAD = 1;
const int PARSE_INCOMPLETE = 2;

// Incremental, table-driven parse of one request as its chunks arrive. The
// raw text is kept; the parse writes NULs into it and lower-cases header names
// in place, and every text accessor points into it.
class RequestParser {
public:
  RequestParser() = default;
  RequestParser(const RequestParser&) = delete;
  RequestParser& operator=(const RequestParser&) = delete;

  int feed(const char* data, unsigned length);

  const char* method() const;
  const char* uri() const;
  const char* path();
  const char* query() const;
  const char* header(const char* name) const;
  int contentLength() const { return _contentLength; }
  const char* body() const;

  // Why a request was refused when it broke a limit rather than the syntax; null otherwise.
  const char* refusal() const { return _refusal; }

private:
  struct HeaderPosition {
    int name;
    int value;
  };

  void scan();
  void apply(int position, int actions);
  bool readContentLength();
  bool splitRequestLine();
  void refuse(const char* why);

  std::string _raw;
  std::string _path;              // decoded, made on first use
  int _headerBlockStart = 0;      // recorded by the table; nothing reads it
  int _scanPosition = 0;
  int _state = 0;
  int _nameStart = 0;
  int _valueStart = 0;
  int _contentLength = 0;         // 0 until the headers are complete
  int _bodyStart = 0;
  int _uriStart = 0;
  int _requestLineEnd = 0;        // where its CR was
  std::vector<HeaderPosition> _headers;
  int _result = PARSE_INCOMPLETE;
  const char* _refusal = nullptr;
};

// What a handler sees of a request: the parse, the peer, the parameters.
class HttpRequest {
public:
  HttpRequest(RequestParser* parser, const sockaddr_in& peer, const sockaddr_in& local);
  ~HttpRequest();
  HttpRequest(const HttpRequest&) = delete;
  HttpRequest& operator=(const HttpRequest&) = delete;

  const char* method() const { return _parser->method(); }
  const char* uri() const { return _parser->uri(); }
  const char* path() { return _parser->path(); }
  const char* query() const { return _parser->query(); }
  int contentLength() const { return _parser->contentLength(); }
  const char* body() const { return _parser->body(); }

  const char* header(const char* name, const char* fallback) const;
  std::string remoteAddress() const;
  // True without an "origin" header, or when it names this server as reached
  // on this connection: a page of another site may not act here.
  bool comesFromOwnOrigin() const;
  // The "host" header, or this end's address and port when the client sent
  // none or one that is not a plausible host[:port].
  std::string host() const;
  bool getCookie(const char* name, std::string& out) const;
  CgiRequest* params();
  bool mapToFile(const std::wstring& root, std::wstring& out) const;

private:
  RequestParser* _parser;
  CgiRequest* _params = nullptr;
  sockaddr_in _peer;
  sockaddr_in _local;
};
