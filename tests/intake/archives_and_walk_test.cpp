// The archive walk, the numbered names archives get, and the walk of the report tree: what is
// read, in which order, and what is never opened, entered twice or replaced.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "intake/archive_rename.h"
#include "intake/report_archive.h"
#include "intake/scan_directory.h"
#include "intake/stored_entries.h"
#include "support/checks.h"
#include "support/row_collector.h"
#include "support/test_support.h"

namespace tollwick {
namespace {

using namespace tollwick::testing;
using Names = std::vector<std::string>;
const std::string kName = "fulfillmentreport.xml";

Names Entries(std::string_view archive) {
  Names out;
  ForEachReportEntry(archive, [&](std::string_view data) { out.emplace_back(data); });
  return out;
}

TEST(StoredEntries, WhichEntriesAreRead) {
  // A local header and name alone, without data, central directory or end record.
  auto header = [](uint32_t size, const std::string& name) {
    return LocalHeader(Stored(name, "", size)) + name;
  };
  const std::tuple<const char*, std::string, Names> cases[] = {
      {"name in any case", MakeZip({ZipEntry{"FulfillmentReport.XML", "R1"}}), {"R1"}},
      {"entry in a folder", MakeZip({ZipEntry{"x/" + kName, "R1"}}), {}},
      {"every report entry",
       MakeZip({ZipEntry{kName, ""}, ZipEntry{"a", "x"}, ZipEntry{kName, "R2"}}),
       {"R2"}},
      {"compressed entry ends the walk",
       MakeZip({ZipEntry{"a", "xx", 8}, ZipEntry{kName, "R2"}}),
       {}},
      {"sizes differ", MakeZip({ZipEntry{kName, "R1", 0, 1, 2}, ZipEntry{kName, "R2"}}), {}},
      {"data descriptor ends the walk", header(0, kName) + "R1" + MakeZip({}), {}},
      {"data descriptor then a header", header(0, "a") + MakeZip({ZipEntry{kName, "R2"}}), {"R2"}},
      {"4 GB declared", header(0xFFFFFFFFu, kName) + "R1", {}},
      {"data past the end", header(5, kName) + "R1", {}},
  };
  for (const auto& [what, archive, entries] : cases) EXPECT_EQ(Entries(archive), entries) << what;
}

TEST(StoredEntries, EveryPrefixGivesTheWholeEntriesInIt) {
  std::string first = MakeReport({{"s", "t", "v", "d", "e", "m"}}, {}), second = "second";
  std::string archive = MakeZip({ZipEntry{"a.txt", "x", 0, -1, -1, "XT"}, ZipEntry{kName, first},
                                 ZipEntry{"FULFILLMENTREPORT.xml", second}});
  const size_t first_end = archive.find(first) + first.size();
  const size_t second_end = archive.find(second) + second.size();
  for (size_t length = 0; length <= archive.size(); ++length) {
    Names expected;
    if (length >= first_end) expected.push_back(first);
    if (length >= second_end) expected.push_back(second);
    ASSERT_EQ(Entries(archive.substr(0, length)), expected) << length;
  }
}

TEST(ArchiveRename, WhichNamesAreNumbered) {
  for (const char* name : {"Report (2).zip", "REPORT (12).ZIP", "report.old.zip", "Report "})
    EXPECT_TRUE(NeedsNumberedName(name)) << name;
  for (const char* name : {"report_(3).zip", "reports.zip", "myreport.zip", "report", "r.zip"})
    EXPECT_FALSE(NeedsNumberedName(name)) << name;
}

TEST(ArchiveRename, FirstFreeNumberAndNothingReplaced) {
  // Present entries: a file holding its own name, "<name>/" a directory with a file in it,
  // "<name>@<target>" a symbolic link (dangling or to a directory). Each of them stays.
  const std::tuple<Names, std::string, std::string> cases[] = {
      {{}, "REPORT (12).ZIP", "report_(1).zip"},
      {{"report_(1).zip", "report_(2).zip"}, "report (1).zip", "report_(3).zip"},
      {{"report_(2).zip"}, "report (1).zip", "report_(1).zip"},
      {{"report_(1).zip/"}, "report.zip", "report_(2).zip"},
      {{"report_(1).zip@nowhere.zip"}, "report.zip", "report_(2).zip"},
      {{"d/", "report_(1).zip@d", "report_(2).zip@nowhere"}, "report.zip", "report_(3).zip"},
      {{}, "reports.zip", "reports.zip"},
  };
  for (const auto& [present, archive, renamed] : cases) {
    TempDir dir;
    for (const std::string& name : present) {
      size_t at = name.find('@');
      if (at != std::string::npos)
        ASSERT_EQ(::symlink(name.substr(at + 1).c_str(), (dir / name.substr(0, at)).c_str()), 0);
      else
        WriteFile(dir / (name.back() == '/' ? name + "kept" : name), name);
    }
    Tree before = Snapshot(dir.path());
    WriteFile(dir / archive, "not an archive");
    RowCollector rows;
    ReadReportArchive(dir / archive, rows);
    before[renamed] = "not an archive";
    EXPECT_EQ(TreeDiff(before, Snapshot(dir.path())), "") << archive;
  }
}

// The chosen name appears between choosing and renaming: the newcomer stays untouched and the
// next number is taken.
TEST(ArchiveRename, NameTakenJustBeforeTheRename) {
  for (int variant = 0; variant < 4; ++variant) {
    TempDir dir;
    WriteFile(dir / "report.zip", "archive");
    RenameOptions options;
    options.force_link = variant & 1;
    options.before_rename = [&](const std::string& chosen) {
      if (chosen != "report_(1).zip") return;
      variant & 2 ? (void)::mkdir((dir / chosen).c_str(), 0755) : WriteFile(dir / chosen, "new");
    };
    EXPECT_EQ(RenameToNumberedName(dir.path() + "/", "report.zip", nullptr, options),
              "report_(2).zip");
    EXPECT_EQ(ReadFile(dir / "report_(2).zip"), "archive");
    const std::string taken = variant & 2 ? "report_(1).zip/" : "report_(1).zip";
    EXPECT_EQ(ListTree(dir.path()), (Names{taken, "report_(2).zip"}));
    EXPECT_EQ(variant & 2 ? "new" : ReadFile(dir / taken), "new");
  }
}

// A report with one sale: purchase `id` on day `day` of March 2010.
std::string Sale(const std::string& id, int day = 1) {
  return MakeReport({}, {{"s", id, "", "", "", "2010-03-" + std::to_string(day) + "T", ""}});
}
std::string Zipped(const std::string& report) {
  return MakeZip({ZipEntry{kName, report}});
}

// Purchase id and day of every purchase row the walk hands on, in order.
Names Scan(const TempDir& dir) {
  ScopedChdir chdir(dir.path());
  RowCollector rows;
  ScanDirectory(rows);
  Names ids;
  for (const auto& row : rows.rows) ids.push_back(row.values[1] + row.values[5].substr(8));
  return ids;
}

TEST(ScanDirectory, OrderAndSkippedEntries) {
  TempDir dir;
  // A loose file ends at its first NUL and loses its line breaks; an archive entry keeps them.
  WriteFile(dir / "b.xml", Sale("loose-\r\nb") + std::string(1, '\0') + Sale("after-nul"));
  WriteFile(dir / "a.XML", Sale("loose-a"));
  WriteFile(dir / "c.zip", Zipped(Sale("zip-\nc")));
  WriteFile(dir / "A.Zip", Zipped(Sale("zip-A")));
  WriteFile(dir / "sub/d.xml", Sale("sub-d"));
  WriteFile(dir / "0sub/deeper/f.zip", Zipped(Sale("deeper-f")));
  WriteFile(dir / "sub.xml/g.xml", Sale("dir-named-xml"));
  WriteFile(dir / "[Content_Types].xml", Sale("content-types"));
  WriteFile(dir / "[content_types].xml", Sale("lower-content-types"));
  WriteFile(dir / ".hidden.xml", Sale("hidden-file"));
  WriteFile(dir / ".hidden/r.xml", Sale("hidden-dir"));
  ASSERT_EQ(::mkfifo((dir / "x.xml").c_str(), 0644), 0);
  ASSERT_EQ(::mkfifo((dir / "x.zip").c_str(), 0644), 0);
  ASSERT_EQ(::symlink("missing", (dir / "dangling.xml").c_str()), 0);
  EXPECT_EQ(Scan(dir), (Names{"lower-content-types1T", "loose-a1T", "loose-b1T", "zip-A1T",
                              "zip-\nc1T", "deeper-f1T", "sub-d1T", "dir-named-xml1T"}));
}

TEST(ScanDirectory, NothingIsReadTwice) {
  TempDir dir;
  // "a" is read, then "m"; the link "z" to "a" and the loops must not be followed again.
  WriteFile(dir / "a/r.xml", Sale("same", 1));
  WriteFile(dir / "m/r.xml", Sale("same", 2));
  ASSERT_EQ(::symlink("a", (dir / "z").c_str()), 0);
  ASSERT_EQ(::symlink("..", (dir / "a/loop").c_str()), 0);
  ASSERT_EQ(::symlink(".", (dir / "m/self").c_str()), 0);
  // A renamed archive is not read again under its new name, and a link to it, examined only
  // after the rename, now dangles and is passed over.
  WriteFile(dir / "n/report.zip", Zipped(Sale("other", 1)));
  WriteFile(dir / "n/report_(1).zip", Zipped(Sale("other", 2)));
  ASSERT_EQ(::symlink("report.zip", (dir / "n/zz.zip").c_str()), 0);
  EXPECT_EQ(Scan(dir), (Names{"same1T", "same2T", "other1T", "other2T"}));
  EXPECT_EQ(ListTree(dir / "n"), (Names{"report_(1).zip", "report_(2).zip", "zz.zip"}));
}

// Several renames in one folder still fill the gaps in order: the search remembers where the
// last one stopped, not past a free number.
TEST(ScanDirectory, RenamesInOneFolderFillTheGaps) {
  TempDir dir;
  for (const char* name : {"report a.zip", "report b.zip", "Report.c.zip", "report_(2).zip"})
    WriteFile(dir / name, name);
  Scan(dir);
  EXPECT_EQ(ListTree(dir.path()),
            (Names{"report_(1).zip", "report_(2).zip", "report_(3).zip", "report_(4).zip"}));
  EXPECT_EQ(ReadFile(dir / "report_(2).zip"), "report_(2).zip");
  EXPECT_EQ(ReadFile(dir / "report_(1).zip"), "Report.c.zip");  // names sorted by bytes
}

TEST(ReadReportArchive, FixturesAndMissingFile) {
  const std::pair<const char*, Names> cases[] = {
      {"zip_stored.zip", {"ZP1"}}, {"python_stored.zip", {"PS1"}}, {"python_deflated.zip", {}}};
  for (const auto& [file, sales] : cases) {
    RowCollector rows;
    ReadReportArchive(std::string(TOLLWICK_SOURCE_DIR) + "/tests/fixtures/intake/" + file, rows);
    Names ids;
    for (const auto& row : rows.rows)
      if (row.purchase) ids.push_back(row.values[1]);
    EXPECT_EQ(ids, sales) << file;
  }
  TempDir dir;
  ScopedChdir chdir(dir.path());
  RowCollector rows;
  EXPECT_EQ(
      ErrorOf([&] { ReadReportArchive("report.zip", rows); }),
      "EFOpenError: Cannot open file \"" + dir.path() + "/report.zip\". No such file or directory");
}

}  // namespace
}  // namespace tollwick
