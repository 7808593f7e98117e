// The works of the demo installation: a house in Ciudad de México (titles per
// trade, concepts of the catalogue, subtotals, hidden percentages 5 and 3,
// overheads, profit and VAT) and a small warehouse in Monterrey, both
// recalculated.
#pragma once

#include "framework/error_reporter.h"
#include "framework/status.h"
#include "tables/installation.h"

namespace velmora::app {

// Adds each demo work that is not registered yet, with its budget.
Status fillDemoWorks(const tables::Installation& inst, ErrorReporter& errors);

}  // namespace velmora::app
