#pragma once

// The transcoder's executable, found in the working directory (the program's
// own folder), never on the PATH; tests put a stand-in there under this name.
const char TRANSCODER[] = "ffmpeg.exe";
