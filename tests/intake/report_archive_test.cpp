// The local-header walk, the archives made by ordinary tools, and every cut-short archive.
#include "intake/report_archive.h"

#include <gtest/gtest.h>

#include "intake/stored_entries.h"
#include "support/test_support.h"
#include "tables/errors.h"

namespace tollwick {
namespace {

using testing::MakeZip;
using testing::ZipEntry;

std::vector<std::string> Entries(std::string_view archive) {
  std::vector<std::string> out;
  ForEachReportEntry(archive, [&](std::string_view data) { out.emplace_back(data); });
  return out;
}

std::string Header(uint16_t method, uint32_t compressed, uint32_t size, std::string_view name,
                   std::string_view extra = {}) {
  std::string h;
  auto put = [&](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) h.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  };
  put(0x04034B50u, 4);
  put(10, 2);
  put(0, 2);
  put(method, 2);
  put(0, 4);
  put(0, 4);
  put(compressed, 4);
  put(size, 4);
  put(static_cast<uint32_t>(name.size()), 2);
  put(static_cast<uint32_t>(extra.size()), 2);
  return h + std::string(name) + std::string(extra);
}

const std::string kName = "fulfillmentreport.xml";

ZipEntry E(std::string name, std::string data, uint16_t method = 0, int64_t compressed = -1,
           int64_t size = -1, std::string extra = {}) {
  return ZipEntry{std::move(name), std::move(data), method, compressed, size, std::move(extra)};
}

TEST(StoredEntries, WhichEntriesAreRead) {
  struct Case {
    const char* what;
    std::string archive;
    std::vector<std::string> entries;
  };
  const Case cases[] = {
      {"one stored report", MakeZip({E(kName, "R1")}), {"R1"}},
      {"name in any case", MakeZip({E("FulfillmentReport.XML", "R1")}), {"R1"}},
      {"entry in a folder", MakeZip({E("x/" + kName, "R1")}), {}},
      {"empty report entry", MakeZip({E(kName, ""), E(kName, "R2")}), {"R2"}},
      {"every report entry",
       MakeZip({E(kName, "R1"), E("a.txt", "x"), E(kName, "R2")}),
       {"R1", "R2"}},
      {"extra field skipped", MakeZip({E(kName, "R1", 0, -1, -1, "EXTRA")}), {"R1"}},
      {"compressed first entry ends the walk", MakeZip({E("a.txt", "xx", 8), E(kName, "R2")}), {}},
      {"sizes differ", MakeZip({E(kName, "R1", 0, 1, 2), E(kName, "R2")}), {}},
      {"not an archive", "just some text, no archive at all", {}},
      {"empty file", "", {}},
      {"data descriptor entry ends the walk", Header(0, 0, 0, kName) + "R1" + MakeZip({}), {}},
      {"data descriptor entry followed by a header",
       Header(0, 0, 0, "a") + MakeZip({E(kName, "R2")}),
       {"R2"}},
      {"4 GB declared", Header(0, 0xFFFFFFFFu, 0xFFFFFFFFu, kName) + "R1", {}},
      {"4 GB compressed size only", Header(0, 0xFFFFFFFFu, 2, kName) + "R1", {}},
      {"name past the end", Header(0, 2, 2, kName).substr(0, 40), {}},
      {"extra past the end", Header(0, 2, 2, kName, "EXTRA").substr(0, 30 + 21 + 3), {}},
      {"data past the end", Header(0, 5, 5, kName) + "R1", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(Entries(c.archive), c.entries) << c.what;
}

TEST(StoredEntries, EveryTruncatedPrefixEndsCleanly) {
  std::string first = testing::MakeReport({{"s", "t", "v", "d", "e", "m"}}, {});
  std::string second = "second report";
  std::string archive = MakeZip(
      {E("a.txt", "x", 0, -1, -1, "XT"), E(kName, first), E("FULFILLMENTREPORT.xml", second)});
  ASSERT_EQ(Entries(archive), (std::vector<std::string>{first, second}));
  for (size_t length = 0; length <= archive.size(); ++length) {
    // Exactly the entries that lie whole inside the prefix, never a part of one.
    std::string prefix = archive.substr(0, length);
    std::vector<std::string> found = Entries(prefix);
    ASSERT_LE(found.size(), 2u);
    if (!found.empty()) {
      ASSERT_EQ(found[0], first) << length;
    }
    if (found.size() == 2) {
      ASSERT_EQ(found[1], second) << length;
    }
    size_t first_end = archive.find(first) + first.size();
    size_t second_end = archive.find(second) + second.size();
    ASSERT_EQ(found.size(), size_t{length >= first_end} + size_t{length >= second_end}) << length;
  }
}

TEST(ReadReportArchive, ArchivesMadeByOrdinaryTools) {
  struct Case {
    const char* file;
    std::vector<std::string> skus;
    std::vector<std::string> sales;
  };
  const Case cases[] = {
      {"zip_stored.zip", {"Z1"}, {"ZP1"}},
      {"python_stored.zip", {"P1"}, {"PS1"}},
      {"python_deflated.zip", {}, {}},
  };
  for (const Case& c : cases) {
    testing::TempDir dir;
    std::string path = dir / c.file;
    testing::WriteFile(path, testing::ReadFile(std::string(TOLLWICK_SOURCE_DIR) +
                                               "/tests/fixtures/intake/" + c.file));
    RunState state;
    ReadReportArchive(state, path);
    std::vector<std::string> skus, sales;
    for (const RSKU& s : state.Skus) skus.push_back(s.SkuId);
    for (const RSALE& s : state.Sales) sales.push_back(s.PurchaseId);
    EXPECT_EQ(skus, c.skus) << c.file;
    EXPECT_EQ(sales, c.sales) << c.file;
    EXPECT_EQ(testing::ListTree(dir.path()), std::vector<std::string>{c.file});
  }
}

TEST(ReadReportArchive, MissingArchiveRaisesWithAbsolutePath) {
  testing::TempDir dir;
  testing::ScopedChdir chdir(dir.path());
  RunState state;
  try {
    ReadReportArchive(state, "report.zip");
    FAIL() << "no error";
  } catch (const TollwickError& error) {
    EXPECT_EQ(error.kind(), ErrorKind::EFOpenError);
    EXPECT_EQ(std::string(error.what()),
              "Cannot open file \"" + dir.path() + "/report.zip\". No such file or directory");
  }
}

}  // namespace
}  // namespace tollwick
