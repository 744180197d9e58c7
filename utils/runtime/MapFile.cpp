#include "MapFile.h"

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const int LINE_SIZE = 1024;
const int MAX_TOKENS = 10;
const int MAX_TOKENS_HANDED_ON = 9;
const int LINE_NUMBER_TOKENS = 8;
const size_t NAME_SIZE = 128;
const size_t UNDECORATED_SIZE = 1024;
const uint32_t DEFAULT_LOAD_ADDRESS = 0x400000;
// Segment 1 (the code) begins one page into the image.
const uint32_t CODE_SEGMENT_OFFSET = 0x1000;
const char LINES_PREFIX[] = "Line numbers for ";
const size_t LINES_PREFIX_LENGTH = sizeof LINES_PREFIX - 1;
const char UNKNOWN_FUNCTION[] = "Unknown function";

template <typename T>
bool append(T*& items, int& capacity, int& count, const T& item)
{
  if (count == capacity) {
    if (static_cast<size_t>(capacity) > SIZE_MAX / 2 / sizeof(T))
      return false;
    int grownCapacity = capacity ? 2 * capacity : 1;
    T* grown = static_cast<T*>(DEBUG_REALLOC(items, grownCapacity * sizeof(T)));
    if (!grown)
      return false;
    items = grown;
    capacity = grownCapacity;
  }
  items[count++] = item;
  return true;
}

template <typename T>
T* allocateOne(int& capacity)
{
  T* items = static_cast<T*>(DEBUG_MALLOC(sizeof(T)));
  capacity = items ? 1 : 0;
  return items;
}

// The index of the last entry whose address is strictly below x, or -1 when
// there is none or when no entry lies at or above x.
template <typename T, typename AddressOf>
int searchBelow(const T* items, int count, unsigned x, AddressOf addressOf)
{
  int lo = -1;
  int hi = count;
  while (hi - lo >= 2) {
    int mid = (lo + hi) / 2;
    if (addressOf(items[mid]) >= x)
      hi = mid;
    else
      lo = mid;
  }
  return hi == count ? -1 : lo;
}

int compareAddresses(uint32_t a, uint32_t b)
{
  return a < b ? -1 : a > b ? 1 : 0;
}

int compareSymbols(const void* a, const void* b)
{
  return compareAddresses((*static_cast<MapFile::Symbol* const*>(a))->address,
                          (*static_cast<MapFile::Symbol* const*>(b))->address);
}

int compareLines(const void* a, const void* b)
{
  return compareAddresses(static_cast<const MapFile::Line*>(a)->address, static_cast<const MapFile::Line*>(b)->address);
}

// Splits in place on blanks and line ends; at most MAX_TOKENS tokens.
int tokenize(char* text, char** tokens)
{
  const char* delimiters = " \r\n";
  int count = 0;
  char* p = text;
  while (count < MAX_TOKENS) {
    p += strspn(p, delimiters);
    if (!*p)
      break;
    tokens[count++] = p;
    p += strcspn(p, delimiters);
    if (*p)
      *p++ = '\0';
  }
  return count;
}

char* copyOf(const char* text, size_t length)
{
  char* copy = static_cast<char*>(DEBUG_MALLOC(length + 1));
  if (copy) {
    memcpy(copy, text, length);
    copy[length] = '\0';
  }
  return copy;
}

char* trimmedCopy(const char* text)
{
  text += strspn(text, " ");
  size_t length = strlen(text);
  while (length > 0 && strchr(" \r\n", text[length - 1]))
    --length;
  return copyOf(text, length);
}

bool isItaniumName(const char* name)
{
  // i686 symbols carry an extra leading underscore.
  return strncmp(name, "_Z", 2) == 0 || strncmp(name, "__Z", 3) == 0;
}

typedef DWORD(WINAPI* UnDecorateFunction)(PCSTR name, PSTR out, DWORD size, DWORD flags);

UnDecorateFunction findUndecorator()
{
  HMODULE dbghelp = LoadLibraryA("dbghelp.dll");
  if (!dbghelp)
    return nullptr;
  return reinterpret_cast<UnDecorateFunction>(
      reinterpret_cast<void*>(GetProcAddress(dbghelp, "UnDecorateSymbolName")));
}

}

