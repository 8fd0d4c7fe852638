#include "cleanup/firefox_history.h"

#include <algorithm>
#include <vector>

#include "browsers/firefox_profiles.h"

namespace cloakwise::cleanup {
namespace {

// Long enough for Firefox to finish a write of its own; a Firefox that keeps
// the database is running and keeps it for good.
constexpr int kBusyMs = 1500;

// What every visit leaves besides the visits themselves, in the tables
// Firefox versions of the last years have (each only where it exists).
constexpr const char* kHistoryTables[] = {
    "moz_historyvisits",
    "moz_historyvisits_extra",
    "moz_inputhistory",
    "moz_places_metadata_search_queries",
    "moz_places_metadata",
    "moz_places_extra",
    "moz_newtab_story_click",
    "moz_newtab_story_impression",
    "moz_newtab_shortcuts_interaction",
};

bool Has(const std::vector<std::string>& tables, const char* name) {
  return std::find(tables.begin(), tables.end(), name) != tables.end();
}

std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (const char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

}  // namespace

HistoryOutcome ClearFirefoxHistory(platform::Sqlite& sqlite, platform::FileSystem& files,
                                   const std::string& folder) {
  if (browsers::FirefoxRunsOn(files, folder)) return HistoryOutcome::InUse;
  platform::Sqlite::OpenResult opened;
  const auto db = sqlite.Open(folder + "places.sqlite", kBusyMs, opened);
  switch (opened) {
    case platform::Sqlite::OpenResult::NoDatabase:
      return HistoryOutcome::Cleared;
    case platform::Sqlite::OpenResult::NoSqlite:
      return HistoryOutcome::NoSqlite;
    case platform::Sqlite::OpenResult::Failed:
      return HistoryOutcome::Failed;
    case platform::Sqlite::OpenResult::Opened:
      break;
  }
  // Firefox keeps the database to itself while it runs: a first read says so.
  if (!db->Execute("SELECT count(*) FROM sqlite_master")) {
    return db->Busy() ? HistoryOutcome::InUse : HistoryOutcome::Failed;
  }
  const std::vector<std::string> tables = db->TableNames("main");
  if (!Has(tables, "moz_places")) return HistoryOutcome::Cleared;  // no history of today's kind

  // Pages' icons live in a database of their own beside it.
  bool icons =
      db->Execute("ATTACH DATABASE " + Quoted(folder + "favicons.sqlite") + " AS favicons");
  const std::vector<std::string> iconTables =
      icons ? db->TableNames("favicons") : std::vector<std::string>{};
  icons = Has(iconTables, "moz_pages_w_icons") && Has(iconTables, "moz_icons_to_pages") &&
          Has(iconTables, "moz_icons");
  // Firefox of the last years marks pages whose ranking must be worked out
  // anew; older ones work it out from -1.
  const bool recalc = db->Execute("SELECT recalc_frecency FROM moz_places LIMIT 0");

  std::string change = "PRAGMA secure_delete = ON; BEGIN IMMEDIATE;";
  for (const char* table : kHistoryTables) {
    if (Has(tables, table)) change += std::string("DELETE FROM ") + table + ";";
  }
  // foreign_count is Firefox's own count of the bookmarks, tags and
  // keywords that point at a page.
  change += "DELETE FROM moz_places WHERE foreign_count = 0;";
  change += recalc ? "UPDATE moz_places SET visit_count = 0, last_visit_date = NULL, typed = 0, "
                     "recalc_frecency = 1;"
                   : "UPDATE moz_places SET visit_count = 0, last_visit_date = NULL, typed = 0, "
                     "frecency = -1;";
  if (Has(tables, "moz_annos")) {
    change += "DELETE FROM moz_annos WHERE place_id NOT IN (SELECT id FROM moz_places);";
  }
  if (Has(tables, "moz_origins")) {
    change +=
        "DELETE FROM moz_origins WHERE id NOT IN "
        "(SELECT origin_id FROM moz_places WHERE origin_id IS NOT NULL);";
  }
  if (icons) {
    change +=
        "DELETE FROM favicons.moz_pages_w_icons WHERE page_url NOT IN (SELECT url FROM "
        "main.moz_places);"
        "DELETE FROM favicons.moz_icons_to_pages WHERE page_id NOT IN (SELECT id FROM "
        "favicons.moz_pages_w_icons);"
        "DELETE FROM favicons.moz_icons WHERE id NOT IN (SELECT icon_id FROM "
        "favicons.moz_icons_to_pages);";
  }
  change += "COMMIT;";
  if (db->Execute(change)) return HistoryOutcome::Cleared;
  const bool busy = db->Busy();
  db->Execute("ROLLBACK");
  return busy ? HistoryOutcome::InUse : HistoryOutcome::Failed;
}

}  // namespace cloakwise::cleanup
