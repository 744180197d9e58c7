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
const wchar_t LT_IN_TAG[] = L"\"<\" inside a tag";

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
  reset();
  for (const wchar_t* c = text; *c && putChar(*c); ++c) {
  }
  if (!finish())
    logError(L"A description");
  return _error.empty();
}

bool TagParser::parseFile(const wchar_t* path)
{
  FILE* file = _wfopen(path, L"rt");
  if (!file) {
    _error = L"cannot open the file";
    logError(path);
    return false;
  }
  reset();
  for (wint_t c = fgetwc(file); c != WEOF && putChar(static_cast<wchar_t>(c)); c = fgetwc(file)) {
  }
  if (ferror(file))
    fail(L"the file cannot be read");
  fclose(file);
  if (!finish())
    logError(path);
  return _error.empty();
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
  enterState(TEXT);
  _line = 1;
  _column = 0;
  _error.clear();
}

bool TagParser::putChar(wchar_t c)
{
  if (!_error.empty())
    return false;
  ++_column;
  if (c == L'\0') {
    fail(L"NUL character");
    return false;
  }
  switch (_state) {
  case TEXT:
    readText(c);
    break;
  case TAG_NAME:
    readTagName(c);
    break;
  case ATTRIBUTE_NAME:
    readAttributeName(c);
    break;
  case ATTRIBUTE_VALUE:
    readAttributeValue(c);
    break;
  case COMMENT:
    readComment(c);
    break;
  }
  if (c == L'\n') {
    ++_line;
    _column = 0;
  }
  return _error.empty();
}

bool TagParser::finish()
{
  switch (_state) {
  case TEXT:
    if (!_openTags.empty())
      fail(L"<" + _pCurrentTag->name + L"> is not closed");
    break;
  case COMMENT:
    fail(L"the input ends inside a comment");
    break;
  default:
    fail(_inQuote ? L"the input ends inside a quoted value" : L"the input ends inside a tag");
    break;
  }
  delete _pendingTag;
  _pendingTag = nullptr;
  return _error.empty();
}

void TagParser::fail(const std::wstring& what)
{
  if (!_error.empty())
    return;
  _error = L"line " + std::to_wstring(_line) + L", column " + std::to_wstring(_column) + L": " + what;
}

void TagParser::logError(const wchar_t* source)
{
  LogPrintf(LOG_KEY, "%s: %s.", Utf8FromWide(source).get(), Utf8FromWide(_error).get());
}

void TagParser::enterState(State state)
{
  _state = state;
  _started = false;
  _inQuote = false;
  _nameEnded = false;
  if (state == ATTRIBUTE_NAME)
    _attributeName.clear();
  else if (state == ATTRIBUTE_VALUE)
    _attributeValue.clear();
  else if (state == COMMENT)
    _dashes = 0;
}

void TagParser::readText(wchar_t c)
{
  if (c == L'<') {
    beginTag();
    return;
  }
  if (_takesText)
    _pCurrentTag->text += c;
}

void TagParser::beginTag()
{
  _pendingTag = new CTag;
  enterState(TAG_NAME);
  // A value left from the previous tag must not reach a bare name in this one.
  _attributeValue.clear();
}

void TagParser::readTagName(wchar_t c)
{
  if (c == L'>') {
    completeTag();
  } else if (c == L'<') {
    fail(LT_IN_TAG);
  } else if (isBlank(c)) {
    if (_started)
      enterState(ATTRIBUTE_NAME);
  } else if (_pendingTag->name.size() == MAX_TAG_NAME) {
    fail(L"a tag name longer than " + std::to_wstring(MAX_TAG_NAME) + L" characters");
  } else {
    _pendingTag->name += c;
    _started = true;
    // A comment needs no blank after its opening.
    if (_pendingTag->name == COMMENT_START) {
      delete _pendingTag;
      _pendingTag = nullptr;
      enterState(COMMENT);
    }
  }
}

void TagParser::readAttributeName(wchar_t c)
{
  if (c == L'>') {
    storeBareName();
    completeTag();
  } else if (c == L'<') {
    fail(LT_IN_TAG);
  } else if (c == L'=') {
    if (!_started) {
      fail(L"\"=\" without an attribute name");
      return;
    }
    lowerCase(_attributeName);
    enterState(ATTRIBUTE_VALUE);
  } else if (isBlank(c)) {
    _nameEnded = _started;
  } else if (_nameEnded) {
    // A name followed by blanks and no "=" stands alone; the next one starts here.
    storeBareName();
    enterState(ATTRIBUTE_NAME);
    readAttributeName(c);
  } else if (_attributeName.size() == MAX_ATTRIBUTE_NAME) {
    fail(L"an attribute name longer than " + std::to_wstring(MAX_ATTRIBUTE_NAME) + L" characters");
  } else {
    _attributeName += c;
    _started = true;
  }
}

void TagParser::readAttributeValue(wchar_t c)
{
  if (_inQuote) {
    // Inside quotes every character but the closing quote is the value's,
    // markup and the other quote too.
    if (c == _quote)
      _inQuote = false;
    else
      appendValue(c);
  } else if (c == L'"' || c == L'\'') {
    _inQuote = true;
    _quote = c;
    _started = true;
  } else if (c == L'>') {
    storeAttribute();
    completeTag();
  } else if (c == L'<') {
    fail(LT_IN_TAG);
  } else if (isBlank(c)) {
    if (_started) {
      storeAttribute();
      enterState(ATTRIBUTE_NAME);  // the value stays for a bare name that may follow
    }
  } else {
    appendValue(c);
    _started = true;
  }
}

void TagParser::appendValue(wchar_t c)
{
  if (_attributeValue.size() < MAX_ATTRIBUTE_VALUE)
    _attributeValue += c;
  else
    fail(L"the value of \"" + _attributeName + L"\" is longer than " + std::to_wstring(MAX_ATTRIBUTE_VALUE) +
         L" characters");
}

void TagParser::readComment(wchar_t c)
{
  if (c == L'>' && _dashes >= 2)
    enterState(TEXT);
  else
    _dashes = c == L'-' ? _dashes + 1 : 0;
}

void TagParser::storeAttribute()
{
  _pendingTag->attributes[_attributeName] = _attributeValue;
}

// A name without "=" is kept with the last value read in the same tag:
// descriptions write flags such as "vertical" after a valued attribute and
// rely on the flag reading as set.
void TagParser::storeBareName()
{
  if (_attributeName.empty())
    return;
  lowerCase(_attributeName);
  storeAttribute();
}

void TagParser::completeTag()
{
  CTag* tag = _pendingTag;
  _pendingTag = nullptr;
  enterState(TEXT);
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
    delete tag;
    fail(L"containers nested deeper than " + std::to_wstring(MAX_TAG_DEPTH));
    return;
  }
  _pCurrentTag->children.push_back(tag);
  if (container) {
    _openTags.push_back(_pCurrentTag);
    _pCurrentTag = tag;
    _takesText = isTextTag(tag->name);
  }
}

// Closing tags of leaves are allowed and mean nothing.
void TagParser::closeTag(const std::wstring& name)
{
  if (!_openTags.empty() && name == _pCurrentTag->name) {
    _pCurrentTag = _openTags.back();
    _openTags.pop_back();
    _takesText = isTextTag(_pCurrentTag->name);
  } else if (isContainer(name)) {
    fail(_openTags.empty() ? L"</" + name + L"> closes nothing"
                           : L"</" + name + L"> inside <" + _pCurrentTag->name + L">");
  }
}
