// Archives that are broken on purpose: local headers whose sizes promise gigabytes that are not
// there, and a real entry of almost 4 GB. The walk must end with a warning, with nothing near
// the declared sizes allocated (the binary runs with its address space bounded). Archives cut at
// every offset are checked on the entry walk itself (tests/intake) and by the archive fuzzer.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_support.h"

namespace tollwick::testing {
namespace {

namespace fs = std::filesystem;

// A report cut down to its markers, so that an archive of it has few byte offsets.
const std::string kReport =
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
      {"a/4g.zip", Header(name, 0xFFFFFFFF) + name + kReport},
      {"b/2g.zip", Header(name, 0x80000000) + name + kReport},
      {"c/extra.zip",
       LocalHeader({name, "", 0, 16, 16, std::string(0xFFFF, 'x')}) + name + "0123456789abcdef"},
      {"d/name.zip", Header(std::string(0xFFFF, 'n'), 0) + name},
      {"e/second.zip", MakeZip({Stored("readme.txt", "hello", 0xFFFFFFF0), Stored(name, kReport)})},
      {"f/report.zip", Header(name, 0xFFFFFFFF) + name + kReport},
      // Sizes that differ: the entry is not read, and the walk ends at its name.
      {"g/differ.zip", LocalHeader({name, "", 0, 0xFFFFFFFF, 0x10}) + name + kReport},
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
  WriteFile(dir / "h/whole.zip", MakeZip({Stored(name, kReport)}));
  WriteFile(reference / "whole.zip", MakeZip({Stored(name, kReport)}));
  for (const TempDir* tree : {&dir, &reference}) WriteFile(*tree / "prices.csv", "X1;EUR;100\n");
  auto before = Snapshot(dir.path());
  auto expected = RunBinary({{"--all"}, reference.path()});
  ASSERT_EQ(expected.status, 0);

  auto result = RunBinary({{"--all"}, dir.path(), false, /*timeout_seconds=*/120, kAddressSpace});
  ASSERT_NE(result.status, kTimedOut);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, warnings);
  EXPECT_EQ(result.out, expected.out);
  EXPECT_EQ(TreeDiff(Renamed(before, "f/report.zip", "f/report_(1).zip"), Snapshot(dir.path())),
            "");
}

TEST(FaultArchive, HugeReportEntryThatIsThereEndsCleanly) {
  // A report entry of almost 4 GB that really is in the file (a sparse one). Its data must be
  // read whole to be cut, so under a 512 MB bound the run may end with the out-of-memory report;
  // what it must not do is crash or hang.
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
  WriteFile(dir / "report.zip", MakeZip({Stored(name, kReport)}));
  WriteFile(dir / "prices.csv", "X1;EUR;100\n");

  auto result = RunBinary({{"--all"}, dir.path(), false, /*timeout_seconds=*/120, kAddressSpace});
  ASSERT_NE(result.status, kTimedOut);
  if (result.status == 0) {
    EXPECT_EQ(result.err, "");
  } else {
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(NormalizedReport(result.err), ExpectedReport("EOutOfMemory", "Out of memory."));
  }
  // Whatever the end, the archive read before it (names are taken in byte order) has its new
  // name, and the big one is unchanged.
  EXPECT_TRUE(fs::exists(dir / "report_(1).zip"));
  EXPECT_EQ(fs::file_size(dir / "z.zip"), 30 + name.size() + kSize);
}

}  // namespace
}  // namespace tollwick::testing
