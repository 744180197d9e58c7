#include "CgiRequest.h"

#include "Log.h"
#include "utils/PageEdge.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char FORM_TYPE[] = "multipart/form-data; boundary=XyZ";

std::vector<std::string> logLines;
void recordLine(const char*, const char* text)
{
  logLines.emplace_back(text);
}

class CgiRequestTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    logLines.clear();
    LogSetSink(recordLine);
  }
  void TearDown() override { LogSetSink(nullptr); }

  static bool logged(const std::string& start)
  {
    for (const std::string& line : logLines) {
      if (line.compare(0, start.size(), start) == 0)
        return true;
    }
    return false;
  }
};

std::string part(const std::string& headers, const std::string& content)
{
  return "--XyZ\r\n" + headers + "\r\n" + content + "\r\n";
}

std::string field(const std::string& name, const std::string& value)
{
  return part("Content-Disposition: form-data; name=\"" + name + "\"\r\n", value);
}

const std::string CLOSE = "--XyZ--\r\n";

}

TEST_F(CgiRequestTest, QueryPairsAreDecoded)
{
  CgiRequest request("a=1&b=x+y%21&c=%41%2b%2B", -1, nullptr);
  EXPECT_STREQ(request.getValue("a"), "1");
  EXPECT_STREQ(request.getValue("b"), "x y!");
  EXPECT_STREQ(request.getValue("c"), "A++");
  EXPECT_EQ(request.getValue("d"), nullptr);
  EXPECT_EQ(request.getValue("A"), nullptr);

  CgiRequest nested("a=b=c", -1, nullptr);
  EXPECT_EQ(nested.getItemCount(), 1);
  EXPECT_STREQ(nested.getValue("a"), "b=c");
}

TEST_F(CgiRequestTest, EmptyRepeatedAndBareNames)
{
  CgiRequest request("=v&&a=&a=2&getfiles&&", -1, nullptr);
  EXPECT_EQ(request.getItemCount(), 4);
  EXPECT_STREQ(request.getValue(""), "v");
  EXPECT_STREQ(request.getValue("a"), "");  // the first of two
  EXPECT_STREQ(request.getValue("getfiles"), "");

  // A bare word before a pair does not push the pair out.
  CgiRequest flagFirst("setconfig&config=%7B%7D", -1, nullptr);
  EXPECT_STREQ(flagFirst.getValue("setconfig"), "");
  EXPECT_STREQ(flagFirst.getValue("config"), "{}");
  EXPECT_EQ(CgiRequest("", -1, nullptr).getItemCount(), 0);
}

TEST_F(CgiRequestTest, BadPercentEscapesStayAsTheyAre)
{
  CgiRequest request("a=%zz%4&b=%&c=100%25&d=x%00y&e=%g1", -1, nullptr);
  EXPECT_STREQ(request.getValue("a"), "%zz%4");
  EXPECT_STREQ(request.getValue("b"), "%");
  EXPECT_STREQ(request.getValue("c"), "100%");
  EXPECT_STREQ(request.getValue("d"), "x");  // a decoded NUL ends the text
  EXPECT_STREQ(request.getValue("e"), "%g1");

  EXPECT_EQ(hexPairValue("4a"), 0x4A);
  EXPECT_EQ(hexPairValue("zz"), 0);
  EXPECT_EQ(hexPairValue("g1"), 1);
  char text[] = "a+b%20c%";
  urlDecodeInto(text, text);
  EXPECT_STREQ(text, "a b c%");
}

TEST_F(CgiRequestTest, LengthBoundsAnUnterminatedBody)
{
  PageEdge edge;
  const std::string body = "name=caf%C3%A9&size=12";
  CgiRequest request(edge.place(body), static_cast<int>(body.size()), "application/x-www-form-urlencoded");
  EXPECT_STREQ(request.getValue("name"), "caf\xC3\xA9");
  EXPECT_STREQ(request.getValue("size"), "12");
  // A body shorter than the length it is given ends at its NUL.
  CgiRequest shorter(edge.placeText("a=1"), 100, nullptr);
  EXPECT_STREQ(shorter.getValue("a"), "1");
}

TEST_F(CgiRequestTest, EnvironmentWhenThereIsNoData)
{
  _putenv("QUERY_STRING=ss=20");
  EXPECT_STREQ(CgiRequest(nullptr, 0, nullptr).getValue("ss"), "20");
  _putenv("QUERY_STRING=");
  EXPECT_EQ(CgiRequest(nullptr, 0, nullptr).getItemCount(), 0);
}

TEST_F(CgiRequestTest, HugeValue)
{
  std::string value(8 * 1024 * 1024, 'v');
  std::string query = "big=" + value + "&small=1";
  CgiRequest request(query.c_str(), -1, nullptr);
  EXPECT_EQ(strlen(request.getValue("big")), value.size());
  EXPECT_STREQ(request.getValue("small"), "1");

  std::string body = field("big", value) + CLOSE;
  CgiRequest form(body.c_str(), static_cast<int>(body.size()), FORM_TYPE);
  EXPECT_EQ(strlen(form.getValue("big")), value.size());
}

