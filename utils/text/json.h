#pragma once

#include <map>
#include <string>
#include <vector>

// A JSON value: object, string, number, array, boolean or null. Values own
// their content and copy deeply. The parser is lenient (commas optional,
// text after the value ignored) and throws a std::string message; strings
// hold UTF-8, and \u escapes are decoded into it. The serialiser writes
// compact text with members in key order and non-finite numbers as null.
class json {
public:
  enum Type { obj, str, num, arr, bln, nul };

  // Deeper input is refused, so that text from the network cannot exhaust
  // the stack of the thread that parses it.
  static const int MAX_DEPTH = 256;

  json();  // an empty object
  json(Type t);
  json(const std::vector<json>& elements);
  json(const std::string& text);
  json(const char* text);
  json(double number);
  json(int number);
  json(bool value);
  json(const json& other);
  json(json&& other) noexcept;
  ~json();

  json& operator=(const json& other);
  json& operator=(json&& other) noexcept;

  json& operator[](const std::string& key);
  json& operator[](int index);
  bool has(const std::string& key) const;
  int size() const;
  void push_back(const json& element);
  void push_back(json&& element);

  std::string getString() const;
  double getNumber() const;
  bool getBool() const;
  bool isString() const { return type == str; }
  bool isNumber() const { return type == num; }

  static json parse(const char* text);
  static json parse(const std::string& text);
  std::string serialise() const;

  bool equals(const json& other) const;
  bool operator!=(const json& other) const { return !equals(other); }

private:
  typedef std::map<std::string, json> Members;
  typedef std::vector<json> Elements;

  void appendTo(std::string& out) const;
  void setEmpty(int t);
  void release();
  void copyPayload(const json& other);
  void swap(json& other) noexcept;
  void checkType(int t) const;
  bool membersEqual(const json& other) const;
  bool elementsEqual(const json& other) const;

  union {
    Members* members;
    std::string* text;
    Elements* elements;
    double number;
    bool flag;
  } _payload;

public:
  int type;  // a Type
};

// Escapes UTF-16 text for a JSON string literal (no quotes around it);
// units from 0x7F up are written as \u escapes.
std::string jsonEscapeWide(const std::wstring& text);
