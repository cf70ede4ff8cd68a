// The exchange-rate list "currency.txt": rates per 1.00 euro, one per line.
//
//   EUR 1.00 = <code> <rate>
//
// Besides CR and LF, "<br>" (lower case) breaks lines, so the list may also be one line of
// markup. A line counts only when it starts with exactly the 11 characters "EUR 1.00 = ";
// the text after its first "=", trimmed of bytes 0..32 at both ends, must hold a blank: the
// code is what stands before the first blank, the rate text what follows it. Every such line
// appends an entry, in file order, even for a code already present; a rate text that does not
// read gives the rate 0.
//
// Rate text: optional blanks, an optional "+" or "-", digits with an optional decimal point
// (digits on at least one side of it: ".5" and "5." read), an optional exponent ("e" or "E",
// an optional sign, at least one digit), optional blanks, nothing else. The decimal point is
// ".", and when the user's decimal separator is something else, every "." is first replaced
// by it and the separator is the decimal point: so there "1.3" and "1,3" both read, while
// with "." as separator "1,3" does not. The value is rounded correctly to long double; a value
// beyond its range does not read.
#pragma once

#include <string_view>

#include "tables/rate_table.h"

namespace tollwick {

// Reads a rate text with the given decimal separator. False, with `value` untouched, when the
// text does not follow the grammar or the value overflows.
bool ParseRateText(std::string_view text, std::string_view separator, long double& value);

// Appends the entries of the text of a rate list to `rates`.
void ReadRateList(std::string_view text, std::string_view separator, RateTable& rates);

}  // namespace tollwick
