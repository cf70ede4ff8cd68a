// The built program end to end: usage text, failed writes, whole runs byte for byte, and the
// warnings (stderr, in the order found) of runs whose totals may miss something.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <span>

#include "support/test_support.h"

namespace tollwick::testing {
namespace {

// The lines, each ended by CR LF.
std::string Lines(std::span<const char* const> lines) {
  std::string text;
  for (const char* line : lines) text += std::string(line) + "\r\n";
  return text;
}
std::string Lines(std::initializer_list<const char*> lines) {
  return Lines(std::span(lines.begin(), lines.size()));
}

// The `n`th text block of the README's usage part, in CR LF lines with an empty one after it.
std::string ReadmeBlock(int n) {
  const std::string readme = ReadFile(std::string(TOLLWICK_SOURCE_DIR) + "/README.md");
  size_t at = readme.find("## Usage");
  for (int i = 0; i <= n; ++i) at = readme.find("```text\n", at) + 8;
  return ReplaceAll(readme.substr(at, readme.find("```\n", at) - at), "\n", "\r\n") + "\r\n";
}

TEST(RunBinary, UsageTextWordForWord) {
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
}

// Without a second thread to be had, reports are read one by one: the same result, no abort.
TEST(RunBinary, NoThreadToBeHadChangesNothing) {
  if (!CanRunUnprivileged() || UnderAddressSanitizer())
    GTEST_SKIP() << "needs a user that process limits apply to, and no leak checker's thread";
  TempDir dir;
  for (const char* name : {"a.xml", "b.xml", "c.xml"})
    WriteFile(dir / name, MakeReport({{"X1", "Alpha", "1.0", "", "Professional", "US"}},
                                     {{"X1", name, "", "", "", "2010-03-05T10:00:00", ""}}));
  GiveToUnprivileged(dir.path());
  auto expected = RunBinary({{"--all"}, dir.path(), /*unprivileged=*/true});
  BinaryRun limited{{"--all"}, dir.path(), /*unprivileged=*/true};
  limited.process_limit = 1;
  auto result = RunBinary(limited);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, expected.err);
  EXPECT_EQ(result.out, expected.out);
}

// A chain of `depth` folders named `name` below the open folder `at`, with a report at its end.
void MakeChain(int at, const std::string& name, int depth, const std::string& report) {
  int fd = ::dup(at);
  for (int i = 0; i < depth; ++i) {
    ASSERT_EQ(::mkdirat(fd, name.c_str(), 0755), 0);
    const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(fd);
    ASSERT_GE(fd = next, 0);
  }
  const int file = ::openat(fd, "r.xml", O_WRONLY | O_CREAT, 0644);
  ASSERT_EQ(::write(file, report.data(), report.size()), ssize_t(report.size()));
  ::close(file);
  ::close(fd);
}

// 4,000 folders of 200 letters deep and 600 reports beside, with 16 descriptors and 256 MB:
// neither grows with the depth, and few descriptors mean less read ahead, not an error.
TEST(RunBinary, DeepTreeAndFewDescriptors) {
  TempDir dir;
  auto report = [](const std::string& id) {
    return MakeReport({{"X1", "Alpha", "1.0", "", "Professional", "US"}},
                      {{"X1", id, "", "", "", "2010-03-05T10:00:00", ""}});
  };
  for (int i = 0; i < 600; ++i)
    WriteFile(dir / ("d" + std::to_string(i % 20) + "/r" + std::to_string(i) + ".xml"),
              report("P" + std::to_string(i)));
  WriteFile(dir / "prices.csv", "X1;EUR;100\n");
  const int top = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
  MakeChain(top, std::string(200, 'n'), 4000, report("DEEP"));
  auto expected = RunBinary({{"--all", "--date-day=0"}, dir.path()});
  BinaryRun limited{{"--all", "--date-day=0"}, dir.path()};
  limited.open_files = 16;
  limited.address_space = uint64_t{256} << 20;
  auto result = RunBinary(limited);
  ::close(top);
  // Too deep for std::filesystem to remove; rm walks it by descriptors.
  EXPECT_EQ(std::system(("rm -rf '" + dir / std::string(200, 'n') + "'").c_str()), 0);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, expected.out);
  EXPECT_NE(result.out.find(";601;"), std::string::npos);  // every purchase counted
}

