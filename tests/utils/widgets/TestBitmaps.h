#pragma once

#define IDB_RED_24 101
#define IDB_GREEN_24 102
#define IDB_BLUE_20X30 103
#define IDB_YELLOW_32 104
#define IDB_BACKDROP_40X20 105
#define IDB_MISSING 199
