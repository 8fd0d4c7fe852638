#include "judge/probe_runner.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string_view>
#include <utility>
#include <vector>

#include "core/text.h"
#include "http/errors.h"
#include "http/reply_reader.h"
#include "http/request.h"
#include "http/socket.h"
#include "http/url.h"

namespace cloakwise::judge {
namespace {

// How often a run looks at its stop request while nothing else happens.
constexpr int kStopSliceMs = 100;
constexpr std::size_t kReceiveChunk = 4096;
// A probe reads a digit or a one-line proof: anything much longer is not the
// judge speaking. Small limits also keep re-reading a reply that comes in
// pieces cheap.
const http::ReplyLimits kProbeLimits{4096, 16384, 4096};

// The bytes of a reply received so far. A reply is read afresh from its
// first byte each time more of it arrives; running out before the peer has
// closed means "not all here yet", not the end of the reply.
struct NeedMore {};

class ReceivedBytes : public http::ByteSource {
 public:
  ReceivedBytes(std::string_view bytes, bool closed) : bytes_(bytes), closed_(closed) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    if (at_ == bytes_.size()) {
      if (closed_) return 0;
      throw NeedMore{};
    }
    const std::size_t n = std::min(size, bytes_.size() - at_);
    std::memcpy(buffer, bytes_.data() + at_, n);
    at_ += n;
    return n;
  }

 private:
  std::string_view bytes_;
  bool closed_;
  std::size_t at_ = 0;
};

enum class Stage {
  JudgeConnect,
  JudgeRequest,
  JudgeReply,
  TunnelConnect,
  TunnelRequest,  // CONNECT
  TunnelReply,
  ProofRequest,  // the GET through the tunnel
  ProofReply,
};

bool WaitsToWrite(Stage stage) {
  return stage == Stage::JudgeConnect || stage == Stage::JudgeRequest ||
         stage == Stage::TunnelConnect || stage == Stage::TunnelRequest ||
         stage == Stage::ProofRequest;
}

std::string NewNonce() {
  static constexpr char kHex[] = "0123456789abcdef";
  thread_local std::mt19937_64 random{std::random_device{}()};
  std::string nonce;
  for (std::uint64_t bits = random(); nonce.size() < 16; bits >>= 4) nonce += kHex[bits & 0xF];
  return nonce;
}

struct Probe {
  ProbeJob job;
  std::int64_t started = 0;
  std::int64_t deadline = 0;
  Stage stage = Stage::JudgeConnect;
  http::TcpSocket socket;
  std::string out;
  std::size_t sent = 0;
  std::string in;
  bool peerClosed = false;
  std::string nonce;
  ProbeOutcome outcome;
  bool finished = false;
};

// The requests and the steps of every probe of one run.
class Steps {
 public:
  Steps(const ServiceUrls& urls, const ProbeSettings& settings, const MillisecondClock& answerClock)
      : settings_(settings),
        answerClock_(answerClock),
        judgeUrl_(http::ParseUrl(urls.judge, 80)),
        tunnelUrl_(http::ParseUrl(urls.tunnel, 80)) {}

  void Connect(Probe& probe, Stage stage) {
    probe.socket.Close();
    probe.stage = stage;
    probe.deadline = SteadyMilliseconds() + settings_.timeoutMs;
    std::uint32_t address = 0;
    if (!http::ResolveIpv4(probe.job.proxy.host, &address).Ok() ||
        !probe.socket
             .StartConnect(address, static_cast<std::uint16_t>(probe.job.proxy.port))
             .Ok()) {
      End(probe);
    }
  }

  // The socket is ready for what the probe's stage waits for.
  void Advance(Probe& probe) {
    switch (probe.stage) {
      case Stage::JudgeConnect:
      case Stage::TunnelConnect:
        if (!probe.socket.ConnectOutcome().Ok()) return End(probe);
        if (probe.stage == Stage::JudgeConnect) {
          probe.outcome.reached = true;
          return Send(probe, Stage::JudgeRequest, JudgeRequest(probe));
        }
        probe.nonce = NewNonce();
        return Send(probe, Stage::TunnelRequest, ConnectRequest());
      case Stage::JudgeRequest:
      case Stage::TunnelRequest:
      case Stage::ProofRequest:
        return Flush(probe);
      case Stage::JudgeReply:
      case Stage::TunnelReply:
      case Stage::ProofReply:
        if (!Receive(probe)) return End(probe);
        return Read(probe);
    }
  }

