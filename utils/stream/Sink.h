#pragma once

#include <string>

class HttpResponse;

// Where bytes flow in the streaming pipeline: pipe reads, the segmenter and
// the HTTP response all meet through this interface.
class Sink {
public:
  virtual ~Sink() {}
  virtual void write(char* data, int length) = 0;
  virtual void flush() {}
  // True once the sink takes nothing more (its reader has gone): whoever
  // fills it may stop.
  virtual bool closed() const { return false; }
};

// Collects the transcoder's report and logs each delivery.
class StrSink : public Sink {
public:
  StrSink() {}
  void write(char* data, int length) override;

  std::string _text;
};

// Logs the transcoder's error output.
class ErrSink : public Sink {
public:
  ErrSink() {}
  void write(char* data, int length) override;
};

// Sends the bytes as the body of an HTTP response, whose head goes out
// before the first of them.
class HttpHandler : public Sink {
public:
  explicit HttpHandler(HttpResponse* response) : _response(response) {}
  void write(char* data, int length) override;

  HttpResponse* _response;  // not owned; outlives the sink
};

// The channels the text sinks log under, shared with the duration probe
// ("L_Encoder") and the stream context ("L_StreamContext").
extern const int ENCODER_LOG_KEY;
extern const int STREAM_CONTEXT_LOG_KEY;
