#pragma once

#include <cstdint>
#include <string>

namespace cloakwise::search {

// What every request to the list service says about us. Deliberately nothing
// about the user or the machine: the program's name, its version, and a number
// drawn afresh at each start, so the service can tell one run's requests from
// another's and no two runs are linkable.
struct ClientIdentity {
  std::string programName;
  std::string programVersion;
  std::uint32_t runNumber = 0;  // 0 .. 2147483647
};

inline constexpr char kProgramName[] = "Cloakwise";

// The identity of this run.
ClientIdentity MakeClientIdentity();

}  // namespace cloakwise::search
