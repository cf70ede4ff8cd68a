// Files the user may not read or write: a report or archive that cannot be opened ends the run
// with the file-open report; an archive in a directory the user cannot write keeps its name and
// the run goes on. The binary runs as "nobody" (root passes every permission check).
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
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, expected.out);  // both reports were read
  EXPECT_EQ(TreeDiff(Renamed(before, "report.zip", "report_(1).zip"), Snapshot(dir.path())), "");
}

TEST(FaultPermissions, DirectoryThatCannotBeListedYieldsNothing) {
  SKIP_UNLESS_UNPRIVILEGED();
  TempDir dir, reference;
  WriteFile(dir / "a.xml", kReport);
  WriteFile(dir / "closed/b.xml", kOtherReport);
  WriteFile(dir / "closed/report.zip", MakeZip({Stored("fulfillmentreport.xml", kOtherReport)}));
  WriteFile(reference / "a.xml", kReport);
  GiveToUnprivileged(dir.path());
  fs::permissions(dir / "closed", fs::perms::none);
  auto before = Snapshot(dir.path());
  auto expected = RunBinary({{"--all"}, reference.path()});
  ASSERT_EQ(expected.status, 0);

  auto result = RunBinary({{"--all"}, dir.path(), /*unprivileged=*/true});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, expected.out);
  EXPECT_EQ(TreeDiff(before, Snapshot(dir.path())), "");
}

}  // namespace
}  // namespace tollwick::testing
