#pragma once

#include "DebugHeap.h"

#include <cstdint>

// Reads the linker's text map file (public symbols with their addresses and,
// where present, line numbers per source file) to name code addresses.
class MapFile {
public:
  struct Symbol {
    char* name;  // undecorated, at most 127 characters
    uint32_t address;
  };

  struct Line {
    uint32_t address;
    char* file;  // points into the file-name table
    int line;
  };

  MapFile();
  ~MapFile();
  MapFile(const MapFile&) = delete;
  MapFile& operator=(const MapFile&) = delete;

  // Replaces the tables; maxLines 0 reads the whole file. Returns the
  // number of symbols.
  int load(const char* path, int maxLines);

  // Always true; a position the map cannot name is "Unknown function".
  bool lookup(unsigned address, CodePosition& out) const;
  // The last entry strictly below the address, or null.
  const Symbol* findSymbol(unsigned address) const;
  const Line* findLine(unsigned address) const;
  const char* nameOf(unsigned address) const;

  const char* getModuleName() const { return _moduleName; }
  uint32_t getTimestamp() const { return _timestamp; }
  uint32_t getLoadAddress() const { return _loadAddress; }

  void dump(const unsigned* addresses, int count) const;

private:
  void clear();
  void parseLine(const char* raw);
  bool parsePublicSymbol(char** tokens, int count);
  bool parseLoadAddress(const char* raw);
  bool parseFileOfLines(const char* raw, const char* text);
  bool parseLineNumbers(char** tokens, int count);
  bool parseTimestamp(char** tokens, int count);

  Symbol** _symbols;
  int _symbolCapacity;
  int _symbolCount;
  char** _files;
  int _fileCapacity;
  int _fileCount;
  Line* _lines;
  int _lineCapacity;
  int _lineCount;
  uint32_t _loadAddress;
  char* _moduleName;
  uint32_t _timestamp;
};

// Readable form of a decorated name, in one static buffer overwritten by each
// call (not thread-safe): MSVC names through dbghelp, g++ names through the
// C++ runtime's demangler; any other name unchanged.
const char* undecorate(const char* name);
