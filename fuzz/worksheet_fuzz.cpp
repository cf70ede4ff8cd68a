// Any bytes as a report: once as the text of an archive entry, once as the contents of a loose
// report file. An error report (TollwickError, from a row the tables reject) is an expected
// outcome; a crash, a sanitizer report, a leak or a slow input is a finding.
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "intake/parse_report.h"
#include "tables/errors.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tollwick;
  std::string_view text = fuzz::AsText(data, size);
  if (!text.empty()) {
    RunState state;
    try {
      ParseReport(state, "", text);
    } catch (const TollwickError&) {
    }
  }

  static const std::string path = fuzz::ScratchDir() + "/input.xml";
  fuzz::WriteBytes(path, text);
  RunState state;
  try {
    ParseReport(state, path, "");
  } catch (const TollwickError&) {
  }
  return 0;
}
