#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace cloakwise::cleanup {

// What stayed of a run's checked tasks, and the last line that tells it:
// "protected" only when nothing a checked task was to remove is left.
class CleanupReport {
 public:
  void Clear() { stayed_.clear(); }
  // Something that stayed, and why; told once however often it is met.
  void Stayed(const std::string& what);
  // A browser that runs holds its files open, and Windows will not delete
  // them: one account per browser of all it kept ("cookies", "history").
  void KeptByRunning(std::string_view browser, std::string_view part);
  // "Cleaning finished! Your privacy is protected." when nothing stayed;
  // otherwise "Cleaning finished, but " and each remainder in the order met.
  std::string LastLine() const;

 private:
  struct Remainder {
    std::string what;
    std::vector<std::string> parts;
  };
  std::vector<Remainder> stayed_;
};

}  // namespace cloakwise::cleanup
