// The walk of an archive's entries against the word-for-word one, and the numbered names archives
// get: which names are numbered, with the first free number, replacing nothing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <random>

#include "intake/archive_rename.h"
#include "support/literal_archive.h"
#include "support/report_files.h"
#include "support/row_collector.h"
#include "support/test_support.h"

namespace tollwick::testing {
namespace {

using Names = std::vector<std::string>;
const std::string kName = "fulfillmentreport.xml";

// The fast walk, checked against the word-for-word one on every archive a test makes.
literal::ArchiveResult Walk(const std::string& archive) {
  const literal::ArchiveResult fast = WalkArchiveInMemory(archive);
  EXPECT_EQ(fast, literal::WalkArchive(archive)) << "fast and word-for-word walks differ";
  return fast;
}

TEST(ArchiveWalk, WhichEntriesAreReadAndHowTheWalkEnds) {
  using enum literal::End;
  // A local header and name alone, without data, central directory or end record.
  auto header = [](uint32_t size, const std::string& name) {
    return LocalHeader(Stored(name, "", size)) + name;
  };
  ZipEntry bad_crc = Deflated(kName, "R1"), short_stream = bad_crc;
  bad_crc.declared_crc ^= 1;
  short_stream.data += "x";  // the stream ends before its compressed size
  ++short_stream.declared_compressed;
  const std::string deflated = MakeZip({Deflated(kName, std::string(50, 'R'))});
  // Stored entries whose CRC does not match: a report with one byte changed, an empty report,
  // and an entry of another name.
  ZipEntry changed = Stored(kName, "R2"), empty = Stored(kName, ""), other = Stored("a.txt", "xx");
  changed.declared_crc = literal::Crc32("R1");
  empty.declared_crc = other.declared_crc = 1;
  // Deflated entries of other names: not a deflate stream at all (passed over by its size), and
  // one whose compressed size runs past the end of the file.
  const ZipEntry not_deflate{"a.bin", "\xFF\xFFnot deflate", 8};
  const ZipEntry past_end{"a.bin", "xx", 8, 1000, 2};
  // A streamed entry of another name whose descriptor gives a wrong CRC.
  ZipEntry streamed_crc = Deflated("a", "other", true);
  streamed_crc.trailer[4] ^= 1;
  const std::tuple<const char*, std::string, Names, literal::End, bool> cases[] = {
      // clang-format off
      {"name in any case", MakeZip({Stored("FulfillmentReport.xML", "R")}), {"R"}, Complete, true},
      {"entry in a folder", MakeZip({Stored("x/" + kName, "R1")}), {}, Complete, false},
      {"every report entry, an empty one met but not handed on",
       MakeZip({Stored(kName, ""), Stored("a", "x"), Stored(kName, "R2")}), {"R2"}, Complete, true},
      {"deflated, with sizes",
       MakeZip({Deflated("a.txt", "other"), Deflated(kName, "R1")}), {"R1"}, Complete, true},
      {"streamed, descriptor with signature",
       MakeZip({Deflated(kName, "R1", true), Stored(kName, "R2")}), {"R1", "R2"}, Complete, true},
      {"streamed, descriptor without signature",
       MakeZip({Deflated("a", "other", true, true), Deflated(kName, "R2", true, true)}),
       {"R2"}, Complete, true},
      {"CRC mismatch (or size) ends the walk",
       MakeZip({bad_crc, Stored(kName, "R2")}), {}, Incomplete, true},
      {"stream shorter than its size", MakeZip({short_stream}), {}, Incomplete, true},
      {"deflated data cut short",
       deflated.substr(0, deflated.find("PK\1\2") - 1), {}, Incomplete, true},
      {"not a deflate stream", MakeZip({ZipEntry{kName, "\xFF\xFF", 8}}), {}, Incomplete, true},
      {"bzip2 entry (or stored sizes that differ) is not read",
       MakeZip({ZipEntry{"a", "xx", 12}, Stored(kName, "R2")}), {}, Incomplete, false},
      {"stored with a data descriptor", header(0, kName) + "R" + MakeZip({}), {}, Incomplete, true},
      {"stored without data, then a header",
       header(0, "a") + MakeZip({Stored(kName, "R2")}), {"R2"}, Complete, true},
      {"stored report with a wrong CRC, after a good one",
       MakeZip({Stored(kName, "R1"), changed, Stored(kName, "R3")}), {"R1"}, Incomplete, true},
      {"empty stored report, CRC 0",
       MakeZip({Stored(kName, ""), Stored(kName, "R2")}), {"R2"}, Complete, true},
      {"empty stored report, CRC not 0",
       MakeZip({empty, Stored(kName, "R2")}), {}, Incomplete, true},
      {"stored entry of another name: its CRC is not checked",
       MakeZip({other, Stored(kName, "R2")}), {"R2"}, Complete, true},
      {"deflated entry of another name passed over by its size",
       MakeZip({not_deflate, Stored(kName, "R2")}), {"R2"}, Complete, true},
      {"its compressed size past the end",
       MakeZip({Stored(kName, "R1"), past_end}), {"R1"}, Incomplete, true},
      {"streamed entry of another name with a wrong CRC",
       MakeZip({streamed_crc, Stored(kName, "R2")}), {}, Incomplete, false},
      {"header cut short", MakeZip({Stored(kName, "R1")}).substr(0, 20), {}, Incomplete, false},
      {"ends on an entry boundary",
       LocalHeader(Stored(kName, "R1")) + kName + "R1", {"R1"}, Complete, true},
      {"no signature after an entry",
       LocalHeader(Stored("a", "")) + "a" + "junk", {}, Incomplete, false},
      {"empty archive", MakeZip({}), {}, Complete, false},
      {"text file", "hello, world", {}, NotZip, false},
      {"central directory first",
       MakeZip({Stored(kName, "R1")}).substr(30 + kName.size() + 2), {}, NotZip, false},
      // clang-format on
  };
  for (const auto& [what, archive, reports, end, met] : cases)
    EXPECT_EQ(Walk(archive), (literal::ArchiveResult{reports, end, met})) << what;
}

// Every prefix of an archive of every kind of entry, and of archives written by common tools (zip
// and Python's zipfile, stored and deflated), agrees with the word-for-word walk.
TEST(ArchiveWalk, EveryPrefixAgreesWithTheWordForWordWalk) {
  std::string first = MakeReport({{"s", "t", "v", "d", "e", "m"}}, {}), second = "second";
  std::string archive = MakeZip({ZipEntry{"a.txt", "x", 0, -1, -1, "XT"}, ZipEntry{kName, first},
                                 Deflated("FULFILLMENTREPORT.xml", second + first),
                                 Deflated(kName, second, true), Deflated("b", first, true, true),
                                 Deflated("c", first), ZipEntry{"FULFILLMENTREPORT.xml", second}});
  size_t complete = 0;
  for (size_t length = 0; length <= archive.size(); ++length)
    complete += Walk(archive.substr(0, length)).end == literal::End::Complete;
  EXPECT_GT(complete, 5u);  // the entry boundaries and the whole archive
  for (const auto& [file, sale] : {std::pair{"zip_stored.zip", "ZP1"},
                                   {"python_stored.zip", "PS1"},
                                   {"python_deflated.zip", "PD1"}}) {
    archive = ReadFile(std::string(TOLLWICK_SOURCE_DIR) + "/tests/fixtures/intake/" + file);
    const literal::ArchiveResult walked = Walk(archive);
    EXPECT_EQ(walked.end, literal::End::Complete) << file;
    EXPECT_NE(walked.reports.at(0).find(sale), std::string::npos) << file;
    for (size_t length = 0; length < archive.size(); ++length) Walk(archive.substr(0, length));
  }
}

// Random archives of every kind of entry, whole, cut short or with one byte changed.
TEST(ArchiveWalk, RandomArchivesAgreeWithTheWordForWordWalk) {
  std::mt19937 random(2010);
  auto below = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); };
  const std::string names[] = {kName, "FulfillmentReport.XML", "a.txt", "x/" + kName};
  for (int round = 0; round < 3000; ++round) {
    std::vector<ZipEntry> entries;
    for (size_t n = below(5); n > 0; --n) {
      const std::string& name = names[below(std::size(names))];
      std::string data(below(3) == 0 ? 0 : below(300), 'a');
      for (char& c : data) c = static_cast<char>('a' + below(4));
      const size_t kind = below(6);  // 4 and 5: stored as it is
      if (kind == 0) entries.push_back(Deflated(name, data));
      if (kind == 1) entries.push_back(Deflated(name, data, true, below(2) == 0));
      if (kind == 2) entries.push_back(ZipEntry{name, data, 8});  // not a deflate stream, mostly
      if (kind >= 3) entries.push_back(Stored(name, data));
      if (kind == 3) entries.back().declared_crc = below(2) ? 0 : int64_t{literal::Crc32(data)} ^ 4;
    }
    std::string archive = MakeZip(entries);
    if (below(3) == 0) archive.resize(below(archive.size() + 1));
    if (below(3) == 0 && !archive.empty()) archive[below(archive.size())] ^= 0x10;
    Walk(archive);
  }
}

