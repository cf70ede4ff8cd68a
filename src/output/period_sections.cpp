#include "output/period_sections.h"

namespace tollwick {

void WritePeriodSection(RunState& /*state*/, SectionKind /*kind*/) {}

}  // namespace tollwick
