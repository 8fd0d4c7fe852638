// The custom proxy list's check as a program:
//
//   cloakwise-check [--judge URL] [--tunnel URL] [--parallel N]
//                   [--format table|csv|json] FILE
//
// FILE holds one proxy a line, read as the paste window reads what is pasted
// into it (whatever follows the first blank is ignored, lines it would refuse
// are skipped), or is an options.ini, whose [Proxy list] section is checked
// as the program loads it. Up to N probes at once (the program's 400 unless
// told; --workers N is the same, its older name) check the entries through
// the judge and the tunnel exactly as the program does, the rows are
// sorted as the grid sorts them, and the grid's texts are printed in that
// order, with whether each proxy tunnels (carries HTTPS): yes, no, or - where
// the judge got no answer and the tunnel was not tried. The tunnel URL is the
// judge's host on port 443 unless --tunnel names another.
//
// Exit status: 0 when the check ran, 1 when it broke off, 2 for a bad option
// or a file that cannot be read.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "checker/custom_proxy_list.h"
#include "checker/list_check.h"
#include "core/settings_store.h"
#include "core/text.h"
#include "http/errors.h"
#include "http/url.h"
#include "judge/judge.h"
#include "platform/posix/files_posix.h"

namespace {

using namespace cloakwise;
using checker::CellText;
using checker::ProxyRow;

constexpr char kUsage[] =
    "usage: cloakwise-check [--judge URL] [--tunnel URL] [--parallel N]\n"
    "                       [--format table|csv|json] FILE\n";

struct Options {
  judge::ServiceUrls urls = judge::MakeServiceUrls(judge::kDefaultServiceHost);
  bool tunnelGiven = false;
  int parallel = checker::kDefaultParallelChecks;
  bool parallelGiven = false;
  std::string format = "table";
  std::string file;
};

int Usage(const std::string& problem) {
  std::cerr << "cloakwise-check: " << problem << "\n" << kUsage;
  return 2;
}

bool ParseParallel(const std::string& text, int& parallel) {
  if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != text.npos)
    return false;
  parallel = std::stoi(text);
  return parallel >= 1 && parallel <= checker::kMaxParallelChecks;
}

// An options.ini has section headers; a list of proxies never does.
bool LooksLikeSettingsFile(std::string_view content) {
  std::size_t start = 0;
  while (start <= content.size()) {
    std::size_t end = content.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = content.size();
    const std::string_view line = text::TrimBlanksAndControls(content.substr(start, end - start));
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') return true;
    start = end + 1;
  }
  return false;
}

std::size_t CountNonBlankLines(std::string_view content) {
  std::size_t count = 0, start = 0;
  while (start < content.size()) {
    std::size_t end = content.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = content.size();
    if (!text::TrimBlanksAndControls(content.substr(start, end - start)).empty()) ++count;
    start = end + 1;
  }
  return count;
}

// The file's 8-bit text read as Latin-1, so the output is valid JSON
// whatever bytes a hand-edited file holds.
std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const unsigned char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c >= 0x80) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

// Whether the row's proxy tunnels: what its state says of it.
std::string Tunnel(const ProxyRow& row) {
  if (row.state == checker::RowState::Working) return "yes";
  if (row.state == checker::RowState::HttpOnly) return "no";
  return "-";
}

void PrintJson(const std::vector<ProxyRow>& rows) {
  std::string out = "[";
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const ProxyRow& r = rows[i];
    const std::string tunnel = Tunnel(r);
    out += (i ? ",\n  " : "\n  ");
    out += "{\"proxy\":" + JsonString(r.proxy) +
           ",\"type\":" + JsonString(CellText(r, checker::kTypeColumn)) +
           ",\"status\":" + JsonString(CellText(r, checker::kStatusColumn)) +
           ",\"ping\":" + JsonString(CellText(r, checker::kPingColumn)) +
           ",\"tunnel\":" +
           (tunnel == "yes"  ? "true"
            : tunnel == "no" ? "false"
                             : "null") +
           "}";
  }
  out += rows.empty() ? "]\n" : "\n]\n";
  std::fputs(out.c_str(), stdout);
}

void PrintCsv(const std::vector<ProxyRow>& rows) {
  std::string out = "proxy,type,status,ping,tunnel\n";
  for (const ProxyRow& r : rows) {
    for (int column = 0; column < checker::kColumnCount; ++column) {
      out += CsvField(CellText(r, column)) + ",";
    }
    out += Tunnel(r) + "\n";
  }
  std::fputs(out.c_str(), stdout);
}

