// Any argument list (NUL-separated) run in an empty directory; ranges over ten years (a line per
// day by design) and workbook paths with a "/" (writes outside the scratch tree) are left out.
#include <fcntl.h>

#include <vector>

#include "app/options.h"
#include "app/reporting_range.h"
#include "app/run.h"
#include "base/errors.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tollwick;
  std::string_view input = fuzz::AsText(data, size);
  std::vector<std::string> args;
  for (size_t start = 0, nul = 0; !input.empty() && nul != std::string_view::npos;
       start = nul + 1) {
    nul = input.find('\0', start);
    args.emplace_back(input.substr(start, nul - start));
  }
  try {  // what is left out is not added to the corpus either
    WarningList notes;
    const CommandLine line = ReadCommandLine(args, notes);
    if (line.WorkbookPath && line.WorkbookPath->find('/') != std::string::npos) return -1;
    const RangeWords& range = line.Range;
    if (!range.AllDates() && ReadRangeDate(range.End) - ReadRangeDate(range.Start) > 3660)
      return -1;
  } catch (const TollwickError&) {
  }
  // The run goes on in the scratch directory; libFuzzer writes its corpus and artifacts in its own.
  static const int home = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (home < 0 || ::chdir(fuzz::ScratchDir().c_str()) != 0) std::abort();
  RunState state;
  try {
    RunTollwick(args, state);
  } catch (const TollwickError&) {
  }
  if (::fchdir(home) != 0) std::abort();
  return 0;
}
