// The built program end to end, each run in a temporary tree: usage text, whole runs byte for
// byte, the warnings (stderr, in the order found) of runs whose totals may miss something, and
// the faults that end a run (the exact report, exit status 1, renames done before stay done) or
// that it must survive: failed writes, permissions (checked as "nobody"), FIFOs, link cycles and
// links out of the tree (with time limits), concurrent runs, archive headers that promise
// gigabytes, deep trees and few descriptors or threads.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "base/file_descriptor.h"
#include "support/test_support.h"

namespace tollwick::testing {
namespace {

namespace fs = std::filesystem;

// The lines, each ended by CR LF.
std::string Lines(std::initializer_list<const char*> lines) {
  std::string text;
  for (const char* line : lines) text += std::string(line) + "\r\n";
  return text;
}

std::string Warn(const std::string& text) {
  return "tollwick: warning: " + text + "\n";
}

std::string Zipped(const std::string& report) {
  return MakeZip({Stored("fulfillmentreport.xml", report)});
}

// A report of one product and one sale of it.
std::string Report(const std::string& sku, const std::string& purchase, const std::string& date) {
  return MakeReport({{sku, "Title " + sku, "1.0", "Full", "Professional", "Store"}},
                    {{sku, purchase, "Ann", "DE", "", date, "Charged"}});
}
const std::string kReport = Report("X1", "P1", "1/15/2010 10:00:00");
const std::string kOtherReport = Report("X2", "P2", "2011-03-04T10:00:00");

// Runs --all over `reference`, then `run` over its tree: it ends in time and cleanly, with the
// same output, and the same warnings after `extra` ones. Below `root` only the archives
// `numbered` (paths ending in "report.zip") are renamed, to "report_(1).zip".
void RunBesideReference(const BinaryRun& run, const TempDir& reference, const std::string& root,
                        std::vector<std::string> numbered, const std::string& extra = "") {
  Tree expected_tree = Snapshot(root);
  for (const std::string& path : numbered)
    expected_tree = Renamed(expected_tree, path, ReplaceAll(path, "report.zip", "report_(1).zip"));
  auto expected = RunBinary({{"--all"}, reference.path()});
  EXPECT_EQ(expected.status, 0);
  auto result = RunBinary(run);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, extra + ReplaceAll(expected.err, reference.path(), run.cwd));
  EXPECT_EQ(result.out, expected.out);
  EXPECT_EQ(TreeDiff(expected_tree, Snapshot(root)), "");
}

// The `n`th text block of the README's usage part, in CR LF lines with an empty one after it.
std::string ReadmeBlock(int n) {
  const std::string readme = ReadFile(std::string(TOLLWICK_SOURCE_DIR) + "/README.md");
  size_t at = readme.find("## Usage");
  for (int i = 0; i <= n; ++i) at = readme.find("```text\n", at) + 8;
  return ReplaceAll(readme.substr(at, readme.find("```\n", at) - at), "\n", "\r\n") + "\r\n";
}

// The usage text word for word; written to /dev/full, or to a pipe whose reader has gone, it
// ends the run with the report and exit status 1, not a signal.
TEST(RunBinary, UsageTextWordForWordOrTheWriteError) {
  TempDir dir;
  WriteFile(dir / "report.zip", "not an archive");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {"--help"}, {"-h"}, {"--version"}}) {
    auto result = RunBinary({args, dir.path()});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, args.empty()             ? ReadmeBlock(0)
                          : args[0] != "--version" ? ReadmeBlock(0) + ReadmeBlock(1)
                                                   : "Tollwick v1.0\r\n");
    EXPECT_EQ(ListTree(dir.path()), std::vector<std::string>{"report.zip"});  // nothing renamed
  }
  int pipe_fds[2];
  ASSERT_EQ(::pipe(pipe_fds), 0);
  ::close(pipe_fds[0]);
  const FileDescriptor full(::open("/dev/full", O_WRONLY | O_CLOEXEC)), gone_reader(pipe_fds[1]);
  for (const auto& [fd, reason] : {std::pair{full.get(), "No space left on device"},
                                   std::pair{gone_reader.get(), "Broken pipe"}}) {
    auto result = RunBinary({.args = {}, .cwd = dir.path(), .stdout_fd = fd});
    EXPECT_EQ(result.status, 1) << reason;
    EXPECT_EQ(NormalizedReport(result.err),
              ExpectedReport("EInOutError",
                             std::string("Write to standard output failed: ") + reason + "."));
  }
}

