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
  int zone = 1;  // the current salary zone: its prices and dates
  std::string zoneName;
};

// IMP_IBD: one line per base input that passes `options` (account range,
// current-zone price date range, generic key), in the order it names.
Status layOutInputCatalogue(const tables::Installation& inst, ErrorReporter& errors, const ReportOptions& options,
                            const CatalogueReportContext& context, Spool& spool,
                            const std::function<bool(size_t, size_t)>& progress = {});

// EST_SAL: every labour input (kind 4) with each term of its real wage in the
// current salary zone (estimate::wageStudy).
Status layOutSalaryStudy(const tables::Installation& inst, ErrorReporter& errors, const CatalogueReportContext& context,
                         Spool& spool, const std::function<bool(size_t, size_t)>& progress = {});
// Whether the zone's study is fixed to predetermined factors (CTL:MINI or
// CTL:MAXI above 0): EST_SAL then warns with these three lines first.
bool salaryStudyIsFixed(const tables::Installation& inst, ErrorReporter& errors, int zone);
inline constexpr const char* kFixedStudyWarning[3] = {"TIENE FIJO EL VALOR DEL ESTUDIO DE",
                                                      "SALARIOS A VALORES PREDETERMINADOS", "CON Ok CONTINUA ..."};

// "Reporte de Claves Genéricas": every generic key with its type.
Status layOutGenericKeys(const tables::Installation& inst, ErrorReporter& errors, const CatalogueReportContext& context,
                         Spool& spool, const std::function<bool(size_t, size_t)>& progress = {});

}  // namespace velmora::reports
