// Cell values as XML means them: the references in a value's text become their characters.
//
// Recognised, in one pass from left to right: the five named references `&amp;` `&lt;` `&gt;`
// `&quot;` `&apos;` (lower case only), and character references `&#N;` (decimal) and `&#xH;`
// (a lower-case x, hex digits in either case), any number of digits, leading zeros allowed, of
// a character XML allows (9, A, D, 20-D7FF, E000-FFFD, 10000-10FFFF), written as UTF-8. Any
// other '&' is kept alone and decoding goes on at the byte after it, so `&#X41;`, `&AMP;`,
// `&bogus;`, `&#xD800;`, `&#0;` and a number too large for any character stay as written, and
// `&amp;lt;` gives `&lt;`. A reference is never shorter than what it stands for, so the text
// is decoded where it is.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

namespace tollwick {

// Decodes the references of `text[0, size)` in place, starting at its first '&' at `amp`;
// gives the decoded length.
size_t DecodeReferencesFrom(char* text, size_t size, char* amp);

// Decodes `value`, which lies in the writable bytes at `writable`, and gives the decoded value.
// A value without '&' costs one memchr and is given back as it is.
inline std::string_view DecodeValue(std::string_view value, char* writable) {
  void* amp = value.empty() ? nullptr : std::memchr(writable, '&', value.size());
  if (amp == nullptr) return value;
  return {writable, DecodeReferencesFrom(writable, value.size(), static_cast<char*>(amp))};
}

}  // namespace tollwick