MapFile::MapFile()
    : _symbols(allocateOne<Symbol*>(_symbolCapacity)),
      _symbolCount(0),
      _files(allocateOne<char*>(_fileCapacity)),
      _fileCount(0),
      _lines(allocateOne<Line>(_lineCapacity)),
      _lineCount(0),
      _loadAddress(DEFAULT_LOAD_ADDRESS),
      _moduleName(DEBUG_STRDUP("")),
      _timestamp(0)
{
}

MapFile::~MapFile()
{
  clear();
  DEBUG_FREE(_symbols);
  DEBUG_FREE(_files);
  DEBUG_FREE(_lines);
  DEBUG_FREE(_moduleName);
}

void MapFile::clear()
{
  for (int i = 0; i < _symbolCount; ++i) {
    DEBUG_FREE(_symbols[i]->name);
    DEBUG_FREE(_symbols[i]);
  }
  for (int i = 0; i < _fileCount; ++i)
    DEBUG_FREE(_files[i]);
  _symbolCount = 0;
  _fileCount = 0;
  _lineCount = 0;
}

int MapFile::load(const char* path, int maxLines)
{
  FILE* file = fopen(path, "rt");
  if (!file) {
    fprintf(stderr, "Mapfile: Could not read from %s\n", path);
    return 0;
  }
  clear();
  char line[LINE_SIZE];
  if (!fgets(line, sizeof line, file)) {
    fclose(file);
    return 0;
  }
  char* moduleName = trimmedCopy(line);
  if (moduleName) {
    DEBUG_FREE(_moduleName);
    _moduleName = moduleName;
  }
  int linesRead = 1;
  while ((maxLines == 0 || linesRead < maxLines) && fgets(line, sizeof line, file)) {
    ++linesRead;
    parseLine(line);
  }
  fclose(file);

  qsort(_symbols, _symbolCount, sizeof *_symbols, compareSymbols);
  qsort(_lines, _lineCount, sizeof *_lines, compareLines);
  fprintf(stderr, "Mapfile: read %d lines from %s\n", linesRead, path);
  return _symbolCount;
}

void MapFile::parseLine(const char* raw)
{
  char text[LINE_SIZE];
  snprintf(text, sizeof text, "%s", raw);
  size_t length = strlen(text);
  if (length > 0 && text[length - 1] == '\n')
    text[length - 1] = '\0';

  char split[LINE_SIZE];
  snprintf(split, sizeof split, "%s", raw);
  char* tokens[MAX_TOKENS];
  int count = tokenize(split, tokens);
  if (count > MAX_TOKENS_HANDED_ON)
    count = MAX_TOKENS_HANDED_ON;

  if (parsePublicSymbol(tokens, count) || parseLoadAddress(raw) || parseFileOfLines(raw, text) ||
      parseLineNumbers(tokens, count))
    return;
  parseTimestamp(tokens, count);
}

// " 0001:00000040  _name  00401040 f  object": segment:offset, name, address.
bool MapFile::parsePublicSymbol(char** tokens, int count)
{
  unsigned address;
  if (count < 3 || strlen(tokens[0]) < 5 || tokens[0][4] != ':' || sscanf(tokens[2], "%x", &address) != 1)
    return false;
  char name[NAME_SIZE];
  snprintf(name, sizeof name, "%s", undecorate(tokens[1]));
  Symbol* symbol = static_cast<Symbol*>(DEBUG_MALLOC(sizeof(Symbol)));
  char* copy = DEBUG_STRDUP(name);
  if (symbol && copy) {
    *symbol = {copy, address};
    if (append(_symbols, _symbolCapacity, _symbolCount, symbol))
      return true;
  }
  DEBUG_FREE(copy);
  DEBUG_FREE(symbol);
  return true;
}

bool MapFile::parseLoadAddress(const char* raw)
{
  unsigned address;
  if (sscanf(raw, " Preferred load address is %x", &address) != 1)
    return false;
  _loadAddress = address;
  return true;
}

