#include "cleanup/cleanup_tasks.h"

#include <algorithm>

#include "core/option_keys.h"

namespace cloakwise::cleanup {

using ui::PrivacyView;

const std::array<CleanupTask, 15> kCleanupTasks = {{
    {CleanupTaskId::IeCache, &PrivacyView::ieCacheBox, &PrivacyView::ieCacheCaption,
     kKeyCleanIeCache, "Deleting the Temporary Internet Files (the cache)..."},
    {CleanupTaskId::IeTypedUrls, &PrivacyView::ieTypedUrlsBox, &PrivacyView::ieTypedUrlsCaption,
     kKeyCleanIeTypedUrls, "Deleting typed URLs in IE bar..."},
    {CleanupTaskId::IeCookies, &PrivacyView::ieCookiesBox, &PrivacyView::ieCookiesCaption,
     kKeyCleanIeCookies, "Deleting stored cookies in Internet Explorer..."},
    {CleanupTaskId::IeHistory, &PrivacyView::ieHistoryBox, &PrivacyView::ieHistoryCaption,
     kKeyCleanIeHistory, "Deleting Internet Explorer history..."},
    {CleanupTaskId::FirefoxFormHistory, &PrivacyView::firefoxFormHistoryBox,
     &PrivacyView::firefoxFormHistoryCaption, kKeyCleanFirefoxFormHistory,
     "Deleting Stored Passwords and Autocomplete..."},
    {CleanupTaskId::FirefoxCookies, &PrivacyView::firefoxCookiesBox,
     &PrivacyView::firefoxCookiesCaption, kKeyCleanFirefoxCookies,
     "Deleting Cookies in firefox..."},
    {CleanupTaskId::FirefoxHistory, &PrivacyView::firefoxHistoryBox,
     &PrivacyView::firefoxHistoryCaption, kKeyCleanFirefoxHistory,
     "Deleting history and typed URLs in bar..."},
    {CleanupTaskId::FirefoxCache, &PrivacyView::firefoxCacheBox, &PrivacyView::firefoxCacheCaption,
     kKeyCleanFirefoxCache, "Deleting the cache of Firefox..."},
    {CleanupTaskId::ChromiumCache, &PrivacyView::chromiumCacheBox,
     &PrivacyView::chromiumCacheCaption, kKeyCleanChromiumCache,
     "Deleting the cache of Chrome and Edge..."},
    {CleanupTaskId::ChromiumCookies, &PrivacyView::chromiumCookiesBox,
     &PrivacyView::chromiumCookiesCaption, kKeyCleanChromiumCookies,
     "Deleting cookies in Chrome and Edge..."},
    {CleanupTaskId::ChromiumHistory, &PrivacyView::chromiumHistoryBox,
     &PrivacyView::chromiumHistoryCaption, kKeyCleanChromiumHistory,
     "Deleting history in Chrome and Edge..."},
    {CleanupTaskId::TempFiles, &PrivacyView::tempFilesBox, &PrivacyView::tempFilesCaption,
     kKeyCleanTempFiles, "Deleting temporary PC files..."},
    {CleanupTaskId::RecentDocuments, &PrivacyView::recentDocumentsBox,
     &PrivacyView::recentDocumentsCaption, kKeyCleanRecentDocuments,
     "Deleting Recently Opened files history..."},
    {CleanupTaskId::Clipboard, &PrivacyView::clipboardBox, &PrivacyView::clipboardCaption,
     kKeyCleanClipboard, "Clearing the clipboard..."},
    {CleanupTaskId::RecycleBin, &PrivacyView::recycleBinBox, &PrivacyView::recycleBinCaption,
     kKeyCleanRecycleBin, "Empty Recycle Bin..."},
}};

std::array<std::string_view, 5> FirefoxFilesOf(CleanupTaskId task) {
  switch (task) {
    case CleanupTaskId::FirefoxFormHistory:
      return {"formhistory.dat", "formhistory.sqlite", "formhistory.sqlite-wal",
              "formhistory.sqlite-shm", "formhistory.sqlite-journal"};
    case CleanupTaskId::FirefoxCookies:
      return {"cookies.txt", "cookies.sqlite", "cookies.sqlite-wal", "cookies.sqlite-shm",
              "cookies.sqlite-journal"};
    case CleanupTaskId::FirefoxHistory:
      // Today's history lives in places.sqlite with the bookmarks: kept.
      return {"history.dat"};
    default:
      return {};
  }
}

const char* PartOf(CleanupTaskId task) {
  switch (task) {
    case CleanupTaskId::FirefoxFormHistory:
      return "saved form entries";
    case CleanupTaskId::FirefoxCookies:
    case CleanupTaskId::ChromiumCookies:
      return "cookies";
    case CleanupTaskId::FirefoxCache:
    case CleanupTaskId::ChromiumCache:
      return "cache";
    default:
      return "history";
  }
}

ChromiumParts ChromiumPartsOf(CleanupTaskId task) {
  switch (task) {
    case CleanupTaskId::ChromiumCache:
      return {{"Cache", "Code Cache", "GPUCache"}, {}};
    case CleanupTaskId::ChromiumCookies:
      // Today's in Network, the older ones beside the profile's other files.
      return {{}, {"Network\\Cookies", "Network\\Cookies-journal", "Cookies", "Cookies-journal"}};
    case CleanupTaskId::ChromiumHistory:
      // With the pages' icons, what the address bar predicts from typing,
      // and the tabs of past sessions, which all tell the pages visited.
      return {{"Sessions"},
              {"History", "History-journal", "Visited Links", "Top Sites", "Top Sites-journal",
               "Shortcuts", "Shortcuts-journal", "Favicons", "Favicons-journal",
               "Network Action Predictor", "Network Action Predictor-journal"}};
    default:
      return {};
  }
}

}  // namespace cloakwise::cleanup
