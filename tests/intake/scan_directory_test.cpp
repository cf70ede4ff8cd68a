// The walk: what is visited, in which order, and what is never opened or entered twice.
#include "intake/scan_directory.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "intake/parse_report.h"
#include "support/test_support.h"
#include "tables/errors.h"

namespace tollwick {
namespace {

using testing::ListTree;
using testing::MakeReport;
using testing::MakeZip;
using testing::TempDir;
using testing::WriteFile;
using testing::ZipEntry;
using Names = std::vector<std::string>;

// A report with one sale: purchase `id`, bought on day `day` of March 2010.
std::string Sale(const std::string& id, int day = 1) {
  return MakeReport(
      {}, {{"sku", id, "3", "4", "5", "2010-03-" + std::to_string(day) + "T00:00:00", "7"}});
}
std::string Zipped(const std::string& report) {
  return MakeZip({ZipEntry{"fulfillmentreport.xml", report, 0, -1, -1, {}}});
}

Names PurchaseIds(const RunState& state) {
  Names ids;
  for (const RSALE& sale : state.Sales) ids.push_back(sale.PurchaseId);
  return ids;
}

Names ScanIn(const std::string& dir, RunState& state) {
  testing::ScopedChdir chdir(dir);
  ScanDirectory(state, "");
  return PurchaseIds(state);
}

TEST(ScanDirectory, OrderLooseThenArchivesThenSubdirectories) {
  TempDir dir;
  WriteFile(dir / "b.xml", Sale("loose-b"));
  WriteFile(dir / "a.XML", Sale("loose-a"));
  WriteFile(dir / "c.zip", Zipped(Sale("zip-c")));
  WriteFile(dir / "A.Zip", Zipped(Sale("zip-A")));
  WriteFile(dir / "sub/d.xml", Sale("sub-d"));
  WriteFile(dir / "0sub/e.xml", Sale("0sub-e"));
  WriteFile(dir / "0sub/deeper/f.zip", Zipped(Sale("deeper-f")));
  WriteFile(dir / "sub.xml/g.xml", Sale("dir-named-xml"));
  WriteFile(dir / "notes.txt", Sale("txt"));
  RunState state;
  EXPECT_EQ(ScanIn(dir.path(), state), (Names{"loose-a", "loose-b", "zip-A", "zip-c", "0sub-e",
                                              "deeper-f", "sub-d", "dir-named-xml"}));
}

TEST(ScanDirectory, SkippedNames) {
  TempDir dir;
  WriteFile(dir / "[Content_Types].xml", Sale("content-types"));
  WriteFile(dir / "[content_types].xml", Sale("lower-content-types"));
  WriteFile(dir / ".hidden.xml", Sale("hidden-file"));
  WriteFile(dir / ".hidden/r.xml", Sale("hidden-dir"));
  WriteFile(dir / ".z.zip", Zipped(Sale("hidden-zip")));
  RunState state;
  EXPECT_EQ(ScanIn(dir.path(), state), Names{"lower-content-types"});
}

TEST(ScanDirectory, SpecialFilesAreNeverOpened) {
  TempDir dir;
  ASSERT_EQ(::mkfifo((dir / "x.xml").c_str(), 0644), 0);
  ASSERT_EQ(::mkfifo((dir / "x.zip").c_str(), 0644), 0);
  ASSERT_EQ(::symlink("missing.xml", (dir / "dangling.xml").c_str()), 0);
  ASSERT_EQ(::symlink("missing", (dir / "dangling-dir").c_str()), 0);
  WriteFile(dir / "real.xml", Sale("real"));
  ASSERT_EQ(::symlink("real.xml", (dir / "via-link.xml").c_str()), 0);
  RunState state;
  EXPECT_EQ(ScanIn(dir.path(), state), Names{"real"});
  // Handed a FIFO directly, the readers return without blocking.
  ParseReport(state, dir / "x.xml", {});
}

TEST(ScanDirectory, LinkedDirectoriesAreEnteredOnce) {
  TempDir dir;
  // "a" is read, then "m" overwrites the sale's date; "z" links to "a" and must not be read
  // again, or the first date would come back.
  WriteFile(dir / "a/r.xml", Sale("same", 1));
  WriteFile(dir / "m/r.xml", Sale("same", 2));
  ASSERT_EQ(::symlink("a", (dir / "z").c_str()), 0);
  ASSERT_EQ(::symlink("..", (dir / "a/loop").c_str()), 0);  // a cycle back to the top
  ASSERT_EQ(::symlink(".", (dir / "m/self").c_str()), 0);
  RunState state;
  EXPECT_EQ(ScanIn(dir.path(), state), Names{"same"});
  EXPECT_EQ(state.Sales[0].DateText, "2010-03-2T00:00:00");
}

TEST(ScanDirectory, RenamedArchiveIsNotReadAgain) {
  TempDir dir;
  WriteFile(dir / "report.zip", Zipped(Sale("same", 1)));
  WriteFile(dir / "report_(1).zip", Zipped(Sale("same", 2)));
  RunState state;
  ScanIn(dir.path(), state);
  EXPECT_EQ(state.Sales[0].DateText, "2010-03-2T00:00:00");
  EXPECT_EQ(ListTree(dir.path()), (Names{"report_(1).zip", "report_(2).zip"}));
}

TEST(ScanDirectory, LooseFileDocument) {
  TempDir dir;
  std::string report = Sale("p1");
  // Line breaks inside a value are dropped from a loose file, kept in an archive entry.
  std::string broken =
      MakeReport({}, {{"sku", "p\r\n2", "3", "4", "5", "2010-03-05T00:00:00", "7"}});
  WriteFile(dir / "a.xml", report + std::string(1, '\0') + Sale("after-nul"));
  WriteFile(dir / "b.xml", broken);
  WriteFile(dir / "c.zip", Zipped(broken));
  RunState state;
  EXPECT_EQ(ScanIn(dir.path(), state), (Names{"p1", "p2", "p\r\n2"}));
}

TEST(ParseReport, MissingFileRaisesWithAbsolutePath) {
  TempDir dir;
  testing::ScopedChdir chdir(dir.path());
  RunState state;
  try {
    ParseReport(state, "gone.xml", {});
    FAIL() << "no error";
  } catch (const TollwickError& error) {
    EXPECT_EQ(error.kind(), ErrorKind::EFOpenError);
    EXPECT_EQ(std::string(error.what()),
              "Cannot open file \"" + dir.path() + "/gone.xml\". No such file or directory");
  }
}

TEST(Tollwick, AllListsEverySkuFound) {
  TempDir dir;
  WriteFile(dir / "r.xml", MakeReport({{"S1", "Alpha", "1.0", "d", "Professional", "Pocket PC"}},
                                      {{"S1", "P1", "3", "4", "5", "2010-03-05T00:00:00", "7"}}));
  WriteFile(dir / "sub/report 1.zip",
            Zipped(MakeReport({{"S2", "Beta", "2.0", "d", "Standard", "Smartphone"}},
                              {{"S2", "P2", "3", "4", "5", "2010-03-07T00:00:00", "7"}})));
  WriteFile(dir / "prices.csv", "");
  WriteFile(dir / "currency.txt", "");
  testing::RunResult result = testing::RunTollwickBinary({"--all"}, dir.path());
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find("Alpha"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("Beta"), std::string::npos) << result.out;
  EXPECT_EQ(ListTree(dir.path()),
            (Names{"currency.txt", "prices.csv", "r.xml", "sub/", "sub/report_(1).zip"}));
}

}  // namespace
}  // namespace tollwick
