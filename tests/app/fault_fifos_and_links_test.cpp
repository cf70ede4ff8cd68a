// Directory entries that are not plain files or directories: FIFOs with report names must not be
// opened (opening one would wait for a writer forever), and symbolic links that lead back into
// the tree must not make the walk endless. Every run has a time limit, so a regression fails
// the test instead of hanging the suite.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "support/test_support.h"

namespace tollwick::testing {
namespace {

namespace fs = std::filesystem;

std::string Report(const std::string& sku, const std::string& purchase, const std::string& date) {
  return MakeReport({{sku, "Title " + sku, "1.0", "Full", "Professional", "Store"}},
                    {{sku, purchase, "Ann", "DE", "", date, "Charged"}});
}

// Runs --all in `dir` and in `reference` (the same reports without the odd entries): the run in
// `dir` must end in time, cleanly, with the same output. Gives the tree of `dir` afterwards.
std::map<std::string, std::string> RunBesideReference(const TempDir& dir,
                                                      const TempDir& reference) {
  auto expected = RunBinary({{"--all"}, reference.path()});
  EXPECT_EQ(expected.status, 0);
  auto result = RunBinary({{"--all"}, dir.path(), false, /*timeout_seconds=*/60});
  EXPECT_NE(result.status, kTimedOut) << "a FIFO was opened or the walk did not end";
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, expected.out);
  return Snapshot(dir.path());
}

TEST(FaultSpecialFiles, FifosAndDanglingLinksWithReportNamesAreNotOpened) {
  // Beside them a directory named like a report, walked as a directory in both trees.
  TempDir dir, reference;
  for (const TempDir* d : {&dir, &reference}) {
    WriteFile(*d / "a.xml", Report("X1", "P1", "1/15/2010 10:00:00"));
    WriteFile(*d / "folder.xml/b.xml", Report("X2", "P2", "2/16/2010 10:00:00"));
  }
  fs::create_directory(dir / "sub");
  for (const char* name : {"x.xml", "x.zip", "report.zip", "sub/y.xml", "sub/Report 2.ZIP"})
    ASSERT_EQ(::mkfifo((dir / name).c_str(), 0644), 0) << name;
  fs::create_symlink("x.xml", dir / "to_fifo.xml");
  fs::create_symlink("../report.zip", dir / "sub/report.zip");
  fs::create_symlink("nowhere.xml", dir / "dangling.xml");
  fs::create_symlink("nowhere.zip", dir / "report 3.zip");
  auto before = Snapshot(dir.path());
  // Neither a FIFO nor a link that leads nowhere is an archive, so none of them is renamed.
  EXPECT_EQ(TreeDiff(before, RunBesideReference(dir, reference)), "");
}

TEST(FaultSpecialFiles, LinkCyclesEndTheWalk) {
  // a/ holds a report, an archive to be renamed and b/; links lead from b/ back to a/ and to b/
  // itself, and from the top to a/ a second time.
  TempDir dir, reference;
  for (const TempDir* d : {&dir, &reference}) {
    WriteFile(*d / "a/r1.xml", Report("X1", "P1", "1/15/2010 10:00:00"));
    WriteFile(*d / "a/b/r2.xml", Report("X2", "P2", "2011-02-03T10:00:00"));
    WriteFile(*d / "a/report.zip",
              MakeZip({Stored("fulfillmentreport.xml", Report("X3", "P3", "3/1/2012 09:00:00"))}));
  }
  fs::create_directory_symlink("..", dir / "a/b/up");
  fs::create_directory_symlink("../b", dir / "a/b/self");
  fs::create_directory_symlink("a", dir / "c");
  fs::create_directory_symlink(dir / "a/b", dir / "a/b/absolute");
  auto before = Snapshot(dir.path());
  // The archive was renamed once, whichever way it was reached first.
  EXPECT_EQ(TreeDiff(Renamed(before, "a/report.zip", "a/report_(1).zip"),
                     RunBesideReference(dir, reference)),
            "");
}

}  // namespace
}  // namespace tollwick::testing
