// WebRTC of the Chromium browsers kept to the proxy: the Preferences file
// changed in its one value and given back byte for byte, policies obeyed and
// never written, running browsers left alone until they end.
#include "browserproxy/chromium_webrtc.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "browserproxy/chromium_prefs.h"
#include "browserproxy/system_proxy.h"
#include "fakes/fake_files.h"
#include "fakes/fake_registry.h"
#include "fakes/fake_shell.h"

namespace cloakwise {
namespace {

using platform::RegistryRoot;
using Json = nlohmann::json;

const std::string kKept(chromiumprefs::kKeptToProxy);

std::string Nested(int depth, const std::string& inside) {
  std::string text = inside;
  for (int i = 0; i < depth; ++i) text = "{\"d\":" + text + "}";
  return text;
}

// The file as the browser reads it, without the one value the program sets.
Json WithoutPolicy(const std::string& text) {
  Json doc = Json::parse(text);
  if (doc.contains("webrtc")) doc["webrtc"].erase("ip_handling_policy");
  if (doc.contains("webrtc") && doc["webrtc"].empty()) doc.erase("webrtc");
  return doc;
}

TEST(ChromiumPrefs, KeptToProxyAndBackByteForByte) {
  const std::string large = "{\"big\":[" + [] {
    std::string items;
    for (int i = 0; i < 50000; ++i) items += (i ? ",\"" : "\"") + std::to_string(i) + "\"";
    return items;
  }() + "],\"z\":1.5e300}";
  const struct {
    const char* what;
    std::string file;
  } cases[] = {
      {"the browser's own, no webrtc", R"({"browser":{"x":1},"profile":{"name":"Person 1"}})"},
      {"an empty object", "{}"},
      {"webrtc with another key", R"({"a":true,"webrtc":{"multiple_routes_enabled":false}})"},
      {"an empty webrtc", R"({"webrtc":{}})"},
      {"the user's own policy", R"({"webrtc":{"ip_handling_policy":"default_public_interface_only"}})"},
      {"the user's policy among others, odd spacing",
       "{ \"webrtc\" : { \"x\" : 1 , \"ip_handling_policy\" : \"default\" , \"y\":[ ] } }"},
      {"pretty, with unicode and escapes",
       "{\n   \"a\": \"caf\xC3\xA9 \\u00e9 \xF0\x9F\xA6\x8A \\\"q\\\"\",\n   \"webrtc\": {\n      "
       "\"ip_handling_policy\": \"default\"\n   }\n}\n"},
      {"a byte-order mark", "\xEF\xBB\xBF{\"a\":1}"},
      {"a number where the policy goes", R"({"webrtc":{"ip_handling_policy":7}})"},
      {"a key twice: the last counts", R"({"webrtc":{"ip_handling_policy":"a","ip_handling_policy":"b"}})"},
      {"deep nesting elsewhere", "{\"deep\":" + Nested(190, "[]") + ",\"webrtc\":{\"k\":0}}"},
      {"large", large},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto before = chromiumprefs::Read(c.file);
    ASSERT_TRUE(before);
    const auto kept = chromiumprefs::WithPolicy(c.file, kKept, false);
    ASSERT_TRUE(kept);
    const auto now = chromiumprefs::Read(*kept);
    ASSERT_TRUE(now);
    EXPECT_TRUE(now->keptToProxy);
    EXPECT_EQ(WithoutPolicy(*kept), WithoutPolicy(c.file)) << "every other key as it was";
    EXPECT_EQ(chromiumprefs::WithPolicy(*kept, before->value, !before->webRtcObject), c.file);
  }
}

TEST(ChromiumPrefs, AFileTheBrowserWouldNotReadIsLeftAlone) {
  for (const std::string& file :
       {std::string(), std::string("{\"a\":"), std::string("[1,2]"), std::string("\"text\""),
        std::string(R"({"webrtc":"off"})"), std::string("{\"a\":\"\xFF\"}"),
        std::string("{\"a\":1} trailing"), "{\"deep\":" + Nested(200, "1") + "}"}) {
    SCOPED_TRACE(file.substr(0, 40));
    EXPECT_FALSE(chromiumprefs::Read(file));
    EXPECT_FALSE(chromiumprefs::WithPolicy(file, kKept, false));
  }
}

// A user's machine: the browsers' folders, the registry, the program.
struct Machine {
  void Profile(const std::string& userData, const std::string& name, const std::string& prefs) {
    files.folders[userData].push_back(platform::DirectoryEntry{name, true});
    files.files[userData + name + "\\Preferences"] = prefs;
  }
  std::string& Prefs(const std::string& userData, const std::string& name) {
    return files.files[userData + name + "\\Preferences"];
  }
  void Running(const std::string& userData, bool running) {
    if (running) {
      files.held.insert(userData + "lockfile");
    } else {
      files.held.erase(userData + "lockfile");
    }
  }
  bool ProgramKeyLeft() const { return registry.KeyExists(RegistryRoot::CurrentUser, kProgramKey); }