void PrintTable(const checker::CustomProxyList& list, const std::vector<ProxyRow>& rows) {
  std::vector<std::vector<std::string>> lines;
  lines.push_back({list.Header(0), list.Header(1), list.Header(2), list.Header(3), "Tunnel"});
  for (const ProxyRow& r : rows) {
    lines.push_back({});
    for (int column = 0; column < checker::kColumnCount; ++column) {
      lines.back().push_back(CellText(r, column));
    }
    lines.back().push_back(Tunnel(r));
  }
  std::size_t width[4] = {0, 0, 0, 0};
  for (const auto& line : lines) {
    for (int c = 0; c < 4; ++c) width[c] = std::max(width[c], line[c].size());
  }
  std::string out;
  for (const auto& line : lines) {
    for (int c = 0; c < 4; ++c) out += line[c] + std::string(width[c] - line[c].size() + 2, ' ');
    out += line[4] + "\n";
  }
  std::fputs(out.c_str(), stdout);
}

// Rows that have their result, for the progress line.
std::size_t CountDone(const std::vector<ProxyRow>& rows) {
  std::size_t done = 0;
  for (const ProxyRow& r : rows) {
    done += checker::HasResult(r.state);
  }
  return done;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      std::cout << kUsage;
      return 0;
    }
    if (arg.starts_with("--")) {
      if (i + 1 >= argc) return Usage("missing value after " + arg);
      const std::string value = argv[++i];
      if (arg == "--judge") {
        options.urls.judge = value;
      } else if (arg == "--tunnel") {
        options.urls.tunnel = value;
        options.tunnelGiven = true;
      } else if (arg == "--parallel" || arg == "--workers") {
        if (!ParseParallel(value, options.parallel))
          return Usage(arg + " takes a whole number from 1 to " +
                       std::to_string(checker::kMaxParallelChecks));
        options.parallelGiven = true;
      } else if (arg == "--format") {
        if (value != "table" && value != "csv" && value != "json")
          return Usage("--format takes table, csv or json");
        options.format = value;
      } else {
        return Usage("unknown option " + arg);
      }
    } else if (options.file.empty()) {
      options.file = arg;
    } else {
      return Usage("more than one FILE");
    }
  }
  if (options.file.empty()) return Usage("no FILE given");
  try {
    const http::Url judge = http::ParseUrl(options.urls.judge, 80);
    if (!options.tunnelGiven) {
      options.urls.tunnel = judge::MakeServiceUrls(judge.host).tunnel;
    }
  } catch (const http::HttpError& e) {
    return Usage("--judge: " + std::string(e.what()));
  }
  try {
    http::ParseUrl(options.urls.tunnel, 80);
  } catch (const http::HttpError& e) {
    return Usage("--tunnel: " + std::string(e.what()));
  }

  platform::PosixFileSystem files;
  const auto content = files.ReadFile(options.file);
  if (!content) {
    std::cerr << "cloakwise-check: cannot read " << options.file << ": " << std::strerror(errno)
              << "\n";
    return 2;
  }

  checker::CustomProxyList list;
  if (LooksLikeSettingsFile(*content)) {
    const SettingsStore settings(files, options.file);
    list.Load(settings);
    if (!options.parallelGiven) options.parallel = checker::ReadParallelChecks(settings);
  } else {
    const std::size_t lines = CountNonBlankLines(*content);
    const std::size_t added = list.AddPastedLines(*content).added;
    if (added < lines) {
      std::cerr << "cloakwise-check: " << lines - added << " of " << lines
                << " lines skipped (not host:port, or listed twice)\n";
    }
  }

  std::atomic<bool> running{false};
  std::string failure;
  if (list.ResetForCheck()) {
    running = true;
    std::thread check([&] {
      try {
        checker::RunListCheck(list, options.urls, static_cast<std::size_t>(options.parallel));
      } catch (const std::exception& e) {
        failure = e.what();
      }
      running = false;
    });
    if (isatty(STDERR_FILENO)) {
      const std::size_t total = list.RowCount();
      while (running) {
        std::fprintf(stderr, "\rchecked %zu of %zu", CountDone(list.Rows()), total);
        std::fflush(stderr);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
      }
      std::fprintf(stderr, "\rchecked %zu of %zu\n", CountDone(list.Rows()), total);
    }
    check.join();
  }
  if (!failure.empty()) {
    std::cerr << "cloakwise-check: the check broke off: " << failure << "\n";
    return 1;
  }

  checker::SortByPing(list);
  const std::vector<ProxyRow> rows = list.IsEmpty() ? std::vector<ProxyRow>{} : list.Rows();
  if (options.format == "json") {
    PrintJson(rows);
  } else if (options.format == "csv") {
    PrintCsv(rows);
  } else {
    PrintTable(list, rows);
  }
  return 0;
}
