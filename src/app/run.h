// One invocation: the usage text, the version, or a run over the current directory tree.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/run_state.h"
#include "base/errors.h"

namespace tollwick {

inline constexpr const char* kPriceFile = "prices.csv";
inline constexpr const char* kRateFile = "currency.txt";

// Runs the phases in their fixed order and returns the exit status. Output goes to
// state.Output, which is flushed at the end. Errors are raised, not returned.
int RunTollwick(const std::vector<std::string>& args, RunState& state);

// Called with the error that ends a run, before its report: notes in the run's warnings what
// explains it, namely a missing rate list behind a missing exchange rate.
void NoteErrorCause(ErrorKind kind, std::string_view message, RunState& state);

}  // namespace tollwick
