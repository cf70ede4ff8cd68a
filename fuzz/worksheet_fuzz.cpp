// Any bytes as a report, as an archive entry and as a loose file: the fast cutting hands on the
// rows, values and warnings of the word-for-word one, and the in-place decoder matches the literal.
#include "fuzz_support.h"
#include "intake/loose_document.h"
#include "intake/worksheet_cutter.h"
#include "intake/xml_references.h"
#include "support/literal_intake.h"
#include "support/report_files.h"
#include "support/row_collector.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tollwick;
  std::string_view text = fuzz::AsText(data, size);
  std::string value(text);
  if (DecodeValue(text, value.data()) != literal::DecodeReferences(std::string(text)))
    fuzz::Fail("the decoded value differs from the literal decoding");
  std::string document(text);
  document.resize(LooseDocumentInPlace(document.data(), document.size()));
  if (document != literal::LooseDocument(text)) fuzz::Fail("the loose document differs");
  for (std::string_view cut : {text, std::string_view(document)}) {
    testing::RowCollector rows;
    std::string writable(cut);
    const CutFindings found = CutWorksheets(writable, rows);
    if (rows.rows != literal::CutWorksheets(std::string(cut)))
      fuzz::Fail("the rows of the text differ from the literal cutting");
    if (literal::Findings{found.has_worksheet, found.attributed_rows} !=
        literal::FindInDocument(std::string(cut)))
      fuzz::Fail("what the cutting found for the warnings differs from the literal count");
  }

  static const std::string path = fuzz::ScratchDir() + "/input.xml";
  fuzz::WriteBytes(path, text);
  testing::RowCollector loose;
  FileBytes buffer;
  testing::ParseReportFile(path, loose, buffer);
  if (loose.rows != literal::CutWorksheets(document))
    fuzz::Fail("the rows of the loose file differ from the literal cutting");
  return 0;
}