// Entries of several MiB: a report's memory grows past its first piece, a stored one is checked
// piece by piece, another entry's output is checked and thrown away, and all come out whole.
TEST(ArchiveWalk, EntriesOfSeveralMiB) {
  std::string big;
  for (size_t line = 0; big.size() < (size_t{3} << 20) + 123; ++line)
    big += "<Row>" + std::to_string(line * 7919 % 100003) + "</Row>\n";
  ZipEntry bad_crc = Deflated("other.bin", big, true), changed = Stored(kName, big);
  bad_crc.trailer[4] ^= 1;
  changed.declared_crc = literal::Crc32(big);
  changed.data[big.size() - 5] ^= 1;  // its CRC left as it was
  EXPECT_EQ(Walk(MakeZip({Deflated("other.bin", big, true), Deflated(kName, big, true),
                          Stored(kName, big)})),
            (literal::ArchiveResult{{big, big}, literal::End::Complete, true}));
  for (const ZipEntry& entry : {bad_crc, changed})
    EXPECT_EQ(Walk(MakeZip({entry, Deflated(kName, big)})).end, literal::End::Incomplete);
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
      {{"report_(1).zip/"}, "report.zip", "report_(2).zip"},
      {{"report_(1).zip@nowhere.zip"}, "report.zip", "report_(2).zip"},
      {{"d/", "report_(1).zip@d", "report_(2).zip@nowhere"}, "report.zip", "report_(3).zip"},
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
    WarningList warnings;
    ReadReportArchive(dir / archive, rows, warnings);
    before[renamed] = "not an archive";
    EXPECT_EQ(TreeDiff(before, Snapshot(dir.path())), "") << archive;
  }
}

}  // namespace
}  // namespace tollwick::testing
