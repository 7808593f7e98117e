// Reports of the base catalogue: IMP_IBD, the input catalogue (account and
// date ranges, a generic key, three orders), and the generic-key report.
#pragma once

#include <functional>
#include <string>

#include "framework/error_reporter.h"
#include "framework/status.h"
#include "reports/options.h"
#include "reports/page.h"
#include "tables/installation.h"

namespace velmora::reports {

struct CatalogueReportContext {
  std::string company;
  int32_t today = 0;
  int zone = 1;           // the current salary zone: its prices and dates
  std::string zoneName;
};

// IMP_IBD: one line per base input that passes `options` (account range,
// current-zone price date range, generic key), in the order it names.
Status layOutInputCatalogue(const tables::Installation& inst, ErrorReporter& errors, const ReportOptions& options,
                            const CatalogueReportContext& context, Spool& spool,
                            const std::function<bool(size_t, size_t)>& progress = {});

// "Reporte de Claves Genéricas": every generic key with its type.
Status layOutGenericKeys(const tables::Installation& inst, ErrorReporter& errors,
                         const CatalogueReportContext& context, Spool& spool,
                         const std::function<bool(size_t, size_t)>& progress = {});

}  // namespace velmora::reports
