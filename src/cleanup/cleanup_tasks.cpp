#include "cleanup/cleanup_tasks.h"

#include "core/option_keys.h"

namespace cloakwise::cleanup {

using ui::PrivacyView;

const std::array<CleanupTask, 11> kCleanupTasks = {{
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
     &PrivacyView::firefoxCookiesCaption, kKeyCleanFirefoxCookies, "Deleting Cookies in firefox..."},
    {CleanupTaskId::FirefoxHistory, &PrivacyView::firefoxHistoryBox,
     &PrivacyView::firefoxHistoryCaption, kKeyCleanFirefoxHistory,
     "Deleting history and typed URLs in bar..."},
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

}  // namespace cloakwise::cleanup
