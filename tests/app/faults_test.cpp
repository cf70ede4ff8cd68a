// Faults that end a run (the exact report, exit status 1, renames done before stay done) or
// that it must survive: permissions (checked as "nobody"), FIFOs, link cycles and links out of
// the tree (with time limits), concurrent runs, and archive headers that promise gigabytes.
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

const std::string kReport =
    MakeReport({{"X1", "Alpha", "1.0", "Full", "Professional", "Store"}},
               {{"X1", "P1", "Ann", "DE", "", "1/15/2010 10:00:00", "Charged"}});

std::string SaleOn(const std::string& date) {
  return MakeReport({{"X2", "Beta", "2.0", "Lite", "Standard", "Store"}},
                    {{"X2", "P2", "Bob", "US", "CA", date, "Charged"}});
}
const std::string kOtherReport = SaleOn("2011-03-04T10:00:00");

std::string Report(const std::string& sku, const std::string& purchase, const std::string& date) {
  return MakeReport({{sku, "Title " + sku, "1.0", "Full", "Professional", "Store"}},
                    {{sku, purchase, "Ann", "DE", "", date, "Charged"}});
}

#define SKIP_UNLESS_UNPRIVILEGED()                           \
  if (!CanRunUnprivileged())                                 \
  GTEST_SKIP() << "running as root without /usr/bin/setpriv" \
               << ": cannot drop privileges, so permissions cannot be tested"

const std::vector<std::string> kProductsOnly = {"--all", "--date-total=0", "--date-year=0",
                                                "--date-month=0", "--date-day=0"};

// Runs --all over `reference`, then `run` over its tree: it ends in time and cleanly, with the
// same output, and the same warnings after `extra` ones.
void RunBesideReference(const BinaryRun& run, const TempDir& reference,
                        const std::string& extra = "") {
  auto expected = RunBinary({{"--all"}, reference.path()});
  EXPECT_EQ(expected.status, 0);
  auto result = RunBinary(run);
  EXPECT_NE(result.status, kTimedOut) << "a FIFO was opened or the walk did not end";
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, extra + ReplaceAll(expected.err, reference.path(), run.cwd));
  EXPECT_EQ(result.out, expected.out);
}

