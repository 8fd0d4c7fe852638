#include "service/service_desk.h"

#include <random>
#include <stdexcept>

#include "search/base64.h"
#include "search/digit_codec.h"

namespace cloakwise::service {
namespace {

using search::DigitDecode;
using search::DigitEncode;

constexpr std::size_t kLeadingFiller = 10;
constexpr std::size_t kTrailingFiller = 8;
constexpr const char* kNoProxies = "No proxies available at the moment, please try again later.";

std::vector<std::string> SplitFields(std::string_view text) {
  std::vector<std::string> fields;
  for (;;) {
    const auto at = text.find(';');
    fields.emplace_back(text.substr(0, at));
    if (at == std::string_view::npos) return fields;
    text.remove_prefix(at + 1);
  }
}

bool AllDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

std::string RandomAlnum(std::size_t n) {
  static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937 generator{std::random_device{}()};
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kChars - 2);
  std::string out(n, ' ');
  for (auto& c : out) c = kChars[pick(generator)];
  return out;
}

bool ValidCandidate(std::string_view line) {
  const auto colon = line.find(':');
  if (colon == 0 || colon == std::string_view::npos) return false;
  const auto blank = line.find(' ', colon);
  const std::string_view port = line.substr(colon + 1, blank - colon - 1);
  if (!AllDigits(port) || port.size() > 5) return false;
  const int value = std::stoi(std::string(port));
  // The client splits the batch at ";", so a line must hold none.
  return value >= 1 && value <= 65535 && line.find(';') == std::string_view::npos &&
         line.substr(0, colon).find(' ') == std::string_view::npos;
}

}  // namespace

