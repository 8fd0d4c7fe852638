// Name lookup, alike over POSIX sockets and Winsock but for their headers.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include "http/socket_platform.h"

namespace cloakwise::http {

SocketStatus ResolveIpv4(const std::string& host, std::uint32_t* address) {
  detail::StartSockets();
  in_addr parsed{};
  if (inet_pton(AF_INET, host.c_str(), &parsed) == 1) {
    *address = parsed.s_addr;
    return {};
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (rc != 0 || !found) {
    if (found) freeaddrinfo(found);
    return detail::HostNotFound(rc);
  }
  *address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  freeaddrinfo(found);
  return {};
}

}  // namespace cloakwise::http
