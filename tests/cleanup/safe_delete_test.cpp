// The clean-up's deletes on real folder trees: links out of the folder with a
// canary behind them, dot names, deep paths, and the folders it refuses.
#include "cleanup/safe_delete.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "fakes/fake_ui_thread.h"
#include "platform/posix/files_posix.h"
#include "unit/temp_folder.h"

namespace cloakwise::cleanup {
namespace {

namespace fs = std::filesystem;

void Write(const fs::path& path) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << "x";
}

TEST(SafeDelete, UsableFolderRefusesWhatCouldReachBeyondTheFolderMeant) {
  const std::vector<std::string> refused = {"C:\\Windows\\", "C:\\Users\\u"};
  const struct {
    std::optional<std::string> path;
    std::optional<std::string> usable;
  } cases[] = {
      {std::nullopt, std::nullopt},
      {"", std::nullopt},
      {"Temp\\", std::nullopt},    // relative: the working directory
      {"\\Temp\\", std::nullopt},  // the current drive's
      {"C:", std::nullopt},
      {"C:Temp\\", std::nullopt},
      {"C:\\", std::nullopt},                 // a drive root
      {"\\\\server\\share\\", std::nullopt},  // a share root
      {"\\\\server\\", std::nullopt},
      {"c:\\windows", std::nullopt},  // refused, in any case and form
      {"C:\\USERS\\U\\", std::nullopt},
      {"C:\\Users\\u\\Temp\\..\\", std::nullopt},
      {"C:\\Users\\u\\.\\", std::nullopt},
      {"C:\\Users\\u\\Temp\\*", std::nullopt},
      {"C:\\Users\\u\\Te\nmp\\", std::nullopt},
      {"/", std::nullopt},
      {"C:\\Users\\u\\Temp", "C:\\Users\\u\\Temp\\"},
      {"C:\\Users\\u\\Recent\\", "C:\\Users\\u\\Recent\\"},
      {"C:\\Windows\\Temp\\", "C:\\Windows\\Temp\\"},  // below a refused folder is fine
      {"\\\\server\\share\\cache\\", "\\\\server\\share\\cache\\"},
      {"/tmp/x", "/tmp/x/"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UsableFolder(c.path, refused), c.usable) << c.path.value_or("<none>");
  }
  EXPECT_TRUE(MatchesPattern("a.TXT", "*.txt"));
  EXPECT_FALSE(MatchesPattern("a.txt.bak", "*.txt"));
  EXPECT_TRUE(MatchesPattern("noextension", "*.*"));
}

class SafeDeleteTree : public ::testing::Test {
 protected:
  // Outside the folder being cleaned, reached from inside only by links.
  testing::TempFolder outside{"outside"};
  testing::TempFolder cleaned{"cleaned"};
  platform::PosixFileSystem files;
  fakes::FakeUiThread ui;
  std::string Folder() const { return cleaned.path().string() + "/"; }
  fs::path Canary() const { return outside.path() / "canary.txt"; }
  void SetUp() override {
    Write(Canary());
    Write(outside.path() / "keep" / "inner.txt");
  }
  void ExpectOutsideWhole() {
    EXPECT_TRUE(fs::exists(Canary()));
    EXPECT_TRUE(fs::exists(outside.path() / "keep" / "inner.txt"));
  }
};

TEST_F(SafeDeleteTree, WalkDeletesFilesLeavesFoldersAndDotNamesAndNeverFollowsALink) {
  const fs::path root = cleaned.path();
  Write(root / "a.txt");
  Write(root / "sub" / "b.txt");
  Write(root / "sub" / "deep" / "c.txt");
  Write(root / ".dotfile");
  Write(root / ".dotdir" / "x.txt");
  Write(root / "sub" / ".hidden");
  Write(root / "readonly.txt");
  ::chmod((root / "readonly.txt").c_str(), 0444);
  fs::create_directory_symlink(outside.path(), root / "folder-link");
  fs::create_directory_symlink(outside.path() / "keep", root / "sub" / "nested-link");
  fs::create_symlink(Canary(), root / "file-link.txt");
  fs::create_symlink(root / "nowhere", root / "dangling");
  // Deeper than the 260 characters of a short Windows path.
  fs::path deep = root;
  for (int i = 0; i < 20; ++i) deep /= std::string(40, static_cast<char>('a' + i));
  Write(deep / "deep.txt");

  DeleteFilesRecursively(files, ui, Folder());

  ExpectOutsideWhole();
  for (const char* gone : {"a.txt", "sub/b.txt", "sub/deep/c.txt", "readonly.txt", "folder-link",
                           "sub/nested-link", "file-link.txt", "dangling"}) {
    EXPECT_FALSE(fs::exists(fs::symlink_status(root / gone))) << gone;
  }
  EXPECT_FALSE(fs::exists(deep / "deep.txt"));
  for (const char* kept : {".dotfile", ".dotdir/x.txt", "sub/.hidden", "sub/deep"}) {
    EXPECT_TRUE(fs::exists(root / kept)) << kept;
  }
  EXPECT_TRUE(fs::is_directory(deep));
}

TEST_F(SafeDeleteTree, EmptiedFoldersGoDeepestFirstAndWhatStillHoldsSomethingIsCounted) {
  const fs::path root = cleaned.path();
  fs::path deep = root / "tree";
  for (int i = 0; i < 200; ++i) deep /= "d";
  Write(deep / "x.tmp");
  Write(root / "tree" / "d" / "kept" / ".dot");  // the walk leaves it, so "kept" stays
  fs::create_directory_symlink(outside.path(), root / "tree" / "d" / "link");
  const std::string tree = root.string() + "/tree/";

  EXPECT_EQ(DeleteFilesRecursively(files, ui, tree), 0u);
  EXPECT_EQ(RemoveEmptyFolders(files, ui, tree), 3u) << "kept, d above it, and tree";
  EXPECT_FALSE(fs::exists(root / "tree" / "d" / "d"));
  EXPECT_TRUE(fs::exists(root / "tree" / "d" / "kept" / ".dot"));
  ExpectOutsideWhole();
}

TEST_F(SafeDeleteTree, NoLinkIsLeftWhereTheShellsDeleteWouldWalk) {
  const fs::path root = cleaned.path();
  fs::create_directory_symlink(outside.path(), root / "x.txt");
  fs::create_directory_symlink(outside.path(), root / "other.dat");
  fs::create_directories(root / "folder.txt" / "a");
  fs::create_directories(root / "folder.dat");
  fs::create_directory_symlink(outside.path(), root / "folder.txt" / "a" / ".link");
  fs::create_directory_symlink(outside.path(), root / "folder.dat" / "link");
  Write(root / "folder.txt" / "kept.txt");

  RemoveLinksBelow(files, Folder(), "*.txt");

  EXPECT_FALSE(fs::exists(fs::symlink_status(root / "x.txt")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(root / "folder.txt" / "a" / ".link")));
  EXPECT_TRUE(fs::is_symlink(root / "other.dat"));  // the pattern leaves it out
  EXPECT_TRUE(fs::is_symlink(root / "folder.dat" / "link"));
  EXPECT_TRUE(fs::exists(root / "folder.txt" / "kept.txt"));  // only links go
  ExpectOutsideWhole();
}

TEST_F(SafeDeleteTree, AFileGoesOnlyWhereEveryLinkOnItsWayStaysInsideTheFolder) {
  const fs::path root = cleaned.path();
  Write(root / "Cookies");
  Write(root / "Moved" / "History");
  Write(outside.path() / "Work" / "Cookies");
  fs::create_directory_symlink(outside.path() / "Work", root / "Network");
  fs::create_directory_symlink(root / "Moved", root / "Sessions");
  fs::create_symlink(Canary(), root / "Favicons");
  const struct {
    const char* path;  // below the folder
    InsideRemoval outcome;
  } cases[] = {
      {"Cookies", InsideRemoval::Gone},
      {"Network/Cookies", InsideRemoval::Outside},        // the user's document
      {"Network/Cookies-journal", InsideRemoval::Gone},   // nothing there
      {"Sessions/History", InsideRemoval::Gone},          // a link that stays inside
      {"Favicons", InsideRemoval::Gone},                  // the link, not the canary
      {"Missing/Cookies", InsideRemoval::Gone},
  };
  const std::string final = *files.FinalFolderPath(Folder());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(RemoveInside(files, Folder() + c.path, final), c.outcome);
  }
  EXPECT_TRUE(fs::exists(outside.path() / "Work" / "Cookies"));
  EXPECT_FALSE(fs::exists(root / "Cookies"));
  EXPECT_FALSE(fs::exists(root / "Moved" / "History"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(root / "Favicons")));
  ExpectOutsideWhole();
}

}  // namespace
}  // namespace cloakwise::cleanup
