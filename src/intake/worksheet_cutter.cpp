#include "intake/worksheet_cutter.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <span>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "intake/marker_finder.h"
#include "intake/piece_cutter.h"
#include "intake/xml_references.h"

namespace tollwick {

namespace {

constexpr std::string_view kSkuSheetStart = "<Worksheet ss:Name=\"SKU detail\">";
constexpr std::string_view kSaleSheetStart = "<Worksheet ss:Name=\"Purchase History\">";
constexpr std::string_view kSheetEnd = "</Worksheet>";
constexpr std::string_view kRowStart = "<Row>";
constexpr std::string_view kRowEnd = "</Row>";
constexpr std::string_view kRowTag = "<Row";
constexpr std::string_view kDataStart = "<Data";
constexpr std::string_view kDataEnd = "</Data>";
constexpr std::string_view kPlainCellOpen = "<Cell><Data ss:Type=\"String\">";
constexpr std::string_view kPlainCellClose = "</Data></Cell>";
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

// The positions of '<' in a text, in increasing order, found 64 bytes at a time.
class AngleScan {
 public:
  AngleScan(std::string_view text, size_t from) : text_(text), block_(from) { Load(); }

  // The next position of '<', or npos.
  size_t Next() {
    while (mask_ == 0) {
      if (block_ >= text_.size()) return npos;
      block_ += kWidth;
      Load();
    }
    size_t at = block_ + static_cast<size_t>(__builtin_ctzll(mask_));
    mask_ &= mask_ - 1;
    return at;
  }

 private:
  static constexpr size_t kWidth = 64;

  // Sets the mask of '<' bytes in [block_, block_ + kWidth).
  void Load() {
    mask_ = 0;
    if (block_ >= text_.size()) return;
    const char* at = text_.data() + block_;
#if defined(__SSE2__)
    if (text_.size() - block_ >= kWidth) {
      const __m128i lt = _mm_set1_epi8('<');
      for (size_t part = 0; part < kWidth / 16; ++part) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16 * part));
        const auto bits = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, lt)));
        mask_ |= uint64_t{bits} << (16 * part);
      }
      return;
    }
#endif
    size_t count = std::min(kWidth, text_.size() - block_);
    for (size_t i = 0; i < count; ++i)
      if (at[i] == '<') mask_ |= uint64_t{1} << i;
  }

  std::string_view text_;
  size_t block_;       // start of the 64 bytes that `mask_` describes
  uint64_t mask_ = 0;  // '<' bytes not handed out yet
};

// The first '>' in [from, limit), or npos. The '>' of a tag is a few bytes on, so this looks
// 16 bytes at a time instead of calling memchr.
size_t FindGt(std::string_view text, size_t from, size_t limit) {
#if defined(__SSE2__)
  const __m128i gt = _mm_set1_epi8('>');
  while (from < limit && text.size() - from >= 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + from));
    const auto mask = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, gt)));
    if (mask != 0) {
      const size_t at = from + static_cast<size_t>(__builtin_ctz(mask));
      return at < limit ? at : npos;
    }
    from += 16;
  }
#endif
  for (; from < limit; ++from)
    if (text[from] == '>') return from;
  return npos;
}

bool StartsWith(std::string_view text, size_t at, std::string_view marker) {
  return text.size() - at >= marker.size() &&
         std::memcmp(text.data() + at, marker.data(), marker.size()) == 0;
}

// Whether a row start tag with attributes (or cut off by the end) begins at `at`.
bool IsAttributedRowTag(std::string_view text, size_t at) {
  return StartsWith(text, at, kRowTag) &&
         (text.size() - at == kRowTag.size() || text[at + kRowTag.size()] != '>');
}

// The row start tags with attributes in a stretch the row cutting passed over without looking
// at its '<' bytes one by one: the layout between rows, a header row, what follows the last.
size_t CountAttributedRowTags(std::string_view text) {
  static const MarkerFinder finder(kRowTag);
  size_t count = 0;
  for (size_t at = finder.Find(text); at != npos; at = finder.Find(text, at + 1))
    count += static_cast<size_t>(IsAttributedRowTag(text, at));
  return count;
}

// One pass over the '<' bytes of the row that begins at `from`, up to its first "</Row>".
// A row is plain when every '<' in it, up to its `wanted`-th value, starts one of:
//   - "<Data", followed by a '>' before the next '<', which starts "</Data>": one value, the
//     bytes between that '>' and "</Data>";
//   - anything else holding a '>' before the next '<'.
// Cutting a plain row piece by piece gives exactly these values: no "<Data" can form where a
// piece is cut out, since every chunk before it holds a '>', which "<Data" does not. Returns
// the position of "</Row>" (npos when there is none); `plain` tells whether `values` holds the
// row's values, `count` of them. Row start tags with attributes on the way are added to
// `attributed` (the '<' bytes passed in one step begin known tags, never a row's).
template <size_t wanted>
size_t ScanRow(std::string_view text, size_t from, std::array<std::string_view, wanted>& values,
               size_t& count, bool& plain, size_t& attributed) {
  AngleScan angles(text, from);
  count = 0;
  plain = true;
  size_t at = angles.Next();
  while (at != npos) {
    if (StartsWith(text, at, kRowEnd)) return at;
    if (text.size() - at > 1 && text[at + 1] == 'R' && IsAttributedRowTag(text, at)) ++attributed;
    if (!plain || count == wanted) {
      at = angles.Next();
      continue;
    }
    // The common cell, taken at once. Its four '<' give the same value one by one (a tag
    // holding its '>', data whose '>' ends "<Data ss:Type="String">", "</Data>", a tag holding
    // its '>'), and none of them ends the row.
    if (StartsWith(text, at, kPlainCellOpen)) {
      AngleScan ahead = angles;
      ahead.Next();  // "<Data"
      const size_t value_end = ahead.Next();
      if (value_end != npos && StartsWith(text, value_end, kPlainCellClose)) {
        const size_t value = at + kPlainCellOpen.size();
        values[count++] = text.substr(value, value_end - value);
        ahead.Next();  // "</Cell>"
        angles = ahead;
        at = angles.Next();
        continue;
      }
    }
    const size_t next = angles.Next();
    const size_t limit = next == npos ? text.size() : next;
    const bool data = StartsWith(text, at, kDataStart);
    const size_t skip = data ? kDataStart.size() : 1;
    // Most chunks other than data end in their tag's '>'.
    const size_t gt = !data && text[limit - 1] == '>' ? limit - 1 : FindGt(text, at + skip, limit);
    if (gt == npos) {
      plain = false;
    } else if (data) {
      if (next == npos || !StartsWith(text, next, kDataEnd)) {
        plain = false;
      } else {
        const size_t value = gt + 1;
        values[count++] = text.substr(value, next - value);
        at = angles.Next();  // past "</Data>"
        continue;
      }
    }
    at = next;
  }
  return npos;
}

