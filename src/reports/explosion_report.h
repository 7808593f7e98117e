// IMP_MAT, the explosion of inputs: every concept row in range exploded into
// its inputs and machine hours, basic compositions into their own lines with
// the quantities multiplied down the levels (at most ten); then the work's
// inputs and machines with their quantities, prices, amounts and shares.
//
// The figures are works::WorkExplosion's; its writes (work inputs created
// from the base, the machine hours) are stored once the layout is complete:
// a cancelled or failed run leaves the work as it was.
#pragma once

#include <functional>
#include <string>

#include "framework/error_reporter.h"
#include "framework/status.h"
#include "reports/options.h"
#include "reports/page.h"
#include "tables/installation.h"
#include "works/work.h"

namespace velmora::reports {

Status layOutExplosion(const works::OpenWork& work, ErrorReporter& errors, const ReportOptions& options,
                       const std::string& company, int32_t today, Spool& spool,
                       const std::function<bool(size_t, size_t)>& progress = {});

}  // namespace velmora::reports