std::optional<std::uint32_t> DecodeClientNumber(std::string_view encoded) {
  const auto shifted = search::Base64Decode(encoded);
  if (!shifted) return std::nullopt;
  const std::string digits = search::UnshiftWithKey(*shifted);
  if (!AllDigits(digits) || digits.size() > 10 || (digits.size() > 1 && digits[0] == '0')) {
    return std::nullopt;
  }
  const unsigned long long value = std::stoull(digits);
  if (value > 0xFFFFFFFFull) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

int RequestStep(std::string_view posttxt) {
  // Only a second request ends with ";": a first one ends with the client
  // number, whose Base64 is never empty.
  if (!AllDigits(posttxt)) return 1;
  return DigitDecode(posttxt).ends_with(';') ? 2 : 1;
}

std::variant<ServiceRequest, std::string> ParseServiceRequest(std::string_view posttxt) {
  if (!AllDigits(posttxt) || posttxt.size() % 3 != 0) return "Malformed request.";
  const std::string text = DigitDecode(posttxt);
  if (!text.starts_with("7;")) return "Unsupported client version.";
  const auto fields = SplitFields(text);
  ServiceRequest request;
  if (fields.size() == 4) {
    request.step = 1;
  } else if (fields.size() == 6 && fields[5].empty()) {
    request.step = 2;
  } else {
    return "Malformed request.";
  }
  request.idText1 = fields[1];
  request.idText2 = fields[2];
  const auto number = DecodeClientNumber(fields[3]);
  if (!number) return "Invalid client number.";
  request.clientNumber = *number;
  if (request.step == 2) {
    const std::string& proof = fields[4];
    const auto eq = proof.find('=');
    if (eq != ServiceDesk::kTokenLength ||
        proof.substr(eq + 1) != DigitEncode(proof.substr(0, eq))) {
      return "Invalid session token.";
    }
    request.token = proof.substr(0, eq);
  }
  return request;
}

std::vector<std::string> ParseCandidatePool(std::string_view text) {
  std::vector<std::string> pool;
  int lineNumber = 0;
  while (!text.empty()) {
    ++lineNumber;
    const auto end = text.find('\n');
    std::string line(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
      line.pop_back();
    }
    const auto begin = line.find_first_not_of(" \t");
    if (begin == std::string::npos || line[begin] == '#') continue;
    line.erase(0, begin);
    if (!ValidCandidate(line)) {
      throw std::runtime_error("line " + std::to_string(lineNumber) +
                               ": expected host:port and a description, without \";\"");
    }
    pool.push_back(line);
  }
  return pool;
}

ServiceDesk::ServiceDesk(std::vector<std::string> pool,
                         std::function<std::string(std::size_t)> filler)
    : pool_(std::move(pool)), filler_(filler ? std::move(filler) : RandomAlnum) {}

void ServiceDesk::SupplyBatchesFrom(BatchSupply supply) {
  supply_ = std::move(supply);
}

void ServiceDesk::LimitRate(RateLimit limit, MillisecondClock clock) {
  limiter_ = std::make_unique<RateLimiter>(limit, std::move(clock));
}

std::size_t ServiceDesk::OpenSessions() {
  std::lock_guard lock(mutex_);
  return sessions_.size();
}

DeskReply ServiceDesk::Answer(std::string_view posttxt, const std::string& callerAddress,
                              const std::string& cookie) {
  const auto parsed = ParseServiceRequest(posttxt);
  std::lock_guard lock(mutex_);
  Forget(Clock::now());
  if (const auto* reason = std::get_if<std::string>(&parsed)) {
    // The client shows only the second reply's text, so a refused first step
    // gets a token that carries the refusal on to the second.
    if (RequestStep(posttxt) == 1) return FirstReply(callerAddress, "", *reason);
    return Refusal(*reason, "malformed");
  }
  const auto& request = std::get<ServiceRequest>(parsed);
  const std::string client =
      request.idText1 + ";" + request.idText2 + ";" + std::to_string(request.clientNumber);
  if (request.step == 1) return FirstReply(callerAddress, client, std::nullopt);

  const auto session = sessions_.find(request.token);
  if (session == sessions_.end()) {
    return Refusal("Session expired, please try again.", "unknown token " + request.token);
  }
  const Session found = session->second;
  sessions_.erase(session);  // a token buys one batch
  if (found.refusal) return Refusal(*found.refusal, "refused at step 1");
  if (found.client != client) {
    return Refusal("Session belongs to another client.", "token of another client");
  }
  if (cookie != request.token) return Refusal("Session cookie missing.", "no session cookie");
  // The program shows a refusal's text and asks again after its pause: to
  // a caller asking too fast, there is no proxy for it at the moment.
  if (limiter_ && !limiter_->Allow(callerAddress)) {
    return Refusal(kNoProxies, "rate limited " + callerAddress);
  }
  std::optional<std::string> supplied;
  if (supply_) {
    supplied = supply_();
    if (!supplied) return Refusal(kNoProxies, "no working entry");
  } else if (pool_.empty()) {
    return Refusal(kNoProxies, "empty pool");
  }
  const std::string batch = supplied ? *supplied : NextBatch();
  DeskReply reply;
  reply.step = 2;
  const std::string leading = filler_(kLeadingFiller);
  reply.body = DigitEncode(leading + batch + filler_(kTrailingFiller));
  reply.logNote = "batch " + batch;
  return reply;
}

DeskReply ServiceDesk::FirstReply(const std::string& callerAddress, const std::string& client,
                                  std::optional<std::string> refusal) {
  std::string token = filler_(kTokenLength);
  if (sessions_.size() >= kMaxSessions) sessions_.erase(sessions_.begin());
  DeskReply reply;
  reply.step = 1;
  reply.body = DigitEncode(token + callerAddress);
  reply.session = token;
  reply.logNote = "token " + token + (refusal ? " refused: " + *refusal : "");
  sessions_[token] = Session{Clock::now(), client, std::move(refusal)};
  return reply;
}

DeskReply ServiceDesk::Refusal(const std::string& reason, const std::string& logNote) {
  DeskReply reply;
  reply.step = 2;
  const std::string leading = filler_(kLeadingFiller);
  reply.body = DigitEncode(leading + "STR" + reason + filler_(kTrailingFiller));
  reply.logNote = "refused (" + logNote + "): " + reason;
  return reply;
}

std::string ServiceDesk::NextBatch() {
  std::string batch;
  for (int i = 0; i < 3; ++i) {
    if (i > 0) batch += ';';
    batch += pool_[next_++ % pool_.size()];
  }
  return batch;
}

void ServiceDesk::Forget(Clock::time_point now) {
  std::erase_if(sessions_,
                [&](const auto& entry) { return now - entry.second.created > kSessionLifetime; });
}

}  // namespace cloakwise::service
