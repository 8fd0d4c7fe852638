#include "service/reference_service.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <sys/socket.h>

#include <chrono>
#include <ctime>
#include <stdexcept>

#include "judge/judge.h"
#include "service/judge.h"
#include "service/pool_status.h"

namespace cloakwise::service {
namespace {

// What the handler of the current request wants in its log line; the logger
// runs on the same thread right after the handler.
thread_local std::string requestNote;

constexpr const char* kGarbage = "<html><body>Service temporarily unavailable</body></html>";

// Keeps a log line on one line whatever a client put in its request.
std::string Printable(const std::string& text, std::size_t limit = 200) {
  std::string out;
  for (const unsigned char c : text.substr(0, limit)) {
    out += c >= 32 && c < 127 ? static_cast<char>(c) : '?';
  }
  if (text.size() > limit) out += "...";
  return out;
}

std::string SessionCookie(const httplib::Request& request) {
  const std::string cookies = request.get_header_value("Cookie");
  const std::string name = "cwsession=";
  std::size_t at = 0;
  while ((at = cookies.find(name, at)) != std::string::npos) {
    if (at == 0 || cookies[at - 1] == ' ' || cookies[at - 1] == ';') {
      const auto start = at + name.size();
      return cookies.substr(start, cookies.find(';', start) - start);
    }
    at += name.size();
  }
  return "";
}

// httplib adds the connection's addresses to the headers; the judge looks at
// what came over the wire only.
HeaderList WireHeaders(const httplib::Request& request) {
  HeaderList headers;
  for (const auto& [name, value] : request.headers) {
    if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
        name == "LOCAL_PORT") {
      continue;
    }
    headers.emplace_back(name, value);
  }
  return headers;
}

}  // namespace

std::string LogTimestamp() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm parts{};
  gmtime_r(&seconds, &parts);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", parts.tm_year + 1900,
                parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
                static_cast<int>(ms));
  return text;
}

bool IsLoopbackAddress(const std::string& address) {
  in_addr v4{};
  return inet_pton(AF_INET, address.c_str(), &v4) == 1 && (ntohl(v4.s_addr) >> 24) == 127;
}

