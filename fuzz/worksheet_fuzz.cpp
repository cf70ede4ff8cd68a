// Any bytes as a report: once as the text of an archive entry, once as the contents of a loose
// report file. Checks, besides "no crash, no sanitizer report, no leak, no slow input":
//   - the fast cutting gives the same rows and cells as the word-for-word one, for the text as
//     it stands and for the loose file's document (NUL cut, CR and LF removed);
//   - ParseReport leaves the tables exactly as handing those rows to AddSku and AddSale would,
//     and fails (TollwickError, a row the tables reject) at the same row with the same message.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "intake/loose_document.h"
#include "intake/parse_report.h"
#include "intake/worksheet_cutter.h"
#include "support/literal_intake.h"
#include "tables/errors.h"

namespace {

using namespace tollwick;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "worksheet fuzz: %s\n", what);
  std::abort();
}

std::vector<literal::CutRow> FastRows(std::string_view document) {
  std::vector<literal::CutRow> rows;
  for (CutRow& row : CutWorksheets(document)) rows.push_back({row.purchase, std::move(row.values)});
  return rows;
}

// The message of the error that ended the call, if any.
template <typename F>
std::optional<std::string> ErrorOf(F&& f) {
  try {
    f();
  } catch (const TollwickError& error) {
    return std::string(ErrorKindName(error.kind())) + ": " + error.what();
  }
  return std::nullopt;
}

bool SameTables(const RunState& a, const RunState& b) {
  if (a.Skus.size() != b.Skus.size() || a.Sales.size() != b.Sales.size()) return false;
  for (size_t i = 0; i < a.Skus.size(); ++i) {
    const RSKU &x = a.Skus[i], &y = b.Skus[i];
    if (x.SkuId != y.SkuId || x.Title != y.Title || x.Version != y.Version ||
        x.Detail != y.Detail || x.OsType != y.OsType || x.Market != y.Market)
      return false;
  }
  for (size_t i = 0; i < a.Sales.size(); ++i) {
    const RSALE &x = a.Sales[i], &y = b.Sales[i];
    if (x.SkuId != y.SkuId || x.PurchaseId != y.PurchaseId || x.ThirdCell != y.ThirdCell ||
        x.FourthCell != y.FourthCell || x.FifthCell != y.FifthCell || x.DateText != y.DateText ||
        x.SeventhCell != y.SeventhCell || x.SaleDate != y.SaleDate)
      return false;
  }
  return true;
}

// Hands the literal rows to the tables of `state` in order, as ParseReport should.
void AddRows(RunState& state, const std::vector<literal::CutRow>& rows) {
  for (const literal::CutRow& row : rows) {
    const auto& v = row.values;
    if (row.purchase)
      state.Sales.AddSale(v[0], v[1], v[2], v[3], v[4], v[5], v[6]);
    else
      state.Skus.AddSku(v[0], v[1], v[2], v[3], v[4], v[5]);
  }
}

// Checks ParseReport (run by `parse`) against the literal rows of `document`.
template <typename F>
void CheckDocument(const std::string& document, F&& parse) {
  std::vector<literal::CutRow> expected = literal::CutWorksheets(document);
  if (FastRows(document) != expected) Fail("the fast cutting differs from the literal one");
  RunState parsed, reference;
  std::optional<std::string> parse_error = ErrorOf([&] { parse(parsed); });
  std::optional<std::string> reference_error = ErrorOf([&] { AddRows(reference, expected); });
  if (parse_error != reference_error) Fail("ParseReport failed differently from the rows");
  if (!SameTables(parsed, reference)) Fail("ParseReport filled the tables differently");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text = fuzz::AsText(data, size);
  // As an archive entry: the text is the document. An empty text means "read the file" to
  // ParseReport, so it is only checked as a loose file below.
  if (!text.empty())
    CheckDocument(std::string(text), [&](RunState& state) { ParseReport(state, "", text); });

  // As a loose file.
  std::string document(text);
  document.resize(LooseDocumentInPlace(document.data(), document.size()));
  if (document != literal::LooseDocument(text)) Fail("the loose document differs");
  static const std::string path = fuzz::ScratchDir() + "/input.xml";
  fuzz::WriteBytes(path, text);
  CheckDocument(document, [&](RunState& state) { ParseReport(state, path, ""); });
  return 0;
}
