// Byte-text helpers shared by every subsystem. Texts are bytes: no locale, no character set.
// Case conversion touches only the ASCII letters; trimming removes bytes 0..32 at both ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace tollwick {

std::string LowerAscii(std::string_view text);
std::string UpperAscii(std::string_view text);
std::string_view TrimControl(std::string_view text);

// Reads an integer: optional blanks (space only), an optional sign, then decimal digits or a
// hexadecimal number introduced by "$", "x", "X", "0x" or "0X" (at most 32 bits, two's
// complement). Nothing may follow. Anything else raises EConvertError
// "'<text>' is not a valid integer value".
int32_t StrToInt(std::string_view text);

// The same rule, reporting failure instead of raising.
bool TryStrToInt(std::string_view text, int32_t& value);

// Compares the joined texts a[0] + a[1] + ... with b[0] + b[1] + ... byte by byte as unsigned
// values (a prefix first) without joining them: negative, 0 or positive.
int CompareJoined(std::span<const std::string_view> a, std::span<const std::string_view> b);

// Hash that accepts std::string and std::string_view alike, for maps keyed by text.
struct TextHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

}  // namespace tollwick
