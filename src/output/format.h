// Number formatting shared by every output section, and the product section.
// Every output line is fields each followed by ";", ended by CR LF.
#pragma once

#include <cstdint>
#include <string>

#include "tables/run_state.h"

namespace tollwick {

// Decimal text of a non-negative value, with "0" in front up to `width` characters.
std::string PadNumber(int64_t value, int width);
// Hundredths as "<units>.<two digits>", "-" in front of a negative value: -105 gives "-1.05".
std::string FormatCents(int64_t value);

// The same, appended to `out` without temporary strings.
void AppendPadded(std::string& out, int64_t value, int width);
void AppendCents(std::string& out, int64_t value);
void AppendInteger(std::string& out, int64_t value);

// Header "SKUID;Title;Market;Version;OS Type;Currency;Amount;" (when ShowHeaders), one line per
// SKU in table order, then an empty line.
void WriteProductSection(RunState& state);

}  // namespace tollwick
