// Any argument list (NUL-separated) run in an empty directory; ranges over ten years (a line per
// day by design) and workbook paths with a "/" (writes outside the scratch tree) are left out.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/options.h"
#include "app/reporting_range.h"
#include "app/run.h"
#include "base/errors.h"
#include "base/text.h"
#include "fuzz_support.h"

namespace {

constexpr double kLongestRange = 3660;  // days

// True when the arguments give a start and an end date more than kLongestRange days apart.
bool LongDatedRange(const std::vector<std::string>& args) {
  if (args.empty() || tollwick::LowerAscii(args[0]) == "--all") return false;
  auto at = [&](size_t i) { return i < args.size() ? args[i] : std::string(); };
  try {
    return tollwick::ReadRangeDate(at(3)) - tollwick::ReadRangeDate(at(1)) > kLongestRange;
  } catch (const tollwick::TollwickError&) {
    return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tollwick;
  std::string_view input = fuzz::AsText(data, size);
  std::vector<std::string> args;
  for (size_t start = 0, nul = 0; !input.empty() && nul != std::string_view::npos;
       start = nul + 1) {
    nul = input.find('\0', start);
    args.emplace_back(input.substr(start, nul - start));
  }
  if (LongDatedRange(args)) return -1;  // not added to the corpus
  try {
    WarningList notes;
    if (auto workbook = ReadCommandLine(args, notes).WorkbookPath;
        workbook && workbook->find('/') != std::string::npos)
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
