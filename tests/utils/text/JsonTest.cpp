#include "json.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// The value written back, or "!" when the parser refuses the text: callers
// only catch the error, so its wording does not matter.
std::string outcome(const std::string& text)
{
  try {
    return json::parse(text).serialise();
  } catch (const std::string&) {
    return "!";
  }
}

std::string repeated(const std::string& text, int times)
{
  std::string result;
  for (int i = 0; i < times; ++i)
    result += text;
  return result;
}

}

TEST(JsonValueTest, CopiesAreDeepEvenFromAMemberOfTheTarget)
{
  EXPECT_EQ(json(7).type, json::num);  // an int is a number, not a type code
  json original = json::parse("{\"b\":{\"c\":[{},[],true]},\"e\":[\"avi\"]}");
  const json saved = original;
  json copy = original;
  copy["b"]["c"][0]["added"] = 1;
  copy["e"].push_back("ts");
  EXPECT_TRUE(original.equals(saved));

  copy = copy["b"]["c"][2];
  EXPECT_TRUE(copy.getBool());
  const json& alias = original;
  original = alias;
  EXPECT_TRUE(original.equals(saved));
}

TEST(JsonSerialiseTest, KeyOrderEscapesAndNonFiniteNumbers)
{
  json value;
  value["ratio"] = -0.25;
  value["big"] = HUGE_VAL;
  value["nan"] = std::nan("");
  value["say \"hi\"\\/\n"] = "\b\f\n\r\t\"/\\ \x01\x1f\x7f caf\xc3\xa9";
  std::string text = value.serialise();
  EXPECT_EQ(text, "{\"big\":null,\"nan\":null,\"ratio\":-0.25,\"say \\\"hi\\\"\\\\\\/\\n\":"
                  "\"\\b\\f\\n\\r\\t\\\"\\/\\\\ \\u0001\\u001f\x7f caf\xc3\xa9\"}");
  EXPECT_EQ(outcome(text), text);
  EXPECT_EQ(jsonEscapeWide(L"\"/\\\b\t\n\f\r\x01 caf\u00e9\u007f \xd83d\xde00"),
            "\\\"\\/\\\\\\b\\t\\n\\f\\r\\u0001 caf\\u00e9\\u007f \\ud83d\\ude00");
}

TEST(JsonParseTest, LenientSyntaxEscapesErrorsAndHostileInput)
{
  const struct {
    std::string text;
    std::string outcome;
  } cases[] = {
      {" [1 2, 3,]", "[1,2,3]"}, {"{\"a\":1 \"b\":2, \"a\":3,}", "{\"a\":3,\"b\":2}"}, {"[true]garbage", "[true]"},
      // As Notepad saves a file.
      {"{\r\n\t\"port\":\t1025,\r\n\t\"share\" :\vfalse\f}\r\n", "{\"port\":1025,\"share\":false}"},
      {"\"\\u00E9\\u20ac\\ud83d\\ude00\"", "\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\""},
      // A zero unit stays in the value and hides none of the escapes after it.
      {"\"a\\u0000\\u0041b\"", "\"a\\u0000Ab\""},
      // Anything else after a backslash stands for itself.
      {"\"a\\qb\\u12G\\u\"", "\"aqbu12Gu\""}, {"\"\\u004", "\"u004\""},
      {"+1", "!"}, {"[1,", "!"}, {"[truex]", "!"}, {"{port: 1}", "!"}, {"{\"port\" 1}", "!"}, {"{\"port\":1", "!"},
      // Unterminated strings stop at the end of the text.
      {"\"abc\\", "\"abc\\\\\""}, {"{\"folders\":\"C:\\", "!"}, {"{\"abc", "!"},
      // Bytes above 0x7F are neither white space nor the start of a value.
      {"\xa0 1", "!"}, {"[\xff\xfe]", "!"}, {"{\"\xc3\x28\":\"\xe9\xff\"}", "{\"\xc3\x28\":\"\xe9\xff\"}"},
      {"[-1e999, 1e-999]", "[null,0]"}, {std::string(json::MAX_DEPTH, '[') + std::string(json::MAX_DEPTH, ']'), ""},
      // Depth is given back at the end of each value, so siblings never add up.
      {"[" + repeated("{\"a\":[]},", json::MAX_DEPTH) + "]", ""},
      {std::string(json::MAX_DEPTH + 1, '['), "!"}, {repeated("{\"a\":", 100000), "!"},
  };
  for (const auto& c : cases) {
    std::string got = outcome(c.text);
    if (c.outcome.empty())
      EXPECT_NE(got[0], '!') << c.text.substr(0, 40);
    else
      EXPECT_EQ(got, c.outcome) << c.text.substr(0, 40);
  }
}
