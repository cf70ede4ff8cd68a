// Which archives get a numbered name, which number they get, and that nothing is ever replaced.
#include "intake/archive_rename.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "intake/report_archive.h"
#include "support/test_support.h"

namespace tollwick {
namespace {

using testing::ListTree;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;
using Names = std::vector<std::string>;

TEST(ArchiveRename, WhichNamesAreNumbered) {
  for (const char* name : {"report.zip", "Report (2).zip", "REPORT (12).ZIP", "report.old.zip",
                           "report 2010.zip", "report.", "Report ", "rEpOrT.x"})
    EXPECT_TRUE(NeedsNumberedName(name)) << name;
  for (const char* name : {"report_(3).zip", "reports.zip", "myreport.zip", "report", "",
                           "report-1.zip", " report .zip"})
    EXPECT_FALSE(NeedsNumberedName(name)) << name;
}

TEST(ArchiveRename, FirstFreeNumber) {
  struct Case {
    Names present;  // besides the archive; names ending in "/" are directories
    std::string archive;
    Names after;
  };
  const Case cases[] = {
      {{}, "report.zip", {"report_(1).zip"}},
      {{}, "REPORT (12).ZIP", {"report_(1).zip"}},
      {{"report_(1).zip", "report_(2).zip"},
       "report (1).zip",
       {"report_(1).zip", "report_(2).zip", "report_(3).zip"}},
      {{"report_(2).zip"}, "report (1).zip", {"report_(1).zip", "report_(2).zip"}},
      {{"report_(1).zip/"}, "report.zip", {"report_(1).zip/", "report_(2).zip"}},
      {{}, "reports.zip", {"reports.zip"}},
      {{}, "report_(3).zip", {"report_(3).zip"}},
  };
  for (const Case& c : cases) {
    TempDir dir;
    for (const std::string& name : c.present) {
      if (name.back() == '/')
        ::mkdir((dir / name).c_str(), 0755);
      else
        WriteFile(dir / name, "old " + name);
    }
    WriteFile(dir / c.archive, "not an archive");
    RunState state;
    ReadReportArchive(state, dir / c.archive);
    EXPECT_EQ(ListTree(dir.path()), c.after) << c.archive;
    for (const std::string& name : c.present) {
      if (name.back() != '/') {
        EXPECT_EQ(ReadFile(dir / name), "old " + name);
      }
    }
  }
}

TEST(ArchiveRename, DanglingLinkTakesTheName) {
  TempDir dir;
  ASSERT_EQ(::symlink("nowhere", (dir / "report_(1).zip").c_str()), 0);
  WriteFile(dir / "report.zip", "x");
  EXPECT_EQ(RenameToNumberedName(dir.path() + "/", "report.zip"), "report_(2).zip");
  EXPECT_EQ(ReadFile(dir / "report_(2).zip"), "x");
}

// The chosen name appears between choosing it and renaming: the newcomer stays untouched and
// the next number is taken.
TEST(ArchiveRename, NameTakenJustBeforeTheRename) {
  for (bool force_link : {false, true}) {
    for (bool as_directory : {false, true}) {
      TempDir dir;
      WriteFile(dir / "report.zip", "archive");
      RenameOptions options;
      options.force_link = force_link;
      int calls = 0;
      options.before_rename = [&](const std::string& chosen) {
        if (calls++ > 0) return;
        EXPECT_EQ(chosen, "report_(1).zip");
        if (as_directory)
          ::mkdir((dir / chosen).c_str(), 0755);
        else
          WriteFile(dir / chosen, "newcomer");
      };
      EXPECT_EQ(RenameToNumberedName(dir.path() + "/", "report.zip", options), "report_(2).zip");
      EXPECT_EQ(calls, 2);
      EXPECT_EQ(ReadFile(dir / "report_(2).zip"), "archive");
      if (as_directory) {
        EXPECT_EQ(ListTree(dir.path()), (Names{"report_(1).zip/", "report_(2).zip"}));
      } else {
        EXPECT_EQ(ReadFile(dir / "report_(1).zip"), "newcomer");
        EXPECT_EQ(ListTree(dir.path()), (Names{"report_(1).zip", "report_(2).zip"}));
      }
    }
  }
}

TEST(ArchiveRename, FailedRenameKeepsTheName) {
  TempDir dir;
  WriteFile(dir / "report.zip", "x");
  // The archive vanished before the rename: nothing is created.
  EXPECT_EQ(RenameToNumberedName(dir.path() + "/", "other.zip"), "");
  EXPECT_EQ(ListTree(dir.path()), Names{"report.zip"});
  if (::geteuid() != 0) {
    ::chmod(dir.path().c_str(), 0555);
    EXPECT_EQ(RenameToNumberedName(dir.path() + "/", "report.zip"), "");
    ::chmod(dir.path().c_str(), 0755);
    EXPECT_EQ(ListTree(dir.path()), Names{"report.zip"});
  }
}

}  // namespace
}  // namespace tollwick
