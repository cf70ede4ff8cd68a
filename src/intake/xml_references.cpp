#include "intake/xml_references.h"

#include <cstdint>

namespace tollwick {

namespace {

struct Named {
  std::string_view name;  // after the '&', with its ';'
  char character;
};
constexpr Named kNamed[] = {
    {"amp;", '&'}, {"lt;", '<'}, {"gt;", '>'}, {"quot;", '"'}, {"apos;", '\''}};

bool IsXmlCharacter(uint32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
         (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

int DigitValue(char c, bool hex) {
  if (c >= '0' && c <= '9') return c - '0';
  if (!hex) return -1;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The code point of the character reference "#...;" at `at` (just after its '&'), with the
// number of bytes it takes up to and with its ';'; false when there is none of a character XML
// allows.
bool CharacterReference(const char* at, const char* end, uint32_t& code, size_t& length) {
  const char* p = at;
  if (p == end || *p != '#') return false;
  ++p;
  const bool hex = p != end && *p == 'x';
  if (hex) ++p;
  const char* digits = p;
  uint64_t value = 0;
  bool too_large = false;
  for (int d; p != end && (d = DigitValue(*p, hex)) >= 0; ++p) {
    value = value * (hex ? 16 : 10) + static_cast<uint64_t>(d);
    // Beyond the last character, however many digits follow: stop counting, never wrap.
    if (value > 0x10FFFF) {
      too_large = true;
      value = 0x110000;
    }
  }
  if (p == digits || p == end || *p != ';' || too_large) return false;
  if (!IsXmlCharacter(static_cast<uint32_t>(value))) return false;
  code = static_cast<uint32_t>(value);
  length = static_cast<size_t>(p + 1 - at);
  return true;
}

char* PutUtf8(char* out, uint32_t c) {
  auto byte = [](uint32_t b) { return static_cast<char>(static_cast<uint8_t>(b)); };
  if (c < 0x80) {
    *out++ = byte(c);
  } else if (c < 0x800) {
    *out++ = byte(0xC0 | (c >> 6));
    *out++ = byte(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out++ = byte(0xE0 | (c >> 12));
    *out++ = byte(0x80 | ((c >> 6) & 0x3F));
    *out++ = byte(0x80 | (c & 0x3F));
  } else {
    *out++ = byte(0xF0 | (c >> 18));
    *out++ = byte(0x80 | ((c >> 12) & 0x3F));
    *out++ = byte(0x80 | ((c >> 6) & 0x3F));
    *out++ = byte(0x80 | (c & 0x3F));
  }
  return out;
}

}  // namespace

size_t DecodeReferencesFrom(char* text, size_t size, char* amp) {
  const char* end = text + size;
  const char* in = amp;
  char* out = amp;
  // `in` is at a '&' here; what it stands for is worked out before `out`, which never passes
  // `in`, is written.
  while (in != end) {
    const char* after = in + 1;
    const std::string_view rest(after, static_cast<size_t>(end - after));
    bool decoded = false;
    for (const Named& named : kNamed) {
      if (rest.starts_with(named.name)) {
        *out++ = named.character;
        in = after + named.name.size();
        decoded = true;
        break;
      }
    }
    uint32_t code = 0;
    size_t length = 0;
    if (!decoded && CharacterReference(after, end, code, length)) {
      out = PutUtf8(out, code);
      in = after + length;
      decoded = true;
    }
    if (!decoded) {
      *out++ = '&';
      in = after;
    }
    // The plain bytes up to the next '&'.
    const void* next_amp = std::memchr(in, '&', static_cast<size_t>(end - in));
    const char* next = next_amp != nullptr ? static_cast<const char*>(next_amp) : end;
    const auto plain = static_cast<size_t>(next - in);
    if (out != in) std::memmove(out, in, plain);
    out += plain;
    in = next;
  }
  return static_cast<size_t>(out - text);
}

}  // namespace tollwick
