#pragma once

// Where the pool's candidates come from: the static pool file, plain-text
// lists as files, and lists fetched over HTTP now and then; each read the
// way the program's paste reads a list, and each fetched again on a
// schedule of its own.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/pool_entry.h"

namespace cloakwise::service {

enum class SourceKind {
  PoolFile,  // host:port and a description a line, as --pool has always been read
  ListFile,  // what the program's paste takes: IP:Port, table rows, http://IP:Port
  Url,       // such a list over plain HTTP
};

struct Source {
  std::string name;  // the path or the URL
  SourceKind kind = SourceKind::ListFile;
};

// An "http://" argument is a URL, anything else a list file. Throws
// std::invalid_argument for "https://", which the program's client does
// not speak.
Source SourceFromArgument(const std::string& argument);

struct SourcePolicy {
  std::int64_t refreshMs = 30 * 60'000;  // a source that gave proxies is read again after this
  std::int64_t firstRetryMs = 60'000;    // one that failed after this, doubling up to refreshMs
  int timeoutMs = 10000;            // each wait of an HTTP fetch; the whole one takes 3 at most
  std::size_t maxBytes = 4u << 20;  // a longer list is no list
};

struct SourceRead {
  std::vector<Candidate> candidates;  // in order, each address once
  std::size_t refused = 0;            // lines that name no proxy
  std::string problem;                // empty when the read gave proxies
};

// The candidates a source's text names. A text that names none, whatever
// else it holds, is a problem: a source never empties the pool, so a list
// that comes back as an error page only waits for its next fetch.
SourceRead ReadCandidates(SourceKind kind, std::string_view text);

// Reads the file or fetches the URL, then ReadCandidates. Never throws:
// what went wrong is the problem.
SourceRead FetchSource(const Source& source, const SourcePolicy& policy);

// What the service knows of a source between fetches; kept in the store,
// so a restart does not fetch every source at once.
struct SourceState {
  std::string name;
  std::int64_t nextFetchMs = 0;
  int failures = 0;  // fetches in a row that gave no proxies
  std::optional<std::int64_t> lastGoodMs;
  std::size_t lastCount = 0;  // proxies the last good fetch named
  std::string lastProblem;

  friend bool operator==(const SourceState&, const SourceState&) = default;
};

void RecordFetch(SourceState& state, const SourceRead& read, std::int64_t nowMs,
                 const SourcePolicy& policy);

}  // namespace cloakwise::service
