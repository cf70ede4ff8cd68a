#include "base/warnings.h"

namespace tollwick {

std::string WarningList::Lines() const {
  std::string lines;
  for (const std::string& text : texts_) {
    lines += "tollwick: warning: ";
    lines += text;
    lines += '\n';
  }
  return lines;
}

std::string Quoted(std::string_view text) {
  std::string quoted;
  quoted.reserve(text.size() + 2);
  quoted += '"';
  quoted += text;
  quoted += '"';
  return quoted;
}

}  // namespace tollwick