// Without a second thread to be had, reports are read one by one: the same result, no abort.
TEST(RunBinary, NoThreadToBeHadChangesNothing) {
  if (!CanRunUnprivileged() || UnderAddressSanitizer())
    GTEST_SKIP() << "needs a user that process limits apply to, and no leak checker's thread";
  TempDir dir;
  for (const char* name : {"a.xml", "b.xml", "c.xml"})
    WriteFile(dir / name, Report("X1", name, "2010-03-05T10:00:00"));
  GiveToUnprivileged(dir.path());
  auto expected = RunBinary({{"--all"}, dir.path(), /*unprivileged=*/true});
  auto result =
      RunBinary({.args = {"--all"}, .cwd = dir.path(), .unprivileged = true, .process_limit = 1});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, expected.err);
  EXPECT_EQ(result.out, expected.out);
}

// 4,000 folders of 200 letters deep and 600 reports beside, with 16 descriptors and 256 MB:
// neither grows with the depth, and few descriptors mean less read ahead, not an error.
TEST(RunBinary, DeepTreeAndFewDescriptors) {
  TempDir dir;
  for (int i = 0; i < 600; ++i)
    WriteFile(dir / ("d" + std::to_string(i % 20) + "/r" + std::to_string(i) + ".xml"),
              Report("X1", "P" + std::to_string(i), "2010-03-05T10:00:00"));
  WriteFile(dir / "prices.csv", "X1;EUR;100\n");
  // Made by descriptors: the paths grow too long for anything else.
  int fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
  for (int i = 0; i < 4000; ++i) {
    ASSERT_EQ(::mkdirat(fd, std::string(200, 'n').c_str(), 0755), 0);
    const int next = ::openat(fd, std::string(200, 'n').c_str(), O_RDONLY | O_DIRECTORY);
    ::close(fd);
    ASSERT_GE(fd = next, 0);
  }
  WriteFile("/proc/self/fd/" + std::to_string(fd) + "/r.xml",
            Report("X1", "DEEP", "2010-03-05T10:00:00"));
  ::close(fd);
  const std::vector<std::string> args = {"--all", "--date-day=0"};
  auto expected = RunBinary({args, dir.path()});
  auto result = RunBinary(
      {.args = args, .cwd = dir.path(), .address_space = uint64_t{256} << 20, .open_files = 16});
  // Too deep for std::filesystem to remove; rm walks it by descriptors.
  EXPECT_EQ(std::system(("rm -rf '" + dir / std::string(200, 'n') + "'").c_str()), 0);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, expected.out);
  EXPECT_NE(result.out.find(";601;"), std::string::npos);  // every purchase counted
}

// One SKU, one sale on 15 March 2009, a price of 2.99 USD at 1.495 USD per euro.
void WriteUsdSaleTree(const TempDir& dir) {
  WriteFile(dir / "2009/03/day15.xml",
            MakeReport({{"A-100", "Alpha", "1.0", "Full", "Professional", "US"}},
                       {{"A-100", "P-1", "Buyer", "US", "CA", "2009-03-15T10:20:30Z", "Done"}}));
  WriteFile(dir / "prices.csv", "A-100;USD;299\r\n");
  WriteFile(dir / "currency.txt", "EUR 1.00 = USD 1.495\r\n");
}

