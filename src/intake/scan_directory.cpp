#include "intake/scan_directory.h"

namespace tollwick {

void ScanDirectory(RunState& /*state*/, const std::string& /*directory*/) {}

}  // namespace tollwick
