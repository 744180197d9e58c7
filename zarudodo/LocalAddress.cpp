#include "LocalAddress.h"

#include "Log.h"
#include "Socket.h"
#include "StreamerAppLog.h"

#include <cstring>

std::string getLocalAddress()
{
  // The first socket starts Winsock, which the host-name calls need.
  Socket socket(false);
  char name[80];
  if (gethostname(name, sizeof name) != 0) {
    LogPrintf(STREAMER_APP_LOG_KEY, "Error %d when getting local host name.", WSAGetLastError());
    return "unknown";
  }
  LogPrintf(STREAMER_APP_LOG_KEY, "Host name is %s", name);
  hostent* host = gethostbyname(name);
  if (!host) {
    LogPrintf(STREAMER_APP_LOG_KEY, "Bad host lookup. ");
    return "unknown";
  }
  if (!host->h_addr_list || !host->h_addr_list[0])
    return "unknown";
  in_addr address;
  memcpy(&address, host->h_addr_list[0], sizeof address);
  return inet_ntoa(address);
}
