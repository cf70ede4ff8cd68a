// The command line, read once: format options of the form key=value, the files to write, the
// mode word "--all" or a DDMMYYYY start and end date, and the usage text.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/warnings.h"
#include "output/report_options.h"

namespace tollwick {

// Cuts "key=value" at the first "=": key trimmed and lower-cased, value trimmed and upper-cased.
// Without "=" gives false and leaves key and value as they were.
bool SplitOption(std::string_view argument, std::string& key, std::string& value);

// The words that choose the reporting range: the first argument, and the start and end dates in
// positions 2 and 4 (empty where an argument is missing). They are read only when the first is
// not "--all" (any case).
struct RangeWords {
  std::string First;
  std::string Start;
  std::string End;

  bool AllDates() const;
};

// Everything the run takes from its arguments.
struct CommandLine {
  ReportOptions Options;                    // the switches and the total currency
  std::optional<std::string> WorkbookPath;  // the last --workbook=FILE, letter case kept
  std::optional<std::string> PagePath;      // the last --html=FILE, letter case kept
  RangeWords Range;
};

// Applies every key=value argument, later ones overriding earlier ones, and notes in argument
// order what the run leaves aside: an unknown key, a switch whose value is neither 0 nor 1
// (it is off), an argument without "=" beyond the mode word "--all" in position 1 (any case),
// or beyond position 4 otherwise. "--workbook" or "--html" without "=FILE" raises
// EConvertError at its place, after the notes of the arguments before it.
CommandLine ReadCommandLine(const std::vector<std::string>& args, WarningList& warnings);

// The 29 lines of the usage text, each ended by CR LF.
std::string UsageText();

// The lines that --help adds after the usage text: the options beyond those of the usage text.
std::string AddedOptionsText();

}  // namespace tollwick