// Rows of one worksheet; `wanted` values (6 or 7) are collected per row. A plain row is cut in
// one pass (ScanRow); any other row is cut piece by piece. Once a row is cut, its values are
// decoded in place in `writable`, the sheet's own bytes, which no later cutting looks at again.
// Returns the number of row start tags with attributes in the whole worksheet: every byte of it
// is looked at once for them, by the cutting where it passes a row's '<' bytes, by a search
// elsewhere.
template <size_t wanted, typename Deliver>
size_t CutRows(std::string_view sheet, char* writable, Deliver deliver) {
  if (sheet.empty()) return 0;
  PieceCutter rows(sheet, kRowStart, kRowEnd);
  static const MarkerFinder row_end(kRowEnd);
  // The first row is a header, whatever it holds.
  size_t from = rows.Open();
  if (from == npos) return CountAttributedRowTags(sheet);
  size_t attributed = CountAttributedRowTags(rows.Gap());
  size_t close_at = row_end.Find(sheet, from);
  if (close_at == npos) return attributed + CountAttributedRowTags(sheet.substr(from));
  attributed += CountAttributedRowTags(sheet.substr(from, close_at - from));
  rows.Take(close_at);
  std::array<std::string_view, wanted> values;
  for (;;) {
    from = rows.Open();
    if (from == npos) return attributed + CountAttributedRowTags(rows.Rest());
    attributed += CountAttributedRowTags(rows.Gap());
    size_t count = 0;
    bool plain = false;
    close_at = ScanRow<wanted>(sheet, from, values, count, plain, attributed);
    if (close_at == npos) return attributed;  // no row end: the scan went through to the end
    // An empty row ends the worksheet; the rest of it is passed over.
    if (close_at == from) return attributed + CountAttributedRowTags(sheet.substr(from));
    std::string_view row = rows.Take(close_at);
    if (!plain) {
      PieceCutter cells(row, kDataStart, kDataEnd);
      count = 0;
      // Values past the wanted ones are never used, so cutting stops there.
      while (count < wanted) {
        std::string_view piece = cells.Next();
        if (piece.empty()) break;
        size_t gt = piece.find('>');
        values[count++] = gt == npos ? piece : piece.substr(gt + 1);
      }
    }
    if (count < wanted) continue;
    // Values never overlap: each is a separate piece of the row.
    for (std::string_view& value : values)
      value = DecodeValue(value, writable + (value.data() - sheet.data()));
    deliver(std::span<const std::string_view, wanted>(values));
  }
}

}  // namespace

CutFindings CutWorksheets(std::span<char> writable_document, RowSink& sink) {
  const std::string_view document(writable_document.data(), writable_document.size());
  const MarkerFinder sku_sheet(kSkuSheetStart), sale_sheet(kSaleSheetStart), sheet_end(kSheetEnd);
  CutFindings found;
  JoinedText rest{document, {}};
  size_t sku_at = sku_sheet.Find(document);
  if (sku_at != npos) {
    found.has_worksheet = true;
    size_t inner = sku_at + kSkuSheetStart.size();
    size_t end = sheet_end.Find(document, inner);
    if (end != npos) {
      found.attributed_rows += CutRows<kSkuValues>(
          document.substr(inner, end - inner), writable_document.data() + inner,
          [&](std::span<const std::string_view, kSkuValues> v) { sink.SkuRow(v); });
      rest = {document.substr(0, sku_at), document.substr(end + kSheetEnd.size())};
    }
  }
  size_t sale_at = rest.Find(sale_sheet, 0);
  if (sale_at == npos) return found;
  found.has_worksheet = true;
  size_t inner = sale_at + kSaleSheetStart.size();
  size_t end = rest.Find(sheet_end, inner);
  if (end == npos) return found;
  std::string local;
  std::string* store = &local;
  if (inner < rest.head.size() && end > rest.head.size()) {
    if (std::string* kept = sink.KeepJoined()) store = kept;
  }
  const std::string_view sheet = rest.Slice(inner, end, *store);
  // The sheet is a view into the document, or a copy of its two sides in `store`.
  char* writable = sheet.data() == store->data()
                       ? store->data()
                       : writable_document.data() + (sheet.data() - document.data());
  found.attributed_rows += CutRows<kSaleValues>(
      sheet, writable, [&](std::span<const std::string_view, kSaleValues> v) { sink.SaleRow(v); });
  return found;
}

}  // namespace tollwick
