#include "Debug.h"
#include "StringUtil.h"
#include "Thread.h"
#include "json.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

std::string parseError(const std::string& text)
{
  try {
    json::parse(text);
  } catch (const std::string& message) {
    return message;
  }
  return "(parsed)";
}

json sampleSettings()
{
  json settings;
  settings["port"] = 1025;
  json extensions(json::arr);
  extensions.push_back("avi");
  extensions.push_back("mp4");
  settings["extensions"] = extensions;
  settings["share"] = false;
  settings["folders"] = std::vector<json>{"C:\\users\\Jos\xc3\xa9", "D:\\Films"};
  settings["nothing"] = json(json::nul);
  settings["ratio"] = -0.25;
  settings["nested"]["deeper"]["list"] = std::vector<json>{json(), json(json::arr), true};
  return settings;
}

}

TEST(JsonValueTest, ConstructionSizeAndHas)
{
  EXPECT_EQ(json().serialise(), "{}");
  EXPECT_EQ(json(7).type, json::num);  // an int is a number, not a type code
  json settings = sampleSettings();
  EXPECT_EQ(settings.size(), 7);
  EXPECT_EQ(json("text").size(), 1);
  EXPECT_FALSE(settings.has("Port"));
  EXPECT_FALSE(settings["extensions"].has("0"));
}

TEST(JsonValueTest, CopiesAreDeep)
{
  json original = sampleSettings();
  json copy = original;
  copy["nested"]["deeper"]["list"][0]["added"] = 1;
  copy["extensions"].push_back("ts");
  EXPECT_FALSE(original["nested"]["deeper"]["list"][0].has("added"));
  EXPECT_EQ(original["extensions"].size(), 2);
}

TEST(JsonValueTest, AssigningAMemberToItsOwnerCopiesFirst)
{
  json value = sampleSettings();
  value = value["nested"];
  value = value["deeper"]["list"];
  ASSERT_EQ(value.type, json::arr);
  value = value[2];
  EXPECT_TRUE(value.getBool());

  json self = sampleSettings();
  const json& alias = self;
  self = alias;
  EXPECT_TRUE(self.equals(sampleSettings()));
}

TEST(JsonValueTest, TypedGettersAssert)
{
  EXPECT_DEATH(json(1).getString(), "type==t");
  EXPECT_DEATH(json("1").getNumber(), "type==t");
  EXPECT_DEATH(json().push_back(1), "type == arr");
}

TEST(JsonSerialiseTest, MembersInKeyOrderWithoutWhiteSpace)
{
  EXPECT_EQ(sampleSettings().serialise(),
            "{\"extensions\":[\"avi\",\"mp4\"],\"folders\":[\"C:\\\\users\\\\Jos\xc3\xa9\",\"D:\\\\Films\"],"
            "\"nested\":{\"deeper\":{\"list\":[{},[],true]}},\"nothing\":null,\"port\":1025,"
            "\"ratio\":-0.25,\"share\":false}");
}

TEST(JsonSerialiseTest, NonFiniteNumbersBecomeNull)
{
  json value;
  value["big"] = HUGE_VAL;
  value["small"] = -HUGE_VAL;
  value["nan"] = std::nan("");
  EXPECT_EQ(value.serialise(), "{\"big\":null,\"nan\":null,\"small\":null}");
  EXPECT_NO_THROW(json::parse(value.serialise()));
}

TEST(JsonSerialiseTest, StringEscapes)
{
  EXPECT_EQ(json("a\"b/c\\d").serialise(), "\"a\\\"b\\/c\\\\d\"");
  EXPECT_EQ(json("\b\f\n\r\t").serialise(), "\"\\b\\f\\n\\r\\t\"");
  EXPECT_EQ(json("caf\xc3\xa9").serialise(), "\"caf\xc3\xa9\"");  // UTF-8 stays as it is
}

TEST(JsonSerialiseTest, KeysAreEscapedAndReadBack)
{
  json value;
  value["say \"hi\"\\/\n"] = 1;
  std::string text = value.serialise();
  EXPECT_EQ(text, "{\"say \\\"hi\\\"\\\\\\/\\n\":1}");
  json back = json::parse(text);
  EXPECT_TRUE(back.has("say \"hi\"\\/\n"));
}

