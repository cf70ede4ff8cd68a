// Directory entries that are not plain files or directories: FIFOs with report names must not be
// opened (opening one would wait for a writer forever), and symbolic links that lead back into
// the tree must not make the walk endless. Every run has a time limit, so a regression fails
// the test instead of hanging the suite.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace tollwick::testing {
namespace {

namespace fs = std::filesystem;

std::string Report(const std::string& sku, const std::string& purchase, const std::string& date) {
  return MakeReport({{sku, "Title " + sku, "1.0", "Full", "Professional", "Store"}},
                    {{sku, purchase, "Ann", "DE", "", date, "Charged"}});
}

// Runs --all in `dir` and in `reference` (the same reports without the odd entries): the run in
// `dir` must end in time, cleanly, with the same output and warnings. Gives the tree of `dir`
// afterwards.
std::map<std::string, std::string> RunBesideReference(const TempDir& dir,
                                                      const TempDir& reference) {
  auto expected = RunBinary({{"--all"}, reference.path()});
  EXPECT_EQ(expected.status, 0);
  auto result = RunBinary({{"--all"}, dir.path(), false, /*timeout_seconds=*/60});
  EXPECT_NE(result.status, kTimedOut) << "a FIFO was opened or the walk did not end";
  EXPECT_EQ(result.status, 0);
  // The same warnings, if any.
  EXPECT_EQ(result.err, ReplaceAll(expected.err, reference.path(), dir.path()));
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

// Links lead out of the tree: the reports there are read, but archives keep their names unless
// their folder, links resolved, is the top directory or below it. As "nobody" with a time
// limit, so that a faulty walk cannot rename anything outside the temporary tree.
TEST(FaultSpecialFiles, ArchivesOutsideTheTreeKeepTheirNames) {
  if (!CanRunUnprivileged()) GTEST_SKIP() << "cannot drop privileges";
  TempDir base, reference;
  const std::string tree = base / "tree";
  const std::pair<std::string, std::string> archives[] = {
      {"tree/report.zip", "1/15/2010 10:00:00"},
      {"tree/inner/report.zip", "2/15/2010 10:00:00"},
      {"outside/report.zip", "3/15/2010 10:00:00"},
      {"outside/deeper/Report 3.zip", "4/15/2010 10:00:00"},
  };
  for (size_t i = 0; i < std::size(archives); ++i) {
    std::string report =
        Report("X" + std::to_string(i), "P" + std::to_string(i), archives[i].second);
    WriteFile(base / archives[i].first, MakeZip({Stored("fulfillmentreport.xml", report)}));
    WriteFile(reference / (std::to_string(i) + ".xml"), report);
  }
  // Out through "ext"; back in through outside/back before the walk meets tree/inner itself;
  // out again through sub/up to the folder above the tree.
  fs::create_directory_symlink("../outside", tree + "/ext");
  fs::create_directory_symlink("../tree/inner", base / "outside/back");
  fs::create_directories(tree + "/sub");
  fs::create_directory_symlink("../..", tree + "/sub/up");
  GiveToUnprivileged(base.path());
  auto before = Snapshot(base.path());
  auto expected = RunBinary({{"--all"}, reference.path()});
  ASSERT_EQ(expected.status, 0);

  auto result = RunBinary({{"--all"}, tree, /*unprivileged=*/true, /*timeout_seconds=*/30});
  EXPECT_EQ(result.status, 0);
  // The same warnings, if any.
  EXPECT_EQ(result.err, ReplaceAll(expected.err, reference.path(), tree));
  EXPECT_EQ(result.out, expected.out);
  auto renamed = Renamed(before, "tree/report.zip", "tree/report_(1).zip");
  EXPECT_EQ(TreeDiff(Renamed(renamed, "tree/inner/report.zip", "tree/inner/report_(1).zip"),
                     Snapshot(base.path())),
            "");
}

// Runs started together over one folder of archives rename them under each other's feet. A run
// either reads every report or ends with the open error for the archive that vanished; no
// archive is lost.
TEST(FaultSpecialFiles, RunsStartedTogetherNeverPrintPartialTotals) {
  TempDir dir, reference;
  for (int i = 1; i <= 40; ++i) {
    std::string report = Report("X" + std::to_string(i % 3), "P" + std::to_string(i),
                                "1/" + std::to_string(i % 28 + 1) + "/2010 10:00:00");
    WriteFile(dir / ("report (" + std::to_string(i) + ").zip"),
              MakeZip({Stored("fulfillmentreport.xml", report)}));
    WriteFile(reference / (std::to_string(i) + ".xml"), report);
  }
  auto expected = RunBinary({{"--all"}, reference.path()});
  ASSERT_EQ(expected.status, 0);
  std::vector<RunResult> results(3);
  {
    std::vector<std::thread> runs;
    for (RunResult& r : results)
      runs.emplace_back([&r, &dir] { r = RunBinary({{"--all"}, dir.path()}); });
    for (std::thread& t : runs) t.join();
  }
  // A run that fails names an archive "report (N).zip" that another run had renamed.
  std::string head = ExpectedReport(
      "EFOpenError", "Cannot open file \"" + fs::canonical(dir.path()).string() + "/report (");
  head.resize(head.size() - 4);  // without the final line breaks
  const std::string tail = ").zip\". No such file or directory.\r\n\r\n";
  for (const RunResult& r : results) {
    if (r.status == 0) {
      EXPECT_EQ(r.out, expected.out);
      continue;
    }
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    const std::string report = NormalizedReport(r.err);
    ASSERT_GT(report.size(), head.size() + tail.size()) << report;
    EXPECT_EQ(report.substr(0, head.size()), head);
    EXPECT_EQ(report.substr(report.size() - tail.size()), tail);
    const std::string number =
        report.substr(head.size(), report.size() - head.size() - tail.size());
    EXPECT_EQ(number.find_first_not_of("0123456789"), std::string::npos) << report;
  }
  auto after = Snapshot(dir.path());
  EXPECT_EQ(after.size(), 40u);
  for (int i = 1; i <= 40; ++i)
    EXPECT_EQ(after.count("report_(" + std::to_string(i) + ").zip"), 1u);
}

}  // namespace
}  // namespace tollwick::testing
