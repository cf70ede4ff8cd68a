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
  // Sixteen bytes without a line break or a NUL move as one block; a block with a line break
  // is compacted byte by byte; the block with the first NUL is left to the loop below.
  const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n'), nul = _mm_setzero_si128();
  for (; size - in >= 16; in += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + in));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(block, nul)) != 0) break;
    const auto breaks = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(block, cr), _mm_cmpeq_epi8(block, lf))));
    if (breaks == 0) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(data + out), block);
      out += 16;
      continue;
    }
    for (unsigned i = 0; i < 16; ++i) {
      data[out] = data[in + i];
      out += ((breaks >> i) & 1u) ^ 1u;
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
