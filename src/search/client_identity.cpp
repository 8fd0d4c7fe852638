#include "search/client_identity.h"

#include <random>

#ifndef CLOAKWISE_VERSION
#error "the build defines CLOAKWISE_VERSION"
#endif

namespace cloakwise::search {

ClientIdentity MakeClientIdentity() {
  std::random_device entropy;
  std::uniform_int_distribution<std::uint32_t> runNumber(0, 2147483647u);
  return ClientIdentity{kProgramName, CLOAKWISE_VERSION, runNumber(entropy)};
}

}  // namespace cloakwise::search
