// Runs that complete but whose totals may miss something say so on standard error, one line
// each, in the order found; standard output and the exit status stay as they are, and a run
// that misses nothing writes nothing there. A run that fails writes its warnings before the
// error report.
#include <gtest/gtest.h>

#include "support/test_support.h"

namespace tollwick::testing {
namespace {

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
  std::vector<std::string> flood_warnings;
  for (char i = '1'; i <= '7'; ++i) {
    if (i <= '6') flood.push_back({std::string("u") + i + ".xml", "\xFF\xFE"});
    flood.push_back({std::string("z") + i + ".zip", ""});
  }
  for (char i = '1'; i <= '5'; ++i)
    flood_warnings.push_back(std::string("\"@/u") + i + ".xml\" is UTF-16 text, which is not read");
  for (char i = '1'; i <= '5'; ++i)
    flood_warnings.push_back(std::string("\"@/z") + i + ".zip\" is not a zip archive");
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
      {"a clean run is silent", {}, {"--all"}, {}},
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
      {"no day in the range", {}, {"--start", "16112026", "--end", "09112026", "x", "--date-day=0"},
       {"argument \"x\" ignored", "the range \"16112026\" to \"09112026\" holds no day (the end "
        "date is the first day not reported)"}},
      {"no purchase under the folder", {{"week1/sales.xml", ""}}, {"--all"},
       {"\"@/week1/sales.xml\" holds no worksheet \"SKU detail\" or \"Purchase History\"",
        "no purchase found under \"@\""}},
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
