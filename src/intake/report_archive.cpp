#include "intake/report_archive.h"

namespace tollwick {

void ReadReportArchive(RunState& /*state*/, const std::string& /*path*/) {}

}  // namespace tollwick
