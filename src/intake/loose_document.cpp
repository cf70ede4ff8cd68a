#include "intake/loose_document.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define TOLLWICK_SHUFFLE_BLOCKS 1
#endif

#include <array>
#include <cstdint>

namespace tollwick {

namespace {

#if defined(TOLLWICK_SHUFFLE_BLOCKS)
// For each set of the bytes of eight to keep (bit i: byte i), the shuffle that moves them to
// the front, in order.
constexpr std::array<std::array<uint8_t, 16>, 256> MakeKeepShuffles() {
  std::array<std::array<uint8_t, 16>, 256> shuffles{};
  for (unsigned keep = 0; keep < 256; ++keep) {
    unsigned n = 0;
    for (unsigned i = 0; i < 8; ++i)
      if ((keep >> i) & 1u) shuffles[keep][n++] = static_cast<uint8_t>(i);
    for (; n < 16; ++n) shuffles[keep][n] = 0x80;
  }
  return shuffles;
}
alignas(16) constexpr auto kKeepShuffles = MakeKeepShuffles();

// Removes the line breaks of whole blocks of 16 bytes from `in` on, writing from `out` on, on
// CPUs with SSSE3: each half of a block is packed with one shuffle, without a branch per
// break. Stops at the block that holds a NUL or has fewer than 16 bytes left. A block is read
// whole before anything is written, and what is written ends before the end of that block, so
// no byte is overwritten before it is read.
__attribute__((target("ssse3,popcnt"))) void PackBlocks(char* data, size_t size, size_t& in,
                                                        size_t& out) {
  const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n'), nul = _mm_setzero_si128();
  const __m128i eight = _mm_set1_epi8(8);
  for (; size - in >= 16; in += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + in));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(block, nul)) != 0) return;
    const auto keep = ~static_cast<unsigned>(_mm_movemask_epi8(
                          _mm_or_si128(_mm_cmpeq_epi8(block, cr), _mm_cmpeq_epi8(block, lf)))) &
                      0xFFFFu;
    const unsigned low = keep & 0xFFu, high = keep >> 8;
    const __m128i low_shuffle =
        _mm_load_si128(reinterpret_cast<const __m128i*>(kKeepShuffles[low].data()));
    const __m128i high_shuffle = _mm_add_epi8(
        _mm_load_si128(reinterpret_cast<const __m128i*>(kKeepShuffles[high].data())), eight);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(data + out), _mm_shuffle_epi8(block, low_shuffle));
    out += static_cast<size_t>(__builtin_popcount(low));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(data + out), _mm_shuffle_epi8(block, high_shuffle));
    out += static_cast<size_t>(__builtin_popcount(high));
  }
}

bool CanShuffle() {
  static const bool can = __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("popcnt");
  return can;
}
#endif

}  // namespace

size_t LooseDocumentInPlace(char* data, size_t size) {
  // The write position never passes the read position, so every byte is read before it can be
  // overwritten.
  size_t out = 0, in = 0;
#if defined(TOLLWICK_SHUFFLE_BLOCKS)
  if (CanShuffle()) PackBlocks(data, size, in, out);
#endif
#if defined(__SSE2__)
  // Byte by byte until sixteen bytes are removed: from then on the write position stays at
  // least sixteen bytes behind the read position, so a whole block may be stored there.
  for (; in < size && in - out < 16; ++in) {
    const char c = data[in];
    if (c == '\0') return out;
    data[out] = c;
    out += static_cast<size_t>(c != '\r' && c != '\n');
  }
  // A block is stored whole; the write position then moves past the bytes before its first
  // line break, the read position past those bytes and the line breaks right after them (a
  // CR LF pair in one step). The block with the first NUL is left to the loop below.
  const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n'), nul = _mm_setzero_si128();
  while (in - out >= 16 && size - in >= 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + in));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(block, nul)) != 0) break;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(data + out), block);
    const auto breaks = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(block, cr), _mm_cmpeq_epi8(block, lf))));
    if (breaks == 0) {
      in += 16;
      out += 16;
    } else {
      const auto kept = static_cast<size_t>(__builtin_ctz(breaks));
      out += kept;
      in += kept + static_cast<size_t>(__builtin_ctz(~(breaks >> kept)));
    }
  }
#endif
  for (; in < size && data[in] != '\0'; ++in) {
    const char c = data[in];
    data[out] = c;
    out += static_cast<size_t>(c != '\r' && c != '\n');
  }
  return out;
}

}  // namespace tollwick
