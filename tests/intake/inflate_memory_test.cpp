// The memory inflated report entries cost the program, measured as the children's peak resident
// set (so the runs go from the smallest to the largest).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include "intake/read_ahead.h"
#include "support/row_collector.h"
#include "support/test_support.h"

namespace tollwick::testing {
namespace {

const std::string kName = "fulfillmentreport.xml";
const std::string kReport = MakeReport({{"B1", "Bomb", "1.0", "Full", "Pro", "PPC"}},
                                       {{"B1", "P1", "Ann", "DE", "", "2010-03-05T10:00:00Z", ""}});

// An archive of one deflated report entry of `size` bytes: `report` padded with blanks.
std::string Bomb(size_t size, const std::string& report = kReport) {
  std::string text = report;
  text.insert(report.rfind("</Workbook>"), size - report.size(), ' ');
  const ZipEntry entry = Deflated(kName, text);
  return LocalHeader(entry) + kName + entry.data;
}

// The largest resident set of any child waited for so far, in bytes.
uint64_t ChildrenPeak() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return static_cast<uint64_t>(usage.ru_maxrss) << 10;
}

TEST(InflateMemory, AnEntryCostsWhatItHoldsAndArchivesSideBySideShareTheBudget) {
  constexpr uint64_t kSize = uint64_t{96} << 20;
  const std::string bomb = Bomb(kSize);
  TempDir small, one, four;
  for (const TempDir* tree : {&small, &one, &four}) WriteFile(*tree / "prices.csv", "B1;EUR;100\n");
  WriteFile(small / "r.zip", MakeZip({Stored(kName, kReport)}));
  WriteFile(one / "b.zip", bomb);
  for (const char* name : {"b1.zip", "b2.zip", "b3.zip", "b4.zip"}) WriteFile(four / name, bomb);

  const RunResult expected = RunBinary({{"--all"}, small.path()});
  const uint64_t base = ChildrenPeak();
  ASSERT_EQ(expected.status, 0);
  const RunResult bombed = RunBinary({{"--all"}, one.path()});
  const uint64_t one_peak = ChildrenPeak();
  EXPECT_EQ(bombed.status, 0);
  EXPECT_EQ(bombed.out, expected.out);
  const RunResult four_bombed = RunBinary({{"--all"}, four.path()});
  const uint64_t four_peak = ChildrenPeak();
  EXPECT_EQ(four_bombed.status, 0);
  EXPECT_EQ(four_bombed.err, "");

  if (UnderAddressSanitizer() || UnderThreadSanitizer()) return;  // their shadow memory counts
  const double one_growth = static_cast<double>(one_peak - base) / static_cast<double>(kSize);
  const double four_growth = static_cast<double>(four_peak - base) / static_cast<double>(kSize);
  EXPECT_GE(one_growth, 0.9) << "the entry was not held whole: nothing measured";
  EXPECT_LE(one_growth, 1.3) << "peak " << one_peak << " against " << base << " without it";
  EXPECT_LE(four_growth, 1.5 * one_growth) << "peak " << four_peak;
}

// With no room at all, each archive but the oldest waits to inflate until it is the oldest: the
// files still come out whole and in order; and when reading stops after the first, the thread
// that waits to inflate the third ends.
TEST(InflateMemory, ReadersWaitForRoomUntilTheirFileIsTheOldest) {
  TempDir dir;
  const std::vector<std::string> ids = {"P1", "P2", "P3"};
  for (const std::string& id : ids)
    WriteFile(dir / (id + ".zip"),
              Bomb(size_t{3} << 20, MakeReport({}, {{"B1", id, "", "", "", "2010-03-05T", ""}})));
  for (const size_t taken : {3, 1}) {
    RowCollector rows;
    WarningList warnings;
    {
      ReadAhead ahead(SystemFileSystem(), 4, 2, /*byte_budget=*/1, rows);
      for (const std::string& id : ids) {
        ReportJob& job = ahead.Free();
        job.Reset(dir / (id + ".zip"), true);
        ASSERT_EQ(
            OpenRegularFileAt(SystemFileSystem(), AT_FDCWD, job.path, job.path, job.fd, job.size),
            OpenResult::Read);
        ahead.Submit();
      }
      for (size_t i = 0; i < taken; ++i) {
        ApplyJob(ahead.TakeOldest(), rows, warnings);
        ahead.Release();
      }
      // Time for the thread that read the first file to take the third and wait.
      if (taken < ids.size()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::vector<std::string> read;
    for (const auto& row : rows.rows) read.push_back(row.values[1]);
    EXPECT_EQ(read, std::vector(ids.begin(), ids.begin() + static_cast<ptrdiff_t>(taken)));
    EXPECT_TRUE(warnings.empty());
  }
}

}  // namespace
}  // namespace tollwick::testing