  // The stage failed or ran out of time: a judge that did not answer leaves
  // no level; a tunnel that did not carry leaves tunnels false.
  void End(Probe& probe) {
    probe.socket.Close();
    probe.finished = true;
    probe.outcome.tookMs = answerClock_() - probe.started;
  }

 private:
  std::string JudgeRequest(const Probe& probe) const {
    http::ClientSettings through;
    through.proxyServer = probe.job.proxy.host;
    through.proxyPort = probe.job.proxy.port;
    return http::WriteRequestHead("GET", judgeUrl_, through, through.protocolVersion,
                                  through.contentLength, "");
  }

  std::string ConnectRequest() const {
    const std::string target = tunnelUrl_.host + ":" + std::to_string(tunnelUrl_.port);
    return "CONNECT " + target + " HTTP/1.1\r\nHost: " + target +
           "\r\nUser-Agent: " + http::ClientSettings{}.userAgent + "\r\n\r\n";
  }

  std::string ProofRequest(const Probe& probe) const {
    http::Url url = tunnelUrl_;
    url.query = "?nonce=" + probe.nonce;
    http::ClientSettings direct;
    direct.connection = "close";
    return http::WriteRequestHead("GET", url, direct, "1.1", -1, "");
  }

  void Send(Probe& probe, Stage stage, std::string request) {
    probe.stage = stage;
    probe.out = std::move(request);
    probe.sent = 0;
    Flush(probe);
  }

  void Flush(Probe& probe) {
    while (probe.sent < probe.out.size()) {
      http::SocketStatus status;
      const long n =
          probe.socket.Send(probe.out.data() + probe.sent, probe.out.size() - probe.sent, &status);
      if (n > 0) {
        probe.sent += static_cast<std::size_t>(n);
      } else if (!status.Ok()) {
        return End(probe);
      } else {
        return;  // the socket's buffer is full: on when it has room
      }
    }
    probe.in.clear();
    probe.peerClosed = false;
    probe.stage = probe.stage == Stage::JudgeRequest    ? Stage::JudgeReply
                  : probe.stage == Stage::TunnelRequest ? Stage::TunnelReply
                                                        : Stage::ProofReply;
  }

  // Takes what has arrived; false when the connection failed.
  static bool Receive(Probe& probe) {
    char buffer[kReceiveChunk];
    for (;;) {
      http::SocketStatus status;
      const long n = probe.socket.Receive(buffer, sizeof buffer, &status);
      if (n > 0) {
        probe.in.append(buffer, static_cast<std::size_t>(n));
        // Past every limit the reader would stop at: it is no probe's reply.
        if (probe.in.size() > kProbeLimits.maxHeaderBytes + kProbeLimits.maxBodyBytes) {
          return false;
        }
        continue;
      }
      if (n == 0) {
        probe.peerClosed = true;
        return true;
      }
      return status.Ok();
    }
  }

  void Read(Probe& probe) {
    ReceivedBytes source(probe.in, probe.peerClosed);
    http::ReplyReader reader(source, kProbeLimits);
    try {
      const http::ReplyHead head = reader.ReadHead();
      if (head.status < 200 || head.status > 299) return End(probe);
      switch (probe.stage) {
        case Stage::JudgeReply: {
          probe.outcome.level = ReadJudgeLevel(reader.ReadBody(head, false));
          probe.outcome.answerMs = answerClock_() - probe.started;
          const auto level = probe.outcome.level;
          if (level && (!settings_.tunnelWhen || settings_.tunnelWhen(*level))) {
            return Connect(probe, Stage::TunnelConnect);
          }
          return End(probe);
        }
        case Stage::TunnelReply:
          // The far end speaks only once asked: anything already here came
          // from the proxy, which then answered before it had connected, if
          // at all.
          if (reader.HasUnreadInput()) return End(probe);
          return Send(probe, Stage::ProofRequest, ProofRequest(probe));
        case Stage::ProofReply:
          probe.outcome.tunnels = text::TrimBlanksAndControls(reader.ReadBody(head, false)) ==
                                  TunnelProof(probe.nonce);
          return End(probe);
        default:
          return;
      }
    } catch (const NeedMore&) {
      // On when more of it arrives.
    } catch (const http::HttpError&) {
      End(probe);  // malformed, too long, or closed before its end
    }
  }

