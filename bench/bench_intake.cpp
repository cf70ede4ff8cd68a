// Intake throughput on a generated report of about 128 MB: the cutting alone, a loose file
// (read, line breaks dropped, cut, rows stored) and the same report as an archive entry.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "intake/table_rows.h"
#include "intake/worksheet_cutter.h"
#include "support/report_files.h"

namespace {

constexpr size_t kTargetBytes = size_t{128} << 20;

void AppendRow(std::string& out, std::initializer_list<std::string_view> cells) {
  out += "   <Row>\r\n";
  for (std::string_view cell : cells) {
    out += "    <Cell><Data ss:Type=\"String\">";
    out += cell;
    out += "</Data></Cell>\r\n";
  }
  out += "   </Row>\r\n";
}

// A report shaped like the marketplace's: 1000 SKUs, then purchases up to the target size.
// Purchase ids repeat every 50000 rows, so the sale table stays small and the figure shows the
// intake rather than the growth of the table.
const std::string& Report() {
  static const std::string report = [] {
    std::string out = "<?xml version=\"1.0\"?>\r\n<Workbook>\r\n";
    out += " <Worksheet ss:Name=\"SKU detail\">\r\n  <Table>\r\n";
    AppendRow(out, {"SKU", "Title", "Version", "Detail", "Edition", "Market"});
    for (int i = 0; i < 1000; ++i) {
      std::string id = std::string("SKU").append(std::to_string(i));
      AppendRow(out, {id, "Some Title", "1.0", "Detail text", "Professional", "Pocket PC"});
    }
    out += "  </Table>\r\n </Worksheet>\r\n";
    out += " <Worksheet ss:Name=\"Purchase History\">\r\n  <Table>\r\n";
    AppendRow(out, {"SKU", "Purchase", "Buyer", "Country", "State", "Date", "Status"});
    for (int i = 0; out.size() < kTargetBytes; ++i) {
      std::string sku = std::string("SKU").append(std::to_string(i % 1000));
      std::string id = std::string("P").append(std::to_string(i % 50000));
      AppendRow(out, {sku, id, "Buyer name", "Germany", "Charged", "2010-03-05T12:34:56Z", "OK"});
    }
    out += "  </Table>\r\n </Worksheet>\r\n</Workbook>\r\n";
    return out;
  }();
  return report;
}

std::string StoredArchive(const std::string& data) {
  std::string out;
  auto put = [&](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  };
  std::string name = "fulfillmentreport.xml";
  put(0x04034B50u, 4);
  put(10, 2);
  put(0, 2);
  put(0, 2);
  put(0, 4);
  put(0, 4);
  put(static_cast<uint32_t>(data.size()), 4);
  put(static_cast<uint32_t>(data.size()), 4);
  put(static_cast<uint32_t>(name.size()), 2);
  put(0, 2);
  out += name;
  out += data;
  put(0x02014B50u, 4);  // the walk ends at the central directory
  return out;
}

std::string WriteTemp(const std::string& bytes, const char* name) {
  const char* base = std::getenv("TMPDIR");
  std::string path = std::string(base != nullptr && *base ? base : "/tmp") + "/" + name;
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  for (size_t done = 0; fd >= 0 && done < bytes.size();) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  if (fd >= 0) ::close(fd);
  return path;
}

class CountingSink : public tollwick::RowSink {
 public:
  size_t rows = 0;
  void SkuRow(std::span<const std::string_view, tollwick::kSkuValues>) override { ++rows; }
  void SaleRow(std::span<const std::string_view, tollwick::kSaleValues>) override { ++rows; }
};

void BM_CutOnly(benchmark::State& state) {
  std::string report = Report();  // writable: values are decoded in place (it holds no '&')
  for (auto _ : state) {
    CountingSink sink;
    tollwick::CutWorksheets(report, sink);
    benchmark::DoNotOptimize(sink.rows);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * report.size()));
}

void BM_ArchiveEntryInMemory(benchmark::State& state) {
  std::string report = Report();  // writable: values are decoded in place (it holds no '&')
  for (auto _ : state) {
    tollwick::SkuTable skus;
    tollwick::SaleTable sales;
    tollwick::TableRows rows(skus, sales);
    tollwick::CutWorksheets(report, rows);
    benchmark::DoNotOptimize(sales.size());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * report.size()));
}

void BM_ArchiveFile(benchmark::State& state) {
  std::string path = WriteTemp(StoredArchive(Report()), "tollwick-bench-archive.zip");
  for (auto _ : state) {
    tollwick::SkuTable skus;
    tollwick::SaleTable sales;
    tollwick::TableRows rows(skus, sales);
    tollwick::WarningList warnings;
    tollwick::testing::ReadReportArchive(path, rows, warnings);
    benchmark::DoNotOptimize(sales.size());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Report().size()));
  std::remove(path.c_str());
}

void BM_LooseFile(benchmark::State& state) {
  std::string path = WriteTemp(Report(), "tollwick-bench-loose.xml");
  for (auto _ : state) {
    tollwick::SkuTable skus;
    tollwick::SaleTable sales;
    tollwick::TableRows rows(skus, sales);
    tollwick::FileBytes buffer;
    tollwick::testing::ParseReportFile(path, rows, buffer);
    benchmark::DoNotOptimize(sales.size());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Report().size()));
  std::remove(path.c_str());
}

}  // namespace

BENCHMARK(BM_CutOnly)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_ArchiveEntryInMemory)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_ArchiveFile)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_LooseFile)->Unit(benchmark::kMillisecond)->MinTime(2);
