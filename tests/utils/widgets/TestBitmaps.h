#pragma once

#define IDB_YELLOW_32 104
#define IDB_MISSING 199
