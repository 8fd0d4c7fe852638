#pragma once

#include <functional>
#include <string>

namespace cloakwise::platform {

// The system's default URL cache: what the browser keeps of the pages it
// fetched. User-interface thread only.
class UrlCache {
 public:
  virtual ~UrlCache() = default;
  // Calls visit with the source URL of every entry, in the cache's order;
  // visit may delete the entry it is given.
  virtual void ForEachEntry(const std::function<void(const std::string& url)>& visit) = 0;
  virtual bool DeleteEntry(const std::string& url) = 0;
};

}  // namespace cloakwise::platform
