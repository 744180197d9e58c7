#pragma once

#include <string>
#include <vector>

// Narrow strings hold UTF-8, wide strings UTF-16; the codec below converts
// at each border. Invalid UTF-8 never fails: each bad byte becomes U+FFFD.

// Both return the number of units written, without the terminating 0; a null
// out only counts.
int utf8ToUtf16(const char* in, wchar_t* out);
int utf16ToUtf8(const wchar_t* in, char* out);

std::wstring toWide(const std::string& utf8);
std::string toUtf8(const std::wstring& text);

// Owns the UTF-8 form of a wide text for as long as the holder lives.
class Utf8FromWide {
public:
  explicit Utf8FromWide(const wchar_t* text);
  explicit Utf8FromWide(const std::wstring& text);
  ~Utf8FromWide();
  Utf8FromWide(const Utf8FromWide&) = delete;
  Utf8FromWide& operator=(const Utf8FromWide&) = delete;

  const char* get() const { return _buffer; }

private:
  char* _buffer;
};

// Owns the UTF-16 form of a UTF-8 text for as long as the holder lives.
class WideFromUtf8 {
public:
  explicit WideFromUtf8(const char* text);
  explicit WideFromUtf8(const std::string& text);
  ~WideFromUtf8();
  WideFromUtf8(const WideFromUtf8&) = delete;
  WideFromUtf8& operator=(const WideFromUtf8&) = delete;

  const wchar_t* get() const { return _buffer; }

private:
  wchar_t* _buffer;
};

class IntString {
public:
  explicit IntString(int value);
  const char* c_str() const { return _text.c_str(); }
  std::string str() const { return _text; }

private:
  std::string _text;
};

std::wstring intToWide(int value);

bool startsWith(const std::string& s, const std::string& prefix);
bool startsWith(const std::wstring& s, const std::wstring& prefix);
bool endsWith(const std::string& s, const std::string& suffix);
bool endsWith(const std::wstring& s, const std::wstring& suffix);

// Blanks are space, tab, CR and LF.
std::string trim(const std::string& s);
std::wstring trim(const std::wstring& s);
void trimInPlace(char* s);

std::wstring unquote(const std::wstring& text);

// Units of 128 and above become "&#N;" (surrogates one entity each); markup
// characters are left alone.
std::string toHtmlEntities(const std::wstring& text);
std::string toHtmlEntities(const std::string& utf8);
std::string toUnicodeEscapes(const std::wstring& text);
std::wstring unescapeBackslashes(const std::wstring& text);

std::string replaceAll(std::string text, const std::string& from, const std::string& to);
std::string reversed(const std::string& s);
// Turns each CR into CR LF in place; false, and nothing changed, when the
// result would not fit in capacity bytes with its NUL.
bool expandCarriageReturns(char* buffer, unsigned capacity);
const wchar_t* findOutsideQuotes(const wchar_t* text, const wchar_t* pattern);
// Reads at most numChars (8 or fewer) hexadecimal digits; returns how many.
int parseHex(const char* text, unsigned* out, int numChars);

// RFC 4648 URL-safe alphabet, without padding.
std::string base64UrlEncode(const std::string& bytes);
std::string base64UrlDecode(const std::string& text);

// Appends every non-empty run of non-delimiters to out.
void split(const char* text, const char* delimiters, std::vector<std::string>& out);

// Tokens one per next() call; a trailing delimiter gives a last empty token.
class StringTokenizer {
public:
  StringTokenizer(const std::wstring& text, const wchar_t* delimiters);
  bool next(std::wstring& out);

private:
  std::wstring _text;
  std::wstring _delimiters;
  size_t _position = std::wstring::npos;
  bool _first = true;
};

const size_t MAX_READ_FILE_SIZE = 1048576;

enum class FileRead { DONE, CANNOT_OPEN, TOO_LARGE };

// Appends a text-mode file of at most MAX_READ_FILE_SIZE bytes to out, or
// says why it cannot.
FileRead readFileChecked(const std::wstring& path, std::string& out);
// The same; a failure is written to standard error.
bool readFile(const std::wstring& path, std::string& out);
// Replaces out with the UTF-8 file's text.
bool readFileWide(const std::wstring& path, std::wstring& out);