TEST(WholeRun, OneSaleUnderTheSwitchesAndRanges) {
  auto sale = [](std::string section, std::string key) {
    return section + ";US PPC Alpha;TOTAL Alpha;;USD;;TOTAL EUR;;SHARE EUR;\r\n" + key +
           ";1;1;;2.99;;2.00;;1.40;\r\n\r\n";
  };
  const struct {
    std::vector<std::string> args;
    std::string out;
    std::string err = "";
    bool empty_tree = false;
  } cases[] = {
      {{"--all"},
       Lines({"SKUID;Title;Market;Version;OS Type;Currency;Amount;",
              "A-100;Alpha;US;1.0;PPC;USD;2.99;", ""}) +
           sale("TOTAL", "") + sale("YEAR", "2009") + sale("MONTH", "200903") +
           sale("DATE", "20090315")},
      // No report at all: the two lines of an empty SKU table, and "--all" gives no day.
      {{"--all"},
       Lines({"SKUID;Title;Market;Version;OS Type;Currency;Amount;", "",
              "TOTAL;;TOTAL ;;;TOTAL EUR;;SHARE EUR;", ";0;0;;;0.00;;0.00;", "",
              "YEAR;;TOTAL ;;;TOTAL EUR;;SHARE EUR;", "", "MONTH;;TOTAL ;;;TOTAL EUR;;SHARE EUR;",
              "", "DATE;;TOTAL ;;;TOTAL EUR;;SHARE EUR;", ""}),
       Warn("no purchase found under \"@\""),
       true},
      // Minimal example of the usage text, in USD.
      {{"--all", "--headers=0", "--prices=0", "--date-total=1", "--date-year=0", "--date-month=0",
        "--date-day=0", "--markets=0", "--currencies=0", "--currency-total=usd"},
       Lines({";1;;2.99;;2.09;", ""})},
      // A range without the sale, TOTAL only; YEAR header made without a TOTAL tally.
      {{"--start", "16032009", "--end", "18032009", "--prices=0", "--date-month=0",
        "--date-year=0"},
       Lines({"TOTAL;US PPC Alpha;TOTAL Alpha;;USD;;TOTAL EUR;;SHARE EUR;",
              ";0;0;;0.00;;0.00;;0.00;", "",
              "DATE;US PPC Alpha;TOTAL Alpha;;USD;;TOTAL EUR;;SHARE EUR;",
              "20090316;0;0;;0.00;;0.00;;0.00;", "20090317;0;0;;0.00;;0.00;;0.00;", ""}),
       Warn("the range \"16032009\" to \"18032009\" holds no purchase; the purchases read run "
            "from 15032009 to 15032009")},
  };
  for (const auto& c : cases) {
    TempDir dir;
    if (!c.empty_tree) WriteUsdSaleTree(dir);
    auto result = RunBinary({c.args, dir.path()});
    EXPECT_EQ(result.status, 0) << c.args[0];
    EXPECT_EQ(result.err, ReplaceAll(c.err, "@", dir.path()));
    EXPECT_EQ(result.out, c.out) << c.args[0];
  }
}

// Loose and archived reports, repeated rows, two currencies; empty ids count like any other.
TEST(WholeRun, MergedReportsInTwoCurrencies) {
  TempDir dir;
  const std::vector<std::vector<std::string>> skus = {
      {"S1", "Alpha", "1", "", "Professional", "DE"},
      {"S2", "Alpha", "1", "", "Standard", "DE"},
      {"S3", "Alpha", "1", "", "Professional", "US"},
      {"S4", "Beta", "2", "", "Professional", "US"},
      {"", "Beta", "2", "", "Standard", "US"}};
  WriteFile(dir / "a.xml", MakeReport(skus, {{"S1", "P1", "", "", "", "2010-03-05T01:00:00", ""},
                                             {"S1", "P2", "", "", "", "2010-03-05T02:00:00", ""},
                                             {"S4", "P3", "", "", "", "3/6/2010 1:00:00 AM", ""},
                                             {"", "", "", "", "", "2010-03-05T03:00:00", ""}}));
  std::string archived =
      MakeReport(skus, {{"S3", "P4", "", "", "", "2010-03-06T01:00:00", ""},
                        {"S4", "P5", "", "", "", "2010-03-06T01:00:00", ""},
                        {"S4", "P3", "", "", "", "3/6/2010 1:00:00 AM", ""},  // seen before
                        {"S4", "P6", "", "", "", "2010-03-06T01:00:00", ""},
                        {"XX", "P7", "", "", "", "2010-03-06T01:00:00", ""},  // unknown SKU
                        {"YY", "P9", "", "", "", "2010-03-06T01:00:00", ""},  // unknown SKU
                        {"S1", "", "", "", "", "2010-03-06T01:00:00", ""},    // seen before
                        {"", "P8", "", "", "", "2010-03-06T01:00:00", ""}});
  WriteFile(dir / "sub/downloads.zip", Zipped(archived));
  WriteFile(dir / "prices.csv", "S1;EUR;249\nS2;EUR;249\nS3;USD;299\n;EUR;100\n");
  WriteFile(dir / "currency.txt", "EUR 1.00 = USD 1.3000<br>EUR 1.00 = GBP 0.8500<br>");
  auto result = RunBinary({{"--all", "--prices=0", "--date-year=0", "--date-month=0"}, dir.path()});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err,
            Warn("purchases naming a product that no report describes, not counted: 2 (first: "
                 "\"XX\")") +
                Warn("products sold without a price in prices.csv, their money not counted: 1 "
                     "(first: \"S4\")"));
  const std::string header =
      "DE PPC Alpha;DE SP Alpha;US PPC Alpha;TOTAL Alpha;;US PPC Beta;US SP Beta;TOTAL Beta;;EUR;"
      "USD;;TOTAL EUR;;SHARE EUR;";
  EXPECT_EQ(result.out,
            Lines({("TOTAL;" + header).c_str(), ";3;0;1;4;;3;1;4;;8.47;2.99;;10.77;;7.54;", "",
                   ("DATE;" + header).c_str(), "20100305;2;0;0;2;;0;0;0;;4.98;0.00;;4.98;;3.49;",
                   "20100306;1;0;1;2;;3;1;4;;3.49;2.99;;5.79;;4.05;", ""}));
  EXPECT_EQ(ListTree(dir.path()), (std::vector<std::string>{"a.xml", "currency.txt", "prices.csv",
                                                            "sub/", "sub/downloads.zip"}));
}

