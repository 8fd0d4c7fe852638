#include "browserproxy/chromium_prefs.h"

#include <cstddef>
#include <iterator>
#include <vector>

#include <nlohmann/json.hpp>

namespace cloakwise::chromiumprefs {
namespace {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

constexpr std::string_view kWebRtc = "webrtc";
constexpr std::string_view kPolicy = "ip_handling_policy";
// Chromium's JSON reader goes no deeper; a deeper file is none the browser
// would have written or could read.
constexpr std::size_t kMaxDepth = 200;

// Hands the parser the text one byte at a time and notes how many it has
// taken, so that each event the parser reports can be placed in the text.
class CountingIterator {
 public:
  using iterator_category = std::input_iterator_tag;
  using value_type = char;
  using difference_type = std::ptrdiff_t;
  using pointer = const char*;
  using reference = const char&;

  CountingIterator(const char* at, const char* begin, std::size_t* taken)
      : at_(at), begin_(begin), taken_(taken) {}
  reference operator*() const { return *at_; }
  CountingIterator& operator++() {
    ++at_;
    *taken_ = static_cast<std::size_t>(at_ - begin_);
    return *this;
  }
  CountingIterator operator++(int) {
    CountingIterator before = *this;
    ++*this;
    return before;
  }
  bool operator==(const CountingIterator& other) const { return at_ == other.at_; }
  bool operator!=(const CountingIterator& other) const { return at_ != other.at_; }

 private:
  const char* at_;
  const char* begin_;
  std::size_t* taken_;
};

// Where the parts that may change stand in the text. Positions are byte
// offsets; an end is one past the last byte. Where a key occurs twice the
// last one counts, as it does for the browser.
struct Places {
  std::size_t topOpen = 0;  // the top object's "{"
  std::size_t topMembers = 0;
  bool webRtc = false;
  bool webRtcIsObject = false;
  std::size_t webRtcKeyEnd = 0;
  std::size_t webRtcOpen = 0;
  std::size_t webRtcEnd = 0;
  std::size_t webRtcMembers = 0;
  bool policy = false;
  std::size_t policyKeyEnd = 0;
  std::size_t policyEnd = 0;
};

// Follows the parse, keeping the depth and, at the two levels that matter,
// which member is being read.
class Locator : public nlohmann::json_sax<Json> {
 public:
  explicit Locator(const std::size_t& taken) : taken_(taken) {}

  const Places& Found() const { return places_; }
  bool TopIsObject() const { return topIsObject_; }

  bool null() override { return Scalar(false); }
  bool boolean(bool) override { return Scalar(false); }
  bool number_integer(number_integer_t) override { return Scalar(true); }
  bool number_unsigned(number_unsigned_t) override { return Scalar(true); }
  bool number_float(number_float_t, const string_t&) override { return Scalar(true); }
  bool string(string_t&) override { return Scalar(false); }
  bool binary(binary_t&) override { return Scalar(false); }

  bool start_object(std::size_t) override { return Open(true); }
  bool start_array(std::size_t) override { return Open(false); }
  bool end_object() override { return Close(); }
  bool end_array() override { return Close(); }

  bool key(string_t& name) override {
    Frame& frame = stack_.back();
    frame.key = name;
    if (stack_.size() == 1) ++places_.topMembers;
    if (InWebRtc()) ++places_.webRtcMembers;
    if (stack_.size() == 1 && name == kWebRtc) {
      places_.webRtcKeyEnd = taken_;
    } else if (InWebRtc() && name == kPolicy) {
      places_.policyKeyEnd = taken_;
    }
    return true;
  }

  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
    return false;
  }

 private:
  struct Frame {
    bool object = false;
    std::string key;
    bool webRtc = false;  // this is the "webrtc" object
  };

  bool InWebRtc() const { return stack_.size() == 2 && stack_.back().webRtc; }
  // The value being read is the member named so, at that depth.
  bool IsTopMember(std::string_view name) const {
    return stack_.size() == 1 && stack_.back().object && stack_.back().key == name;
  }

  // A value that is no container: it ends where the parser stands, but a
  // number is only known to end once the byte after it has been read.
  bool Scalar(bool number) {
    if (stack_.empty()) return true;  // a bare value: not an object
    const std::size_t end = number ? taken_ - 1 : taken_;
    if (IsTopMember(kWebRtc)) {
      places_.webRtc = true;
      places_.webRtcIsObject = false;
      places_.policy = false;
    } else if (InWebRtc() && stack_.back().key == kPolicy) {
      places_.policy = true;
      places_.policyEnd = end;
    }
    return true;
  }

  bool Open(bool object) {
    if (stack_.size() >= kMaxDepth) return false;
    const std::size_t at = taken_ - 1;
    Frame frame;
    frame.object = object;
    if (stack_.empty()) {
      topIsObject_ = object;
      places_.topOpen = at;
    } else if (IsTopMember(kWebRtc)) {
      places_.webRtc = true;
      places_.webRtcIsObject = object;
      places_.webRtcOpen = at;
      places_.webRtcMembers = 0;
      places_.policy = false;
      frame.webRtc = object;
    } else if (InWebRtc() && stack_.back().key == kPolicy) {
      policyDepth_ = stack_.size() + 1;
    }
    stack_.push_back(std::move(frame));
    return true;
  }

  bool Close() {
    const bool webRtc = stack_.back().webRtc;
    stack_.pop_back();
    if (webRtc) places_.webRtcEnd = taken_;
    if (policyDepth_ && stack_.size() + 1 == policyDepth_) {
      policyDepth_ = 0;
      places_.policy = true;
      places_.policyEnd = taken_;
    }
    return true;
  }

