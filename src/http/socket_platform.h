#pragma once

#include "http/socket.h"

// What the socket layer's shared code needs from its POSIX or Winsock half.
namespace cloakwise::http::detail {

// Winsock must be started once per process before any call; POSIX has
// nothing to start.
void StartSockets();
// A failed name lookup (getaddrinfo's code, 0 when it found no address) in
// the platform's own error codes and texts.
SocketStatus HostNotFound(int resolverCode);

}  // namespace cloakwise::http::detail
