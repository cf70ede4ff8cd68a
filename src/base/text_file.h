// Reading a whole text file and cutting it into lines.
//
// The text is single bytes; no character set and no byte-order mark is recognised (a BOM is
// part of the first line). A NUL byte ends the text. A line ends at CR, at LF or at a CR LF
// pair; a break at the very end of the text starts no further line, so "a\n" is one line and
// "\n" is one empty line, while an empty line inside the text is a line of its own.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/file_system.h"

namespace tollwick {

// The lines of a text, as views into it.
std::vector<std::string_view> SplitLines(std::string_view text);

// Reads the whole file `name` (relative to the working directory) into `text` and gives true.
// Gives false, reading nothing, when no regular file of that name exists (a directory, a FIFO
// or a dangling link does not count). A regular file that cannot be opened or read raises the
// error of file_bytes.h, naming its absolute path. The file is opened read-only and without
// blocking, so a name that turns into a FIFO between the check and the opening cannot hang the
// run.
bool ReadTextFile(FileSystem& files, const std::string& name, std::string& text);

}  // namespace tollwick