  const std::size_t& taken_;
  std::vector<Frame> stack_;
  std::size_t policyDepth_ = 0;
  bool topIsObject_ = false;
  Places places_;
};

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::size_t SkipBlanks(std::string_view text, std::size_t at) {
  while (at < text.size() && IsBlank(text[at])) ++at;
  return at;
}

// After a key: the blanks, the colon and the blanks again lead to the value.
std::size_t ValueStart(std::string_view text, std::size_t keyEnd) {
  const std::size_t colon = SkipBlanks(text, keyEnd);
  return SkipBlanks(text, colon + 1);
}

std::optional<Places> Locate(std::string_view text) {
  std::size_t taken = 0;
  Locator locator(taken);
  const CountingIterator first(text.data(), text.data(), &taken);
  const CountingIterator last(text.data() + text.size(), text.data(), &taken);
  if (!Json::sax_parse(first, last, &locator) || !locator.TopIsObject()) return std::nullopt;
  const Places& places = locator.Found();
  if (places.webRtc && !places.webRtcIsObject) return std::nullopt;
  return places;
}

// Takes a member out, key to value, with the comma that parted it from a
// neighbour; the neighbour keeps its own layout.
std::optional<std::string> WithoutMember(std::string_view text, std::string_view name,
                                         std::size_t keyEnd, std::size_t valueEnd) {
  const std::string quoted = "\"" + std::string(name) + "\"";
  if (keyEnd < quoted.size() || text.substr(keyEnd - quoted.size(), quoted.size()) != quoted)
    return std::nullopt;  // a key spelt with escapes: left to the whole rewrite
  const std::size_t memberStart = keyEnd - quoted.size();
  std::size_t from = memberStart;
  std::size_t to = valueEnd;
  const std::size_t after = SkipBlanks(text, valueEnd);
  if (after < text.size() && text[after] == ',') {
    to = SkipBlanks(text, after + 1);
  } else {
    std::size_t before = memberStart;
    while (before > 0 && IsBlank(text[before - 1])) --before;
    if (before > 0 && text[before - 1] == ',') from = before - 1;
  }
  std::string out(text);
  out.erase(from, to - from);
  return out;
}

// The change made on the spliced text, before it is checked.
std::optional<std::string> Splice(std::string_view text, const Places& places,
                                  const std::optional<std::string>& value, bool dropEmptyWebRtc) {
  std::string out(text);
  if (value) {
    if (places.policy) {
      const std::size_t start = ValueStart(text, places.policyKeyEnd);
      out.replace(start, places.policyEnd - start, *value);
    } else if (places.webRtc) {
      out.insert(places.webRtcOpen + 1, "\"" + std::string(kPolicy) + "\":" + *value +
                                            (places.webRtcMembers ? "," : ""));
    } else {
      out.insert(places.topOpen + 1, "\"" + std::string(kWebRtc) + "\":{\"" +
                                         std::string(kPolicy) + "\":" + *value + "}" +
                                         (places.topMembers ? "," : ""));
    }
    return out;
  }
  if (!places.policy) return out;
  if (dropEmptyWebRtc && places.webRtcMembers == 1)
    return WithoutMember(text, kWebRtc, places.webRtcKeyEnd, places.webRtcEnd);
  return WithoutMember(text, kPolicy, places.policyKeyEnd, places.policyEnd);
}

// What the file must read as after the change.
template <typename Document>
void Change(Document& doc, const std::optional<Document>& value, bool dropEmptyWebRtc) {
  const std::string webRtc(kWebRtc);
  const std::string policy(kPolicy);
  if (value) {
    if (!doc.contains(webRtc)) doc[webRtc] = Document::object();
    doc[webRtc][policy] = *value;
    return;
  }
  if (!doc.contains(webRtc)) return;
  doc[webRtc].erase(policy);
  if (dropEmptyWebRtc && doc[webRtc].empty()) doc.erase(webRtc);
}

}  // namespace

std::optional<WebRtc> Read(std::string_view preferences) {
  const auto places = Locate(preferences);
  if (!places) return std::nullopt;
  WebRtc webRtc;
  webRtc.webRtcObject = places->webRtc;
  if (places->policy) {
    const std::size_t start = ValueStart(preferences, places->policyKeyEnd);
    webRtc.value = std::string(preferences.substr(start, places->policyEnd - start));
    webRtc.keptToProxy =
        Json::parse(*webRtc.value, nullptr, false) == Json::parse(kKeptToProxy);
  }
  return webRtc;
}

std::optional<std::string> WithPolicy(std::string_view preferences,
                                      const std::optional<std::string>& value,
                                      bool dropEmptyWebRtc) {
  const auto places = Locate(preferences);
  if (!places) return std::nullopt;
  std::optional<Json> newValue;
  if (value) {
    newValue = Json::parse(*value, nullptr, false);
    if (newValue->is_discarded()) return std::nullopt;
  }
  Json expected = Json::parse(preferences, nullptr, false);
  if (expected.is_discarded()) return std::nullopt;
  Change(expected, newValue, dropEmptyWebRtc);

  if (const auto spliced = Splice(preferences, *places, value, dropEmptyWebRtc)) {
    const Json reread = Json::parse(*spliced, nullptr, false);
    if (!reread.is_discarded() && reread == expected) return spliced;
  }
  // A layout the splice does not know: the file is written anew, its keys in
  // their order, which the browser reads the same.
  OrderedJson whole = OrderedJson::parse(preferences, nullptr, false);
  std::optional<OrderedJson> orderedValue;
  if (value) orderedValue = OrderedJson::parse(*value);
  Change(whole, orderedValue, dropEmptyWebRtc);
  std::string out = whole.dump();
  if (Json::parse(out, nullptr, false) != expected) return std::nullopt;
  return out;
}

}  // namespace cloakwise::chromiumprefs
