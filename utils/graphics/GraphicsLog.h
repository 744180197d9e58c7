#pragma once

// The drawing layer's log channel, "D_Graphics".
extern const int GRAPHICS_LOG_KEY;
