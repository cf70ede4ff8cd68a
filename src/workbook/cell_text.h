// Texts as a workbook cell holds them. The run's texts are bytes in no declared character set;
// a workbook holds UTF-8 of the characters XML allows. Valid UTF-8 sequences of such characters
// stay as they are; any other byte is taken as the Latin-1 character of its code (overlong
// forms, surrogates, code points above U+10FFFF, U+FFFE and U+FFFF are not valid); NUL, which
// no workbook holds, becomes U+FFFD. A text is cut to the 32767 characters a cell holds.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tollwick {

std::string CellText(std::string_view text);

// The characters of a text made by CellText.
size_t CharacterCount(std::string_view utf8);

}  // namespace tollwick
