#include "intake/loose_document.h"

#include <cstring>

namespace tollwick {

size_t LooseDocumentInPlace(char* data, size_t size) {
  if (const void* nul = std::memchr(data, '\0', size))
    size = static_cast<size_t>(static_cast<const char*>(nul) - data);
  // Nothing moves before the first line break; after it every byte is copied down, the write
  // position advancing only for bytes that are kept.
  size_t out = 0;
  while (out < size && data[out] != '\r' && data[out] != '\n') ++out;
  for (size_t in = out; in < size; ++in) {
    char c = data[in];
    data[out] = c;
    out += static_cast<size_t>(c != '\r' && c != '\n');
  }
  return out;
}

}  // namespace tollwick