const std::string kName = "fulfillmentreport.xml";

// Warnings in the order found, for runs whose totals may miss something, and the errors that end
// a run: the exact report after the warnings, renames done before stay done, and the lines
// written before the error reach standard output. The top directory's archive is read (and
// renamed) before the subdirectory "z" is walked, and the price and rate lists after the walk.
TEST(Warnings, EachCaseSaysWhatTheTotalsMissOrWhatEndedTheRun) {
  std::string saved_again = kReport;  // a row written as a spreadsheet program saves it
  saved_again.replace(saved_again.find("<Row>", saved_again.find("<Row>") + 1), 5,
                      "<Row ss:Height=\"9\">");
  // "@" in an expected line stands for the tree's path.
  const struct {
    const char* what;
    std::vector<std::pair<std::string, std::string>> files;
    std::vector<std::string> warnings;
    std::string error = "";         // the EConvertError that ends the run, none when empty
    bool products_written = false;  // before the failing TOTAL row
    std::vector<std::string> args = {"--all"};
  } cases[] = {
      // clang-format off
      {"no zip archive, empty or not",
       {{"empty.zip", ""}, {"report (3).zip", "<html>gone</html>"}},
       {"\"@/empty.zip\" is not a zip archive", "\"@/report (3).zip\" is not a zip archive"}},
      {"archive read in part or holding no report",
       {{"b.zip", LocalHeader(Stored(kName, "", 0)) + kName + kOtherReport},
        {"c.zip", MakeZip({ZipEntry{"week/" + kName, kOtherReport}})}},
       {"\"@/b.zip\" could not be read to its end; entries after the first unreadable one were "
        "not read", "\"@/c.zip\" holds no entry \"fulfillmentreport.xml\""}},
      {"documents saved again",
       {{"r.xml", "<Workbook><Worksheet ss:Name=\"Sheet1\"></Worksheet></Workbook>"},
        {"s.zip", Zipped(std::string("\xFF\xFE<\0W\0", 6))},
        {"t.xml", saved_again}, {"u.xml", "\r\n\xFE\xFF"}},
       {"\"@/r.xml\" holds no worksheet \"SKU detail\" or \"Purchase History\"",
        "\"@/t.xml\": 1 row passed over: its start tag carries attributes",
        "\"@/u.xml\" is UTF-16 text, which is not read",
        "\"@/s.zip\" is UTF-16 text, which is not read"}},
      {"names do not steer the terminal",
       {{"\x1B[2J.xml", "x"}, {"a\ntollwick: warning: \xC2\x9B.zip", "x"}},
       {"\"@/\\x1B[2J.xml\" holds no worksheet \"SKU detail\" or \"Purchase History\"",
        "\"@/a\\x0Atollwick: warning: \\xC2\\x9B.zip\" is not a zip archive"}},
      {"a slip in the first argument (--help beside others starts a run): nothing is read or "
       "renamed", {},
       {"the first argument \"--help\" is not --all, so the 2nd and 4th arguments must be the "
        "dates of the range, as DDMMYYYY"}, "'--' is not a valid integer value.", false,
       {"--help", "--all"}},
      {"a NUL byte in a date piece shows escaped in the message",
       {{"z/bad.zip", Zipped(Report("X2", "P2", std::string("2026-11-0\0" "2T10:00:00Z", 20)))}},
       {}, "'0\\x002' is not a valid integer value."},
      {"bad amount on a priced SKU", {{"prices.csv", "Y9;EUR;not a number\r\nX1;EUR;12.50\r\n"}},
       {"the price \"12.50\" of \"X1\" in \"@/prices.csv\" cannot be read as a whole number of "
        "cents"}, "'12.50' is not a valid integer value."},
      {"price in a currency without a rate", {{"prices.csv", "X1;USD;500\r\n"}},
       {"no list of exchange rates: \"@/currency.txt\" not found"},
       "No exchange rate for currency \"USD\".", true},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    WriteFile(dir / "report.zip", Zipped(kReport));
    WriteFile(dir / "prices.csv", "X1;EUR;100\r\n");
    for (const auto& [path, bytes] : c.files) WriteFile(dir / path, bytes);
    std::string expected;
    for (const std::string& line : c.warnings) expected += Warn(ReplaceAll(line, "@", dir.path()));
    Tree tree = Snapshot(dir.path());
    if (c.args[0] == "--all") tree = Renamed(tree, "report.zip", "report_(1).zip");
    auto result = RunBinary({c.args, dir.path()});
    EXPECT_EQ(result.status, c.error.empty() ? 0 : 1);
    if (c.error.empty()) {
      EXPECT_EQ(result.err, expected);
      continue;
    }
    EXPECT_EQ(TreeDiff(tree, Snapshot(dir.path())), "");
    EXPECT_EQ(NormalizedReport(result.err), expected + ExpectedReport("EConvertError", c.error));
    const RunResult products =
        RunBinary({{"--all", "--date-total=0", "--date-year=0", "--date-month=0", "--date-day=0"},
                   dir.path()});
    EXPECT_EQ(result.out.substr(0, products.out.size() + 6),
              c.products_written ? products.out + "TOTAL;" : "");
  }
}

