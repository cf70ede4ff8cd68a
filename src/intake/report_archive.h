// Reads the stored report entries of one archive, then gives it a numbered name if needed.
#pragma once

#include <string>

#include "tables/run_state.h"

namespace tollwick {

void ReadReportArchive(RunState& state, const std::string& path);

}  // namespace tollwick
