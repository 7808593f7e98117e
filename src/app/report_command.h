// `velmora report NAME --data DIR (--pdf FILE | --txt FILE | --png DIR)`:
// a report run without a screen, through the page model and the painter.
// The report of this round is "zonas", the salary zones with their factors.
#pragma once

#include <iosfwd>
#include <string>

#include "framework/error_reporter.h"
#include "tables/installation.h"

namespace velmora::app {

struct ReportTarget {
  std::string pdf, txt, png;
};

int runReport(int argc, char** argv, const tables::Installation& inst, ErrorReporter& errors, const std::string& name,
              const ReportTarget& target, std::ostream& out, std::ostream& err);

}  // namespace velmora::app
