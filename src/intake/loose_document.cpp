#include "intake/loose_document.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tollwick {

size_t LooseDocumentInPlace(char* data, size_t size) {
  // The write position never passes the read position, so every byte is read before it can be
  // overwritten.
  size_t out = 0, in = 0;
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
