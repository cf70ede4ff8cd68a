#include "base/text.h"

#include <algorithm>

#include "base/errors.h"

namespace tollwick {

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

std::string_view TrimControl(std::string_view text) {
  auto is_control = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  while (!text.empty() && is_control(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_control(text.back())) text.remove_suffix(1);
  return text;
}

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool TryStrToInt(std::string_view text, int32_t& value) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::string_view body = text.substr(i);
  bool hex = false;
  if (!body.empty() && (body[0] == '$' || body[0] == 'x' || body[0] == 'X')) {
    hex = true;
    body.remove_prefix(1);
  } else if (body.size() >= 2 && body[0] == '0' && (body[1] == 'x' || body[1] == 'X')) {
    hex = true;
    body.remove_prefix(2);
  }
  if (body.empty()) return false;
  if (hex) {
    uint64_t v = 0;
    for (char c : body) {
      int d = HexDigit(c);
      if (d < 0) return false;
      v = v * 16 + static_cast<uint64_t>(d);
      if (v > 0xFFFFFFFFull) return false;
    }
    // Two's complement: the 32 bits are the value, the sign negates it with wrap-around.
    uint32_t bits = static_cast<uint32_t>(v);
    if (negative) bits = 0u - bits;
    value = static_cast<int32_t>(bits);
    return true;
  }
  int64_t v = 0;
  for (char c : body) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
    if (v > 2147483648LL) return false;
  }
  if (negative) v = -v;
  if (v > 2147483647LL) return false;
  value = static_cast<int32_t>(v);
  return true;
}

int32_t StrToInt(std::string_view text) {
  int32_t value = 0;
  if (!TryStrToInt(text, value))
    Raise(ErrorKind::EConvertError, "'" + std::string(text) + "' is not a valid integer value");
  return value;
}

int CompareJoined(std::span<const std::string_view> a, std::span<const std::string_view> b) {
  size_t i = 0, j = 0;        // the parts being compared
  size_t at_a = 0, at_b = 0;  // and the position in each
  for (;;) {
    while (i < a.size() && at_a == a[i].size()) ++i, at_a = 0;
    while (j < b.size() && at_b == b[j].size()) ++j, at_b = 0;
    if (i == a.size() || j == b.size()) return (i == a.size() ? 0 : 1) - (j == b.size() ? 0 : 1);
    size_t n = std::min(a[i].size() - at_a, b[j].size() - at_b);
    if (int c = std::char_traits<char>::compare(a[i].data() + at_a, b[j].data() + at_b, n))
      return c;
    at_a += n;
    at_b += n;
  }
}

}  // namespace tollwick
