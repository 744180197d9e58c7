#include "CgiRequest.h"

#include "utils/PageEdge.h"

#include <gtest/gtest.h>

namespace {

const char FORM_TYPE[] = "multipart/form-data; boundary=XyZ";
const std::string CLOSE = "--XyZ--\r\n";

std::string part(const std::string& headers, const std::string& content)
{
  return "--XyZ\r\n" + headers + "\r\n" + content + "\r\n";
}

std::string field(const std::string& name, const std::string& value)
{
  return part("Content-Disposition: form-data; name=\"" + name + "\"\r\n", value);
}

}

TEST(CgiRequestTest, QueryPairsDecodeAndTheFirstOfARepeatedNameWins)
{
  const char* ESCAPES = "a=1&b=x+y%21&c=%41%2b%2B";
  const char* NAMES = "=v&&a=&a=2&getfiles&&";
  const char* BAD = "a=%zz%4&b=%&c=100%25&d=x%00y&e=%g1";
  const struct {
    const char* query;
    const char* name;
    const char* value;
  } cases[] = {
      {ESCAPES, "b", "x y!"}, {ESCAPES, "c", "A++"}, {ESCAPES, "A", nullptr}, {"a=b=c", "a", "b=c"},
      {NAMES, "", "v"}, {NAMES, "a", ""}, {NAMES, "getfiles", ""},
      // A bare word before a pair does not push the pair out.
      {"setconfig&config=%7B%7D", "setconfig", ""}, {"setconfig&config=%7B%7D", "config", "{}"},
      // Bad escapes stay as they are; a decoded NUL ends the text.
      {BAD, "a", "%zz%4"}, {BAD, "b", "%"}, {BAD, "c", "100%"}, {BAD, "d", "x"}, {BAD, "e", "%g1"},
  };
  for (const auto& c : cases)
    EXPECT_STREQ(CgiRequest(c.query, -1, nullptr).getValue(c.name), c.value) << c.query << " " << c.name;
  EXPECT_EQ(CgiRequest(NAMES, -1, nullptr).getItemCount(), 4);
  EXPECT_EQ(CgiRequest("a=b=c", -1, nullptr).getItemCount(), 1);
  EXPECT_EQ(CgiRequest("", -1, nullptr).getItemCount(), 0);
}

TEST(CgiRequestTest, LengthBoundsAnUnterminatedBodyAndEnvironmentStandsInForNone)
{
  PageEdge edge;
  const std::string body = "name=caf%C3%A9&size=12";
  CgiRequest request(edge.place(body), static_cast<int>(body.size()), "application/x-www-form-urlencoded");
  EXPECT_STREQ(request.getValue("name"), "caf\xC3\xA9");
  EXPECT_STREQ(request.getValue("size"), "12");
  // A body shorter than the length it is given ends at its NUL.
  EXPECT_STREQ(CgiRequest(edge.placeText("a=1"), 100, nullptr).getValue("a"), "1");

  _putenv("QUERY_STRING=ss=20");
  EXPECT_STREQ(CgiRequest(nullptr, 0, nullptr).getValue("ss"), "20");
  _putenv("QUERY_STRING=");
  EXPECT_EQ(CgiRequest(nullptr, 0, nullptr).getItemCount(), 0);
}

TEST(CgiRequestTest, HugeValue)
{
  std::string value(8 * 1024 * 1024, 'v');
  std::string query = "big=" + value + "&small=1";
  CgiRequest request(query.c_str(), -1, nullptr);
  EXPECT_EQ(strlen(request.getValue("big")), value.size());
  EXPECT_STREQ(request.getValue("small"), "1");
  std::string body = field("big", value) + CLOSE;
  EXPECT_EQ(strlen(CgiRequest(body.c_str(), static_cast<int>(body.size()), FORM_TYPE).getValue("big")), value.size());
}

TEST(CgiRequestTest, MultipartFieldsAndUploadsWithBinaryZerosOrNothing)
{
  std::string upload("\x00\x01\r\n--Xy\xFF\x00", 10);
  std::string body = field("title", "My video") + field("empty", "") +
                     part("Content-Disposition: form-data; name=plain\r\n", "p") +
                     part("Content-Disposition: form-data; name=\"file\"; filename=\"a;b \xC3\xA9.mp4\"\r\n"
                          "Content-Type: application/octet-stream\r\n",
                          upload) +
                     part("Content-Disposition: form-data; name=\"up\"; filename=\"\"\r\n", "") + "--XyZ--";
  PageEdge edge;
  const char* data = edge.place(body);
  CgiRequest request(data, static_cast<int>(body.size()), FORM_TYPE);
  EXPECT_EQ(request.getItemCount(), 3);
  EXPECT_STREQ(request.getValue("title"), "My video");
  EXPECT_STREQ(request.getValue("empty"), "");
  EXPECT_STREQ(request.getValue("plain"), "p");
  ASSERT_EQ(request.getFileCount(), 2);
  const CgiRequest::File* file = request.getFile("file");
  ASSERT_NE(file, nullptr);
  EXPECT_STREQ(file->filename, "a;b \xC3\xA9.mp4");
  EXPECT_EQ(std::string(file->data, file->length), upload);
  EXPECT_TRUE(file->data < data || file->data >= data + body.size());  // the request's own copy
  ASSERT_NE(request.getFile("up"), nullptr);
  EXPECT_EQ(request.getFile("up")->length, 0);
  EXPECT_EQ(request.getFile("title"), nullptr);
}

// Each keeps the items before the fault, and only "a=1".
TEST(CgiRequestTest, WrongBoundariesBadPartsAndBrokenBodies)
{
  std::string good = field("a", "1");
  const struct {
    std::string body;
    const char* contentType;
    int items;
  } cases[] = {
      {good + CLOSE, "multipart/form-data", 0},
      {good + CLOSE, "multipart/form-data; boundary=", 0},
      {good + CLOSE, "multipart/form-data; boundary=Other", 0},
      {"junk\r\n" + good + CLOSE, FORM_TYPE, 0},
      {part("", "no headers") + part("Content-Disposition: form-data\r\n", "no name") +
           part("X-Other: 1\r\ncontent-DISPOSITION: form-data; name=\"a\"\r\n", "1") + CLOSE,
       FORM_TYPE, 1},
      {good + "--XyZ", FORM_TYPE, 1},
      {good + "--XyZ\r\nContent-Disposition: form-data; name=\"b\"\r\n\r\nno end", FORM_TYPE, 1},
      {good + "--XyZ\r\nContent-Disposition form-data\r\n\r\nx\r\n--XyZ--", FORM_TYPE, 1},
      {good + "--XyZ\r\nContent-Disposition: form-data; na", FORM_TYPE, 1},
      // The blank line's CR LF is not also the delimiter's.
      {good + "--XyZ\r\nContent-Disposition: form-data; name=\"b\"\r\n\r\n--XyZ--\r\n", FORM_TYPE, 1},
  };
  for (const auto& c : cases) {
    PageEdge edge;
    CgiRequest request(edge.place(c.body), static_cast<int>(c.body.size()), c.contentType);
    EXPECT_EQ(request.getItemCount(), c.items) << c.body << c.contentType;
    EXPECT_STREQ(request.getValue("a"), c.items ? "1" : nullptr);
  }

  std::string body = field("a", "1") + field("b", "2") + CLOSE;
  for (size_t length = 0; length < body.size(); ++length) {
    PageEdge edge;
    EXPECT_LE(CgiRequest(edge.place(body.substr(0, length)), static_cast<int>(length), FORM_TYPE).getItemCount(), 2);
  }
}
