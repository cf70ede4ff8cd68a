// The walk of the report tree: what is read, in which order, and what is never opened, read twice
// or replaced; then with a file system that fails on purpose, on the walk's thread and on reading
// threads (each fault ends the run with that file's error after the rows before it); the ring.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

#include "intake/archive_rename.h"
#include "intake/read_ahead.h"
#include "intake/report_tree.h"
#include "intake/table_rows.h"
#include "support/checks.h"
#include "support/faulty_writes.h"
#include "support/row_collector.h"
#include "support/test_support.h"

namespace tollwick::testing {
namespace {

using Ids = std::vector<std::string>;

// A report of one sale (on 5 March 2010) for each purchase id; and a report alone in an archive.
std::string Purchases(const Ids& ids) {
  std::vector<std::vector<std::string>> sales;
  for (const std::string& id : ids) sales.push_back({"S", id, "", "", "", "2010-03-05T", ""});
  return MakeReport({}, sales);
}
std::string Zipped(const std::string& report) {
  return MakeZip({Stored("fulfillmentreport.xml", report)});
}

// The purchase ids of the rows that a walk of `dir` hands on, in order.
Ids Walked(const TempDir& dir, FileSystem& files = SystemFileSystem(), size_t threads = 0) {
  ScopedChdir chdir(dir.path());
  RowCollector rows;
  WarningList warnings;
  ReadReportTree(files, rows, warnings, threads);
  Ids ids;
  for (const auto& row : rows.rows) ids.push_back(row.values[1]);
  return ids;
}

TEST(ReadReportTree, OrderSkippedEntriesAndNothingReadTwice) {
  TempDir dir;
  // A loose file ends at its first NUL and loses its line breaks; an archive entry keeps them.
  WriteFile(dir / "b.xml",
            Purchases({"loose-\r\nb"}) + std::string(1, '\0') + Purchases({"after-nul"}));
  WriteFile(dir / "a.XML", Purchases({"loose-a"}));
  WriteFile(dir / "c.zip", Zipped(Purchases({"zip-\nc"})));
  WriteFile(dir / "A.Zip", Zipped(Purchases({"zip-A"})));
  WriteFile(dir / "sub/d.xml", Purchases({"sub-d"}));
  WriteFile(dir / "0sub/deeper/f.zip", Zipped(Purchases({"deeper-f"})));
  WriteFile(dir / "sub.xml/g.xml", Purchases({"dir-named-xml"}));
  WriteFile(dir / "[Content_Types].xml", Purchases({"content-types"}));
  WriteFile(dir / "[content_types].xml", Purchases({"lower-content-types"}));
  WriteFile(dir / ".hidden/r.xml", Purchases({"hidden"}));
  // "a" is read, then "m"; the link "z" to "a" and the loops must not be followed again.
  WriteFile(dir / "a/r.xml", Purchases({"a"}));
  WriteFile(dir / "m/r.xml", Purchases({"m"}));
  ASSERT_EQ(::symlink("a", (dir / "z").c_str()), 0);
  ASSERT_EQ(::symlink("..", (dir / "a/loop").c_str()), 0);
  ASSERT_EQ(::symlink(".", (dir / "m/self").c_str()), 0);
  // A renamed archive is not read again under its new name, and a link to it, examined only
  // after the rename, now dangles and is passed over.
  WriteFile(dir / "n/report.zip", Zipped(Purchases({"n1"})));
  WriteFile(dir / "n/report_(1).zip", Zipped(Purchases({"n2"})));
  ASSERT_EQ(::symlink("report.zip", (dir / "n/zz.zip").c_str()), 0);
  EXPECT_EQ(Walked(dir), (Ids{"lower-content-types", "loose-a", "loose-b", "zip-A", "zip-\nc",
                              "deeper-f", "a", "m", "n1", "n2", "sub-d", "dir-named-xml"}));
  EXPECT_EQ(ListTree(dir / "n"), (Ids{"report_(1).zip", "report_(2).zip", "zz.zip"}));
}

TEST(FileFaults, EachFailureEndsTheRunInWalkOrder) {
  const std::string c1 = Purchases({"C1"}), c2 = Purchases({"C2"});
  const std::string archive =
      MakeZip({Stored("fulfillmentreport.xml", c1), Deflated("fulfillmentreport.xml", c2)});
  const uint64_t second_entry = 30 + 21 + c1.size();
  const std::string e = Purchases({"E1"});
  const std::string bad_date = MakeReport(
      {}, {{"S", "D1", "", "", "", "2010-02-30T", ""}, {"S", "D2", "", "", "", "x", ""}});
  const Ids all = {"A1", "A2", "B1", "C1", "C2", "E1", "D1"}, up_to_c = {"A1", "A2", "B1", "C1"};
  const Ids up_to_sub = {"A1", "A2", "B1", "C1", "C2"}, top = {"report_(1).zip"};
  const Ids both = {"report_(1).zip", "sub/report_(1).zip"};
  // Each fault, the purchases read, the error ("@": the tree's path), the numbered archives.
  using Fault = std::function<void(FaultyFiles&)>;
  const std::tuple<const char*, Fault, Ids, std::string, Ids> cases[] = {
      // clang-format off
      {"no fault", [](FaultyFiles&) {}, all, "", both},
      {"every call interrupted once", [](FaultyFiles& f) { f.interrupt = true; }, all, "", both},
      {"reads of 1 byte", [](FaultyFiles& f) { f.read_cap = 1; }, all, "", both},
      {"first read of a report fails", [](FaultyFiles& f) { f.failing_file = "b.xml"; },
       {"A1", "A2"}, "EInOutError: Cannot read file \"@/b.xml\". Input/output error", {}},
      {"a read in the middle of an archive fails",
       [&](FaultyFiles& f) { f.failing_file = "report c.zip"; f.fail_at = second_entry;
                             f.read_cap = 7; },
       up_to_c, "EInOutError: Cannot read file \"@/report c.zip\". Input/output error", {}},
      {"a report ends early",
       [](FaultyFiles& f) { f.failing_file = "e.xml"; f.fail_at = 100; f.read_error = 0; },
       up_to_sub, "EInOutError: File \"@/sub/e.xml\" ended after 100 of " +
           std::to_string(e.size()) + " bytes.", top},
      {"an archive ends early",
       [&](FaultyFiles& f) { f.failing_file = "report c.zip"; f.fail_at = second_entry + 40;
                             f.read_error = 0; },
       up_to_c, "EInOutError: File \"@/report c.zip\" ended after " +
           std::to_string(second_entry + 40) + " of " + std::to_string(archive.size()) + " bytes.",
       {}},
      {"a listing fails", [](FaultyFiles& f) { f.failing_list = "sub"; },
       up_to_sub, "EFOpenError: Cannot open directory \"@/sub\". Input/output error", top},
      {"an entry vanishes after the listing", [](FaultyFiles& f) { f.vanished = "e.xml"; },
       up_to_sub, "EFOpenError: Cannot open file \"@/sub/e.xml\". No such file or directory", top},
      {"a date that is no date, in an archive", [](FaultyFiles&) {},
       {"A1", "A2", "B1", "C1", "C2", "E1"}, "EConvertError: Invalid argument to date encode", top},
      // clang-format on
  };
  for (const auto& [what, fault, purchases, error, renamed] : cases)
    for (size_t threads : {0, 3}) {
      SCOPED_TRACE(std::string(what) + (threads != 0 ? ", reading threads" : ", one thread"));
      TempDir dir;
      WriteFile(dir / "a.xml", Purchases({"A1", "A2"}));
      WriteFile(dir / "b.xml", Purchases({"B1"}));
      WriteFile(dir / "report c.zip", archive);
      WriteFile(dir / "sub/e.xml", e);
      const bool bad = error.starts_with("EConvert");
      WriteFile(dir / "sub/report d.zip", Zipped(bad ? bad_date : Purchases({"D1"})));
      ScopedChdir chdir(dir.path());
      FaultyFiles files;
      fault(files);
      SkuTable skus;
      SaleTable sales;
      TableRows rows(skus, sales);  // each date read, a bad one raises
      WarningList warnings;
      EXPECT_EQ(ErrorOf([&] { ReadReportTree(files, rows, warnings, threads); }),
                ReplaceAll(error, "@", dir.path()));
      Ids ids;
      for (const RSALE sale : sales) ids.emplace_back(sale.PurchaseId);
      EXPECT_EQ(ids, purchases);
      Ids numbered;
      for (const std::string& path : ListTree(dir.path()))
        if (path.find("report_(") != std::string::npos) numbered.push_back(path);
      EXPECT_EQ(numbered, renamed);
      EXPECT_TRUE(warnings.empty());
    }
}

// Ten files through three slots on a tiny budget, one failing: all in order, the ring goes on.
TEST(ReadAhead, TinyBudgetWrapAroundAndAFailure) {
  TempDir dir;
  ScopedChdir chdir(dir.path());
  for (int i = 0; i < 10; ++i)
    WriteFile(dir / ("f" + std::to_string(i) + ".xml"), Purchases({"P" + std::to_string(i)}));
  FaultyFiles files;
  files.failing_file = "f6.xml";
  files.read_cap = 5;
  for (uint64_t budget : {uint64_t{1}, uint64_t{1} << 20}) {
    RowCollector rows;
    ReadAhead ahead(files, 3, 2, budget, rows);
    WarningList warnings;
    Ids got;
    auto apply_oldest = [&] {
      RowCollector applied;
      got.push_back(ErrorOf([&] { ApplyJob(ahead.TakeOldest(), applied, warnings); }));
      for (const auto& row : applied.rows) got.back() += row.values[1];
      ahead.Release();
    };
    for (int i = 0; i < 10; ++i) {
      const std::string name = "f" + std::to_string(i) + ".xml";
      const uint64_t size = ReadFile(name).size();
      while (ahead.Full(size)) apply_oldest();
      ReportJob& job = ahead.Free();
      job.Reset(dir / name, false);
      job.fd = FileDescriptor(files.OpenAt(AT_FDCWD, name, O_RDONLY));
      job.size = size;
      ahead.Submit();
    }
    while (!ahead.Empty()) apply_oldest();
    EXPECT_EQ(got,
              (Ids{"P0", "P1", "P2", "P3", "P4", "P5",
                   "EInOutError: Cannot read file \"" + dir / "f6.xml" + "\". Input/output error",
                   "P7", "P8", "P9"}))
        << budget;
  }
}

// A name taken between choosing and renaming (also by the link fallback): the next number.
TEST(FileFaults, NameTakenJustBeforeTheRename) {
  for (int variant = 0; variant < 4; ++variant) {
    TempDir dir;
    WriteFile(dir / "report.zip", "archive");
    FaultyFiles files;
    files.archive_rename_error = variant & 1 ? EINVAL : 0;
    files.before_archive_rename = [&](const std::string& chosen) {
      if (chosen != "report_(1).zip") return;
      variant & 2 ? (void)::mkdir((dir / chosen).c_str(), 0755) : WriteFile(dir / chosen, "new");
    };
    FileDescriptor fd(::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY));
    EXPECT_EQ(RenameToNumberedName(files, fd.get(), "report.zip"), "report_(2).zip");
    EXPECT_EQ(Snapshot(dir.path()), (Tree{{"report_(1).zip", variant & 2 ? "<dir>" : "new"},
                                          {"report_(2).zip", "archive"}}));
  }
}

// 3,000 archives numbered in byte order around a taken number (each search resumes where the last
// stopped), beside a walk 26 levels deep (outer folders closed, reopened through ".." going back).
TEST(FileFaults, ManyRenamesFewNamesExaminedAndADeepWalk) {
  TempDir dir;
  constexpr size_t kArchives = 3000;
  std::vector<std::string> names;
  for (size_t i = 0; i < kArchives; ++i) {
    names.push_back("report " + std::to_string(i) + ".zip");
    WriteFile(dir / names.back(), names.back());
  }
  WriteFile(dir / "report_(5).zip", "kept");
  std::string deep;
  for (int level = 1; level <= 26; ++level) deep += "L" + std::to_string(level) + "/";
  WriteFile(dir / (deep + "r.xml"), Purchases({"deep"}));
  WriteFile(dir / "z/r.xml", Purchases({"beside"}));
  Tree expected = Snapshot(dir.path());
  for (size_t threads : {0, 2}) {
    FaultyFiles files;
    EXPECT_EQ(Walked(dir, files, threads), (Ids{"deep", "beside"}));
    EXPECT_EQ(files.reopened_from, (Ids{"L3", "L2", "L1"})) << threads;
    EXPECT_LT(files.names_examined.load(), 6 * kArchives);
  }
  std::sort(names.begin(), names.end());
  for (size_t i = 0; i < kArchives; ++i)
    expected =
        Renamed(expected, names[i], "report_(" + std::to_string(i + (i < 4 ? 1 : 2)) + ").zip");
  EXPECT_EQ(TreeDiff(expected, Snapshot(dir.path())), "");
}

}  // namespace
}  // namespace tollwick::testing
