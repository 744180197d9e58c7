#include "json.h"

#include "Thread.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

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

json sampleSettings()
{
  json settings;
  settings["port"] = 1025;
  settings["extensions"] = std::vector<json>{"avi", "mp4"};
  settings["share"] = false;
  settings["folders"] = std::vector<json>{"C:\\users\\Jos\xc3\xa9", "D:\\Films"};
  settings["nothing"] = json(json::nul);
  settings["ratio"] = -0.25;
  settings["nested"]["deeper"]["list"] = std::vector<json>{json(), json(json::arr), true};
  return settings;
}

}

TEST(JsonValueTest, CopiesAreDeepEvenFromAMemberOfTheTarget)
{
  EXPECT_EQ(json(7).type, json::num);  // an int is a number, not a type code
  json original = sampleSettings();
  EXPECT_EQ(original.size(), 7);
  EXPECT_FALSE(original.has("Port"));
  json copy = original;
  copy["nested"]["deeper"]["list"][0]["added"] = 1;
  copy["extensions"].push_back("ts");
  EXPECT_FALSE(original["nested"]["deeper"]["list"][0].has("added"));
  EXPECT_EQ(original["extensions"].size(), 2);

  copy = copy["nested"];
  copy = copy["deeper"]["list"];
  copy = copy[2];
  EXPECT_TRUE(copy.getBool());
  const json& alias = original;
  original = alias;
  EXPECT_TRUE(original.equals(sampleSettings()));

  EXPECT_DEATH(json(1).getString(), "type==t");
  EXPECT_DEATH(json("1").getNumber(), "type==t");
  EXPECT_DEATH(json().push_back(1), "type == arr");
}

TEST(JsonSerialiseTest, KeyOrderEscapesAndNonFiniteNumbers)
{
  json settings = sampleSettings();
  EXPECT_EQ(settings.serialise(),
            "{\"extensions\":[\"avi\",\"mp4\"],\"folders\":[\"C:\\\\users\\\\Jos\xc3\xa9\",\"D:\\\\Films\"],"
            "\"nested\":{\"deeper\":{\"list\":[{},[],true]}},\"nothing\":null,\"port\":1025,"
            "\"ratio\":-0.25,\"share\":false}");
  EXPECT_TRUE(json::parse(settings.serialise()).equals(settings));

  json value;
  value["big"] = HUGE_VAL;
  value["small"] = -HUGE_VAL;
  value["nan"] = std::nan("");
  value["say \"hi\"\\/\n"] = "\b\f\n\r\t\"/\\ \x01\x1a\x1f\x7f caf\xc3\xa9";
  std::string text = value.serialise();
  EXPECT_EQ(text, "{\"big\":null,\"nan\":null,\"say \\\"hi\\\"\\\\\\/\\n\":"
                  "\"\\b\\f\\n\\r\\t\\\"\\/\\\\ \\u0001\\u001a\\u001f\x7f caf\xc3\xa9\",\"small\":null}");
  EXPECT_EQ(outcome(text), text);
}