TEST(FaultErrors, ExactReportAndRenamesStayDone) {
  // The top directory's archive is read (and renamed) before the subdirectory "z" is walked,
  // and the price and rate lists are read after the whole walk.
  const struct {
    const char* what;
    std::vector<std::pair<std::string, std::string>> files;
    std::vector<std::string> args;
    std::string kind, message;
    bool products_written;     // the product section precedes the failing TOTAL row
    std::string warning = "";  // before the report, "<DIR>" standing for the tree
  } cases[] = {
      // clang-format off
      {"invalid sale date", {{"z/bad.xml", SaleOn("2/30/2010 10:00:00")}},
       {"--all"}, "EConvertError", "Invalid argument to date encode.", false},
      {"sale date piece that is no integer", {{"z/bad.xml", SaleOn("2010-1O-01T00:00:00")}},
       {"--all"}, "EConvertError", "'1O' is not a valid integer value.", false},
      {"a NUL byte in a date piece shows escaped in the message",
       {{"z/bad.zip", MakeZip({Stored("fulfillmentreport.xml",
                                      SaleOn(std::string("2026-11-0\0" "2T10:00:00Z", 20)))})}},
       {"--all"}, "EConvertError", "'0\\x002' is not a valid integer value.", false},
      {"bad amount on a priced SKU", {{"prices.csv", "Y9;EUR;not a number\r\nX1;EUR;12.50\r\n"}},
       {"--all"}, "EConvertError", "'12.50' is not a valid integer value.", false,
       "the price \"12.50\" of \"X1\" in \"<DIR>/prices.csv\" cannot be read as a whole number "
       "of cents"},
      {"zero rate", {{"prices.csv", "X1;USD;500\r\n"}, {"currency.txt", "EUR 1.00 = USD 0\r\n"}},
       {"--all"}, "EZeroDivide", "Floating point division by zero.", true},
      {"price in a currency without a rate", {{"prices.csv", "X1;USD;500\r\n"}},
       {"--all"}, "EConvertError", "No exchange rate for currency \"USD\".", true,
       "no list of exchange rates: \"<DIR>/currency.txt\" not found"},
      {"a rate list without the rate", {{"prices.csv", "X1;USD;500\r\n"}, {"currency.txt", ""}},
       {"--all"}, "EConvertError", "No exchange rate for currency \"USD\".", true},
      {"zero rate and zero amount",
       {{"prices.csv", "X1;USD;0\r\n"}, {"currency.txt", "EUR 1.00 = USD 0.0\r\n"}},
       {"--all"}, "EInvalidOp", "Invalid floating point operation.", true},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    WriteFile(dir / "report.zip", MakeZip({Stored("fulfillmentreport.xml", kReport)}));
    for (const auto& [path, bytes] : c.files) WriteFile(dir / path, bytes);
    auto before = Snapshot(dir.path());

    auto result = RunBinary({c.args, dir.path()});
    EXPECT_EQ(result.status, 1);
    std::string warning = c.warning;
    if (size_t at = warning.find("<DIR>"); at != std::string::npos)
      warning.replace(at, 5, dir.path());
    EXPECT_EQ(NormalizedReport(result.err),
              (warning.empty() ? "" : "tollwick: warning: " + warning + "\n") +
                  ExpectedReport(c.kind, c.message));
    auto after = Snapshot(dir.path());
    EXPECT_EQ(TreeDiff(Renamed(before, "report.zip", "report_(1).zip"), after), "");
    if (c.products_written) {
      // The lines written before the error reach standard output.
      auto products = RunBinary({kProductsOnly, dir.path()});
      ASSERT_EQ(products.status, 0);
      EXPECT_EQ(result.out.substr(0, products.out.size()), products.out);
      EXPECT_EQ(result.out.compare(products.out.size(), 6, "TOTAL;"), 0) << result.out;
    } else {
      EXPECT_EQ(result.out, "");
    }
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
  RunBesideReference(
      {{"--all"}, dir.path(), /*unprivileged=*/true}, reference,
      "tollwick: warning: \"" + dir / "fixed/Report (2).zip" + "\" is not a zip archive\n");
  EXPECT_EQ(TreeDiff(Renamed(before, "report.zip", "report_(1).zip"), Snapshot(dir.path())), "");
}

// What the walk cannot examine ends the run; the top directory's archive keeps its new name.
TEST(FaultPermissions, WhatCannotBeExaminedEndsTheRun) {
  SKIP_UNLESS_UNPRIVILEGED();
  const fs::perms none = fs::perms::none, list_only = fs::perms::owner_read,
                  search_only = fs::perms::owner_write | fs::perms::owner_exec,
                  no_search = fs::perms::owner_read | fs::perms::owner_write;
  const struct {
    const char* what;
    std::string locked;  // relative path of what whose permissions change; "" the top
    fs::perms perms;
    std::string link;          // a link "look.xml" to this target, when not empty
    std::string message;       // with <top> for the top directory's absolute path
    std::string content = "";  // of `locked`, a file, beside an archive "report.zip" on top
  } cases[] = {
      {"unreadable report", "sub/locked.xml", none, "", "Cannot open file \"<top>/sub/locked.xml\"",
       kOtherReport},
      {"unreadable archive", "sub/locked.zip", none, "",
       "Cannot open file \"<top>/sub/locked.zip\"",
       MakeZip({Stored("fulfillmentreport.xml", kOtherReport)})},
      {"unreadable download", "sub/report.zip", none, "",
       "Cannot open file \"<top>/sub/report.zip\"",
       MakeZip({Stored("fulfillmentreport.xml", kOtherReport)})},
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
    if (!c.content.empty()) {
      WriteFile(dir / "report.zip", MakeZip({Stored("fulfillmentreport.xml", kReport)}));
      WriteFile(dir / c.locked, c.content);
    }
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
    EXPECT_EQ(TreeDiff(c.content.empty() ? before : Renamed(before, "report.zip", "report_(1).zip"),
                       Snapshot(dir.path())),
              "");
  }
}

// A removed working directory ends the run at once (as "nobody", so a walk of "/" does no harm).
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
  RunBesideReference({{"--all"}, dir.path()}, reference);
  EXPECT_EQ(TreeDiff(before, Snapshot(dir.path())), "");  // no FIFO or dangling link renamed
}

