#pragma once

// The window framework's log channel, "L_BaseWnd".
extern const int WINDOW_LOG_KEY;
// Logs what failed with the text of the last error.
void logLastError(const char* what);