TEST(JsonParseTest, LenientSyntaxEscapesErrorsAndHostileInput)
{
  const struct {
    std::string text;
    std::string outcome;
  } cases[] = {
      {" [1 2, 3,]", "[1,2,3]"}, {"{\"a\":1 \"b\":2, \"a\":3,}", "{\"a\":3,\"b\":2}"}, {"{} {\"x\":1}", "{}"},
      {"[true]garbage", "[true]"}, {"1-2", "1"}, {"-2.5e3", "-2500"}, {"nullx", "null"},
      // As Notepad saves a file.
      {"{\r\n\t\"port\":\t1025,\r\n\t\"share\" :\vfalse\f}\r\n", "{\"port\":1025,\"share\":false}"},
      {"\"\\u00E9\\u20ac\\ud83d\\ude00\"", "\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\""},
      // Anything else after a backslash stands for itself.
      {"\"a\\qb\\u12G\\u\"", "\"aqbu12Gu\""}, {"\"\\u004", "\"u004\""},
      {"", "!"}, {"   ", "!"}, {"+1", "!"}, {"[1", "!"}, {"[1,", "!"}, {"[truex]", "!"}, {"{port: 1}", "!"},
      {"{\"port\" 1}", "!"}, {"{\"port\":1", "!"},
      // Unterminated strings stop at the end of the text.
      {"\"abc", "\"abc\""}, {"\"abc\\", "\"abc\\\\\""}, {"{\"folders\":\"C:\\", "!"}, {"[\"abc\\\"", "!"},
      {"{\"abc", "!"},
      // Bytes above 0x7F are neither white space nor the start of a value.
      {"\xa0 1", "!"}, {"[\xff\xfe]", "!"}, {"{\"\xc3\x28\":\"\xe9\xff\"}", "{\"\xc3\x28\":\"\xe9\xff\"}"},
      {"1e999", "null"}, {std::string(100000, '9'), "null"}, {"[-1e999, 1e-999]", "[null,0]"},
      {std::string(json::MAX_DEPTH, '[') + std::string(json::MAX_DEPTH, ']'), ""},
      // Depth is given back at the end of each value, so siblings never add up.
      {"[" + repeated("{\"a\":[]},", json::MAX_DEPTH) + "]", ""},
      {std::string(json::MAX_DEPTH + 1, '['), "!"}, {std::string(1000000, '['), "!"},
      {repeated("{\"a\":", 100000), "!"},
  };
  for (const auto& c : cases) {
    std::string got = outcome(c.text);
    if (c.outcome.empty())
      EXPECT_NE(got[0], '!') << c.text.substr(0, 40);
    else
      EXPECT_EQ(got, c.outcome) << c.text.substr(0, 40);
  }
}

TEST(JsonParseTest, DeepestAllowedValueFitsAWorkerThreadStack)
{
  struct Parsing : Thread {
    ~Parsing() override { join(); }
    void run() override
    {
      std::string text;
      for (int i = 0; i < json::MAX_DEPTH / 2; ++i)
        text = "{\"a\":[" + text + "]}";
      json value = json::parse(text);
      roundTrips = json::parse(value.serialise()).equals(value);
    }
    bool roundTrips = false;
  } thread;
  thread.start();
  thread.join();
  EXPECT_TRUE(thread.roundTrips);
}

TEST(JsonEscapeWideTest, NonAsciiAndSpecialUnits)
{
  EXPECT_EQ(jsonEscapeWide(L"caf\u00e9\u007f~"), "caf\\u00e9\\u007f~");
  EXPECT_EQ(jsonEscapeWide(L"\xd83d\xde00"), "\\ud83d\\ude00");
  EXPECT_EQ(jsonEscapeWide(L"\"a/b\\c\""), "\\\"a\\/b\\\\c\\\"");
  EXPECT_EQ(jsonEscapeWide(L"\b\t\n\f\r\x01\x1f"), "\\b\\t\\n\\f\\r\\u0001\\u001f");
}

TEST(JsonEqualityTest, OrderDoesNotMatterDeepDifferencesAreFound)
{
  EXPECT_TRUE(json::parse("{\"x\":1,\"y\":\"two\"}").equals(json::parse("{\"y\":\"two\",\"x\":1}")));
  EXPECT_FALSE(sampleSettings() != sampleSettings());

  const std::function<void(json&)> changes[] = {
      [](json& s) { s["nested"]["deeper"]["list"][1].push_back(0); },
      [](json& s) { s["folders"][1] = "E:\\Films"; },
      [](json& s) { s["zzz"] = 1; },
  };
  for (const auto& change : changes) {
    json changed = sampleSettings();
    change(changed);
    EXPECT_FALSE(sampleSettings().equals(changed));
    EXPECT_TRUE(changed != sampleSettings());
  }
  EXPECT_FALSE(json(1).equals(json("1")));
  EXPECT_FALSE(json(std::nan("")).equals(json(std::nan(""))));
  EXPECT_TRUE(json(json::nul).equals(json(json::nul)));
  EXPECT_FALSE(json(true).equals(json(false)));
}
