#include "intake/worksheet_cutter.h"

#include <algorithm>
#include <array>
#include <span>

#include "intake/marker_finder.h"
#include "intake/piece_cutter.h"

namespace tollwick {

namespace {

constexpr std::string_view kSkuSheetStart = "<Worksheet ss:Name=\"SKU detail\">";
constexpr std::string_view kSaleSheetStart = "<Worksheet ss:Name=\"Purchase History\">";
constexpr std::string_view kSheetEnd = "</Worksheet>";
constexpr std::string_view kRowStart = "<Row>";
constexpr std::string_view kRowEnd = "</Row>";
constexpr std::string_view kDataStart = "<Data";
constexpr std::string_view kDataEnd = "</Data>";
constexpr size_t npos = std::string_view::npos;

// The document after the product worksheet was cut out of it: `head` followed by `tail`.
struct JoinedText {
  std::string_view head, tail;

  size_t size() const { return head.size() + tail.size(); }

  // First occurrence of the marker starting at or after `from`, in joined positions.
  size_t Find(const MarkerFinder& finder, size_t from) const {
    const size_t length = finder.marker().size();
    if (from < head.size()) {
      size_t at = finder.Find(head, from);
      if (at != npos) return at;
      // Only the last length - 1 bytes of head can start a match across the join.
      size_t first = std::max(from, head.size() >= length ? head.size() - length + 1 : size_t{0});
      std::string window(head.substr(first));
      window.append(tail.substr(0, length - 1));
      at = finder.Find(window);
      if (at != npos) return first + at;
    }
    size_t at = finder.Find(tail, from > head.size() ? from - head.size() : 0);
    return at == npos ? npos : head.size() + at;
  }

  // Bytes [from, to); a view when they lie on one side of the join, else copied into `store`.
  std::string_view Slice(size_t from, size_t to, std::string& store) const {
    if (to <= head.size()) return head.substr(from, to - from);
    if (from >= head.size()) return tail.substr(from - head.size(), to - from);
    store.assign(head.substr(from));
    store.append(tail.substr(0, to - head.size()));
    return store;
  }
};

// Rows of one worksheet; `wanted` values (6 or 7) are collected per row.
template <size_t wanted, typename Deliver>
void CutRows(std::string_view sheet, Deliver deliver) {
  if (sheet.empty()) return;
  PieceCutter rows(sheet, kRowStart, kRowEnd);
  rows.Next();  // the first row is a header, whatever it holds
  std::array<std::string_view, wanted> values;
  for (std::string_view row = rows.Next(); !row.empty(); row = rows.Next()) {
    PieceCutter cells(row, kDataStart, kDataEnd);
    size_t count = 0;
    // Values past the wanted ones are never used, so cutting stops there.
    while (count < wanted) {
      std::string_view piece = cells.Next();
      if (piece.empty()) break;
      size_t gt = piece.find('>');
      values[count++] = gt == npos ? piece : piece.substr(gt + 1);
    }
    if (count == wanted) deliver(std::span<const std::string_view, wanted>(values));
  }
}

}  // namespace

void CutWorksheets(std::string_view document, RowSink& sink) {
  const MarkerFinder sku_sheet(kSkuSheetStart), sale_sheet(kSaleSheetStart), sheet_end(kSheetEnd);
  JoinedText rest{document, {}};
  size_t sku_at = sku_sheet.Find(document);
  if (sku_at != npos) {
    size_t inner = sku_at + kSkuSheetStart.size();
    size_t end = sheet_end.Find(document, inner);
    if (end != npos) {
      CutRows<kSkuValues>(document.substr(inner, end - inner),
                          [&](std::span<const std::string_view, kSkuValues> v) { sink.SkuRow(v); });
      rest = {document.substr(0, sku_at), document.substr(end + kSheetEnd.size())};
    }
  }
  size_t sale_at = rest.Find(sale_sheet, 0);
  if (sale_at == npos) return;
  size_t inner = sale_at + kSaleSheetStart.size();
  size_t end = rest.Find(sheet_end, inner);
  if (end == npos) return;
  std::string store;
  CutRows<kSaleValues>(rest.Slice(inner, end, store),
                       [&](std::span<const std::string_view, kSaleValues> v) { sink.SaleRow(v); });
}

}  // namespace tollwick
