#include "TagParser.h"

#include "Assert.h"
#include "Log.h"
#include "StringUtil.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <new>

namespace {

const int LOG_KEY = LogRegisterKey("L_TagParser", true);

const wchar_t COMMENT_START[] = L"!--";

bool isBlank(wchar_t c)
{
  return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

void lowerCase(std::wstring& text)
{
  if (!text.empty())
    CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
}

// Table names need not be terminated inside their field.
std::wstring tableName(const wchar_t (&field)[DTD_NAME_SIZE])
{
  return std::wstring(field, wcsnlen(field, DTD_NAME_SIZE));
}

bool equalIgnoringCase(const std::wstring& a, const std::wstring& b)
{
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

}

CTag::~CTag()
{
  clear();
}

void CTag::clear()
{
  name.clear();
  attributes.clear();
  text.clear();
  for (CTag* child : children)
    delete child;
  children.clear();
}

TagParser::TagParser() : _pCurrentTag(&_root)
{
}

TagParser::~TagParser()
{
  delete _pendingTag;
  clearTable();
}

bool TagParser::setTagTable(const DtdEntry* table, unsigned count)
{
  clearTable();
  _table = new (std::nothrow) DtdEntry[count];
  if (!_table) {
    LogPrintf(LOG_KEY, "No memory for a tag table of %u entries.", count);
    return false;
  }
  std::copy(table, table + count, _table);
  _tableCount = count;
  return true;
}

void TagParser::clearTable()
{
  delete[] _table;
  _table = nullptr;
  _tableCount = 0;
}

bool TagParser::parseString(const wchar_t* text)
{
  ASSERT(text);
  return parseRange(text, text + wcslen(text));
}

bool TagParser::parseText(const std::wstring& text)
{
  return parseRange(text.data(), text.data() + text.size());
}

bool TagParser::parseRange(const wchar_t* begin, const wchar_t* end)
{
  reset();
  for (const wchar_t* c = begin; c != end; ++c)
    putChar(*c);
  finish();
  return true;
}

bool TagParser::parseFile(const wchar_t* path)
{
  FILE* file = _wfopen(path, L"rt");
  if (!file) {
    _error = L"cannot open the file";
    LogPrintf(LOG_KEY, "Cannot open %s.", Utf8FromWide(path).get());
    return false;
  }
  reset();
  for (wint_t c = fgetwc(file); c != WEOF; c = fgetwc(file))
    putChar(static_cast<wchar_t>(c));
  if (ferror(file))
    warn(L"the file could not be read to its end");
  fclose(file);
  finish();
  return true;
}

const DtdEntry* TagParser::findEntry(const std::wstring& container) const
{
  for (unsigned i = 0; i < _tableCount; ++i)
    if (tableName(_table[i].container) == container)
      return &_table[i];
  return nullptr;
}

bool TagParser::isContainer(const std::wstring& name) const
{
  for (unsigned i = 0; i < _tableCount; ++i)
    if (equalIgnoringCase(tableName(_table[i].container), name))
      return true;
  return false;
}

bool TagParser::isTextTag(const std::wstring& name) const
{
  const DtdEntry* entry = findEntry(name);
  return entry && (entry->flags & DTD_TEXT);
}

bool TagParser::isValidChild(const std::wstring& container, const std::wstring& child) const
{
  for (unsigned i = 0; i < _tableCount; ++i)
    if (tableName(_table[i].container) == container && tableName(_table[i].child) == child)
      return true;
  return false;
}

void TagParser::reset()
{
  delete _pendingTag;
  _pendingTag = nullptr;
  _root.clear();
  _pCurrentTag = &_root;
  _openTags.clear();
  _takesText = false;
  _attributeName.clear();
  _attributeValue.clear();
  enterState(TEXT);
  _abandoned = false;
  _textWarned = false;
  _line = 1;
  _column = 0;
  _warnings = 0;
  _error.clear();
}

bool TagParser::putChar(wchar_t c)
{
  ++_column;
  if (c == L'\0')
    warn(L"a NUL character is ignored");
  else if (c == L'<' && _state != COMMENT && !inQuotedValue())
    beginTag();
  else if (c == L'>' && !inQuotedValue())
    endTag();
  else if (_state == TEXT || _state == COMMENT)
    readText(c);
  else if (_state == TAG_NAME)
    readTagName(c);
  else if (_state == ATTRIBUTE_NAME)
    readAttributeName(c);
  else
    readAttributeValue(c);
  if (c == L'\n') {
    ++_line;
    _column = 0;
  }
  return true;
}

// A tag that the input ends inside is completed as if its ">" had come in
// its name; an attribute still being read is not stored.
void TagParser::finish()
{
  if (insideTag()) {
    bool readingAttribute = _state == ATTRIBUTE_VALUE || (_state == ATTRIBUTE_NAME && !trim(_attributeName).empty());
    warn(L"the input ends inside the tag <" + _pendingTag->name + L">, which is kept" +
         (readingAttribute ? L" without the attribute being read" : L""));
    enterState(TEXT);
    completeTag();
  } else if (_state == COMMENT) {
    warn(L"the input ends inside a comment");
  }
  delete _pendingTag;
  _pendingTag = nullptr;
  if (!_openTags.empty())
    warn(L"the input ends with <" + _pCurrentTag->name + L"> open");
  if (_warnings > MAX_WARNINGS)
    _error += L"\nand " + std::to_wstring(_warnings - MAX_WARNINGS) + L" more";
}

void TagParser::warn(const std::wstring& what)
{
  if (++_warnings > MAX_WARNINGS)
    return;
  if (!_error.empty())
    _error += L'\n';
  _error += L"line " + std::to_wstring(_line) + L", column " + std::to_wstring(_column) + L": " + what;
}

void TagParser::enterState(State state)
{
  _state = state;
  _started = false;
  _inQuote = false;
  if (state == TAG_NAME) {
    _pendingTag->name.clear();
  } else if (state == ATTRIBUTE_NAME) {
    _attributeName.clear();
  } else if (state == ATTRIBUTE_VALUE) {
    _attributeValue.clear();
  }
}

// A "<" starts a tag anywhere but in a quoted value or a comment; one inside
// a tag abandons that tag.
void TagParser::beginTag()
{
  if (insideTag())
    abandonTag(L"\"<\" inside it");
  delete _pendingTag;
  _pendingTag = new CTag;
  // Neither buffer outlives its tag, also an abandoned one.
  _attributeName.clear();
  _attributeValue.clear();
  enterState(TAG_NAME);
  _abandoned = false;
  _textWarned = false;
}

void TagParser::endTag()
{
  if (_state == TAG_NAME) {
    completeTag();
  } else if (_state == ATTRIBUTE_NAME) {
    storeBareWord();
    completeTag();
  } else if (_state == ATTRIBUTE_VALUE) {
    storeAttribute();
    completeTag();
  } else if (_state == TEXT && !_abandoned) {
    warn(L"\">\" outside a tag is ignored");
  }
  _attributeName.clear();
  _attributeValue.clear();
  _abandoned = false;
  enterState(TEXT);
}

// Comments are read as text is.
void TagParser::readText(wchar_t c)
{
  if (_takesText) {
    ASSERT(_pCurrentTag);
    _pCurrentTag->text += c;
  } else if (_state == TEXT && !isBlank(c) && !_abandoned && !_textWarned) {
    warn(L"text where no tag keeps text is ignored");
    _textWarned = true;
  }
}

void TagParser::abandonTag(const std::wstring& why)
{
  warn(L"the tag <" + _pendingTag->name + L"> is abandoned: " + why);
  _abandoned = true;
}

// The name ends at a blank: "!--" starts a comment, any other name its
// attributes. Without a blank after "!--" the run up to ">" is a name. A
// full name takes nothing more, a blank neither.
void TagParser::readTagName(wchar_t c)
{
  std::wstring& name = _pendingTag->name;
  if (name.size() == MAX_TAG_NAME) {
    abandonTag(L"its name reaches " + std::to_wstring(MAX_TAG_NAME) + L" characters");
    name.clear();
    enterState(TEXT);
  } else if (isBlank(c)) {
    if (!_started)
      return;
    lowerCase(name);
    if (name == COMMENT_START) {
      delete _pendingTag;
      _pendingTag = nullptr;
      enterState(COMMENT);
    } else {
      enterState(ATTRIBUTE_NAME);
    }
  } else {
    name += c;
    _started = true;
  }
}

// Blanks belong to the name until "=", which trims it; a name that reaches
// ">" without "=" is a bare word, stored as typed with the last value read.
// A full name is dropped with the character that finds it full, "=" too.
void TagParser::readAttributeName(wchar_t c)
{
  if (_attributeName.size() == MAX_ATTRIBUTE_NAME) {
    // Blanks between attributes fill the buffer too: only a name is reported.
    if (!trim(_attributeName).empty())
      warn(L"an attribute name reaches " + std::to_wstring(MAX_ATTRIBUTE_NAME) +
           L" characters: what was read of it is dropped");
    _attributeName.clear();
  } else if (c == L'=') {
    if (!_started) {
      abandonTag(L"\"=\" without an attribute name");
      enterState(TEXT);
      return;
    }
    _attributeName = trim(_attributeName);
    lowerCase(_attributeName);
    enterState(ATTRIBUTE_VALUE);
  } else {
    _attributeName += c;
    _started = true;
  }
}

// Quotes are never stored; inside a quote of one kind, the other kind,
// blanks, "<" and ">" are the value's. A full value goes with its name at
// the next character, a closing quote too, and what follows is read as
// attribute names.
void TagParser::readAttributeValue(wchar_t c)
{
  if (_attributeValue.size() == MAX_ATTRIBUTE_VALUE) {
    warn(L"the value of \"" + _attributeName + L"\" reaches " + std::to_wstring(MAX_ATTRIBUTE_VALUE) +
         L" characters: the attribute is dropped");
    _attributeValue.clear();
    enterState(ATTRIBUTE_NAME);
  } else if (_inQuote) {
    if (c == _quote)
      _inQuote = false;
    else
      _attributeValue += c;
    _started = true;
  } else if (c == L'"' || c == L'\'') {
    _inQuote = true;
    _quote = c;
    _started = true;
  } else if (isBlank(c)) {
    if (!_started)
      return;
    storeAttribute();
    enterState(ATTRIBUTE_NAME);
  } else {
    _attributeValue += c;
    _started = true;
  }
}

void TagParser::storeAttribute()
{
  if (_attributeName.empty())
    warn(L"a value without an attribute name is dropped");
  else
    _pendingTag->attributes[_attributeName] = _attributeValue;
}

// Blanks before ">" make no attribute.
void TagParser::storeBareWord()
{
  if (!trim(_attributeName).empty())
    _pendingTag->attributes[_attributeName] = _attributeValue;
}

void TagParser::completeTag()
{
  CTag* tag = _pendingTag;
  _pendingTag = nullptr;
  lowerCase(tag->name);
  if (!tag->name.empty() && tag->name[0] == L'/') {
    closeTag(tag->name.substr(1));
    delete tag;
  } else {
    openTag(tag);
  }
}

void TagParser::openTag(CTag* tag)
{
  bool container = isContainer(tag->name);
  if (container && _openTags.size() == MAX_TAG_DEPTH) {
    warn(L"containers nested deeper than " + std::to_wstring(MAX_TAG_DEPTH) + L": <" + tag->name +
         L"> is read as a leaf");
    container = false;
  }
  _pCurrentTag->children.push_back(tag);
  if (container) {
    _openTags.push_back(_pCurrentTag);
    _pCurrentTag = tag;
  }
  _takesText = isTextTag(_pCurrentTag->name);
}

// Leaves need no closing tag: one that does not close the current container
// is ignored.
void TagParser::closeTag(const std::wstring& name)
{
  if (!_openTags.empty() && name == _pCurrentTag->name) {
    _pCurrentTag = _openTags.back();
    _openTags.pop_back();
    _takesText = isTextTag(_pCurrentTag->name);
  } else {
    warn(L"</" + name + L"> is ignored: " +
         (_openTags.empty() ? std::wstring(L"no container is open") : L"<" + _pCurrentTag->name + L"> is open"));
  }
}
