#include "StreamerAppLog.h"

#include "Log.h"

const int STREAMER_APP_LOG_KEY = LogRegisterKey("L_StreamerApp", true);
