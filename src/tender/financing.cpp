#include "tender/financing.h"

#include <algorithm>
#include <cmath>

#include "framework/money.h"

namespace velmora::tender {

std::vector<PeriodCost> spreadEvenly(int64_t direct, int64_t indirect, int months) {
  const int n = std::max(months, 1);
  std::vector<PeriodCost> out(n);
  const auto spread = [&](int64_t amount, int64_t PeriodCost::*field) {
    const int64_t share = amount / n, left = amount % n;
    for (int i = 0; i < n; ++i) out[i].*field = share + (i < left ? 1 : 0);
  };
  spread(direct, &PeriodCost::direct);
  spread(indirect, &PeriodCost::indirect);
  return out;
}

CashFlow cashFlow(const Financing& financing, double withheldPercent, const std::vector<PeriodAmounts>& months) {
  CashFlow flow;
  flow.annualRate = financing.indicatorRate + financing.points;
  const int worked = static_cast<int>(months.size());
  const int lastPayment = worked * kPeriodDays + std::max(financing.paymentDays, 0);
  const int periods = std::max(worked, lastPayment / kPeriodDays + 1);
  flow.periods.resize(periods);
  for (int p = 0; p < periods; ++p) flow.periods[p].number = p + 1;

  // What changes the balance on each day of the timeline.
  std::vector<int64_t> change(static_cast<size_t>(periods) * kPeriodDays, 0);
  int64_t sales = 0;
  int lastEstimate = -1;
  for (int p = 0; p < worked; ++p) {
    sales += months[p].sale;
    if (months[p].sale != 0) lastEstimate = p;
  }
  const int64_t advance = money::percentOf(sales, financing.advance);
  flow.periods[0].advance = advance;
  change[0] += advance;
  int64_t amortised = 0;
  for (int p = 0; p < worked; ++p) {
    CashFlowPeriod& row = flow.periods[p];
    row.expense = months[p].expense;
    change[p * kPeriodDays + kPeriodDays / 2] -= row.expense;
    row.estimate = months[p].sale;
    row.amortisation = p == lastEstimate ? advance - amortised : money::percentOf(row.estimate, financing.advance);
    amortised += row.amortisation;
    row.withheld = money::percentOf(row.estimate, withheldPercent);
    const int64_t net = row.estimate - row.amortisation - row.withheld;
    const int paid = (p + 1) * kPeriodDays + std::max(financing.paymentDays, 0);
    flow.periods[paid / kPeriodDays].income += net;
    change[paid] += net;
  }

  // Day by day: the day's movements first, then the day's interest on what
  // is owed at its end, summed per month in cent-days (exact) and turned
  // into money once per month.
  const double dailyRate = flow.annualRate / 100 / kYearDays;
  int64_t balance = 0;
  for (int p = 0; p < periods; ++p) {
    int64_t owedCentDays = 0;
    for (int d = p * kPeriodDays; d < (p + 1) * kPeriodDays; ++d) {
      balance += change[d];
      if (balance < 0) owedCentDays -= balance;
    }
    CashFlowPeriod& row = flow.periods[p];
    row.balance = balance;
    row.interest = money::cents(static_cast<double>(owedCentDays) / 100 * dailyRate);
    flow.totalInterest += row.interest;
  }
  return flow;
}

namespace {

// The month amounts of `programme` priced with financing `f` (a fraction).
std::vector<PeriodAmounts> pricedMonths(const std::vector<PeriodCost>& programme, double beforeFinancing,
                                        double afterFinancing, double f) {
  std::vector<PeriodAmounts> out;
  out.reserve(programme.size());
  for (const PeriodCost& m : programme) {
    const double sale = money::fromCents(m.direct) * beforeFinancing * (1 + f) * afterFinancing;
    out.push_back({m.direct + m.indirect, money::cents(sale)});
  }
  return out;
}

}  // namespace

Status solveFinancing(const Financing& financing, const std::vector<PeriodCost>& programme, double indirectPercent,
                      double profitPercent, double chargesPercent, FinancingResult* result) {
  int64_t cost = 0;
  for (const PeriodCost& m : programme) cost += m.direct + m.indirect;
  if (cost <= 0)
    return Status::error(Status::Code::kInvalid,
                         "financiamiento: la obra no tiene costo directo ni indirecto sobre el cual calcularlo");
  const double beforeFinancing = 1 + indirectPercent / 100;
  const double afterFinancing = (1 + profitPercent / 100) / (1 - chargesPercent / 100);
  if (!std::isfinite(beforeFinancing * afterFinancing))
    return Status::error(Status::Code::kInvalid, "financiamiento: los porcentajes de la integración no son finitos");

  const auto flowAt = [&](double f) {
    return cashFlow(financing, chargesPercent, pricedMonths(programme, beforeFinancing, afterFinancing, f));
  };
  const auto financingOf = [&](const CashFlow& flow) {
    return static_cast<double>(flow.totalInterest) / static_cast<double>(cost);
  };

  double lo = 0, hi = financingOf(flowAt(0));
  int iterations = 0;
  while (hi - lo > 1e-12 && iterations < kFinancingIterations) {
    const double mid = (lo + hi) / 2;
    if (financingOf(flowAt(mid)) > mid) lo = mid;
    else hi = mid;
    ++iterations;
  }
  const double f = (lo + hi) / 2;
  CashFlow flow = flowAt(f);
  const double settled = financingOf(flow);
  // The monthly interest is rounded to the cent, so g moves in steps of at
  // most a cent a month: the loop has settled when g(f) and f agree to that.
  const double step = static_cast<double>(flow.periods.size()) / static_cast<double>(cost) + 1e-9;
  if (!std::isfinite(settled) || std::fabs(settled - f) > step)
    return Status::error(Status::Code::kInvalid,
                         "financiamiento: el cálculo del precio con su financiamiento no converge");
  result->percent = settled * 100;
  result->flow = std::move(flow);
  result->iterations = iterations;
  return Status::ok();
}

}  // namespace velmora::tender