TEST(FaultSpecialFiles, LinkCyclesEndTheWalk) {
  // Links from a/b/ back to a/ and to itself, and from the top to a/ a second time.
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
  RunBesideReference({{"--all"}, dir.path()}, reference);
  // The archive was renamed once, whichever way it was reached first.
  EXPECT_EQ(TreeDiff(Renamed(before, "a/report.zip", "a/report_(1).zip"), Snapshot(dir.path())),
            "");
}

// Reports reached through links out of the tree are read; only archives inside it are renamed.
// As "nobody" with a time limit, so that a faulty walk cannot rename anything outside.
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
  // Out through "ext", back in through outside/back, out again through sub/up.
  fs::create_directory_symlink("../outside", tree + "/ext");
  fs::create_directory_symlink("../tree/inner", base / "outside/back");
  fs::create_directories(tree + "/sub");
  fs::create_directory_symlink("../..", tree + "/sub/up");
  GiveToUnprivileged(base.path());
  auto before = Snapshot(base.path());
  RunBesideReference({{"--all"}, tree, /*unprivileged=*/true, /*timeout_seconds=*/30}, reference);
  auto renamed = Renamed(before, "tree/report.zip", "tree/report_(1).zip");
  EXPECT_EQ(TreeDiff(Renamed(renamed, "tree/inner/report.zip", "tree/inner/report_(1).zip"),
                     Snapshot(base.path())),
            "");
}

// Runs renaming one folder's archives under each other's feet read every report or end with the
// open error of the archive that vanished; no archive is lost.
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
  for (const RunResult& r : results) {
    EXPECT_EQ(r.out, r.status == 0 ? expected.out : "");
    if (r.status == 0) continue;
    EXPECT_EQ(r.status, 1);
    std::string report = NormalizedReport(r.err);
    const size_t digits = report.find(").zip") - report.find("report (") - 8;
    report.replace(report.find("report (") + 8, digits, "N");
    EXPECT_EQ(report, ExpectedReport("EFOpenError", "Cannot open file \"" +
                                                        fs::canonical(dir.path()).string() +
                                                        "/report (N).zip\". No such file or "
                                                        "directory."));
    EXPECT_TRUE(digits > 0 && digits < 3) << r.err;
  }
  auto after = Snapshot(dir.path());
  EXPECT_EQ(after.size(), 40u);
  for (int i = 1; i <= 40; ++i)
    EXPECT_EQ(after.count("report_(" + std::to_string(i) + ").zip"), 1u);
}

// A report cut down to its markers, so that an archive of it has few byte offsets.
const std::string kMarkerReport =
    "<Worksheet ss:Name=\"SKU detail\"><Row>h</Row><Row><Data>X1</Data><Data>Alpha</Data>"
    "<Data>1.0</Data><Data>Full</Data><Data>Professional</Data><Data>Store</Data></Row>"
    "</Worksheet><Worksheet ss:Name=\"Purchase History\"><Row>h</Row><Row><Data>X1</Data>"
    "<Data>P1</Data><Data>Ann</Data><Data>DE</Data><Data></Data><Data>1/15/2010 10:00:00</Data>"
    "<Data></Data></Row><Row><Data>X1</Data><Data>P2</Data><Data>Bob</Data><Data>US</Data>"
    "<Data>CA</Data><Data>2011-03-04T10:00:00</Data><Data></Data></Row></Worksheet>";

constexpr uint64_t kAddressSpace = 512ull << 20;

// A local header with both sizes set to `size`, alone.
std::string Header(const std::string& name, uint32_t size) {
  return LocalHeader(Stored(name, "", size));
}

