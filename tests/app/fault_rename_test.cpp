// The numbered name an archive is given must never cost another entry: a file, a directory or a
// symbolic link that already holds a candidate name stays as it is.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/fault_support.h"

namespace tollwick::testing {
namespace {

namespace fs = std::filesystem;

const std::string kArchive = MakeZip({Stored(
    "fulfillmentreport.xml", MakeReport({{"X1", "Alpha", "1.0", "Full", "", "Store"}},
                                        {{"X1", "P1", "", "", "", "2010-01-15T00:00:00", ""}}))});

TEST(FaultRename, ExistingFileTakesTheNumber) {
  TempDir dir;
  WriteFile(dir / "report.zip", kArchive);
  WriteFile(dir / "report_(1).zip", "an older download");
  WriteFile(dir / "report_(3).zip", "another one");
  auto before = Snapshot(dir.path());
  auto result = RunBinary({{"--all"}, dir.path()});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(TreeDiff(Renamed(before, "report.zip", "report_(2).zip"), Snapshot(dir.path())), "");
}

TEST(FaultRename, DirectoriesAndLinksAreNotReplaced) {
  // A directory, a dangling link and a link to a directory under the first candidate names.
  // Whether the archive then takes a later number or keeps its name, every one of them stays.
  const struct {
    const char* what;
    void (*make)(const TempDir&);
  } cases[] = {
      {"directory", [](const TempDir& d) { WriteFile(d / "report_(1).zip/inside.txt", "kept"); }},
      {"empty directory", [](const TempDir& d) { fs::create_directory(d / "report_(1).zip"); }},
      {"dangling link",
       [](const TempDir& d) { fs::create_symlink("nowhere.zip", d / "report_(1).zip"); }},
      {"link to a directory",
       [](const TempDir& d) {
         fs::create_directory(d / "elsewhere");
         fs::create_directory_symlink("elsewhere", d / "report_(1).zip");
       }},
      {"all of them in a row",
       [](const TempDir& d) {
         WriteFile(d / "report_(1).zip/inside.txt", "kept");
         fs::create_symlink("nowhere.zip", d / "report_(2).zip");
         WriteFile(d / "report_(3).zip", "an older download");
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    WriteFile(dir / "report.zip", kArchive);
    c.make(dir);
    auto before = Snapshot(dir.path());
    auto result = RunBinary({{"--all"}, dir.path()});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    auto after = Snapshot(dir.path());
    // Everything that was there is there still, unchanged, apart from the archive itself.
    for (const auto& [path, content] : before) {
      if (path == "report.zip") continue;
      auto it = after.find(path);
      ASSERT_NE(it, after.end()) << path << " is gone";
      EXPECT_EQ(it->second, content) << path << " changed";
    }
    // The archive is there once, under its old name or a free numbered one.
    int copies = 0;
    for (const auto& [path, content] : after)
      if (content == kArchive) {
        ++copies;
        EXPECT_TRUE(path == "report.zip" || (path.rfind("report_(", 0) == 0 && !before.count(path)))
            << path;
      }
    EXPECT_EQ(copies, 1);
    EXPECT_EQ(after.size(), before.size());
  }
}

}  // namespace
}  // namespace tollwick::testing