TEST(JsonParseTest, RoundTripOfEveryType)
{
  json settings = sampleSettings();
  json back = json::parse(settings.serialise());
  EXPECT_TRUE(back.equals(settings));
  EXPECT_EQ(back.serialise(), settings.serialise());
  EXPECT_EQ(back["folders"][0].getString(), "C:\\users\\Jos\xc3\xa9");
  EXPECT_EQ(back["port"].getNumber(), 1025);
  EXPECT_FALSE(back["share"].getBool());
  EXPECT_EQ(back["nothing"].type, json::nul);

}

TEST(JsonParseTest, EscapesBothWays)
{
  std::string control = "\b\f\n\r\t\"/\\ \x01\x1a\x1f\x7f end";
  EXPECT_EQ(json(control).serialise(), "\"\\b\\f\\n\\r\\t\\\"\\/\\\\ \\u0001\\u001a\\u001f\x7f end\"");
  EXPECT_EQ(json::parse(json(control).serialise()).getString(), control);

  std::wstring name = L"Caf\u00e9 \"\u65e5\u672c\" \xd83d\xde00\x01\x7f.avi";
  std::string escaped = jsonEscapeWide(name);
  EXPECT_EQ(escaped.find_first_of("\x01\x7f\x80\xff"), std::string::npos);
  EXPECT_EQ(json::parse("\"" + escaped + "\"").getString(), toUtf8(name));

  EXPECT_EQ(json::parse("\"\\u00E9\\u20ac\\ud83d\\ude00\"").getString(), "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80");
  // Anything else after a backslash stands for itself.
  EXPECT_EQ(json::parse("\"a\\qb\\u12G\\u\"").getString(), "aqbu12Gu");
  EXPECT_EQ(json::parse("\"\\u004").getString(), "u004");
}

TEST(JsonParseTest, LenientSyntax)
{
  json list = json::parse(" [1 2, 3,]");
  ASSERT_EQ(list.size(), 3);
  EXPECT_EQ(list[1].getNumber(), 2);
  json object = json::parse("{\"a\":1 \"b\":2, \"a\":3,}");
  EXPECT_EQ(object.serialise(), "{\"a\":3,\"b\":2}");
  EXPECT_EQ(json::parse("{} {\"x\":1}").size(), 0);
  EXPECT_EQ(json::parse("[true]garbage").size(), 1);
  EXPECT_EQ(json::parse("1-2").getNumber(), 1);
  EXPECT_EQ(json::parse("-2.5e3").getNumber(), -2500);
  EXPECT_EQ(json::parse("nullx").type, json::nul);
}

TEST(JsonParseTest, ErrorTexts)
{
  EXPECT_EQ(parseError(""), "error");
  EXPECT_EQ(parseError("   "), "error");
  EXPECT_EQ(parseError("+1"), "error");
  EXPECT_EQ(parseError("[1"), "error at end");
  EXPECT_EQ(parseError("[1,"), "error at end");
  EXPECT_EQ(parseError("[truex]"), "error");
  EXPECT_EQ(parseError("{port: 1}"), "1error at port: 1}");
  EXPECT_EQ(parseError("{\"port\" 1}"), "3error at 1}");
  EXPECT_EQ(parseError("{\"port\":1"), "1error at ");
}

