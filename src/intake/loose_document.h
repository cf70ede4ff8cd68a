// The document of a loose report file: the file's bytes up to, not including, the first NUL
// byte, with every CR and LF byte removed (lines are joined with nothing between them).
#pragma once

#include <cstddef>

namespace tollwick {

// Rewrites `data[0, size)` into its document in place and returns the document's length.
size_t LooseDocumentInPlace(char* data, size_t size);

}  // namespace tollwick
