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
  // A bare word before a pair does not push the pair out; bad escapes stay as
  // they are; nothing after the given length is read.
  const std::string query = "a=&a=2&&setconfig&config=%7B%7D&e=x+%41%2b%2B=&b=%zz%4";
  PageEdge edge;
  CgiRequest request(edge.place(query), static_cast<int>(query.size()), "application/x-www-form-urlencoded");
  const struct {
    const char* name;
    const char* value;
  } cases[] = {{"a", ""}, {"setconfig", ""}, {"config", "{}"}, {"e", "x A++="}, {"b", "%zz%4"}};
  for (const auto& c : cases)
    EXPECT_STREQ(request.getValue(c.name), c.value) << c.name;
  EXPECT_EQ(request.getItemCount(), 6);
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
      {part("", "no headers") + part("Content-Disposition: form-data\r\n", "no name") +
           part("X-Other: 1\r\ncontent-DISPOSITION: form-data; name=\"a\"\r\n", "1") + CLOSE,
       FORM_TYPE, 1},
      {good + "--XyZ\r\nContent-Disposition form-data\r\n\r\nx\r\n--XyZ--", FORM_TYPE, 1},
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
