#include "service/pool_sources.h"

#include <algorithm>
#include <fstream>
#include <set>
#include <stdexcept>

#include "checker/paste_grammar.h"
#include "core/proxy_address.h"
#include "core/text.h"
#include "http/http_client.h"
#include "service/service_desk.h"

namespace cloakwise::service {
namespace {

void Add(SourceRead& read, std::set<std::string>& seen, std::string_view proxy,
         std::string description) {
  const auto address = ProxyAddress::Parse(proxy);
  if (!address) {
    ++read.refused;
    return;
  }
  if (seen.insert(address->Text()).second) {
    read.candidates.push_back({address->Text(), std::move(description)});
  }
}

std::string ReadFile(const std::string& path, std::size_t maxBytes) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error("cannot read " + path);
  std::string text(maxBytes + 1, '\0');
  file.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(file.gcount()));
  if (file.bad()) throw std::runtime_error("cannot read " + path);
  return text;
}

std::string Fetch(const std::string& url, const SourcePolicy& policy) {
  http::HttpClient client;
  client.Settings().readTimeoutMs = policy.timeoutMs;
  client.Settings().maxRequestMs = 3 * policy.timeoutMs;
  client.Settings().maxBodyBytes = policy.maxBytes + 1;
  client.Settings().accept = "text/plain, text/html, */*";
  return client.Get(url);
}

}  // namespace

Source SourceFromArgument(const std::string& argument) {
  const auto starts = [&](std::string_view scheme) {
    return argument.size() >= scheme.size() &&
           text::EqualsIgnoreCase(std::string_view(argument).substr(0, scheme.size()), scheme);
  };
  if (starts("https://")) {
    throw std::invalid_argument(argument + ": only plain http:// lists can be fetched");
  }
  return Source{argument, starts("http://") ? SourceKind::Url : SourceKind::ListFile};
}

SourceRead ReadCandidates(SourceKind kind, std::string_view text) {
  SourceRead read;
  std::set<std::string> seen;
  if (kind == SourceKind::PoolFile) {
    try {
      for (const std::string& line : ParseCandidatePool(text)) {
        const auto blank = line.find(' ');
        Add(read, seen, std::string_view(line).substr(0, blank),
            blank == std::string::npos ? "" : line.substr(blank + 1));
      }
    } catch (const std::runtime_error& e) {
      read.problem = e.what();
      read.candidates.clear();
      return read;
    }
  } else {
    const checker::PastedLines pasted = checker::PastedProxies(text);
    read.refused = pasted.refused;
    for (const std::string& proxy : pasted.proxies) Add(read, seen, proxy, "");
  }
  if (read.candidates.empty()) {
    read.problem = "names no proxy";
    if (read.refused) {
      read.problem += ", only " + std::to_string(read.refused) +
                      (read.refused == 1 ? " line" : " lines") + " of something else";
    }
  }
  return read;
}

SourceRead FetchSource(const Source& source, const SourcePolicy& policy) {
  std::string text;
  try {
    text = source.kind == SourceKind::Url ? Fetch(source.name, policy)
                                          : ReadFile(source.name, policy.maxBytes);
  } catch (const std::exception& e) {
    SourceRead failed;
    failed.problem = e.what();
    return failed;
  }
  if (text.size() > policy.maxBytes) {
    SourceRead failed;
    failed.problem = "longer than " + std::to_string(policy.maxBytes) + " bytes";
    return failed;
  }
  return ReadCandidates(source.kind, text);
}

void RecordFetch(SourceState& state, const SourceRead& read, std::int64_t nowMs,
                 const SourcePolicy& policy) {
  state.lastProblem = read.problem;
  if (read.problem.empty()) {
    state.failures = 0;
    state.lastGoodMs = nowMs;
    state.lastCount = read.candidates.size();
    state.nextFetchMs = nowMs + policy.refreshMs;
    return;
  }
  ++state.failures;
  std::int64_t wait = policy.firstRetryMs;
  for (int k = 1; k < state.failures && wait < policy.refreshMs; ++k) wait *= 2;
  state.nextFetchMs = nowMs + std::min(wait, policy.refreshMs);
}

}  // namespace cloakwise::service
