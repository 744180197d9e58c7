#include "Socket.h"

#include <gtest/gtest.h>

// The rest of the socket is the web server's, tested with it.
TEST(SocketTest, Addresses)
{
  for (const wchar_t* bad : {L"127.0.0.1", L"127.0.0.1:65536", L"127.0.0.1:80x"})
    EXPECT_FALSE(SocketAddress(bad).isValid()) << bad;
}