ReferenceService::ReferenceService(ServiceOptions options)
    : options_(std::move(options)), desk_(options_.pool, options_.filler) {
  if (!IsLoopbackAddress(options_.bindAddress)) {
    throw std::runtime_error("the service listens on 127.0.0.0/8 only, not " +
                             options_.bindAddress);
  }
  if (options_.batches) desk_.SupplyBatchesFrom(options_.batches);
  if (options_.rateLimit.burst > 0) desk_.LimitRate(options_.rateLimit);
  std::vector<std::uint16_t> wanted = options_.ports;
  wanted.push_back(options_.tunnelPort);
  for (const std::uint16_t want : wanted) {
    auto server = std::make_unique<httplib::Server>();
    // A judge meets hundreds of probes at once when a long list is checked.
    // The library listens with a queue of five, built into it: connects
    // beyond that lose their SYN and come a second later. Listening again
    // on the same socket only makes the queue longer.
    int listening = -1;
    server->set_socket_options([&listening](int sock) {
      httplib::default_socket_options(sock);
      listening = sock;
    });
    server->new_task_queue = [] { return new httplib::ThreadPool(256); };
    const int port = want == 0 ? server->bind_to_any_port(options_.bindAddress)
                               : (server->bind_to_port(options_.bindAddress, want) ? want : -1);
    if (port <= 0) {
      Stop();
      throw std::runtime_error("cannot listen on " + options_.bindAddress + ":" +
                               std::to_string(want));
    }
    if (listening >= 0) ::listen(listening, 1024);
    Install(*server, static_cast<std::uint16_t>(port));
    ports_.push_back(static_cast<std::uint16_t>(port));
    servers_.push_back(std::move(server));
  }
  tunnelPort_ = ports_.back();
  ports_.pop_back();
  for (auto& server : servers_) {
    threads_.emplace_back([s = server.get()] { s->listen_after_bind(); });
  }
  // A stop that comes before a server's loop has begun is lost, and the loop
  // then never ends: only hand the service out once every loop runs.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (auto& server : servers_) {
    while (!server->is_running() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
}

ReferenceService::~ReferenceService() {
  Stop();
}

void ReferenceService::Stop() {
  for (auto& server : servers_) server->stop();
  for (auto& thread : threads_) thread.join();
  threads_.clear();
}

std::string ReferenceService::OptionsIniSection() const {
  return "[Service]\r\nHost=" + options_.bindAddress + ":" + std::to_string(ports_.at(0)) +
         "\r\nTunnelPort=" + std::to_string(tunnelPort_) + "\r\n";
}

std::string ReferenceService::BaseUrl(std::size_t index) const {
  return "http://" + options_.bindAddress + ":" + std::to_string(ports_.at(index));
}

void ReferenceService::Install(httplib::Server& server, std::uint16_t port) {
  server.set_payload_max_length(64 * 1024);
  server.set_keep_alive_timeout(2);
  server.set_read_timeout(5);
  server.set_write_timeout(5);

  auto listService = [this](const httplib::Request& request, httplib::Response& response) {
    const DeskReply reply = desk_.Answer(request.get_param_value("posttxt"), request.remote_addr,
                                         SessionCookie(request));
    requestNote = "step " + std::to_string(reply.step) + ": " + reply.logNote;
    if (!reply.session.empty()) {
      response.set_header("Set-Cookie", "cwsession=" + reply.session + "; path=/");
    }
    if (reply.step == options_.garbleStep) {
      requestNote += " [garbled]";
      response.set_content(kGarbage, "text/html");
    } else if (reply.step == options_.dropStep ||
               (options_.dropIf && options_.dropIf(reply.step))) {
      requestNote += " [dropped]";
      // The head goes out, then the connection ends before the first chunk:
      // a body of known length cut short would still count as a body.
      response.set_chunked_content_provider("text/html",
                                            [](std::size_t, httplib::DataSink&) { return false; });
    } else {
      response.set_content(reply.body, "text/html");
    }
  };
  server.Post("/proxy.php", listService);
  server.Get("/proxy.php", [](const httplib::Request&, httplib::Response& response) {
    requestNote = "not a form post";
    response.status = 405;
    response.set_content("POST only", "text/plain");
  });

  auto judge = [](const httplib::Request& request, httplib::Response& response) {
    const Verdict verdict = JudgeHeaders(WireHeaders(request));
    const std::string digit = std::to_string(static_cast<int>(verdict));
    std::string seen;
    for (const auto& [name, value] : WireHeaders(request)) {
      seen += (seen.empty() ? "" : " | ") + name + ": " + value;
    }
    requestNote = "verdict " + digit + " headers {" + seen + "}";
    response.set_header("Cache-Control", "no-store");
    response.set_content(digit, "text/html");
  };
  server.Get("/feedback.php", judge);
  server.Post("/feedback.php", judge);

  // What a tunnel through a proxy reaches: any port of the service answers,
  // so a test names one of them as the tunnel port.
  server.Get(cloakwise::judge::kTunnelPage,
             [](const httplib::Request& request, httplib::Response& response) {
               const std::string nonce = request.get_param_value("nonce");
               response.set_header("Cache-Control", "no-store");
               if (!cloakwise::judge::IsTunnelNonce(nonce)) {
                 requestNote = "tunnel: no nonce";
                 response.status = 400;
                 response.set_content("bad nonce", "text/plain");
                 return;
               }
               requestNote = "tunnel " + nonce;
               response.set_content(cloakwise::judge::TunnelProof(nonce), "text/plain");
             });

  server.Get("/status", [this](const httplib::Request& request, httplib::Response& response) {
    const bool json = request.get_param_value("format") == "json";
    requestNote = "status";
    response.set_header("Cache-Control", "no-store");
    response.set_content(
        options_.status ? options_.status(json) : StaticStatus(options_.pool.size(), json),
        json ? "application/json" : "text/plain");
  });

  server.set_exception_handler(
      [](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
        requestNote = "internal error";
        response.status = 500;
        response.set_content("internal error", "text/plain");
      });
  server.set_logger(
      [this, port](const httplib::Request& request, const httplib::Response& response) {
        if (options_.log) {
          options_.log(LogTimestamp() + " :" + std::to_string(port) + " " + request.remote_addr +
                       ":" + std::to_string(request.remote_port) + " " + Printable(request.method) +
                       " " + Printable(request.path) + " " + std::to_string(response.status) + " " +
                       Printable(requestNote, 2000));
        }
        requestNote.clear();
      });
}

}  // namespace cloakwise::service
