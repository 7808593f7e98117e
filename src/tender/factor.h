// The parts of the overhead factor and the factor itself: the indirect-cost
// sheet, the profit charge, the additional charges, and the factor of each
// mode of the build-up.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "framework/status.h"
#include "tender/build_up.h"
#include "tender/financing.h"
#include "works/work.h"

namespace velmora::tender {

// The indirect-cost sheet: each heading's totals and the whole, in cents
// (every item's amount rounded once, the totals sums of them), and the
// percentages on the direct cost.
struct IndirectTotals {
  int64_t centralOffice = 0;
  int64_t site = 0;
};
struct IndirectSheet {
  std::array<IndirectTotals, kIndirectGroupCount> groups{};  // in the headings' order
  IndirectTotals total;
  double centralPercent = 0;  // central-office total / direct cost
  double sitePercent = 0;     // site total / direct cost
  double percent = 0;         // (central-office total + site total) / direct cost
};
// A direct cost of 0 has no percentage and is refused.
Status indirectSheet(const std::vector<IndirectItem>& items, int64_t directCost, IndirectSheet* sheet);

// The profit charge in percent: the net wanted grossed up for the taxes on
// it, net / (1 − (ISR + PTU)).
double profitCharge(const Profit& profit);

// The factor's last divisor: the price before the additional charges over
// (1 − Σ charges), so what is left after withholding them is that price.
double chargesDivisor(const std::vector<AdditionalCharge>& charges);

// The factor is carried to four decimals, rounded once, and every sale price
// is the direct cost times that printed factor: a reader who multiplies the
// printed figures gets the printed prices.
inline constexpr int kFactorDecimals = 4;

// The overhead factor with its parts, in percent. In mode "costo directo"
// the parts are the work header's (central, site, other charges, profit,
// each on the direct cost, and S.V.I. y C. on their running total when the
// header states the salary charges); in "obra pública", indirect, financing,
// profit and additional charges, compounded in that order.
struct Factor {
  Mode mode = Mode::kDirectCost;
  // obra pública
  double indirect = 0;
  double financing = 0;
  double profit = 0;
  double charges = 0;
  // costo directo
  double centralOverhead = 0;
  double siteOverhead = 0;
  double otherCharges = 0;
  double headerProfit = 0;
  double svic = 0;
  double exact = 1;                 // the product of the parts
  int64_t tenThousandths = 10'000;  // the factor rounded to kFactorDecimals: 1.2345 is 12345
  double value() const;             // the rounded factor as a number
};

// Mode "costo directo": the charges the closing summary prints, as one
// factor on the direct cost (charges of 0 % or less print nothing and add
// nothing).
Factor directCostFactor(const works::WorkHeader& header);

// Everything a build-up yields: the factor and, in mode "obra pública", the
// sheets it was made from.
struct BuildUpResult {
  Factor factor;
  IndirectSheet indirects;
  FinancingResult financing;
};
// Mode "obra pública" over a programme: the month costs of the work, whose
// direct costs add up to `directCost` (cents) and whose indirect costs are
// the site's and the central office's spending month by month.
Status publicWorksBuildUp(const BuildUp& buildUp, int64_t directCost, const std::vector<PeriodCost>& programme,
                          BuildUpResult* result);
// The build-up of a work with `directCost` (cents) in either mode; in "obra
// pública" the direct cost and the indirect total are spread evenly over the
// work's `months`, until a programme of the work says otherwise. Refuses an
// invalid build-up naming its field.
Status computeBuildUp(const BuildUp& buildUp, const works::WorkHeader& header, int64_t directCost, int months,
                      BuildUpResult* result);

// The sale unit price, in cents, of a concept whose printed direct unit cost
// is `directUnit` cents: direct × factor, rounded once, half away from zero.
int64_t saleUnitPrice(int64_t directUnit, const Factor& factor);

}  // namespace velmora::tender
