#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings_store.h"
#include "ui/grid_source.h"

// The user's own list of HTTP proxies: the rows the checker view's grid
// shows, what options.ini keeps of them, and the claim and result steps of
// the check workers; the paste rule is in paste_grammar.h.
namespace cloakwise::checker {

// Texts of the Type, Status and Ping cells.
inline constexpr char kUnknownText[] = "Unknown";
inline constexpr char kCheckingText[] = "Checking...";
inline constexpr char kWorkingText[] = "OK";
inline constexpr char kNotWorkingText[] = "Not working";
// Answers the judge, but carries no tunnel: no HTTPS page loads through it.
inline constexpr char kHttpOnlyText[] = "HTTP only";

enum Column : int { kProxyColumn = 0, kTypeColumn, kStatusColumn, kPingColumn, kColumnCount };

// Which entries "Copy to clipboard" takes, by their Type cell.
enum class CopyFilter { AnonymousOrElite = 0, Anonymous = 1, Elite = 2 };

// Every cell of one row.
struct ProxyRow {
  std::string proxy, type, status, ping;
  bool operator==(const ProxyRow&) const = default;
};

// What "Use this proxy" needs of a row.
struct ProxyEntry {
  std::string proxy;
  std::string type;
};

// Names one entry for as long as it exists, wherever sorting and deleting
// move it. Writing new text into a row makes it a new entry.
using EntryId = std::uint64_t;

struct ClaimedEntry {
  EntryId id = 0;
  std::string proxy;
};

// The Type, Status and Ping texts a check leaves on an entry.
struct CheckResult {
  std::string type, status, ping;
};

// The list has at least one row; the empty list is a single row whose Proxy
// cell is empty. Entries have non-empty Proxy cells, except blank rows that a
// hand-edited options.ini may hold among them.
//
// Threads: the check workers call Claim and Finish; everything else runs on
// the user-interface thread. All of it takes the one lock inside, so the
// grid may paint while workers write. The row set and the order change only
// on the user-interface thread, so RowCount followed by Cell there reads a
// consistent grid.
class CustomProxyList final : public ui::GridSource {
 public:
  using ChangeHandler = std::function<void()>;

  CustomProxyList();

  // Runs after every change, without the lock held, on whichever thread made
  // it (a worker's included), so the window can schedule a repaint. Set it
  // while no worker runs.
  void SetChangeHandler(ChangeHandler onChanged);

  std::size_t RowCount() const override;
  std::string Cell(std::size_t row, int column) const override;
  std::string Header(int column) const override;

  // Replaces the rows with the entries stored in the section "Proxy list",
  // in file order, unchecked; a stored empty value becomes a blank row.
  // Nothing stored is refused: a row the paste rule would not take stays.
  void Load(const SettingsStore& settings);
  // Rewrites the section "Proxy list": keys 1 to n with the Proxy texts in
  // row order; the empty list is the single key 1 with an empty value.
  void Save(SettingsStore& settings) const;

  // Adds the proxies PastedProxies finds in the text and the list does not
  // hold yet (exact text), in order, each as a new entry; returns how many.
  // The caller saves afterwards, also when none passed.
  std::size_t AddPastedLines(std::string_view text);
  // Whether some row holds exactly this Proxy text.
  bool ProxyAlreadyListed(std::string_view proxy) const;
  // Removes the row (the last entry leaves the empty list); a row past the
  // end changes nothing. The caller saves afterwards in every case.
  void DeleteRow(std::size_t row);
  // The empty list. The caller erases the stored section.
  void Clear();
  // The Proxy texts whose Type the filter takes, in row order, each followed
  // by CR LF; empty when none qualifies.
  std::string CopyText(CopyFilter filter) const;

  bool IsEmpty() const;
  // Nothing for the empty list or a row past the end.
  std::optional<ProxyEntry> EntryAt(std::size_t row) const;
  std::vector<ProxyRow> Rows() const;

  // Puts every row back to waiting (Type, Status and Ping "Unknown"), so the
  // workers claim them all again. False, changing nothing, on the empty list.
  bool ResetForCheck();
  // Some row is still waiting or being checked.
  bool CheckPending() const;

  // Workers: takes the first waiting row and marks it "Checking...", in one
  // step with respect to every other thread; nothing when none waits.
  std::optional<ClaimedEntry> Claim();
  // Workers: writes the result into the entry that was claimed, wherever it
  // is now. Dropped when the entry is gone, or no longer "Checking..." (a new
  // check put it back to waiting, or another probe of it finished first).
  void Finish(EntryId id, const CheckResult& result);

  // For sorting: the version grows with every change to the rows, their
  // order or a Ping cell; a claim does not count.
  struct PingSnapshot {
    std::uint64_t version = 0;
    std::vector<std::string> pings;     // one per row, in row order
    std::vector<std::string> statuses;  // the same rows' Status cells
  };
  PingSnapshot SnapshotPings() const;
  std::uint64_t Version() const;
  // Swaps two whole rows, when the list is still at `version`; returns the
  // version after the swap, or nothing when anything changed since.
  std::optional<std::uint64_t> SwapRows(std::uint64_t version, std::size_t a, std::size_t b);

 private:
  struct Row {
    EntryId id = 0;
    std::array<std::string, kColumnCount> cells;
  };

  Row BlankRow();
  Row NewEntry(std::string proxy);
  bool IsEmptyLocked() const;
  void Notify() const;

  ChangeHandler onChanged_;

  mutable std::mutex mutex_;
  // Everything below is guarded by mutex_.
  std::vector<Row> rows_;
  EntryId nextId_ = 1;
  std::uint64_t version_ = 0;
  // No row above this one is waiting: claims start their scan here, so a
  // long list is not rescanned from the top for every claim.
  std::size_t firstMaybeWaiting_ = 0;
};

}  // namespace cloakwise::checker
