#include "page/page_text.h"

#include <cstdint>

namespace tollwick {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// The length of the valid UTF-8 sequence at the start of `text`, or 0 when there is none.
size_t SequenceLength(std::string_view text) {
  const auto byte = [&text](size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = byte(0);
  if (lead < 0x80) return lead == 0 ? 0 : 1;
  size_t length = 0;
  uint8_t low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (size_t i = 2; i < length; ++i)
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  return length;
}

// Calls `put(sequence)` for every valid sequence of `text` and for U+FFFD in place of each
// byte that begins none.
template <typename Put>
void ForEachCharacter(std::string_view text, Put put) {
  for (size_t i = 0; i < text.size();) {
    const size_t length = SequenceLength(text.substr(i));
    if (length == 0) {
      put(kReplacement);
      ++i;
    } else {
      put(text.substr(i, length));
      i += length;
    }
  }
}

}  // namespace

void AppendValidUtf8(std::string& out, std::string_view text) {
  ForEachCharacter(text, [&out](std::string_view c) { out += c; });
}

void AppendHtmlText(std::string& out, std::string_view text) {
  ForEachCharacter(text, [&out](std::string_view c) {
    switch (c[0]) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  });
}

void AppendJsonString(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  ForEachCharacter(text, [&out](std::string_view c) {
    const auto first = static_cast<uint8_t>(c[0]);
    if (c == "\xE2\x80\xA8" || c == "\xE2\x80\xA9") {
      out += c[2] == '\xA8' ? "\\u2028" : "\\u2029";
    } else if (first == '"' || first == '\\') {
      out += '\\';
      out += c;
    } else if (first < 0x20 || first == '<' || first == '>' || first == '&') {
      out += "\\u00";
      out += kHex[first >> 4];
      out += kHex[first & 15];
    } else {
      out += c;
    }
  });
  out += '"';
}

std::string ScriptElementText(std::string_view script) {
  std::string out;
  out.reserve(script.size());
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  const auto starts = [&](size_t i, std::string_view word) {
    if (script.size() - i < word.size()) return false;
    for (size_t k = 0; k < word.size(); ++k)
      if (lower(script[i + k]) != word[k]) return false;
    return true;
  };
  for (size_t i = 0; i < script.size(); ++i) {
    out += script[i];
    if (script[i] == '<' && (starts(i, "</script") || starts(i, "<!--"))) out += '\\';
  }
  return out;
}

}  // namespace tollwick
