// The demo's suppliers directory: a few supplier types and suppliers, and the
// promotion pictures of some of them, drawn here as BMP images.
#pragma once

#include "framework/error_reporter.h"
#include "framework/status.h"
#include "tables/installation.h"

namespace velmora::app {

// The folder of the data directory that holds the promotion pictures.
inline constexpr const char* kPromotionsFolder = "PROMOCIONES";

// Adds what is missing; a second run changes nothing.
Status fillDemoSuppliers(const tables::Installation& inst, ErrorReporter& errors);

}  // namespace velmora::app
