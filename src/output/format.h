// Number formatting shared by every output section, appended to a text without temporaries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tollwick {

// Decimal text of the value.
void AppendInteger(std::string& out, int64_t value);
// Writes the decimal text of the value at `at`, which has room for kMaxIntegerText characters,
// and gives the end of it.
inline constexpr size_t kMaxIntegerText = 20;
char* PutInteger(char* at, int64_t value);
// Decimal text of a non-negative value, with "0" in front up to `width` characters.
void AppendPadded(std::string& out, int64_t value, int width);
// Hundredths as "<units>.<two digits>", "-" in front of a negative value: -105 gives "-1.05".
void AppendCents(std::string& out, int64_t value);

// A text field of a line: as it is, or, when it holds ';', '"', CR or LF, in double quotation
// marks with each '"' inside doubled, so that it stays one field.
void AppendTextField(std::string& out, std::string_view text);

// AppendCents into a new text.
std::string FormatCents(int64_t value);

}  // namespace tollwick
