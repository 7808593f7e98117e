// The headless commands of the works: `obras` lists the works register,
// `calcula` recalculates a work's budget and prints it, `presupuesto` prints
// it as stored.
#pragma once

#include <iosfwd>
#include <string>

#include "framework/error_reporter.h"
#include "tables/installation.h"

namespace velmora::app {

int runWorks(const tables::Installation& inst, ErrorReporter& errors, bool json, std::ostream& out, std::ostream& err);

// `recalculate`: run CALCULA first (the `calcula` command).
int runBudget(const tables::Installation& inst, ErrorReporter& errors, const std::string& code, bool recalculate,
              bool json, std::ostream& out, std::ostream& err);

}  // namespace velmora::app
