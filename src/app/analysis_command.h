// `velmora analisis --data DIR CTA [--json] [--zona N]`: a concept's analysis
// as the concept form shows it, its four-way split and its unit price.
#pragma once

#include <iosfwd>
#include <string>

#include "framework/error_reporter.h"
#include "tables/installation.h"

namespace velmora::app {

int runAnalysis(const tables::Installation& inst, ErrorReporter& errors, const std::string& account, bool json,
                int zone, std::ostream& out, std::ostream& err);

}  // namespace velmora::app
