// The budget reports of a work: IMP_PRE, the budget with the share of each
// concept in the direct cost and its amount in words, the sections
// recapitulated ("PARTIDAS DE OBRA"); IMP_PDE, the budget with the unit
// price split into its four parts; and the closing summary they share with
// the analysis and machine sheets.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "framework/error_reporter.h"
#include "framework/status.h"
#include "reports/options.h"
#include "reports/page.h"
#include "shell/installation_conf.h"
#include "tables/installation.h"
#include "tables/record.h"
#include "works/work.h"

namespace velmora::reports {

struct SummaryLine {
  std::string text;
  double amount = 0;
  bool ruleBefore = false;
};

// The price build-up over direct cost `cd` of a work: the indirect
// percentages on `cd`, the public-works lines when the header states the
// salary charges (with the rates of `zone`), the VAT on the running total,
// and "IMPORTE TOTAL".
std::vector<SummaryLine> closingSummary(const works::WorkHeader& header, double cd, const estimate::ZoneFactors& zone);

// IMP_PRE, IMP_PDE, and IMP_CDE (the concepts concentrated: one line per
// row with its "DESTAJO" and the four parts of its unit price).
enum class BudgetReportKind { kPresentation, kDetail, kConcentrated };

// The 50-character pieces of a long description: the first always, the
// others (when `full`) until the first blank one. Without a long
// description, the short one.
std::vector<std::string> descriptionLines(const std::string& shortText, std::string longText, bool full);

// "DESTAJO" of a row: its labour part over the daily real wage of a year's
// working day, COO:TOBR x 365.25 / (FSR_MAYOR x CTL:DHAB); 0 when a divisor is.
double piecework(double labour, double fsrMayor, double workingDays);

struct BudgetReportContext {
  std::string company;           // DCIA
  int32_t today = 0;             // FECHA
  shell::AmountWording wording;  // the installation's words for the amounts
};

// Lays the budget of `work` out into `spool`; `progress(done, total)`
// returning false stops it.
Status layOutBudgetReport(BudgetReportKind kind, const works::OpenWork& work, ErrorReporter& errors,
                          const ReportOptions& options, const BudgetReportContext& context, Spool& spool,
                          const std::function<bool(size_t, size_t)>& progress = {});

}  // namespace velmora::reports
