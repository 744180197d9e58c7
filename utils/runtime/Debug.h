#pragma once

#include <cstdio>

// Developer trace lines under numeric categories; only categories in the
// installed zero-terminated list are formatted and written.

typedef void (*DebugOutputFunction)(const char* line);

void debugPrint(unsigned short category, const char* format, ...) __attribute__((format(gnu_printf, 2, 3)));
void setDebugOutput(DebugOutputFunction fn);
void setDebugCategories(const int* list);
void defaultDebugOutput(const char* line);
void openDebugOutputFile();

// The file named by DEBUG_OUTPUT, opened by openDebugOutputFile; null otherwise.
extern FILE* debugOutputFile;