// Standard output on /dev/full, and on a pipe whose reader has gone: exit 1, not a signal.
TEST(RunBinary, FailedWritesEndWithTheReport) {
  TempDir dir;
  int full = ::open("/dev/full", O_WRONLY);
  ASSERT_GE(full, 0);
  int pipe_fds[2];
  ASSERT_EQ(::pipe(pipe_fds), 0);
  ::close(pipe_fds[0]);
  const struct {
    std::vector<std::string> args;
    int fd;
    const char* reason;
  } cases[] = {{{"--all"}, full, "No space left on device"},
               {{}, full, "No space left on device"},
               {{}, pipe_fds[1], "Broken pipe"}};
  for (const auto& c : cases) {
    auto result = RunBinary({.args = c.args, .cwd = dir.path(), .stdout_fd = c.fd});
    EXPECT_EQ(result.status, 1) << c.reason;
    const std::string warning =
        c.args.empty() ? "" : "tollwick: warning: no purchase found under \"" + dir.path() + "\"\n";
    EXPECT_EQ(NormalizedReport(result.err),
              warning + ExpectedReport("EInOutError", std::string("Write to standard output "
                                                                  "failed: ") +
                                                          c.reason + "."));
  }
  ::close(full);
  ::close(pipe_fds[1]);
}

// One SKU, one sale on 15 March 2009, a price of 2.99 USD at 1.495 USD per euro.
void WriteOneSaleTree(const TempDir& dir) {
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
       "tollwick: warning: no purchase found under \"@\"\n",
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
       "tollwick: warning: the range \"16032009\" to \"18032009\" holds no purchase; the "
       "purchases read run from 15032009 to 15032009\n"},
      // Start after end: headers and empty lines only, a TOTAL row of zeros.
      {{"--start", "01012010", "--end", "01012009", "--prices=0", "--currencies=0"},
       Lines({"TOTAL;US PPC Alpha;TOTAL Alpha;;TOTAL EUR;;SHARE EUR;", ";0;0;;0.00;;0.00;", "",
              "YEAR;US PPC Alpha;TOTAL Alpha;;TOTAL EUR;;SHARE EUR;", "",
              "MONTH;US PPC Alpha;TOTAL Alpha;;TOTAL EUR;;SHARE EUR;", "",
              "DATE;US PPC Alpha;TOTAL Alpha;;TOTAL EUR;;SHARE EUR;", ""}),
       "tollwick: warning: the range \"01012010\" to \"01012009\" holds no day (the end date "
       "is the first day not reported)\n"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    if (!c.empty_tree) WriteOneSaleTree(dir);
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
                        {"S1", "", "", "", "", "2010-03-06T01:00:00", ""},    // seen before
                        {"", "P8", "", "", "", "2010-03-06T01:00:00", ""}});
  WriteFile(dir / "sub/downloads.zip", MakeZip({Stored("fulfillmentreport.xml", archived)}));
  WriteFile(dir / "prices.csv", "S1;EUR;249\nS2;EUR;249\nS3;USD;299\n;EUR;100\n");
  WriteFile(dir / "currency.txt", "EUR 1.00 = USD 1.3000<br>EUR 1.00 = GBP 0.8500<br>");
  auto result = RunBinary({{"--all", "--prices=0", "--date-year=0", "--date-month=0"}, dir.path()});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err,
            "tollwick: warning: purchases naming a product that no report describes, not counted: "
            "1 (first: \"XX\")\ntollwick: warning: products sold without a price in prices.csv, "
            "their money not counted: 1 (first: \"S4\")\n");
  const char* header =
      "DE PPC Alpha;DE SP Alpha;US PPC Alpha;TOTAL Alpha;;US PPC Beta;US SP Beta;TOTAL Beta;;EUR;"
      "USD;;"
      "TOTAL EUR;;SHARE EUR;";
  EXPECT_EQ(result.out, Lines({(std::string("TOTAL;") + header).c_str(),
                               ";3;0;1;4;;3;1;4;;8.47;2.99;;10.77;;7.54;", "",
                               (std::string("DATE;") + header).c_str(),
                               "20100305;2;0;0;2;;0;0;0;;4.98;0.00;;4.98;;3.49;",
                               "20100306;1;0;1;2;;3;1;4;;3.49;2.99;;5.79;;4.05;", ""}));
  EXPECT_EQ(ListTree(dir.path()), (std::vector<std::string>{"a.xml", "currency.txt", "prices.csv",
                                                            "sub/", "sub/downloads.zip"}));
}

