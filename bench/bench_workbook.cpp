// The dated sheets' rows of a workbook: a year of days of 1,000 count columns and seven money
// columns as cell XML, then the same text packed on one and on two threads. Bytes per second
// are of the XML.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "workbook/row_packer.h"
#include "workbook/sheet_row_xml.h"

namespace tollwick {
namespace {

constexpr uint32_t kDays = 365, kCounts = 1000, kMoney = 7;

// The cells' values, mostly zero counts as in a large catalogue, drawn once.
const std::vector<double>& Values() {
  static const std::vector<double> values = [] {
    std::mt19937 random(5);
    std::vector<double> drawn;
    for (uint32_t row = 1; row <= kDays; ++row) {
      for (uint32_t c = 1; c <= kCounts; ++c)
        drawn.push_back(random() % 8 == 0 ? static_cast<double>(random() % 5) : 0);
      for (uint32_t c = 0; c < kMoney; ++c)
        drawn.push_back(static_cast<double>(random() % 10000000) / 100);
    }
    return drawn;
  }();
  return values;
}

void WriteRows(std::string& out) {
  SheetRowXml xml;
  const double* value = Values().data();
  for (uint32_t row = 1; row <= kDays; ++row) {
    xml.BeginRow(out, row);
    xml.Number(out, 0, 40000 + row, 4);
    for (uint32_t c = 1; c <= kCounts; ++c) xml.Number(out, c, *value++, 0);
    for (uint32_t c = kCounts + 2; c < kCounts + 2 + kMoney; ++c) xml.Number(out, c, *value++, 2);
    xml.EndRow(out);
  }
}

void BM_SheetRowXml(benchmark::State& state) {
  std::string out;
  for (auto _ : state) {
    out.clear();
    WriteRows(out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * out.size()));
}
BENCHMARK(BM_SheetRowXml)->Unit(benchmark::kMillisecond);

void BM_RowPacker(benchmark::State& state) {
  std::string rows;
  WriteRows(rows);
  char folder[] = "/tmp/tollwick-bench-XXXXXX";
  if (::mkdtemp(folder) == nullptr) {
    state.SkipWithError("no temporary folder");
    return;
  }
  const std::string path = std::string(folder) + "/book.xlsx";
  for (auto _ : state) {
    RowPacker packer(folder, path, 2, static_cast<size_t>(state.range(0)));
    for (size_t at = 0; at < rows.size(); at += 4096) {
      packer.text().append(rows, at, 4096);
      packer.Pass();
    }
    benchmark::DoNotOptimize(packer.EndPart());
  }
  ::rmdir(folder);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * rows.size()));
}
BENCHMARK(BM_RowPacker)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace tollwick
