#pragma once

#include <string>

// Holders for text in the system's ANSI code page, which some shell
// interfaces still want. A conversion the system refuses throws
// std::bad_alloc, like an allocation that fails.

class WideFromAnsi {
public:
  explicit WideFromAnsi(const char* ansi);
  explicit WideFromAnsi(const wchar_t* text);  // a plain copy
  ~WideFromAnsi();
  WideFromAnsi(const WideFromAnsi&) = delete;
  WideFromAnsi& operator=(const WideFromAnsi&) = delete;

  const wchar_t* get() const { return _buffer; }

private:
  wchar_t* _buffer;
};

// What some editors put at the start of a UTF-8 file.
const char UTF8_BYTE_ORDER_MARK[] = "\xEF\xBB\xBF";

// The text of a file's bytes, NUL characters included: UTF-8 when they are
// valid UTF-8 or start with its byte-order mark (which is dropped),
// otherwise the ANSI code page, as the C runtime reads text files.
std::wstring wideFromFileText(const std::string& bytes);

class AnsiFromWide {
public:
  explicit AnsiFromWide(const wchar_t* text);
  explicit AnsiFromWide(const char* ansi);  // a plain copy
  ~AnsiFromWide();
  AnsiFromWide(const AnsiFromWide&) = delete;
  AnsiFromWide& operator=(const AnsiFromWide&) = delete;

  const char* get() const { return _buffer; }

private:
  char* _buffer;
};
