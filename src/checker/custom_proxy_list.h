// Threads: the check workers call Claim and Finish only; every other member, the UI thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "checker/proxy_row.h"
#include "core/settings_store.h"
#include "core/thread_annotations.h"
#include "ui/grid_source.h"

// The user's own list of HTTP proxies: the rows the checker view's grid
// shows, what options.ini keeps of them, and the claim and result steps of
// the check workers. Its members live by role in custom_proxy_list.cpp (the
// rows and their edits), list_grid.cpp (what the grid and the clipboard
// read), list_persistence.cpp (options.ini), check_queue.cpp (the workers'
// queue) and row_order.cpp (the sort's protocol); the paste rule is in
// paste_grammar.h.
namespace cloakwise::checker {

// What became of a paste's non-blank lines; the three add up to their number.
struct PasteCounts {
  std::size_t added = 0;
  std::size_t alreadyListed = 0;  // held before, or earlier in the same paste
  std::size_t refused = 0;        // no proxy by the paste rule
};

// The list has at least one row; the empty list is a single blank row.
// Entries have non-empty Proxy cells, except blank rows that a hand-edited
// options.ini may hold among them. A row keeps its Proxy text as the user
// typed it or the file held it, also one no proxy can be made of: such a row
// ends "Not working" when checked.
//
// All members take the one lock inside, so the grid may paint while workers
// write. The row set and the order change only on the user-interface
// thread, so RowCount followed by Cell there reads a consistent grid.
class CustomProxyList final : public ui::GridSource {
 public:
  using ChangeHandler = std::function<void()>;

  CustomProxyList();

  // Runs after every change, without the lock held, on whichever thread made
  // it (a worker's included), so the window can schedule a repaint. Set it
  // while no worker runs.
  void SetChangeHandler(ChangeHandler onChanged);

  std::size_t RowCount() const override EXCLUDES(mutex_);
  std::string Cell(std::size_t row, int column) const override EXCLUDES(mutex_);
  std::string Header(int column) const override;

  // Replaces the rows with the entries stored in the section "Proxy list",
  // in file order, unchecked; a stored empty value becomes a blank row.
  // Nothing stored is refused: a row the paste rule would not take stays.
  void Load(const SettingsStore& settings) EXCLUDES(mutex_);
  // Rewrites the section "Proxy list": keys 1 to n with the Proxy texts in
  // row order; the empty list is the single key 1 with an empty value.
  void Save(SettingsStore& settings) const EXCLUDES(mutex_);

  // Adds the proxies PastedProxies finds in the text and the list does not
  // hold yet (exact text), in order, each as a new entry; says what became
  // of every non-blank line. The caller saves afterwards, also when none
  // passed.
  PasteCounts AddPastedLines(std::string_view text) EXCLUDES(mutex_);
  // Whether some row holds exactly this Proxy text.
  bool ProxyAlreadyListed(std::string_view proxy) const EXCLUDES(mutex_);
  // Removes the row (the last entry leaves the empty list); a row past the
  // end changes nothing. The caller saves afterwards in every case.
  void DeleteRow(std::size_t row) EXCLUDES(mutex_);
  // The empty list. The caller erases the stored section.
  void Clear() EXCLUDES(mutex_);
  // The Proxy texts whose Type the filter takes, in row order, each followed
  // by CR LF; empty when none qualifies.
  std::string CopyText(CopyFilter filter) const EXCLUDES(mutex_);

  bool IsEmpty() const EXCLUDES(mutex_);
  // Nothing for the empty list or a row past the end.
  std::optional<ProxyEntry> EntryAt(std::size_t row) const EXCLUDES(mutex_);
  std::vector<ProxyRow> Rows() const EXCLUDES(mutex_);

  // Puts every row back to waiting (Type and Ping "Unknown"), so the workers
  // claim them all again. False, changing nothing, on the empty list.
  bool ResetForCheck() EXCLUDES(mutex_);
  // Some row is still waiting or being checked.
  bool CheckPending() const EXCLUDES(mutex_);

  // Workers: takes the first waiting row and marks it checking, in one step
  // with respect to every other thread; nothing when none waits.
  std::optional<ClaimedEntry> Claim() EXCLUDES(mutex_);
  // Workers: a claimed entry whose probe was abandoned waits again, unless a
  // result or a new check got there first.
  void Unclaim(EntryId id) EXCLUDES(mutex_);
  // Workers: writes the result into the entry that was claimed, wherever it
  // is now. Dropped when the entry is gone, or no longer checking (a new
  // check put it back to waiting, or another probe of it finished first).
  void Finish(EntryId id, const CheckResult& result) EXCLUDES(mutex_);

  // For sorting: the version grows with every change to the rows, their
  // order or an answer time; a claim does not count.
  struct AnswerSnapshot {
    std::uint64_t version = 0;
    std::vector<std::optional<std::int64_t>> answersMs;  // one per row, in row order
    std::vector<RowState> states;                        // the same rows' states
  };
  AnswerSnapshot SnapshotAnswers() const EXCLUDES(mutex_);
  std::uint64_t Version() const EXCLUDES(mutex_);
  // Swaps two whole rows, when the list is still at `version`; returns the
  // version after the swap, or nothing when anything changed since.
  std::optional<std::uint64_t> SwapRows(std::uint64_t version, std::size_t a, std::size_t b)
      EXCLUDES(mutex_);

 private:
  struct Row {
    EntryId id = 0;
    std::string proxy;
    std::optional<AnonymityLevel> level;
    std::optional<std::int64_t> answerMs;
    RowState state = RowState::Blank;
    ProxyRow View() const { return ProxyRow{proxy, level, state, answerMs}; }
  };

  Row BlankRow() REQUIRES(mutex_);
  Row NewEntry(std::string proxy) REQUIRES(mutex_);
  bool IsEmptyLocked() const REQUIRES(mutex_);
  void Notify() const;

  ChangeHandler onChanged_;

  mutable Mutex mutex_;
  std::vector<Row> rows_ GUARDED_BY(mutex_);
  EntryId nextId_ GUARDED_BY(mutex_) = 1;
  std::uint64_t version_ GUARDED_BY(mutex_) = 0;
  // No row above this one is waiting: claims start their scan here, so a
  // long list is not rescanned from the top for every claim.
  std::size_t firstMaybeWaiting_ GUARDED_BY(mutex_) = 0;
};

}  // namespace cloakwise::checker