  fakes::FakeFileSystem files;
  fakes::FakeShell shell;
  fakes::FakeRegistry registry;
  ChromiumWebRtc chromium{files, shell, registry};
};
constexpr char kChrome[] = "C:\\Users\\u\\AppData\\Local\\Google\\Chrome\\User Data\\";
constexpr char kEdge[] = "C:\\Users\\u\\AppData\\Local\\Microsoft\\Edge\\User Data\\";

TEST(ChromiumWebRtc, EachProfileIsKeptToTheProxyAndGetsItsOwnBack) {
  const std::string policyKey = "Software\\Policies\\Google\\Chrome";
  const struct {
    const char* what;
    std::string prefs;
    std::optional<std::pair<RegistryRoot, std::string>> policy;
    bool written;  // the program changes the file
    bool kept;     // WebRTC goes through the proxy while in use
  } cases[] = {
      {"never set", R"({"profile":{"name":"A"}})", std::nullopt, true, true},
      {"set by the user", R"({"webrtc":{"ip_handling_policy":"default"}})", std::nullopt, true,
       true},
      {"kept already by the user", R"({"webrtc":{"ip_handling_policy":"disable_non_proxied_udp"}})",
       std::nullopt, false, true},
      {"a machine policy lets it around", "{}", std::pair{RegistryRoot::LocalMachine, "default"},
       false, false},
      {"a user policy keeps it", "{}",
       std::pair{RegistryRoot::CurrentUser, "disable_non_proxied_udp"}, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Machine m;
    auto& [files, shell, registry, chromium] = m;
    m.Profile(kChrome, "Default", c.prefs);
    m.Profile(kChrome, "Profile 3", R"({"other":"profile"})");
    if (c.policy) registry.AddValue(c.policy->first, policyKey, "WebRtcIPHandlingPolicy", c.policy->second);

    const auto report = chromium.Install();
    EXPECT_EQ(report.allKept, c.kept);
    EXPECT_EQ(report.ruledByPolicy.empty(), c.kept);
    EXPECT_EQ(m.Prefs(kChrome, "Default") != c.prefs, c.written);
    EXPECT_EQ(chromium.Install().allKept, c.kept) << "twice";
    if (c.policy) {
      EXPECT_EQ(m.Prefs(kChrome, "Profile 3"), R"({"other":"profile"})") << "a policy rules";
    }

    // A run killed here: the next one finds what to put back.
    ChromiumWebRtc next(files, shell, registry);
    EXPECT_FALSE(next.Restore());
    EXPECT_EQ(m.Prefs(kChrome, "Default"), c.prefs);
    EXPECT_EQ(m.Prefs(kChrome, "Profile 3"), R"({"other":"profile"})");
    EXPECT_FALSE(m.ProgramKeyLeft());
    EXPECT_EQ(registry.Value(c.policy ? c.policy->first : RegistryRoot::CurrentUser, policyKey,
                             "WebRtcIPHandlingPolicy"),
              c.policy ? std::optional<fakes::FakeRegistry::Data>(c.policy->second) : std::nullopt)
        << "policies are never written";
  }
}

TEST(ChromiumWebRtc, ARunningBrowserIsLeftAloneAndHasItsOwnBackOnceItEnds) {
  Machine m;
  auto& chromium = m.chromium;
  const std::string own = R"({"webrtc":{"ip_handling_policy":"default"}})";
  m.Profile(kChrome, "Default", own);
  m.Profile(kEdge, "Default", "{}");
  m.Running(kChrome, true);

  auto report = chromium.Install();
  EXPECT_FALSE(report.allKept);
  EXPECT_EQ(report.running, std::vector<std::string>{"Chrome"});
  EXPECT_EQ(m.Prefs(kChrome, "Default"), own) << "it would write its own over it as it ends";
  EXPECT_TRUE(chromiumprefs::Read(m.Prefs(kEdge, "Default"))->keptToProxy);

  // Chrome ends, and starts again on what the program wrote.
  m.Running(kChrome, false);
  EXPECT_TRUE(chromium.Install().allKept);
  m.Running(kChrome, true);
  EXPECT_TRUE(chromium.Restore()) << "Chrome's profile waits";
  EXPECT_TRUE(chromium.Installed());
  EXPECT_EQ(m.Prefs(kEdge, "Default"), "{}");
  EXPECT_TRUE(chromiumprefs::Read(m.Prefs(kChrome, "Default"))->keptToProxy);

  // As it ends it writes back what it held, and more of its own.
  m.Prefs(kChrome, "Default") = R"({"session":1,"webrtc":{"ip_handling_policy":"disable_non_proxied_udp"}})";
  m.Running(kChrome, false);
  EXPECT_FALSE(chromium.Restore());
  EXPECT_EQ(m.Prefs(kChrome, "Default"), R"({"session":1,"webrtc":{"ip_handling_policy":"default"}})");
  EXPECT_FALSE(chromium.Installed());
  EXPECT_FALSE(m.ProgramKeyLeft());
}

TEST(ChromiumWebRtc, WhatTheUserSetMeanwhileStaysAndABrokenFileIsLeftAndSaid) {
  Machine m;
  auto& chromium = m.chromium;
  m.Profile(kChrome, "Default", "{}");
  m.Profile(kChrome, "Profile 1", "{\"broken\":");
  const auto report = chromium.Install();
  EXPECT_EQ(report.unusable, std::vector<std::string>{std::string(kChrome) + "Profile 1\\Preferences"});
  EXPECT_EQ(m.Prefs(kChrome, "Profile 1"), "{\"broken\":");

  m.Prefs(kChrome, "Default") = R"({"webrtc":{"ip_handling_policy":"default_public_interface_only"}})";
  chromium.Restore();
  EXPECT_EQ(m.Prefs(kChrome, "Default"), R"({"webrtc":{"ip_handling_policy":"default_public_interface_only"}})");
  EXPECT_FALSE(m.ProgramKeyLeft());

  // A record changed by hand is read as far as it makes sense, and goes.
  for (const char* record : {"[1]", "{\"a\":5}", "{\"a\":{\"userData\":7,\"before\":[]}}", "{"}) {
    SCOPED_TRACE(record);
    m.registry.AddValue(RegistryRoot::CurrentUser, kProgramKey, kSavedChromiumValue,
                        std::string(record));
    EXPECT_FALSE(chromium.Restore());
    EXPECT_FALSE(m.ProgramKeyLeft());
  }
}

}  // namespace
}  // namespace cloakwise
