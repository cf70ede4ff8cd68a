#include "output/format.h"

#include <charconv>

namespace tollwick {

char* PutInteger(char* at, int64_t value) {
  if (value >= 0 && value < 10) {  // most counts of a day
    *at = static_cast<char>('0' + value);
    return at + 1;
  }
  return std::to_chars(at, at + kMaxIntegerText, value).ptr;
}

void AppendInteger(std::string& out, int64_t value) {
  char digits[kMaxIntegerText];
  out.append(digits, PutInteger(digits, value));
}

void AppendPadded(std::string& out, int64_t value, int width) {
  char digits[24];
  auto result = std::to_chars(digits, digits + sizeof digits, value);
  for (auto len = result.ptr - digits; len < width; ++len) out.push_back('0');
  out.append(digits, result.ptr);
}

void AppendCents(std::string& out, int64_t value) {
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  if (value < 0) out.push_back('-');
  char digits[24];
  auto result = std::to_chars(digits, digits + sizeof digits, magnitude / 100);
  out.append(digits, result.ptr);
  unsigned cents = static_cast<unsigned>(magnitude % 100);
  out.push_back('.');
  out.push_back(static_cast<char>('0' + cents / 10));
  out.push_back(static_cast<char>('0' + cents % 10));
}

std::string FormatCents(int64_t value) {
  std::string out;
  AppendCents(out, value);
  return out;
}

void AppendTextField(std::string& out, std::string_view text) {
  if (text.find_first_of(";\"\r\n") == std::string_view::npos) {
    out += text;
    return;
  }
  out += '"';
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

}  // namespace tollwick
