#include "cleanup/windows_traces.h"

#include <string>

#include "cleanup/safe_delete.h"

namespace cloakwise::cleanup {
namespace {

constexpr char kTypedUrlsKey[] = "Software\\Microsoft\\Internet Explorer\\TypedURLs";

}  // namespace

void DeleteUrlCacheEntries(const CleanupRun& run) {
  platform::UrlCache& urlCache = run.services.urlCache;
  urlCache.ForEachEntry([&](const std::string& url) {
    if (run.stopped()) return;
    urlCache.DeleteEntry(url);
    run.KeepAnswering();
  });
}

void DeleteTypedUrls(platform::Registry& registry) {
  const auto key = registry.OpenKey(platform::RegistryRoot::CurrentUser, kTypedUrlsKey, true);
  if (!key) return;
  // The names first: deleting while enumerating would skip values.
  for (const std::string& name : registry.ListValueNames(*key)) registry.DeleteValue(*key, name);
  registry.CloseKey(*key);
}

void DeleteWithShell(const CleanupRun& run, platform::ShellFolder which, const char* pattern) {
  platform::Shell& shell = run.services.shell;
  const auto folder = run.guard.Emptiable(shell.FolderPath(which), run.report);
  if (!folder) return;
  // The shell's delete walks into folders, links among them: none may be
  // left for it to follow, or it does not go there at all.
  if (RemoveLinksBelow(run.services.files, *folder, pattern)) shell.ShellDelete(*folder + pattern);
}

void DeleteHistoryFiles(const CleanupRun& run) {
  const auto folder = run.guard.Emptiable(
      run.services.shell.FolderPath(platform::ShellFolder::History), run.report);
  if (folder) DeleteFilesRecursively(run.services.files, run.services.ui, *folder, run.stopped);
}

void DeleteTemporaryFiles(const CleanupRun& run) {
  platform::FileSystem& files = run.services.files;
  platform::Shell& shell = run.services.shell;
  const auto temp = run.guard.Emptiable(shell.TempFolder(), run.report);
  if (!temp) return;
  const std::size_t filesStayed =
      DeleteFilesRecursively(files, run.services.ui, *temp, run.stopped);
  // Then the subfolders themselves, with whatever the walk left in them
  // (dot names, files in use), through the shell and so to the Recycle Bin
  // where it can. The temporary folder itself stays.
  const auto entries = files.ListDirectory(*temp);
  if (!entries) return;
  std::size_t foldersStayed = 0;
  for (const platform::DirectoryEntry& entry : *entries) {
    if (!run.KeepAnswering()) return;
    if (!entry.directory || entry.hidden || entry.system) continue;
    const std::string path = *temp + entry.name;
    if (entry.link) {
      files.RemoveFile(path);
      continue;
    }
    if (RemoveLinksBelow(files, path + temp->back(), "*.*")) shell.ShellDelete(path);
    // The shell works within MAX_PATH characters: what it left of a deep
    // tree goes here, folder by folder.
    if (files.FinalFolderPath(path + temp->back())) {
      foldersStayed += RemoveEmptyFolders(files, run.services.ui, path + temp->back(), run.stopped);
    }
  }
  if (run.stopped() || filesStayed + foldersStayed == 0) return;
  const auto count = [](std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
  };
  std::string what = filesStayed ? count(filesStayed, "temporary file", "temporary files") : "";
  if (foldersStayed) {
    what += filesStayed ? " and " + count(foldersStayed, "folder", "folders")
                        : count(foldersStayed, "temporary folder", "temporary folders");
  }
  // In use by a program, or refused: the two lines of the view have no
  // room for why.
  run.report.Stayed(what + " stayed");
}

}  // namespace cloakwise::cleanup
