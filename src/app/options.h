// The command line: format options of the form key=value, the mode word "--all" or a
// DDMMYYYY start and end date, and the usage text.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/run_state.h"
#include "base/warnings.h"

namespace tollwick {

// Cuts "key=value" at the first "=": key trimmed and lower-cased, value trimmed and upper-cased.
// Without "=" gives false and leaves key and value as they were.
bool SplitOption(std::string_view argument, std::string& key, std::string& value);

// Applies every key=value argument, later ones overriding earlier ones, and notes in argument
// order what the run leaves aside: an unknown key, a switch whose value is neither 0 nor 1
// (it is off), an argument without "=" beyond the mode word "--all" in position 1 (any case),
// or beyond position 4 otherwise. "--workbook" without "=FILE" raises EConvertError.
void ReadOptions(const std::vector<std::string>& args, ReportOptions& options,
                 WarningList& warnings);

// The 29 lines of the usage text, each ended by CR LF.
std::string UsageText();

// The path of the last --workbook=FILE argument, trimmed like every value but with its letter
// case kept; none without such an argument.
std::optional<std::string> WorkbookPath(const std::vector<std::string>& args);
// The same for any option that names a file: the value of its last "key=FILE" argument.
std::optional<std::string> OptionPath(const std::vector<std::string>& args,
                                      std::string_view option);

// The lines that --help adds after the usage text: the options beyond those of the usage text.
std::string AddedOptionsText();

// Day number of a DDMMYYYY text; characters after the eighth are ignored.
double ReadRangeDate(std::string_view text);

// When the first argument is not "--all" (any case): the dates in positions 2 and 4, start
// first, must read as days. At the first that does not, a warning says how the dates are
// written, and its error (that of ReadRangeDate) is raised; nothing has been read then.
void CheckRangeDates(const std::vector<std::string>& args, WarningList& warnings);

// RangeStart and RangeEnd from "--all" (any case) in position 1 and the sale table, or from the
// dates in positions 2 and 4. Noted in `warnings`: dates that hold no day between them, or
// days but no purchase of a non-empty sale table (with the first and last purchase days).
void SetReportingRange(const std::vector<std::string>& args, RunState& state,
                       WarningList& warnings);

}  // namespace tollwick
