// Walks a directory tree and reads every report found in it, loose or in archives.
#pragma once

#include <string>

#include "tables/run_state.h"

namespace tollwick {

// An empty directory text starts at the current working directory.
void ScanDirectory(RunState& state, const std::string& directory);

}  // namespace tollwick
