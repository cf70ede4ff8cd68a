// Files and folders the user may not read, search or write: a report, archive or folder that
// cannot be opened or examined ends the run with the file-open report; an archive in a
// directory the user cannot write keeps its name and the run goes on. The binary runs as
// "nobody" (root passes every permission check).
#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_support.h"

namespace tollwick::testing {
namespace {

namespace fs = std::filesystem;

const std::string kReport =
    MakeReport({{"X1", "Alpha", "1.0", "Full", "Professional", "Store"}},
               {{"X1", "P1", "Ann", "DE", "", "1/15/2010 10:00:00", "Charged"}});
const std::string kOtherReport =
    MakeReport({{"X2", "Beta", "2.0", "Lite", "Standard", "Store"}},
               {{"X2", "P2", "Bob", "US", "CA", "2011-03-04T10:00:00", "Charged"}});

#define SKIP_UNLESS_UNPRIVILEGED()                           \
  if (!CanRunUnprivileged())                                 \
  GTEST_SKIP() << "running as root without /usr/bin/setpriv" \
               << ": cannot drop privileges, so permissions cannot be tested"

TEST(FaultPermissions, UnreadableReportEndsTheRunWithTheOpenError) {
  SKIP_UNLESS_UNPRIVILEGED();
  // The archive in the top directory is read and renamed before the subdirectory is walked.
  const struct {
    std::string locked;  // relative path of the file nobody may read
    std::string content;
  } cases[] = {
      {"sub/locked.xml", kOtherReport},
      {"sub/locked.zip", MakeZip({Stored("fulfillmentreport.xml", kOtherReport)})},
      {"sub/report.zip", MakeZip({Stored("fulfillmentreport.xml", kOtherReport)})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.locked);
    TempDir dir;
    WriteFile(dir / "report.zip", MakeZip({Stored("fulfillmentreport.xml", kReport)}));
    WriteFile(dir / c.locked, c.content);
    GiveToUnprivileged(dir.path());
    fs::permissions(dir / c.locked, fs::perms::none);
    auto before = Snapshot(dir.path());

    auto result = RunBinary({{"--all"}, dir.path(), /*unprivileged=*/true});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    std::string full_path = fs::canonical(dir.path()).string() + "/" + c.locked;
    EXPECT_EQ(NormalizedReport(result.err),
              ExpectedReport("EFOpenError",
                             "Cannot open file \"" + full_path + "\". Permission denied."));
    // The rename done before the error stays done; the locked archive keeps its name.
    EXPECT_EQ(TreeDiff(Renamed(before, "report.zip", "report_(1).zip"), Snapshot(dir.path())), "");
  }
}

TEST(FaultPermissions, ArchiveInAReadOnlyDirectoryKeepsItsName) {
  SKIP_UNLESS_UNPRIVILEGED();
  TempDir dir, reference;
  WriteFile(dir / "report.zip", MakeZip({Stored("fulfillmentreport.xml", kReport)}));
  WriteFile(dir / "fixed/report.zip", MakeZip({Stored("fulfillmentreport.xml", kOtherReport)}));
  WriteFile(dir / "fixed/Report (2).zip", "not an archive");
  GiveToUnprivileged(dir.path());
  fs::permissions(dir / "fixed", fs::perms::owner_read | fs::perms::owner_exec |
                                     fs::perms::group_read | fs::perms::group_exec |
                                     fs::perms::others_read | fs::perms::others_exec);
  auto before = Snapshot(dir.path());
  WriteFile(reference / "a.zip", MakeZip({Stored("fulfillmentreport.xml", kReport)}));
  WriteFile(reference / "b.zip", MakeZip({Stored("fulfillmentreport.xml", kOtherReport)}));
  auto expected = RunBinary({{"--all"}, reference.path()});
  ASSERT_EQ(expected.status, 0);

  auto result = RunBinary({{"--all"}, dir.path(), /*unprivileged=*/true});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "tollwick: warning: \"" + dir / "fixed/Report (2).zip" +
                            "\" is not a zip archive\n" +
                            ReplaceAll(expected.err, reference.path(), dir.path()));
  EXPECT_EQ(result.out, expected.out);  // both reports were read
  EXPECT_EQ(TreeDiff(Renamed(before, "report.zip", "report_(1).zip"), Snapshot(dir.path())), "");
}

// Nothing the walk cannot examine is passed over in silence: a folder that cannot be opened,
// listed or searched ends the run, and so does a link whose target cannot be reached.
TEST(FaultPermissions, WhatCannotBeExaminedEndsTheRun) {
  SKIP_UNLESS_UNPRIVILEGED();
  const fs::perms none = fs::perms::none, list_only = fs::perms::owner_read,
                  search_only = fs::perms::owner_write | fs::perms::owner_exec,
                  no_search = fs::perms::owner_read | fs::perms::owner_write;
  const struct {
    const char* what;
    std::string locked;  // relative path of the directory whose permissions change; "" the top
    fs::perms perms;
    std::string link;     // a link "look.xml" to this target, when not empty
    std::string message;  // with <top> for the top directory's absolute path
  } cases[] = {
      {"closed folder", "sub", none, "", "Cannot open directory \"<top>/sub\""},
      {"closed empty folder", "empty", none, "", "Cannot open directory \"<top>/empty\""},
      {"folder that cannot be listed", "sub", search_only, "",
       "Cannot open directory \"<top>/sub\""},
      {"folder that cannot be searched", "sub", list_only, "",
       "Cannot open directory \"<top>/sub\""},
      {"closed top directory", "", none, "", "Cannot open directory \"<top>\""},
      {"link into a folder that cannot be searched", "sub", no_search, "sub/b.xml",
       "Cannot open file \"<top>/look.xml\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    WriteFile(dir / "a.xml", kReport);
    WriteFile(dir / "sub/b.xml", kOtherReport);
    fs::create_directory(dir / "empty");
    if (!c.link.empty()) fs::create_symlink(c.link, dir / "look.xml");
    GiveToUnprivileged(dir.path());
    auto before = Snapshot(dir.path());
    fs::permissions(c.locked.empty() ? dir.path() : dir / c.locked, c.perms);

    auto result = RunBinary({{"--all"}, dir.path(), /*unprivileged=*/true});
    fs::permissions(c.locked.empty() ? dir.path() : dir / c.locked, fs::perms::owner_all);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    std::string message = c.message;
    message.replace(message.find("<top>"), 5, fs::canonical(dir.path()).string());
    EXPECT_EQ(NormalizedReport(result.err),
              ExpectedReport("EFOpenError", message + ". Permission denied."));
    EXPECT_EQ(TreeDiff(before, Snapshot(dir.path())), "");
  }
}

// A working directory removed before the run starts has no path: the run ends before it reads
// anything. As "nobody", with a short time limit, so that a walk of "/" could do no harm.
TEST(FaultPermissions, RemovedWorkingDirectoryEndsTheRunAtOnce) {
  SKIP_UNLESS_UNPRIVILEGED();
  TempDir dir;
  fs::create_directory(dir / "gone");
  GiveToUnprivileged(dir.path());
  auto result = RunBinary({.args = {"--all"},
                           .cwd = dir / "gone",
                           .unprivileged = true,
                           .timeout_seconds = 10,
                           .remove_cwd = true});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(
      NormalizedReport(result.err),
      ExpectedReport("EFOpenError", "Cannot open directory \".\". No such file or directory."));
  EXPECT_FALSE(fs::exists(dir / "gone"));
}

}  // namespace
}  // namespace tollwick::testing
