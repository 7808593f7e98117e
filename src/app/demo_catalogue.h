// The base catalogue of the demo installation: generic keys, materials,
// labour, percentage charges, machines with their hourly-cost data, crews and
// basics nested three levels deep, and some thirty concepts of a building.
#pragma once

#include "framework/error_reporter.h"
#include "framework/status.h"
#include "tables/installation.h"

namespace velmora::app {

// Adds the catalogue when the installation has no base inputs yet.
Status fillDemoCatalogue(const tables::Installation& inst, ErrorReporter& errors);

}  // namespace velmora::app
