// One invocation: the usage text, the version, or a run over the current directory tree.
#pragma once

#include <string>
#include <vector>

#include "app/run_state.h"

namespace tollwick {

inline constexpr const char* kPriceFile = "prices.csv";
inline constexpr const char* kRateFile = "currency.txt";

// Runs the phases in their fixed order and returns the exit status. Output goes to
// state.Output, which is flushed at the end. Errors are raised, not returned.
int RunTollwick(const std::vector<std::string>& args, RunState& state);

}  // namespace tollwick
