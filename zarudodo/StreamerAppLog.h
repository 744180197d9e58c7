#pragma once

// The programs' own log channel, "L_StreamerApp": both entry points log their
// start and end under it, and so does the look-up of the address they show.
// Registered once, here, for whichever program links it.
extern const int STREAMER_APP_LOG_KEY;