// "Line numbers for object(source) segment .text": the source is the text
// inside the last parentheses.
bool MapFile::parseFileOfLines(const char* raw, const char* text)
{
  if (strncmp(raw, LINES_PREFIX, LINES_PREFIX_LENGTH) != 0)
    return false;
  const char* start = text + LINES_PREFIX_LENGTH;
  const char* open = strrchr(start, '(');
  if (open)
    start = open + 1;
  // Only a ')' after the start ends the name.
  const char* close = strrchr(start, ')');
  char* name = copyOf(start, close ? close - start : strlen(start));
  if (name && !append(_files, _fileCapacity, _fileCount, name))
    DEBUG_FREE(name);
  return true;
}

// Four pairs of a line number and "0001:offset".
bool MapFile::parseLineNumbers(char** tokens, int count)
{
  if (count != LINE_NUMBER_TOKENS || _fileCount == 0)
    return false;
  for (int pair = 0; pair < LINE_NUMBER_TOKENS / 2; ++pair) {
    int number;
    unsigned offset;
    if (sscanf(tokens[2 * pair], "%d", &number) != 1 || sscanf(tokens[2 * pair + 1], "0001:%x", &offset) != 1)
      return false;
    Line record = {offset + _loadAddress + CODE_SEGMENT_OFFSET, _files[_fileCount - 1], number};
    append(_lines, _lineCapacity, _lineCount, record);
  }
  return true;
}

bool MapFile::parseTimestamp(char** tokens, int count)
{
  if (count < 3 || strcmp(tokens[0], "Timestamp") != 0)
    return false;
  unsigned long value;
  if (sscanf(tokens[2], "%lx", &value) == 1)
    _timestamp = value;
  return true;
}

const MapFile::Symbol* MapFile::findSymbol(unsigned address) const
{
  int index = searchBelow(_symbols, _symbolCount, address, [](const Symbol* s) { return s->address; });
  return index < 0 ? nullptr : _symbols[index];
}

const MapFile::Line* MapFile::findLine(unsigned address) const
{
  int index = searchBelow(_lines, _lineCount, address, [](const Line& l) { return l.address; });
  return index < 0 ? nullptr : &_lines[index];
}

bool MapFile::lookup(unsigned address, CodePosition& out) const
{
  out = CodePosition{};
  const Symbol* symbol = findSymbol(address);
  const Line* line = findLine(address);
  // A line record before the function's start belongs to code in front of
  // it: the function itself has no line numbers.
  if (symbol && line && line->address >= symbol->address) {
    out.file = line->file;
    out.line = line->line;
  }
  out.function = symbol ? symbol->name : UNKNOWN_FUNCTION;
  if (!out.file)
    out.file = out.function;
  return true;
}

const char* MapFile::nameOf(unsigned address) const
{
  const Symbol* symbol = findSymbol(address);
  return symbol ? symbol->name : nullptr;
}

void MapFile::dump(const unsigned* addresses, int count) const
{
  for (int i = 0; i < count; ++i) {
    const Symbol* symbol = findSymbol(addresses[i]);
    if (symbol)
      printf("0x%08x -> 0x%08x: %s\n", addresses[i], symbol->address, symbol->name);
  }
}

const char* undecorate(const char* name)
{
  static char buffer[UNDECORATED_SIZE];
  static bool searched;
  static UnDecorateFunction undecorateName;

  if (isItaniumName(name)) {
    int status;
    char* readable = abi::__cxa_demangle(name[1] == '_' ? name + 1 : name, nullptr, nullptr, &status);
    if (readable) {
      snprintf(buffer, sizeof buffer, "%s", readable);
      free(readable);
      return buffer;
    }
  } else if (name[0] == '?') {
    if (!searched) {
      searched = true;
      undecorateName = findUndecorator();
    }
    if (undecorateName && undecorateName(name, buffer, sizeof buffer, 0))
      return buffer;
  }
  snprintf(buffer, sizeof buffer, "%s", name);
  return buffer;
}
