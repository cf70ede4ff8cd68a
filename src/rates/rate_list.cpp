#include "rates/rate_list.h"

#include <locale.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "base/text.h"
#include "base/text_file.h"

namespace tollwick {

namespace {

constexpr std::string_view kRatePrefix = "EUR 1.00 = ";

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The "C" locale, for reading the canonical number text whatever the global locale is.
locale_t CLocale() {
  static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return c_locale;
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  std::string out;
  out.reserve(text.size());
  size_t start = 0;
  for (size_t at = text.find(from); at != std::string_view::npos; at = text.find(from, start)) {
    out.append(text.substr(start, at - start));
    out.append(to);
    start = at + from.size();
  }
  out.append(text.substr(start));
  return out;
}

}  // namespace

bool ParseRateText(std::string_view text, std::string_view separator, long double& value) {
  std::string replaced;
  if (separator != ".") {
    replaced = ReplaceAll(text, ".", separator);
    text = replaced;
  }
  // Checks the grammar and writes the number in the "C" form: sign digits . digits e sign digits.
  std::string canonical;
  size_t i = 0;
  auto skip_blanks = [&] {
    while (i < text.size() && text[i] == ' ') ++i;
  };
  auto take_digits = [&] {
    size_t begin = i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    canonical.append(text.substr(begin, i - begin));
    return i - begin;
  };
  skip_blanks();
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) canonical += text[i++];
  size_t digits = take_digits();
  if (!separator.empty() && text.substr(i).starts_with(separator)) {
    i += separator.size();
    canonical += '.';
    digits += take_digits();
  }
  if (digits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    canonical += 'e';
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) canonical += text[i++];
    if (take_digits() == 0) return false;
  }
  skip_blanks();
  if (i != text.size()) return false;
  long double result = strtold_l(canonical.c_str(), nullptr, CLocale());
  if (std::isinf(result)) return false;
  value = result;
  return true;
}

void ReadRateList(std::string_view text, std::string_view separator, RateTable& rates) {
  std::string broken = ReplaceAll(text, "<br>", "\n");
  for (std::string_view line : SplitLines(broken)) {
    if (!line.starts_with(kRatePrefix)) continue;
    std::string_view rest = TrimControl(line.substr(line.find('=') + 1));
    size_t blank = rest.find(' ');
    if (blank == std::string_view::npos) continue;
    long double rate = 0;
    if (!ParseRateText(rest.substr(blank + 1), separator, rate)) rate = 0;
    rates.Append(rest.substr(0, blank), rate);
  }
}

}  // namespace tollwick
