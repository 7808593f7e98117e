// The salary zones report: each zone with its minimum salary, working days
// and the two real-wage factors. The small report of the page machinery; the
// catalogue and budget reports follow the same shape: a layout that writes
// pages into a spool, nothing more.
#pragma once

#include <functional>

#include "framework/error_reporter.h"
#include "framework/status.h"
#include "reports/page.h"
#include "tables/installation.h"

namespace velmora::reports {

// Lays the report out into `spool`; `progress(done, total)` returning false
// stops the run (kCancelled).
Status layOutZoneReport(const tables::Installation& inst, ErrorReporter& errors, Spool& spool,
                        const std::function<bool(size_t, size_t)>& progress = {});

}  // namespace velmora::reports