TEST(JsonParseTest, HostileInputGivesAnErrorNotACrash)
{
  EXPECT_EQ(parseError(std::string(json::MAX_DEPTH, '[') + std::string(json::MAX_DEPTH, ']')), "(parsed)");
  EXPECT_EQ(parseError(std::string(json::MAX_DEPTH + 1, '[')), "error: nesting too deep");
  EXPECT_EQ(parseError(std::string(1000000, '[')), "error: nesting too deep");
  std::string objects;
  for (int i = 0; i < 100000; ++i)
    objects += "{\"a\":";
  EXPECT_EQ(parseError(objects), "error: nesting too deep");

  // Unterminated strings stop at the end of the text.
  EXPECT_EQ(json::parse("\"abc").getString(), "abc");
  EXPECT_EQ(json::parse("\"abc\\").getString(), "abc\\");
  EXPECT_EQ(parseError("{\"folders\":\"C:\\"), "1error at ");
  EXPECT_EQ(parseError("[\"abc\\\""), "error at end");
  EXPECT_EQ(parseError("{\"abc"), "3error at ");

  // Bytes above 0x7F are neither white space nor the start of a value.
  EXPECT_EQ(parseError("\xa0 1"), "error");
  EXPECT_EQ(parseError("[\xff\xfe]"), "error");
  EXPECT_EQ(json::parse("{\"\xc3\x28\":\"\xe9\xff\"}").serialise(), "{\"\xc3\x28\":\"\xe9\xff\"}");
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

TEST(JsonParseTest, HugeNumbersSaveAsNull)
{
  EXPECT_TRUE(std::isinf(json::parse("1e999").getNumber()));
  EXPECT_EQ(json::parse(std::string(100000, '9')).serialise(), "null");
  EXPECT_EQ(json::parse("[-1e999, 1e-999]").serialise(), "[null,0]");
}

TEST(JsonEscapeWideTest, NonAsciiAndSpecialUnits)
{
  EXPECT_EQ(jsonEscapeWide(L"caf\u00e9"), "caf\\u00e9");
  EXPECT_EQ(jsonEscapeWide(L"\u007f~"), "\\u007f~");
  EXPECT_EQ(jsonEscapeWide(L"\xd83d\xde00"), "\\ud83d\\ude00");
  EXPECT_EQ(jsonEscapeWide(L"\"a/b\\c\""), "\\\"a\\/b\\\\c\\\"");
  EXPECT_EQ(jsonEscapeWide(L"\b\t\n\f\r\x01\x1f"), "\\b\\t\\n\\f\\r\\u0001\\u001f");
  EXPECT_EQ(jsonEscapeWide(L""), "");
}

namespace {

std::vector<std::string> traces;
void recordTrace(const char* line) { traces.emplace_back(line); }

class JsonEqualityTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    static const int list[] = {103, 0};
    traces.clear();
    setDebugOutput(recordTrace);
    setDebugCategories(list);
  }
  void TearDown() override
  {
    static const int defaults[] = {99, 0};
    setDebugCategories(defaults);
    setDebugOutput(nullptr);
  }
};

}

TEST_F(JsonEqualityTest, InsertionOrderDoesNotMatter)
{
  json a, b;
  a["x"] = 1;
  a["y"] = "two";
  b["y"] = "two";
  b["x"] = 1;
  EXPECT_TRUE(a.equals(b));
  EXPECT_FALSE(a != b);
}

TEST_F(JsonEqualityTest, DeepDifferencesAreFoundAndTraced)
{
  json a = sampleSettings();
  json b = sampleSettings();
  b["nested"]["deeper"]["list"][1].push_back(0);
  EXPECT_FALSE(a.equals(b));
  EXPECT_NE(std::find(traces.begin(), traces.end(), "array size mismatch\n"), traces.end());
  EXPECT_NE(std::find(traces.begin(), traces.end(), "first: nested==nested? \n"), traces.end());

  traces.clear();
  b = sampleSettings();
  b["folders"][1] = "E:\\Films";
  EXPECT_TRUE(a != b);
  EXPECT_NE(std::find(traces.begin(), traces.end(), "checking string equality: D:\\Films==E:\\Films?\n"), traces.end());
  EXPECT_NE(std::find(traces.begin(), traces.end(), "array element mismatch at 1\n"), traces.end());
}

TEST_F(JsonEqualityTest, MissingKeysAndTypes)
{
  json a = sampleSettings();
  json b = sampleSettings();
  b["zzz"] = 1;
  EXPECT_FALSE(a.equals(b));
  EXPECT_EQ(traces.back(), "end of iter1 and maybe iter2\n");
  EXPECT_FALSE(b.equals(a));
  EXPECT_EQ(traces.back(), "end of iter2->not equal\n");
  EXPECT_FALSE(json(1).equals(json("1")));
  EXPECT_EQ(traces.back(), "Type mismatch\n");
  EXPECT_FALSE(json(std::nan("")).equals(json(std::nan(""))));
  EXPECT_TRUE(json(json::nul).equals(json(json::nul)));
  EXPECT_FALSE(json(true).equals(json(false)));
}
