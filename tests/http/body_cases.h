#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http/http_client.h"
#include "http/test_server.h"

namespace cloakwise::http::testing {

// A reply, sent whole to the first request, and the body the client must
// make of it.
struct BodyCase {
  const char* name;
  std::string reply;
  std::string body;
};

// Each case on a server of its own, through a fresh client.
inline void ExpectBodies(const std::vector<BodyCase>& cases, int readTimeoutMs) {
  for (const BodyCase& c : cases) {
    TestServer server([&c](ServerConnection& conn) {
      conn.ReadRequest();
      conn.Send(c.reply);
    });
    HttpClient client;
    client.Settings().readTimeoutMs = readTimeoutMs;
    EXPECT_EQ(client.Get(server.Url()), c.body) << c.name;
  }
}

}  // namespace cloakwise::http::testing