TEST_F(CgiRequestTest, MultipartFieldAndUploadWithABinaryZero)
{
  std::string upload("\x00\x01\r\n--Xy\xFF\x00", 10);
  std::string body = field("title", "My video") +
                     part("Content-Disposition: form-data; name=\"file\"; filename=\"a;b \xC3\xA9.mp4\"\r\n"
                          "Content-Type: application/octet-stream\r\n",
                          upload) +
                     CLOSE;
  PageEdge edge;
  const char* data = edge.place(body);
  CgiRequest request(data, static_cast<int>(body.size()), FORM_TYPE);
  EXPECT_EQ(request.getItemCount(), 1);
  EXPECT_STREQ(request.getValue("title"), "My video");
  ASSERT_EQ(request.getFileCount(), 1);
  const CgiRequest::File* file = request.getFile("file");
  ASSERT_NE(file, nullptr);
  EXPECT_STREQ(file->name, "file");
  EXPECT_STREQ(file->filename, "a;b \xC3\xA9.mp4");
  ASSERT_EQ(file->length, 10);
  EXPECT_EQ(std::string(file->data, file->length), upload);
  EXPECT_TRUE(file->data < data || file->data >= data + body.size());  // the request's own copy
  EXPECT_EQ(request.getFile("title"), nullptr);
  EXPECT_FALSE(logged("Failed"));
  EXPECT_TRUE(logged("Make item key=title"));
}

TEST_F(CgiRequestTest, EmptyContentsAndUnquotedNames)
{
  std::string body = field("empty", "") + part("Content-Disposition: form-data; name=plain\r\n", "p") +
                     part("Content-Disposition: form-data; name=\"up\"; filename=\"\"\r\n", "") + "--XyZ--";
  CgiRequest request(body.c_str(), static_cast<int>(body.size()), FORM_TYPE);
  EXPECT_STREQ(request.getValue("empty"), "");
  EXPECT_STREQ(request.getValue("plain"), "p");
  ASSERT_NE(request.getFile("up"), nullptr);
  EXPECT_EQ(request.getFile("up")->length, 0);
  EXPECT_STREQ(request.getFile("up")->filename, "");
  EXPECT_TRUE(logLines.size() >= 3u);
  EXPECT_FALSE(logged("Failed"));
}

TEST_F(CgiRequestTest, MissingOrWrongBoundary)
{
  std::string body = field("a", "1") + CLOSE;
  EXPECT_EQ(CgiRequest(body.c_str(), -1, "multipart/form-data").getItemCount(), 0);
  EXPECT_TRUE(logged("Failed.  Cannot find 'boundary=' in Content-type: multipart/form-data"));

  EXPECT_EQ(CgiRequest(body.c_str(), -1, "multipart/form-data; boundary=").getItemCount(), 0);
  EXPECT_TRUE(logged("Failed. Zero-length boundary"));

  EXPECT_EQ(CgiRequest(body.c_str(), -1, "multipart/form-data; boundary=Other").getItemCount(), 0);
  EXPECT_TRUE(logged("Failed. Expected '--Other'"));

  std::string preamble = "junk\r\n" + body;
  EXPECT_EQ(CgiRequest(preamble.c_str(), -1, FORM_TYPE).getItemCount(), 0);
}

TEST_F(CgiRequestTest, PartsWithoutHeadersOrNamesAreSkipped)
{
  std::string body = part("", "no headers") + part("Content-Disposition: form-data\r\n", "no name") +
                     part("X-Other: 1\r\ncontent-DISPOSITION: form-data; name=\"kept\"\r\n", "yes") + CLOSE;
  CgiRequest request(body.c_str(), -1, FORM_TYPE);
  EXPECT_EQ(request.getItemCount(), 1);
  EXPECT_STREQ(request.getValue("kept"), "yes");
  EXPECT_TRUE(logged("Failed to parse multipart entry. It did not contain the content-disposition field."));
  EXPECT_TRUE(logged("Failed to parse multipart entry. The content-disposition field did not contain a name."));
}

TEST_F(CgiRequestTest, BrokenBodiesStopWithTheItemsSoFar)
{
  std::string good = field("a", "1");
  struct Case {
    std::string tail;
    const char* line;
  } cases[] = {
      {"--XyZ", "Failed. Expected CRLF"},
      {"--XyZ\r\nContent-Disposition: form-data; name=\"b\"\r\n\r\nno end", "Could not find boundary"},
      {"--XyZ\r\nContent-Disposition form-data\r\n\r\nx\r\n--XyZ--", "Malformed header line."},
      {"--XyZ\r\nContent-Disposition: form-data; na", "Incomplete header line."},
      // The blank line's CR LF is not also the delimiter's.
      {"--XyZ\r\nContent-Disposition: form-data; name=\"b\"\r\n\r\n--XyZ--\r\n", "Could not find boundary"},
  };
  for (const Case& c : cases) {
    logLines.clear();
    std::string body = good + c.tail;
    PageEdge edge;
    CgiRequest request(edge.place(body), static_cast<int>(body.size()), FORM_TYPE);
    EXPECT_EQ(request.getItemCount(), 1) << c.tail;
    EXPECT_STREQ(request.getValue("a"), "1");
    EXPECT_TRUE(logged(c.line)) << c.tail;
  }
}

TEST_F(CgiRequestTest, BodyCutShortOfItsLength)
{
  std::string body = field("a", "1") + field("b", "2") + CLOSE;
  for (size_t length = 0; length < body.size(); ++length) {
    PageEdge edge;
    CgiRequest request(edge.place(body.substr(0, length)), static_cast<int>(length), FORM_TYPE);
    EXPECT_LE(request.getItemCount(), 2);
  }
}
