#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Reads a small XML-like tag language into a tree of tags. It knows no
// entities, CDATA or self-closing tags; which tags nest comes from a table
// given by the caller: a tag the table names as a container takes the tags
// after it as children until its closing tag, every other tag is a leaf and
// needs no closing tag.

// One parsed tag; it owns its children and deletes them with itself.
class CTag {
public:
  CTag() = default;
  ~CTag();
  CTag(const CTag&) = delete;
  CTag& operator=(const CTag&) = delete;

  void clear();

  std::wstring name;  // lower-cased
  std::map<std::wstring, std::wstring> attributes;  // names lower-cased; a later one overwrites
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

// Limits of the language; input beyond them fails the parse.
const unsigned MAX_TAG_NAME = 33;
const unsigned MAX_ATTRIBUTE_NAME = 31;
const unsigned MAX_ATTRIBUTE_VALUE = 4095;
const unsigned MAX_TAG_DEPTH = 100;

class TagParser {
public:
  TagParser();
  ~TagParser();
  TagParser(const TagParser&) = delete;
  TagParser& operator=(const TagParser&) = delete;

  // False, and every tag a leaf, when the copy cannot be made.
  bool setTagTable(const DtdEntry* table, unsigned count);

  // False when the text is not well formed; getError then says where and
  // why, and the tree holds what was read before the fault.
  bool parseString(const wchar_t* text);
  // The file is read as text through the C runtime. False also when it
  // cannot be opened; the previous tree then stays.
  bool parseFile(const wchar_t* path);
  std::vector<CTag*>& getRootTags() { return _root.children; }
  // "line L, column C: what", or empty after a good parse.
  const std::wstring& getError() const { return _error; }

  bool isContainer(const std::wstring& name) const;  // without regard to case
  bool isTextTag(const std::wstring& name) const;
  bool isValidChild(const std::wstring& container, const std::wstring& child) const;

  // Feeding characters one at a time: reset, putChar for each (false once
  // the parse has failed), then finish, which checks the end of the input.
  void reset();
  bool putChar(wchar_t c);
  bool finish();

private:
  enum State { TEXT, TAG_NAME, ATTRIBUTE_NAME, ATTRIBUTE_VALUE, COMMENT };

  void readText(wchar_t c);
  void readTagName(wchar_t c);
  void readAttributeName(wchar_t c);
  void readAttributeValue(wchar_t c);
  void readComment(wchar_t c);
  void beginTag();
  void enterState(State state);
  void appendValue(wchar_t c);
  void storeAttribute();
  void storeBareName();
  void completeTag();
  void openTag(CTag* tag);
  void closeTag(const std::wstring& name);
  void fail(const std::wstring& what);
  void logError(const wchar_t* source);
  void clearTable();
  const DtdEntry* findEntry(const std::wstring& container) const;

  State _state = TEXT;
  CTag* _pendingTag = nullptr;  // owned; the tag being read, between "<" and ">"
  CTag* _pCurrentTag;           // the container that receives new tags and text
  CTag _root;                   // nameless; the top-level tags are its children
  std::vector<CTag*> _openTags;  // the containers above _pCurrentTag
  DtdEntry* _table = nullptr;
  unsigned _tableCount = 0;
  std::wstring _attributeName;
  std::wstring _attributeValue;
  bool _started = false;    // a character of the current name or value was taken
  bool _nameEnded = false;  // blanks followed the attribute name being read
  bool _inQuote = false;
  wchar_t _quote = 0;
  bool _takesText = false;  // _pCurrentTag keeps text
  unsigned _dashes = 0;     // in a comment: the run of "-" just read
  unsigned _line = 1;
  unsigned _column = 0;
  std::wstring _error;
};
