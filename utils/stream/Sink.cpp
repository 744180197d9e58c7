#include "Sink.h"

#include "HttpResponse.h"
#include "Log.h"

const int ENCODER_LOG_KEY = LogRegisterKey("L_Encoder", true);
const int STREAM_CONTEXT_LOG_KEY = LogRegisterKey("L_StreamContext", true);

namespace {

// The delivery is logged by length: the pipe's buffer has no room for a
// terminator when a read fills it.
void logDelivery(int key, const char* data, int length)
{
  LogPrintf(key, "%.*s", length > 0 ? length : 0, data ? data : "");
}

}

void StrSink::write(char* data, int length)
{
  logDelivery(ENCODER_LOG_KEY, data, length);
  if (data && length > 0)
    _text.append(data, length);
}

void ErrSink::write(char* data, int length)
{
  logDelivery(STREAM_CONTEXT_LOG_KEY, data, length);
}

// A zero-length delivery still makes sure the head is out.
void HttpHandler::write(char* data, int length)
{
  _response->write(data, length > 0 ? static_cast<unsigned>(length) : 0);
}
