#include "testproxy/test_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <stdexcept>

#include "testproxy/loopback_net.h"

namespace cloakwise::testproxy {
namespace {

constexpr std::size_t kMaxRequestBody = 1u << 20;
constexpr std::size_t kMaxReplyBody = 32u << 20;
constexpr char kViaValue[] = "1.1 cloakwise-testproxy";
// Not HTTP in any reading: no status line, bytes a reply reader must reject.
constexpr char kGarbage[] = "\x16\x03\x01 garbage \xff\xfe\x00 not a reply at all\r\n\r\n";

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool HasToken(const std::optional<std::string>& value, const std::string& token) {
  return value && Lower(*value).find(token) != std::string::npos;
}

long long ParseNumber(const std::string& text, const std::string& what) {
  std::size_t used = 0;
  long long value = -1;
  try {
    value = std::stoll(text, &used);
  } catch (const std::exception&) {
  }
  if (used != text.size() || value < 0) throw std::invalid_argument("bad " + what + ": " + text);
  return value;
}

// Hop-by-hop headers, and whatever the sender's Connection header names,
// are for this proxy alone and never travel on.
void DropHopByHop(HttpHead& head) {
  if (const auto connection = head.Find("Connection")) {
    std::string name;
    for (const char c : *connection + ",") {
      if (c == ',') {
        name.erase(0, name.find_first_not_of(" \t"));
        name.erase(name.find_last_not_of(" \t") + 1);
        if (!name.empty()) head.Remove(name);
        name.clear();
      } else {
        name += c;
      }
    }
  }
  for (const char* name :
       {"Connection", "Proxy-Connection", "Keep-Alive", "Proxy-Authorization", "Proxy-Authenticate",
        "TE", "Trailer", "Transfer-Encoding", "Upgrade", "Content-Length"}) {
    head.Remove(name);
  }
}

void AppendHeader(HttpHead& head, const std::string& name, const std::string& value) {
  for (auto& [n, v] : head.headers) {
    if (Lower(n) == Lower(name)) {
      v += ", " + value;
      return;
    }
  }
  head.headers.emplace_back(name, value);
}

std::string SimpleReply(int status, const std::string& reason, const std::string& text, bool keep) {
  return "HTTP/1.1 " + std::to_string(status) + " " + reason +
         "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(text.size()) +
         "\r\nConnection: " + (keep ? "keep-alive" : "close") + "\r\n\r\n" + text;
}

}  // namespace

const char* AnonymityName(Anonymity anonymity) {
  switch (anonymity) {
    case Anonymity::Transparent:
      return "transparent";
    case Anonymity::Anonymous:
      return "anonymous";
    case Anonymity::Elite:
      return "elite";
  }
  return "?";
}

const char* FaultName(Fault fault) {
  switch (fault) {
    case Fault::None:
      return "none";
    case Fault::Delay:
      return "delay";
    case Fault::Refuse:
      return "refuse";
    case Fault::Close:
      return "close";
    case Fault::Garbage:
      return "garbage";
    case Fault::WrongDigit:
      return "wrongdigit";
    case Fault::Trickle:
      return "trickle";
    case Fault::Huge:
      return "huge";
    case Fault::NoConnect:
      return "noconnect";
    case Fault::ConnectDrop:
      return "connectdrop";
    case Fault::ConnectStall:
      return "connectstall";
    case Fault::Silent:
      return "silent";
  }
  return "?";
}

std::vector<PortPlan> ParsePortSpec(const std::string& spec) {
  const auto colon = spec.find(':');
  if (colon == std::string::npos) throw std::invalid_argument("expected PORTS:MODE in " + spec);
  const std::string ports = spec.substr(0, colon);
  std::string rest = spec.substr(colon + 1);
  const auto faultColon = rest.find(':');
  const std::string mode = rest.substr(0, faultColon);
  std::string fault = faultColon == std::string::npos ? "" : rest.substr(faultColon + 1);

  PortPlan plan;
  if (mode == "transparent") {
    plan.anonymity = Anonymity::Transparent;
  } else if (mode == "anonymous") {
    plan.anonymity = Anonymity::Anonymous;
  } else if (mode == "elite") {
    plan.anonymity = Anonymity::Elite;
  } else {
    throw std::invalid_argument("mode must be transparent, anonymous or elite: " + mode);
  }

  const auto eq = fault.find('=');
  const std::string faultName = fault.substr(0, eq);
  const bool hasValue = eq != std::string::npos;
  const long long value = hasValue ? ParseNumber(fault.substr(eq + 1), "fault value") : -1;
  struct Known {
    const char* name;
    Fault fault;
    long long defaultValue;  // -1: takes no value
  };
  static constexpr Known kFaults[] = {
      {"delay", Fault::Delay, 1000},
      {"refuse", Fault::Refuse, -1},
      {"close", Fault::Close, -1},
      {"garbage", Fault::Garbage, -1},
      {"wrongdigit", Fault::WrongDigit, 9},
      {"trickle", Fault::Trickle, 200},
      {"huge", Fault::Huge, 64ll << 20},
      {"noconnect", Fault::NoConnect, -1},
      {"connectdrop", Fault::ConnectDrop, -1},
      {"connectstall", Fault::ConnectStall, -1},
      {"silent", Fault::Silent, -1},
  };
  if (!faultName.empty()) {
    const auto known = std::find_if(std::begin(kFaults), std::end(kFaults),
                                    [&](const Known& k) { return faultName == k.name; });
    if (known == std::end(kFaults)) throw std::invalid_argument("unknown fault " + faultName);
    if (hasValue && known->defaultValue < 0) {
      throw std::invalid_argument(faultName + " takes no value");
    }
    plan.fault = known->fault;
    plan.value = hasValue ? value : known->defaultValue;
    if (plan.fault == Fault::WrongDigit && plan.value > 9) {
      throw std::invalid_argument("wrongdigit takes one digit");
    }
  }

  const auto dash = ports.find('-');
  const long long first = ParseNumber(ports.substr(0, dash), "port");
  const long long last =
      dash == std::string::npos ? first : ParseNumber(ports.substr(dash + 1), "port");
  if (first > 65535 || last > 65535 || last < first || (first == 0 && last != 0)) {
    throw std::invalid_argument("bad port range " + ports);
  }
  std::vector<PortPlan> plans;
  for (long long port = first; port <= last; ++port) {
    plan.port = static_cast<std::uint16_t>(port);
    plans.push_back(plan);
  }
  return plans;
}

std::unique_ptr<TestProxy> StartOnAddress(const std::string& address, Anonymity anonymity,
                                          Fault fault, long long value) {
  ProxyOptions options;
  options.bindAddress = address;
  options.ports = {PortPlan{0, anonymity, fault, value}};
  return std::make_unique<TestProxy>(std::move(options));
}

TestProxy::TestProxy(ProxyOptions options) : options_(std::move(options)) {
  if (options_.upstream && !IsLoopbackIpv4(options_.upstream->first)) {
    throw std::runtime_error("the upstream must be in 127.0.0.0/8");
  }
  try {
    for (const auto& plan : options_.ports) {
      std::uint16_t bound = 0;
      listeners_.push_back({ListenLoopback(options_.bindAddress, plan.port, &bound), plan});
      ports_.push_back(bound);
    }
  } catch (...) {
    for (const auto& l : listeners_) close(l.fd);
    throw;
  }
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

TestProxy::~TestProxy() {
  Stop();
}

void TestProxy::Stop() {
  if (stopped_) return;
  stopped_ = true;
  stopping_ = true;
  acceptor_.join();
  std::unique_lock lock(mutex_);
  for (const int fd : open_) shutdown(fd, SHUT_RDWR);
  idle_.wait(lock, [this] { return active_ == 0; });
  for (const auto& l : listeners_) close(l.fd);
  for (const int fd : held_) close(fd);
}

void TestProxy::AcceptLoop() {
  std::vector<pollfd> polls;
  for (const auto& l : listeners_) polls.push_back({l.fd, POLLIN, 0});
  while (!stopping_) {
    if (poll(polls.data(), polls.size(), 50) <= 0) continue;
    for (std::size_t i = 0; i < polls.size(); ++i) {
      if (!(polls[i].revents & POLLIN)) continue;
      sockaddr_in peer{};
      socklen_t size = sizeof peer;
      const int fd = accept4(polls[i].fd, reinterpret_cast<sockaddr*>(&peer), &size, SOCK_CLOEXEC);
      if (fd < 0) continue;
      if (listeners_[i].plan.fault == Fault::Silent) {
        // Held without a thread: a world of thousands of them stays cheap.
        std::lock_guard lock(mutex_);
        held_.push_back(fd);
        continue;
      }
      {
        std::lock_guard lock(mutex_);
        if (active_ >= options_.maxConnections) {
          close(fd);
          continue;
        }
        ++active_;
        open_.push_back(fd);
      }
      SetNoDelay(fd);
      char text[INET_ADDRSTRLEN] = "?";
      inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
      PortPlan plan = listeners_[i].plan;
      plan.port = ports_[i];
      // Detached: a benchmark opening a connection per request would pile up
      // thousands of finished threads. Stop() waits for active_ instead.
      std::thread([this, fd, plan, client = std::string(text)] {
        Serve(fd, plan, client);
        Release(fd);
        std::lock_guard lock(mutex_);
        if (--active_ == 0) idle_.notify_all();
      }).detach();
    }
  }
}

void TestProxy::Serve(int fd, const PortPlan& plan, const std::string& client) {
  if (plan.fault == Fault::Refuse) {
    const linger reset{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    Log(plan, client, "connection reset");
    return;
  }
  MessageReader reader(fd, stopping_);
  int upstream = -1;
  std::string upstreamTarget;
  std::unique_ptr<MessageReader> upstreamReader;
  auto dropUpstream = [&] {
    if (upstream >= 0) Release(upstream);
    upstream = -1;
    upstreamReader.reset();
  };

  HttpHead request;
  while (!stopping_ && reader.ReadHead(request)) {
    ++requests_;
    const std::string line = request.startLine;
    const auto sp1 = line.find(' ');
    const auto sp2 = line.rfind(' ');
    if (sp1 == std::string::npos || sp2 == sp1) {
      SendAll(fd, SimpleReply(400, "Bad Request", "bad request line", false));
      Log(plan, client, "bad request line");
      break;
    }
    const std::string method = line.substr(0, sp1);
    const std::string target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    const std::string version = line.substr(sp2 + 1);
    std::string body;
    if (!reader.ReadBody(request, false, kMaxRequestBody, body)) {
      SendAll(fd, SimpleReply(400, "Bad Request", "bad request body", false));
      Log(plan, client, method + " " + target + " -> bad body");
      break;
    }
    const bool keep = version == "HTTP/1.1"
                          ? !HasToken(request.Find("Connection"), "close") &&
                                !HasToken(request.Find("Proxy-Connection"), "close")
                          : HasToken(request.Find("Connection"), "keep-alive") ||
                                HasToken(request.Find("Proxy-Connection"), "keep-alive");
    const std::string what = method + " " + target;

    if (method == "CONNECT") {
      Tunnel(fd, reader, plan, client, target);
      break;
    }
    if (!target.starts_with("http://")) {
      SendAll(fd, SimpleReply(405, "Method Not Allowed", "plain http:// requests only", false));
      Log(plan, client, what + " -> 405");
      break;
    }
    const auto pathAt = target.find('/', 7);
    const std::string authority =
        target.substr(7, pathAt == std::string::npos ? pathAt : pathAt - 7);
    const std::string path = pathAt == std::string::npos ? "/" : target.substr(pathAt);
    std::string host = authority;
    std::uint16_t port = 80;
    if (const auto colon = authority.rfind(':'); colon != std::string::npos) {
      host = authority.substr(0, colon);
      try {
        port = static_cast<std::uint16_t>(std::stoi(authority.substr(colon + 1)));
      } catch (const std::exception&) {
        port = 0;
      }
    }
    if (host == "localhost") host = "127.0.0.1";
    if (options_.upstream) {
      std::tie(host, port) = *options_.upstream;
    } else if (!IsLoopbackIpv4(host) || port == 0) {
      SendAll(fd, SimpleReply(403, "Forbidden", "this proxy reaches 127.0.0.0/8 only", keep));
      Log(plan, client, what + " -> 403 not loopback");
      if (!keep) break;
      continue;
    }

    if (plan.fault == Fault::Garbage) {
      SendAll(fd, std::string_view(kGarbage, sizeof kGarbage - 1));
      Log(plan, client, what + " -> garbage");
      break;
    }
    if (plan.fault == Fault::Huge) {
      SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                      std::to_string(plan.value) + "\r\nConnection: close\r\n\r\n");
      const std::string block(64 * 1024, '2');
      long long left = plan.value;
      while (
          left > 0 && !stopping_ &&
          SendAll(fd, std::string_view(block).substr(
                          0, static_cast<std::size_t>(std::min<long long>(left, block.size()))))) {
        left -= std::min<long long>(left, block.size());
      }
      Log(plan, client,
          what + " -> huge body, " + std::to_string(plan.value - left) + " bytes sent");
      break;
    }
    if (plan.fault == Fault::Delay) SleepUnlessStopped(plan.value, stopping_);

    HttpHead out = request;
    out.startLine = method + " " + path + " HTTP/1.1";
    DropHopByHop(out);
    if (!out.Find("Host")) out.headers.emplace_back("Host", authority);
    if (plan.anonymity == Anonymity::Transparent) AppendHeader(out, "X-Forwarded-For", client);
    if (plan.anonymity != Anonymity::Elite) AppendHeader(out, "Via", kViaValue);
    if (!body.empty() || method == "POST") {
      out.headers.emplace_back("Content-Length", std::to_string(body.size()));
    }
    out.headers.emplace_back("Connection", "keep-alive");

    const std::string upstreamKey = host + ":" + std::to_string(port);
    if (upstream >= 0 && upstreamKey != upstreamTarget) dropUpstream();
    HttpHead reply;
    std::string replyBody;
    bool forwarded = false;
    // A kept upstream connection may have been closed meanwhile; one fresh
    // attempt follows a failure on a reused one.
    for (int attempt = 0; attempt < 2 && !forwarded && !stopping_; ++attempt) {
      const bool reused = upstream >= 0;
      if (!reused) {
        upstream = ConnectLoopback(host, port);
        if (upstream < 0) break;
        Track(upstream);
        upstreamTarget = upstreamKey;
        upstreamReader = std::make_unique<MessageReader>(upstream, stopping_);
      }
      const bool noBody = method == "HEAD";
      forwarded = SendAll(upstream, out.Serialize() + body) && upstreamReader->ReadHead(reply);
      if (forwarded) {
        const bool bodiless = noBody || reply.startLine.find(" 204") != std::string::npos ||
                              reply.startLine.find(" 304") != std::string::npos;
        forwarded = bodiless || upstreamReader->ReadBody(reply, true, kMaxReplyBody, replyBody);
      }
      if (!forwarded || upstreamReader->PeerClosed() ||
          HasToken(reply.Find("Connection"), "close")) {
        dropUpstream();
      }
      if (!forwarded && !reused) break;
    }
    if (!forwarded) {
      SendAll(fd, SimpleReply(502, "Bad Gateway", "upstream " + upstreamKey + " failed", keep));
      Log(plan, client, what + " -> 502 upstream " + upstreamKey + " failed");
      if (!keep) break;
      continue;
    }

    DropHopByHop(reply);
    if (plan.fault == Fault::WrongDigit) replyBody = std::to_string(plan.value);
    reply.headers.emplace_back("Content-Length", std::to_string(replyBody.size()));
    reply.headers.emplace_back("Connection", keep ? "keep-alive" : "close");
    const std::string bytes = reply.Serialize() + replyBody;
    const std::string status = reply.startLine.substr(0, reply.startLine.find(' ', 9));
    if (plan.fault == Fault::Close) {
      // Half the head: a reply cut inside its body still counts as a (short)
      // body to most clients, a cut head is a failure to all of them.
      SendAll(fd, std::string_view(bytes).substr(0, (bytes.size() - replyBody.size()) / 2));
      Log(plan, client, what + " -> " + status + ", closed mid-reply");
      break;
    }
    if (plan.fault == Fault::Trickle) {
      bool sent = true;
      for (std::size_t i = 0; i < bytes.size() && sent && !stopping_; ++i) {
        sent = SendAll(fd, std::string_view(bytes).substr(i, 1));
        if (i + 1 < bytes.size()) SleepUnlessStopped(plan.value, stopping_);
      }
      Log(plan, client, what + " -> " + status + ", trickled");
      if (!sent || !keep) break;
      continue;
    }
    const bool sent = SendAll(fd, bytes);
    Log(plan, client,
        what + " -> " + status + (plan.fault == Fault::Delay ? ", delayed" : "") +
            (plan.fault == Fault::WrongDigit ? ", digit replaced" : ""));
    if (!sent || !keep) break;
  }
  dropUpstream();
}

void TestProxy::Tunnel(int fd, MessageReader& reader, const PortPlan& plan,
                       const std::string& client, const std::string& target) {
  const std::string what = "CONNECT " + target;
  if (plan.fault == Fault::NoConnect) {
    SendAll(fd, SimpleReply(405, "Method Not Allowed", "plain http:// requests only", false));
    Log(plan, client, what + " -> 405, no tunnels here");
    return;
  }
  constexpr char kEstablished[] = "HTTP/1.1 200 Connection established\r\n\r\n";
  if (plan.fault == Fault::ConnectDrop || plan.fault == Fault::ConnectStall) {
    SendAll(fd, kEstablished);
    if (plan.fault == Fault::ConnectStall) {
      // Whatever the client sends goes nowhere; it waits for its time-out.
      MessageReader idle(fd, stopping_, 30000);
      HttpHead ignored;
      while (!stopping_ && idle.ReadHead(ignored)) {
      }
    }
    Log(plan, client, what + " -> 200, then " + FaultName(plan.fault));
    return;
  }
  const auto colon = target.rfind(':');
  const std::string host = colon == std::string::npos ? target : target.substr(0, colon);
  long long port = 0;
  try {
    port = colon == std::string::npos ? 0 : std::stoll(target.substr(colon + 1));
  } catch (const std::exception&) {
  }
  if (!IsLoopbackIpv4(host) || port < 1 || port > 65535) {
    SendAll(fd, SimpleReply(403, "Forbidden", "this proxy reaches 127.0.0.0/8 only", false));
    Log(plan, client, what + " -> 403 not loopback");
    return;
  }
  if (plan.fault == Fault::Delay) SleepUnlessStopped(plan.value, stopping_);
  const int upstream = ConnectLoopback(host, static_cast<std::uint16_t>(port));
  if (upstream < 0) {
    SendAll(fd, SimpleReply(502, "Bad Gateway", "cannot reach " + target, false));
    Log(plan, client, what + " -> 502");
    return;
  }
  Track(upstream);
  // What the client sent on at once already belongs to the far end.
  const bool sent = SendAll(fd, kEstablished) && SendAll(upstream, reader.TakePending());
  Log(plan, client, what + " -> 200, tunnel");
  if (sent) Relay(fd, upstream, stopping_);
  Release(upstream);
}

void TestProxy::Log(const PortPlan& plan, const std::string& client, const std::string& what) {
  if (!options_.log) return;
  std::string printable;
  for (const unsigned char c : what.substr(0, 300)) {
    printable += c >= 32 && c < 127 ? static_cast<char>(c) : '?';
  }
  options_.log(":" + std::to_string(plan.port) + " " + AnonymityName(plan.anonymity) +
               (plan.fault == Fault::None ? "" : std::string("/") + FaultName(plan.fault)) + " " +
               client + " " + printable);
}

void TestProxy::Track(int fd) {
  std::lock_guard lock(mutex_);
  open_.push_back(fd);
}

// Closed under the lock, so Stop() never shuts down a number that has
// meanwhile been handed to another connection.
void TestProxy::Release(int fd) {
  std::lock_guard lock(mutex_);
  std::erase(open_, fd);
  close(fd);
}

}  // namespace cloakwise::testproxy
