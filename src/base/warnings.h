// Warnings of a run: the cases where the run completes but its totals may miss something (an
// archive that is not read to its end, a report without worksheets, a product without a price,
// an option that is mistyped). They are gathered in the order found and written to standard
// error at the end, one line each, "tollwick: warning: <text>" and LF; a run that fails writes
// those found so far before its error report. A warning never changes standard output or the
// exit status, and a clean run has none.
//
// Six kinds name one file each and may come by the thousand from one tree: of each, the first
// five are written and the others counted; after every other warning, one line per such kind
// ("N more archives are not zip archives") sums up the rest, in the order the kinds first came.
//
// No byte on standard error steers a terminal: in a warning, as in an error report's message,
// the bytes 00-1F and 7F and both bytes of a UTF-8 C1 control (C2 80 to C2 9F) are written as
// "\x" and two upper-case hex digits (EscapeControls).
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tollwick {

enum class WarningKind {
  Other,           // written whatever their number
  NotZip,          // an archive that is not a zip archive
  CutShort,        // an archive that could not be read to its end
  NoReportEntry,   // an archive without a report entry
  Utf16,           // a file of UTF-16 text
  NoWorksheet,     // a file without either worksheet
  RowsPassedOver,  // a file whose row start tags carry attributes
};

struct Warning {
  std::string text;
  WarningKind kind = WarningKind::Other;
};

class WarningList {
 public:
  // How many warnings of one of the six kinds are written before the rest are summed up.
  static constexpr size_t kWrittenPerKind = 5;

  void Add(std::string text, WarningKind kind = WarningKind::Other);
  void Add(Warning warning) { Add(std::move(warning.text), warning.kind); }
  bool empty() const { return texts_.empty(); }
  // The warnings written one by one, in order, without the sums.
  const std::vector<std::string>& texts() const { return texts_; }
  // Every warning as its line on standard error, the sums last.
  std::string Lines() const;

 private:
  static constexpr size_t kKinds = 7;
  std::vector<std::string> texts_;
  std::array<size_t, kKinds> counts_{};
  std::vector<WarningKind> kinds_met_;  // in the order of their first warnings
};

// `text` in double quotation marks, as warnings quote paths, arguments and ids: the bytes as
// they are (Lines() escapes the control bytes of the whole line).
std::string Quoted(std::string_view text);

// The text with each control byte, and each UTF-8 C1 control, as "\xHH" per byte.
std::string EscapeControls(std::string_view text);

}  // namespace tollwick
