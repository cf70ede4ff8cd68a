// Warnings of a run: the cases where the run completes but its totals may miss something (an
// archive that is not read to its end, a report without worksheets, a product without a price,
// an option that is mistyped). They are gathered in the order found and written to standard
// error at the end, one line each, "tollwick: warning: <text>" and LF; a run that fails writes
// those found so far before its error report. A warning never changes standard output or the
// exit status, and a clean run has none.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tollwick {

class WarningList {
 public:
  void Add(std::string text) { texts_.push_back(std::move(text)); }
  bool empty() const { return texts_.empty(); }
  const std::vector<std::string>& texts() const { return texts_; }
  // Every warning as its line on standard error.
  std::string Lines() const;

 private:
  std::vector<std::string> texts_;
};

// `text` in double quotation marks, as warnings quote paths, arguments and ids: the bytes as
// they are, nothing escaped.
std::string Quoted(std::string_view text);

}  // namespace tollwick