  const ProbeSettings& settings_;
  const MillisecondClock& answerClock_;
  http::Url judgeUrl_;
  http::Url tunnelUrl_;
};

}  // namespace

ProbeRunner::ProbeRunner(ServiceUrls urls, ProbeSettings settings)
    : urls_(std::move(urls)), settings_(std::move(settings)) {
  settings_.inFlight = std::clamp<std::size_t>(settings_.inFlight, 1, http::kMaxWaitedSockets);
  settings_.timeoutMs = std::max(settings_.timeoutMs, 1);
}

bool ProbeRunner::Run(const Next& next, const Done& done, const std::function<bool()>& stop,
                      const Dropped& dropped) {
  const MillisecondClock answerClock =
      settings_.answerClock ? settings_.answerClock : SteadyMilliseconds;
  Steps steps(urls_, settings_, answerClock);
  std::vector<std::unique_ptr<Probe>> flying;
  std::vector<http::SocketWait> waits;
  peak_ = 0;

  for (;;) {
    if (stop && stop()) {
      for (const auto& probe : flying) {
        probe->socket.Close();
        if (dropped) dropped(probe->job);
      }
      return false;
    }
    // Asked again after every wait: jobs may come while others are in flight.
    while (flying.size() < settings_.inFlight) {
      auto probe = std::make_unique<Probe>();
      probe->started = answerClock();
      std::optional<ProbeJob> job = next();
      if (!job) break;
      probe->job = std::move(*job);
      steps.Connect(*probe, Stage::JudgeConnect);
      if (probe->finished) {
        done(probe->job, probe->outcome);  // refused at once
      } else {
        flying.push_back(std::move(probe));
      }
    }
    peak_ = std::max(peak_, flying.size());
    if (flying.empty()) return true;

    std::int64_t now = SteadyMilliseconds();
    std::int64_t nearest = flying.front()->deadline;
    waits.clear();
    for (const auto& probe : flying) {
      nearest = std::min(nearest, probe->deadline);
      waits.push_back({&probe->socket, WaitsToWrite(probe->stage), false});
    }
    std::int64_t waitMs = std::max<std::int64_t>(nearest - now, 0);
    if (stop) waitMs = std::min<std::int64_t>(waitMs, kStopSliceMs);
    http::SocketStatus status;
    const http::WaitResult waited =
        http::WaitForAny(waits.data(), waits.size(), static_cast<int>(waitMs), &status);
    for (std::size_t i = 0; i < flying.size(); ++i) {
      // A wait that failed as a whole leaves no probe anything to go on with.
      if (waited == http::WaitResult::kFailed) {
        steps.End(*flying[i]);
      } else if (waits[i].ready) {
        steps.Advance(*flying[i]);
      }
    }
    now = SteadyMilliseconds();
    for (const auto& probe : flying) {
      if (!probe->finished && now >= probe->deadline) steps.End(*probe);
    }
    std::erase_if(flying, [&](const std::unique_ptr<Probe>& probe) {
      if (!probe->finished) return false;
      done(probe->job, probe->outcome);
      return true;
    });
  }
}

std::optional<ProbeOutcome> ProbeProxy(const ProxyAddress& proxy, const ServiceUrls& urls,
                                       const ProbeSettings& settings,
                                       const std::function<bool()>& stop) {
  ProbeSettings one = settings;
  one.inFlight = 1;
  ProbeRunner runner(urls, std::move(one));
  bool handedOut = false;
  std::optional<ProbeOutcome> outcome;
  runner.Run(
      [&]() -> std::optional<ProbeJob> {
        if (std::exchange(handedOut, true)) return std::nullopt;
        return ProbeJob{0, proxy};
      },
      [&](const ProbeJob&, const ProbeOutcome& found) { outcome = found; }, stop);
  return outcome;
}

}  // namespace cloakwise::judge
