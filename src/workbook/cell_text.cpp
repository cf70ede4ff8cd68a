#include "workbook/cell_text.h"

#include <algorithm>

namespace tollwick {

std::string CellText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t characters = 0;
  for (size_t i = 0; i < text.size() && characters < 32767; ++characters) {
    auto byte = static_cast<unsigned char>(text[i]);
    size_t length = byte < 0x80                    ? 1
                    : byte >= 0xC2 && byte <= 0xDF ? 2
                    : byte >= 0xE0 && byte <= 0xEF ? 3
                    : byte >= 0xF0 && byte <= 0xF4 ? 4
                                                   : 0;
    bool valid = length > 0 && i + length <= text.size();
    for (size_t k = 1; valid && k < length; ++k)
      valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
    if (valid && length >= 3) {
      auto second = static_cast<unsigned char>(text[i + 1]);
      // No overlong forms, no surrogates, nothing above U+10FFFF, and not U+FFFE or U+FFFF.
      if ((byte == 0xE0 && second < 0xA0) || (byte == 0xED && second > 0x9F) ||
          (byte == 0xF0 && second < 0x90) || (byte == 0xF4 && second > 0x8F) ||
          (byte == 0xEF && second == 0xBF &&
           (static_cast<unsigned char>(text[i + 2]) & 0xFE) == 0xBE))
        valid = false;
    }
    if (byte == 0) {
      out.append("\xEF\xBF\xBD");
      ++i;
    } else if (valid) {
      out.append(text.substr(i, length));
      i += length;
    } else {
      out.push_back(static_cast<char>(0xC0 | (byte >> 6)));
      out.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
      ++i;
    }
  }
  return out;
}

// The characters of a text made by CellText.
size_t CharacterCount(std::string_view utf8) {
  return static_cast<size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

}  // namespace tollwick