TEST(FaultPermissions, ArchiveInAReadOnlyDirectoryKeepsItsName) {
  if (!CanRunUnprivileged()) GTEST_SKIP() << "cannot drop privileges";
  TempDir dir, reference;
  WriteFile(dir / "report.zip", Zipped(kReport));
  WriteFile(dir / "fixed/report.zip", Zipped(kOtherReport));
  WriteFile(dir / "fixed/Report (2).zip", "not an archive");
  GiveToUnprivileged(dir.path());
  fs::permissions(dir / "fixed", fs::perms::owner_write, fs::perm_options::remove);
  WriteFile(reference / "a.zip", Zipped(kReport));
  WriteFile(reference / "b.zip", Zipped(kOtherReport));
  RunBesideReference({{"--all"}, dir.path(), /*unprivileged=*/true}, reference, dir.path(),
                     {"report.zip"},
                     Warn("\"" + dir / "fixed/Report (2).zip" + "\" is not a zip archive"));
}

// What the walk cannot examine ends the run; the top directory's archive keeps its new name.
TEST(FaultPermissions, WhatCannotBeExaminedEndsTheRun) {
  if (!CanRunUnprivileged()) GTEST_SKIP() << "cannot drop privileges";
  const fs::perms none = fs::perms::none, list_only = fs::perms::owner_read;
  const struct {
    const char* what;
    std::string locked;  // relative path of what whose permissions change; "" the top
    fs::perms perms;
    std::string link;          // a link "look.xml" to this target, when not empty
    std::string message;       // with "@" for the top directory's absolute path
    std::string content = "";  // of `locked`, a file, beside an archive "report.zip" on top
  } cases[] = {
      {"unreadable report", "sub/locked.xml", none, "", "Cannot open file \"@/sub/locked.xml\"",
       kOtherReport},
      {"unreadable download", "sub/report.zip", none, "", "Cannot open file \"@/sub/report.zip\"",
       Zipped(kOtherReport)},
      {"closed folder", "sub", none, "", "Cannot open directory \"@/sub\""},
      {"folder that cannot be searched", "sub", list_only, "", "Cannot open directory \"@/sub\""},
      {"closed top directory", "", none, "", "Cannot open directory \"@\""},
      {"link into a folder that cannot be searched", "sub", list_only, "sub/b.xml",
       "Cannot open file \"@/look.xml\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    WriteFile(dir / "a.xml", kReport);
    WriteFile(dir / "sub/b.xml", kOtherReport);
    if (!c.link.empty()) fs::create_symlink(c.link, dir / "look.xml");
    if (!c.content.empty()) {
      WriteFile(dir / "report.zip", Zipped(kReport));
      WriteFile(dir / c.locked, c.content);
    }
    GiveToUnprivileged(dir.path());
    Tree expected = Snapshot(dir.path());
    if (!c.content.empty()) expected = Renamed(expected, "report.zip", "report_(1).zip");
    const std::string locked = c.locked.empty() ? dir.path() : dir / c.locked;
    fs::permissions(locked, c.perms);
    auto result = RunBinary({{"--all"}, dir.path(), /*unprivileged=*/true});
    fs::permissions(locked, fs::perms::owner_all);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(NormalizedReport(result.err),
              ExpectedReport("EFOpenError", ReplaceAll(c.message, "@", fs::canonical(dir.path())) +
                                                ". Permission denied."));
    EXPECT_EQ(TreeDiff(expected, Snapshot(dir.path())), "");
  }
}

// A removed working directory ends the run at once (as "nobody", so a walk of "/" does no harm).
TEST(FaultPermissions, RemovedWorkingDirectoryEndsTheRunAtOnce) {
  if (!CanRunUnprivileged()) GTEST_SKIP() << "cannot drop privileges";
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

// FIFOs and dangling links with report names are not opened, and a directory named like a report
// is walked as one; links from a/b/ back to a/ and to itself, and from the top to a/ a second
// time, end the walk, and the archive in a/ is renamed once, whichever way it was reached first.
TEST(FaultSpecialFiles, FifosDanglingLinksAndLinkCycles) {
  TempDir dir, reference;
  for (const TempDir* d : {&dir, &reference}) {
    WriteFile(*d / "a.xml", Report("X1", "P1", "1/15/2010 10:00:00"));
    WriteFile(*d / "folder.xml/b.xml", Report("X2", "P2", "2/16/2010 10:00:00"));
    WriteFile(*d / "a/r1.xml", Report("X3", "P3", "1/15/2010 10:00:00"));
    WriteFile(*d / "a/b/r2.xml", Report("X4", "P4", "2011-02-03T10:00:00"));
    WriteFile(*d / "a/report.zip", Zipped(Report("X5", "P5", "3/1/2012 09:00:00")));
  }
  fs::create_directory(dir / "sub");
  for (const char* name : {"x.xml", "x.zip", "report.zip", "sub/y.xml", "sub/Report 2.ZIP"})
    ASSERT_EQ(::mkfifo((dir / name).c_str(), 0644), 0) << name;
  fs::create_symlink("x.xml", dir / "to_fifo.xml");
  fs::create_symlink("../report.zip", dir / "sub/report.zip");
  fs::create_symlink("nowhere.xml", dir / "dangling.xml");
  fs::create_symlink("nowhere.zip", dir / "report 3.zip");
  fs::create_directory_symlink("..", dir / "a/b/up");
  fs::create_directory_symlink("../b", dir / "a/b/self");
  fs::create_directory_symlink("a", dir / "c");
  fs::create_directory_symlink(dir / "a/b", dir / "a/b/absolute");
  RunBesideReference({{"--all"}, dir.path()}, reference, dir.path(), {"a/report.zip"});
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
    WriteFile(base / archives[i].first, Zipped(report));
    WriteFile(reference / (std::to_string(i) + ".xml"), report);
  }
  // Out through "ext", back in through outside/back, out again through sub/up.
  fs::create_directory_symlink("../outside", tree + "/ext");
  fs::create_directory_symlink("../tree/inner", base / "outside/back");
  fs::create_directories(tree + "/sub");
  fs::create_directory_symlink("../..", tree + "/sub/up");
  GiveToUnprivileged(base.path());
  RunBesideReference({{"--all"}, tree, /*unprivileged=*/true, /*timeout_seconds=*/30}, reference,
                     base.path(), {"tree/report.zip", "tree/inner/report.zip"});
}

// Runs renaming one folder's archives under each other's feet read every report or end with the
// open error of the archive that vanished; no archive is lost.
TEST(FaultSpecialFiles, RunsStartedTogetherNeverPrintPartialTotals) {
  TempDir dir, reference;
  for (int i = 1; i <= 40; ++i) {
    std::string report = Report("X" + std::to_string(i % 3), "P" + std::to_string(i),
                                "1/" + std::to_string(i % 28 + 1) + "/2010 10:00:00");
    WriteFile(dir / ("report (" + std::to_string(i) + ").zip"), Zipped(report));
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

constexpr uint64_t kAddressSpace = 512ull << 20;

// Archives, stored or deflated, that declare gigabytes they do not hold: the walk ends with a
// warning, the run gives its statistics, and none of it needs the room the declarations would.
TEST(FaultArchive, HugeDeclaredSizesAllocateNothingNearThem) {
  const auto deflated = [](const std::string& name, int64_t compressed) {
    ZipEntry entry = Deflated(name, "abcd");
    entry.declared_uncompressed = 0xFFFFFFFF;
    if (compressed > 0) entry.declared_compressed = compressed;
    return LocalHeader(entry) + name + entry.data;
  };
  const std::pair<const char*, std::string> archives[] = {
      {"b/2g.zip", LocalHeader(Stored(kName, "", 0x80000000)) + kName + kReport},
      {"c/extra.zip",
       LocalHeader({kName, "", 0, 16, 16, std::string(0xFFFF, 'x')}) + kName + "0123456789abcdef"},
      {"d/name.zip", LocalHeader(Stored(std::string(0xFFFF, 'n'), "", 0)) + kName},
      {"e/second.zip",
       MakeZip({Stored("readme.txt", "hello", 0xFFFFFFF0), Stored(kName, kReport)})},
      {"f/report.zip", LocalHeader(Stored(kName, "", 0xFFFFFFFF)) + kName + kReport},
      // Sizes that differ: the entry is not read, and the walk ends at its name.
      {"g/differ.zip", LocalHeader({kName, "", 0, 0xFFFFFFFF, 0x10}) + kName + kReport},
      {"i/deflated.zip", deflated(kName, 0)},
      {"j/deflated.zip", deflated(kName, 0xFFFFFFFF)},
      {"k/deflated.zip", deflated("other.bin", 0xFFFFFFF0)},
  };
  TempDir dir, reference;
  std::string warnings;
  for (const auto& [file, bytes] : archives) {
    WriteFile(dir / file, bytes);
    if (file[0] <= 'f')  // the first five; the others are summed up
      warnings += Warn("\"" + dir / file +
                       "\" could not be read to its end; entries after the first unreadable one "
                       "were not read");
  }
  warnings += Warn("4 more archives could not be read to their end");
  WriteFile(dir / "h/whole.zip", Zipped(kReport));
  WriteFile(reference / "whole.zip", Zipped(kReport));
  for (const TempDir* tree : {&dir, &reference}) WriteFile(*tree / "prices.csv", "X1;EUR;100\n");
  RunBesideReference({{"--all"}, dir.path(), false, /*timeout_seconds=*/120, kAddressSpace},
                     reference, dir.path(), {"f/report.zip"}, warnings);
}

TEST(FaultArchive, HugeReportEntryThatIsThereEndsCleanly) {
  // A sparse report entry of almost 4 GB under a 512 MB bound: out of memory at worst, no crash.
  if (UnderAddressSanitizer() || UnderThreadSanitizer())
    GTEST_SKIP() << "the sanitizer aborts on an allocation it cannot serve, not letting it fail";
  constexpr uint32_t kSize = 0xFFFFFF00;
  TempDir dir;
  WriteFile(dir / "z.zip", LocalHeader(Stored(kName, "", kSize)) + kName);
  std::error_code ec;
  fs::resize_file(dir / "z.zip", 30 + kName.size() + kSize, ec);
  if (ec) GTEST_SKIP() << "no room for a sparse 4 GB file here: " << ec.message();
  WriteFile(dir / "report.zip", Zipped(kReport));
  WriteFile(dir / "prices.csv", "X1;EUR;100\n");
  auto result = RunBinary({{"--all"}, dir.path(), false, /*timeout_seconds=*/120, kAddressSpace});
  EXPECT_TRUE(result.status == 0 || result.status == 1) << result.status;
  EXPECT_EQ(NormalizedReport(result.err),
            result.status == 0 ? "" : ExpectedReport("EOutOfMemory", "Out of memory."));
  // Either way the archive read before it has its new name, and the big one is unchanged.
  EXPECT_TRUE(fs::exists(dir / "report_(1).zip"));
  EXPECT_EQ(fs::file_size(dir / "z.zip"), 30 + kName.size() + kSize);
}

}  // namespace
}  // namespace tollwick::testing
