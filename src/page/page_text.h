// Texts of the sales page: the report's bytes made valid UTF-8 and escaped for where they
// stand, so that no title, market or SKU can end an element or a script or run as code.
#pragma once

#include <string>
#include <string_view>

namespace tollwick {

// Appends `text` with every byte that does not begin a valid UTF-8 sequence (a stray
// continuation byte, a cut sequence, an overlong form, a surrogate, a code point above
// U+10FFFF) replaced by U+FFFD, and NUL too, which an HTML page cannot hold.
void AppendValidUtf8(std::string& out, std::string_view text);

// AppendValidUtf8, with & < > " ' as character references: safe as element text and as a
// quoted attribute value.
void AppendHtmlText(std::string& out, std::string_view text);

// A JSON string literal with its quotes, of the valid UTF-8 of `text`. Besides the escapes JSON
// needs, < > & and U+2028, U+2029 are written as \u escapes, so the literal can stand inside
// a <script> element and in script code alike.
void AppendJsonString(std::string& out, std::string_view text);

// `script` made safe to stand inside a <script> element: every "</script" and "<!--" (any
// case) has its "/" or "!" written with a backslash in front, which leaves strings, regular
// expressions and comments meaning what they meant.
std::string ScriptElementText(std::string_view script);

}  // namespace tollwick