const std::vector<std::string> kSku1 = {"HC-1", "Harbor Chess", "1.0", "", "Professional", "US"};
const std::vector<std::string> kSku2 = {"PL-1", "Pocket Ledger", "1.0", "", "Standard", "DE"};
const std::string kWeek1 =
    MakeReport({kSku1, kSku2}, {{"HC-1", "P1", "", "", "", "2026-11-02T10:00:00Z", ""},
                                {"PL-1", "P2", "", "", "", "2026-11-03T10:00:00Z", ""}});
const std::string kWeek2 =
    MakeReport({kSku1}, {{"HC-1", "P3", "", "", "", "11/4/2026 1:00 PM", ""}});
const std::string kName = "fulfillmentreport.xml";

std::string Warn(const std::string& text) {
  return "tollwick: warning: " + text + "\n";
}

// A report whose one product row is written as a spreadsheet program saves it.
std::string SavedAgain() {
  std::string report = MakeReport({kSku1}, {});
  return report.replace(report.find("<Row>", report.find("<Row>") + 1), 5, "<Row ss:Height=\"9\">");
}

TEST(Warnings, EachCaseSaysWhatTheTotalsMiss) {
  // Six UTF-16 files and seven files that are no archives: five of each, then the sums.
  std::vector<std::pair<std::string, std::string>> flood;
  std::vector<std::string> flood_warnings(10);
  for (char i = '1'; i <= '7'; ++i) {
    if (i <= '6') flood.push_back({std::string("u") + i + ".xml", "\xFF\xFE"});
    flood.push_back({std::string("z") + i + ".zip", ""});
    if (i > '5') continue;
    flood_warnings[size_t(i - '1')] =
        std::string("\"@/u") + i + ".xml\" is UTF-16 text, which is not read";
    flood_warnings[size_t(i - '1' + 5)] = std::string("\"@/z") + i + ".zip\" is not a zip archive";
  }
  flood_warnings.push_back("1 more file is UTF-16 text, which is not read");
  flood_warnings.push_back("2 more archives are not zip archives");
  // "@" in an expected line stands for the tree's path.
  const struct {
    const char* what;
    std::vector<std::pair<std::string, std::string>> files;
    std::vector<std::string> args;
    std::vector<std::string> warnings;
    int status = 0;
    std::string error = "No exchange rate for currency \"USD\".";
  } cases[] = {
      // clang-format off
      {"deflated and streamed archives are read whole",
       {{"a.zip", MakeZip({Deflated("readme.txt", "x"), Deflated(kName, kWeek2)})},
        {"b.zip", MakeZip({Deflated(kName, kWeek2, true), Deflated(kName, kWeek2, true, true)})}},
       {"--all"}, {}},
      {"no zip archive, empty or not",
       {{"empty.zip", ""}, {"report (3).zip", "<html>gone</html>"}}, {"--all"},
       {"\"@/empty.zip\" is not a zip archive", "\"@/report (3).zip\" is not a zip archive"}},
      {"archive read in part or holding no report",
       {{"b.zip", LocalHeader(Stored(kName, "", 0)) + kName + kWeek2},
        {"c.zip", MakeZip({ZipEntry{"week/" + kName, kWeek2}})},
        {"d.zip", MakeZip({Stored(kName, kWeek2), ZipEntry{"x.bz2", "BZh", 12}})}},
       {"--all"},
       {"\"@/b.zip\" could not be read to its end; entries after the first unreadable one were "
        "not read", "\"@/c.zip\" holds no entry \"fulfillmentreport.xml\"",
        "\"@/d.zip\" could not be read to its end; entries after the first unreadable one were "
        "not read"}},
      {"documents saved again",
       {{"r.xml", "<Workbook><Worksheet ss:Name=\"Sheet1\"></Worksheet></Workbook>"},
        {"s.zip", MakeZip({Stored(kName, std::string("\xFF\xFE<\0W\0", 6))})},
        {"t.xml", SavedAgain()}, {"u.xml", "\r\n\xFE\xFF"}},
       {"--all"},
       {"\"@/r.xml\" holds no worksheet \"SKU detail\" or \"Purchase History\"",
        "\"@/t.xml\": 1 row passed over: its start tag carries attributes",
        "\"@/u.xml\" is UTF-16 text, which is not read",
        "\"@/s.zip\" is UTF-16 text, which is not read"}},
      {"unknown product and no price",
       {{"x.xml", MakeReport({}, {{"ZZ-9", "P9", "", "", "", "2026-11-05T10:00:00Z", ""},
                                  {"ZZ-8", "P8", "", "", "", "2026-11-05T10:00:00Z", ""}})},
        {"prices.csv", "HC-1;USD;499\r\n"}},
       {"--all", "--curency-total=USD", "--prices=yes", "--date-day", "0"},
       {"unknown option \"--curency-total=USD\" ignored",
        "option \"--prices=yes\" is neither 0 nor 1, so it is off",
        "argument \"--date-day\" ignored", "argument \"0\" ignored",
        "purchases naming a product that no report describes, not counted: 2 (first: \"ZZ-9\")",
        "products sold without a price in prices.csv, their money not counted: 1 (first: "
        "\"PL-1\")"}},
      {"warnings before an error", {{"currency.txt", ""}}, {"--all", "--bogus=1"},
       {"unknown option \"--bogus=1\" ignored"}, 1},
      {"a flood is summed up", flood, {"--all"}, flood_warnings},
      {"names do not steer the terminal",
       {{"\x1B[2J.xml", "x"}, {"a\ntollwick: warning: \xC2\x9B.zip", "x"}}, {"--all"},
       {"\"@/\\x1B[2J.xml\" holds no worksheet \"SKU detail\" or \"Purchase History\"",
        "\"@/a\\x0Atollwick: warning: \\xC2\\x9B.zip\" is not a zip archive"}},
      {"a slip in the first argument (--help beside others starts a run): nothing is read or "
       "renamed", {{"report.zip", "x"}}, {"--help", "--all"},
       {"the first argument \"--help\" is not --all, so the 2nd and 4th arguments must be the "
        "dates of the range, as DDMMYYYY"}, 1, "'--' is not a valid integer value."},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    WriteFile(dir / "week1/sales.xml", kWeek1);
    WriteFile(dir / "prices.csv", "HC-1;USD;499\r\nPL-1;EUR;899\r\n");
    WriteFile(dir / "currency.txt", "EUR 1.00 = USD 1.08\r\n");
    for (const auto& [path, bytes] : c.files) WriteFile(dir / path, bytes);
    std::string expected;
    for (std::string line : c.warnings) {
      for (size_t at; (at = line.find('@')) != std::string::npos;) line.replace(at, 1, dir.path());
      expected += Warn(line);
    }
    auto before = Snapshot(dir.path());
    auto result = RunBinary({c.args, dir.path()});
    EXPECT_EQ(result.status, c.status);
    if (before.count("report.zip") != 0) {  // renamed once the reports are read
      EXPECT_EQ(TreeDiff(c.status == 0 ? Renamed(before, "report.zip", "report_(1).zip") : before,
                         Snapshot(dir.path())),
                "");
    }
    EXPECT_EQ(NormalizedReport(result.err).substr(0, expected.size()), expected);
    if (c.status == 0) {
      EXPECT_EQ(result.err, expected);
    } else {
      EXPECT_EQ(NormalizedReport(result.err).substr(expected.size()),
                ExpectedReport("EConvertError", c.error));
    }
  }
}

}  // namespace
}  // namespace tollwick::testing
