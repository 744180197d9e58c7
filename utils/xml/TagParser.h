#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Reads a small XML-like tag language into a tree of tags. It knows no
// entities, CDATA or self-closing tags; which tags nest comes from a table
// given by the caller: a tag the table names as a container takes the tags
// after it as children until its closing tag, every other tag is a leaf and
// needs no closing tag. Every text gives a tree: what the rules cannot use
// is abandoned, dropped or ignored, each time with a warning.

// One parsed tag; it owns its children and deletes them with itself.
class CTag {
public:
  CTag() = default;
  ~CTag();
  CTag(const CTag&) = delete;
  CTag& operator=(const CTag&) = delete;

  void clear();

  std::wstring name;  // lower-cased
  std::map<std::wstring, std::wstring> attributes;  // a later one of a name overwrites
  std::wstring text;  // read while this tag was current, when it takes text
  std::vector<CTag*> children;
};

const unsigned DTD_NAME_SIZE = 32;
// A flag of DtdEntry: the container keeps the text inside it.
const uint32_t DTD_TEXT = 1;

// One row of the tag table: `container` may hold `child`.
struct DtdEntry {
  wchar_t container[DTD_NAME_SIZE];
  wchar_t child[DTD_NAME_SIZE];
  uint32_t flags;
};

// Limits of the language; what goes beyond them is dropped with a warning.
const unsigned MAX_TAG_NAME = 33;
const unsigned MAX_ATTRIBUTE_NAME = 31;
const unsigned MAX_ATTRIBUTE_VALUE = 4095;
// Deeper containers are read as leaves: the tree is walked recursively.
const unsigned MAX_TAG_DEPTH = 100;
// Warnings kept for getError; the rest are counted.
const unsigned MAX_WARNINGS = 100;

class TagParser {
public:
  TagParser();
  ~TagParser();
  TagParser(const TagParser&) = delete;
  TagParser& operator=(const TagParser&) = delete;

  // False, and every tag a leaf, when the copy cannot be made.
  bool setTagTable(const DtdEntry* table, unsigned count);

  // Always true; the tree is what the text gives.
  bool parseString(const wchar_t* text);
  // Every character of the text, NUL characters too (ignored with a warning).
  bool parseText(const std::wstring& text);
  // The file is read as text through the C runtime. False only when it
  // cannot be opened; the previous tree then stays.
  bool parseFile(const wchar_t* path);
  std::vector<CTag*>& getRootTags() { return _root.children; }
  // The warnings of the last parse, one a line, each "line L, column C:
  // what"; empty when the text was read as written.
  const std::wstring& getError() const { return _error; }

  bool isContainer(const std::wstring& name) const;  // without regard to case
  bool isTextTag(const std::wstring& name) const;
  bool isValidChild(const std::wstring& container, const std::wstring& child) const;

  // Feeding characters one at a time: reset, putChar for each, then finish,
  // which completes a tag that the input ends inside.
  void reset();
  bool putChar(wchar_t c);
  void finish();

private:
  enum State { TEXT, TAG_NAME, ATTRIBUTE_NAME, ATTRIBUTE_VALUE, COMMENT };

  bool parseRange(const wchar_t* begin, const wchar_t* end);
  bool inQuotedValue() const { return _state == ATTRIBUTE_VALUE && _inQuote; }
  bool insideTag() const { return _state == TAG_NAME || _state == ATTRIBUTE_NAME || _state == ATTRIBUTE_VALUE; }
  void beginTag();
  void endTag();
  void readText(wchar_t c);
  void readTagName(wchar_t c);
  void readAttributeName(wchar_t c);
  void readAttributeValue(wchar_t c);
  void abandonTag(const std::wstring& why);
  void enterState(State state);
  void storeAttribute();
  void storeBareWord();
  void completeTag();
  void openTag(CTag* tag);
  void closeTag(const std::wstring& name);
  void warn(const std::wstring& what);
  void clearTable();
  const DtdEntry* findEntry(const std::wstring& container) const;

  State _state = TEXT;
  CTag* _pendingTag = nullptr;  // owned; the tag being read, from its "<"
  CTag* _pCurrentTag;           // the container that receives new tags and text
  CTag _root;                   // nameless; the top-level tags are its children
  std::vector<CTag*> _openTags;  // the containers above _pCurrentTag
  DtdEntry* _table = nullptr;
  unsigned _tableCount = 0;
  std::wstring _attributeName;
  std::wstring _attributeValue;  // kept for a bare word until the next value
  bool _started = false;         // a character of the current name or value was taken
  bool _inQuote = false;
  wchar_t _quote = 0;
  bool _takesText = false;     // _pCurrentTag keeps text
  bool _abandoned = false;     // the rest of an abandoned tag, up to ">", is being read
  bool _textWarned = false;    // this run of text was already reported
  unsigned _line = 1;
  unsigned _column = 0;
  unsigned _warnings = 0;
  std::wstring _error;
};
