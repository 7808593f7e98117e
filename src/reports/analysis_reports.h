// The concept analyses: IMP_CON (the work's concepts) and IMP_CBD (base
// concepts), and their horizontal forms IMP_COH and IMP_HBD, in which each
// line's amount is spread over "MATERIAL", "M/OBRA", "C/HORAR" and "PORCEN";
// and the machine sheets of the base catalogue (IMP_EBD).
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

// What an analysis report covers: the open work or the base catalogue, in
// which form, and what its heading prints.
struct AnalysisReportScope {
  const works::OpenWork* work = nullptr;  // the work's rows (IMP_CON, IMP_COH); none: base concepts
  bool horizontal = false;                // IMP_COH, IMP_HBD
  int zone = 1;                           // the current salary zone (base reports)
  std::string company;
  int32_t today = 0;
  bool concentrated = false;  // machines: IMP_CEQ, one line each
};

Status layOutConceptAnalyses(const tables::Installation& inst, ErrorReporter& errors, const AnalysisReportScope& scope,
                             const ReportOptions& options, Spool& spool,
                             const std::function<bool(size_t, size_t)>& progress = {});

// IMP_EBD: the hourly-cost sheet of each base machine in range, with the
// numbered derivation of its cost from the engine's own terms; IMP_COS the
// same for the work's machines (those its explosion stored in HORA) at the
// work's prices, each closed by the summary; IMP_CEQ (`concentrated`) a line
// per machine of the work.
Status layOutMachineSheets(const tables::Installation& inst, ErrorReporter& errors, const AnalysisReportScope& scope,
                           const ReportOptions& options, Spool& spool,
                           const std::function<bool(size_t, size_t)>& progress = {});

// The title of a group of lines of one input kind (1 to 6).
const char* kindTitle(int kind);

}  // namespace velmora::reports
