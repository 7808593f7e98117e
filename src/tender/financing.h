// The financing analysis: the work's monthly cash flow at sale price and the
// interest its negative balance costs, with the loop between the price and
// the financing resolved.
//
// Amounts are whole cents, so every figure of the monthly table is printed
// as computed and its interest column adds up to the total.
#pragma once

#include <cstdint>
#include <vector>

#include "framework/status.h"
#include "tender/build_up.h"

namespace velmora::tender {

// Days of an estimate period (a commercial month) and of the year the
// annual rate is quoted on.
inline constexpr int kPeriodDays = 30;
inline constexpr int kYearDays = 360;

// What the work costs in one month: its direct cost and its share of the
// indirect costs, in cents. A programme of the work gives one per month;
// until there is one, spreadEvenly makes them.
struct PeriodCost {
  int64_t direct = 0;
  int64_t indirect = 0;
};
// `direct` and `indirect` over `months` equal months; the cents that do not
// divide go one each to the first months, so the months add up to the
// amounts. Fewer than one month is taken as one.
std::vector<PeriodCost> spreadEvenly(int64_t direct, int64_t indirect, int months);

// One month of the cash flow as its input: what is spent in it (direct +
// indirect) and what its estimate is worth at sale price, in cents.
struct PeriodAmounts {
  int64_t expense = 0;
  int64_t sale = 0;
};

// One row of the monthly table, in cents. The estimate's columns (estimate,
// amortisation, withheld) are those of the work done in the month; `income`
// is what is received in the month (the net of an earlier estimate), and
// `advance` the advance received at the start, in the first month.
struct CashFlowPeriod {
  int number = 0;  // 1, 2, ...
  int64_t expense = 0;
  int64_t estimate = 0;
  int64_t amortisation = 0;
  int64_t withheld = 0;
  int64_t advance = 0;
  int64_t income = 0;
  int64_t balance = 0;   // cumulative, at the end of the month
  int64_t interest = 0;  // on the negative balance, for the days of the month it was negative
};
struct CashFlow {
  std::vector<CashFlowPeriod> periods;  // to the month the last estimate is paid in
  double annualRate = 0;                // percent: indicator + points
  int64_t totalInterest = 0;            // the sum of the printed column
};

// The cash flow of `months` under `financing`, with `withheldPercent` kept
// back from every estimate (the additional charges). Timeline, in days from
// the start: the advance (a percent of the sales, rounded once) at day 0;
// each month's expense at its middle; each month's estimate paid
// `paymentDays` after the month's end, less its amortisation (the advance's
// percent of it, the last estimate taking what is left so the advance is
// amortised exactly) and the withholdings. Simple interest at the annual rate
// on a 360-day year accrues on the balance while it is negative; it is not
// added to the balance. Each month's interest is rounded once.
CashFlow cashFlow(const Financing& financing, double withheldPercent, const std::vector<PeriodAmounts>& months);

// The financing of a work priced by a factor that itself holds the
// financing. Estimates are the month's direct cost at sale price:
//   sale = direct × (1 + indirect)(1 + financing)(1 + profit) / (1 − charges);
// the financing is the cash flow's interest over (direct + indirect). The
// price f solves f = g(f), g(f) being the interest at price f over the cost.
// g never grows with f (a dearer estimate is only more income), so
// g(f) − f falls strictly, is ≥ 0 at 0 and ≤ 0 at g(0): one root lies in
// [0, g(0)] and bisection finds it, to 1e-12, within kFinancingIterations
// halvings. A cost of 0 or a loop that does not settle is refused.
inline constexpr int kFinancingIterations = 200;
struct FinancingResult {
  double percent = 0;  // total interest of `flow` over (direct + indirect), in percent
  CashFlow flow;       // at the price the loop settled on
  int iterations = 0;
};
// `indirectPercent`, `profitPercent` and `chargesPercent` are the other
// parts of the factor, in percent.
Status solveFinancing(const Financing& financing, const std::vector<PeriodCost>& programme, double indirectPercent,
                      double profitPercent, double chargesPercent, FinancingResult* result);

}  // namespace velmora::tender