TEST(FaultArchive, HugeDeclaredSizesAllocateNothingNearThem) {
  const std::string name = "fulfillmentreport.xml";
  const std::pair<const char*, std::string> archives[] = {
      {"a/4g.zip", Header(name, 0xFFFFFFFF) + name + kMarkerReport},
      {"b/2g.zip", Header(name, 0x80000000) + name + kMarkerReport},
      {"c/extra.zip",
       LocalHeader({name, "", 0, 16, 16, std::string(0xFFFF, 'x')}) + name + "0123456789abcdef"},
      {"d/name.zip", Header(std::string(0xFFFF, 'n'), 0) + name},
      {"e/second.zip",
       MakeZip({Stored("readme.txt", "hello", 0xFFFFFFF0), Stored(name, kMarkerReport)})},
      {"f/report.zip", Header(name, 0xFFFFFFFF) + name + kMarkerReport},
      // Sizes that differ: the entry is not read, and the walk ends at its name.
      {"g/differ.zip", LocalHeader({name, "", 0, 0xFFFFFFFF, 0x10}) + name + kMarkerReport},
  };
  TempDir dir, reference;
  std::string warnings;
  for (const auto& [file, bytes] : archives) {
    WriteFile(dir / file, bytes);
    if (file[0] <= 'e')  // the first five; the other two are summed up
      warnings += "tollwick: warning: \"" + dir / file +
                  "\" could not be read to its end; entries after the first unreadable one "
                  "were not read\n";
  }
  warnings += "tollwick: warning: 2 more archives could not be read to their end\n";
  WriteFile(dir / "h/whole.zip", MakeZip({Stored(name, kMarkerReport)}));
  WriteFile(reference / "whole.zip", MakeZip({Stored(name, kMarkerReport)}));
  for (const TempDir* tree : {&dir, &reference}) WriteFile(*tree / "prices.csv", "X1;EUR;100\n");
  auto before = Snapshot(dir.path());
  RunBesideReference({{"--all"}, dir.path(), false, /*timeout_seconds=*/120, kAddressSpace},
                     reference, warnings);
  EXPECT_EQ(TreeDiff(Renamed(before, "f/report.zip", "f/report_(1).zip"), Snapshot(dir.path())),
            "");
}

TEST(FaultArchive, HugeReportEntryThatIsThereEndsCleanly) {
  // A sparse report entry of almost 4 GB under a 512 MB bound: out of memory at worst, no crash.
  if (UnderAddressSanitizer() || UnderThreadSanitizer())
    GTEST_SKIP() << "the sanitizer aborts on an allocation it cannot serve instead of letting "
                    "it fail, so the out-of-memory end cannot be checked here";
  const std::string name = "fulfillmentreport.xml";
  constexpr uint32_t kSize = 0xFFFFFF00;
  TempDir dir;
  WriteFile(dir / "z.zip", Header(name, kSize) + name);
  std::error_code ec;
  fs::resize_file(dir / "z.zip", 30 + name.size() + kSize, ec);
  if (ec) GTEST_SKIP() << "no room for a sparse 4 GB file here: " << ec.message();
  WriteFile(dir / "report.zip", MakeZip({Stored(name, kMarkerReport)}));
  WriteFile(dir / "prices.csv", "X1;EUR;100\n");

  auto result = RunBinary({{"--all"}, dir.path(), false, /*timeout_seconds=*/120, kAddressSpace});
  ASSERT_NE(result.status, kTimedOut);
  if (result.status == 0) {
    EXPECT_EQ(result.err, "");
  } else {
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(NormalizedReport(result.err), ExpectedReport("EOutOfMemory", "Out of memory."));
  }
  // Either way the archive read before it has its new name, and the big one is unchanged.
  EXPECT_TRUE(fs::exists(dir / "report_(1).zip"));
  EXPECT_EQ(fs::file_size(dir / "z.zip"), 30 + name.size() + kSize);
}

}  // namespace
}  // namespace tollwick::testing
