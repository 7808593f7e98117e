// `velmora analisis --data DIR CTA [--json] [--zona N]`: a concept's analysis
// as the concept form shows it, its four-way split and its unit price.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "framework/error_reporter.h"
#include "tables/installation.h"

namespace velmora::app {

// `account` and `zone` (1 to 5) were checked by the caller; the installation
// should not create missing tables (a missing file is an error, never a
// catalogue priced at 0).
int runAnalysis(const tables::Installation& inst, ErrorReporter& errors, int32_t account, bool json, int zone,
                std::ostream& out, std::ostream& err);

}  // namespace velmora::app
