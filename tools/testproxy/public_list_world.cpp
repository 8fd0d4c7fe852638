#include "testproxy/public_list_world.h"

#include <algorithm>
#include <random>

namespace cloakwise::testproxy {

PublicListWorld BuildPublicListWorld(std::size_t entries, int octet, unsigned seed) {
  const std::string prefix = "127.0." + std::to_string(octet) + ".";
  const std::size_t working = entries / 10;
  const std::size_t refused = entries * 4 / 10;
  const std::size_t silent = entries / 2;
  PublicListWorld world;
  world.silent = silent;

  ProxyOptions answering;
  answering.bindAddress = prefix + "1";
  for (std::size_t i = 0; i < working; ++i) {
    const long long delay =
        working > 1 ? 50 + static_cast<long long>(i * 1450 / (working - 1)) : 50;
    answering.ports.push_back(PortPlan{0, Anonymity::Elite, Fault::Delay, delay});
    world.slowestMs = std::max(world.slowestMs, delay);
  }
  ProxyOptions quiet;
  quiet.bindAddress = prefix + "2";
  quiet.ports.assign(silent, PortPlan{0, Anonymity::Elite, Fault::Silent, 0});

  for (ProxyOptions* options : {&answering, &quiet}) {
    if (options->ports.empty()) continue;
    world.proxies.push_back(std::make_unique<TestProxy>(*options));
    const auto& ports = world.proxies.back()->Ports();
    for (std::size_t p = 0; p < ports.size(); ++p) {
      const std::string proxy = options->bindAddress + ":" + std::to_string(ports[p]);
      world.list.push_back(proxy);
      if (options == &answering) world.delayOf[proxy] = options->ports[p].value;
    }
  }
  // Nothing listens on .3: each connect there is refused at once.
  for (std::size_t i = 0; i < refused; ++i) {
    world.list.push_back(prefix + "3:" + std::to_string(2000 + i));
  }
  std::mt19937 random(seed);
  std::shuffle(world.list.begin(), world.list.end(), random);
  return world;
}

}  // namespace cloakwise::testproxy
