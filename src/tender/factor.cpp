#include "tender/factor.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "framework/money.h"

namespace velmora::tender {

namespace {

// `value` (positive, finite) in units of 10^-kFactorDecimals, rounded half
// away from zero on its decimal digits. The product of the parts carries
// binary noise (1.23 × 1.005 is held as 1.23614999...), so it is first read
// to 12 significant digits, far below the decimals a percentage is typed
// with and far above those kept: a decimal tie stays a tie.
int64_t roundFactor(double value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.11e", value);
  double significant = 0;
  std::from_chars(buf, buf + std::strlen(buf), significant);
  const money::Digits d = money::shortestDigits(significant);
  const int kept = d.exponent + 1 + kFactorDecimals;  // digits up to the last decimal kept
  if (kept < 0) return 0;
  int64_t whole = 0;
  for (int i = 0; i < kept; ++i) whole = whole * 10 + (i < static_cast<int>(d.digits.size()) ? d.digits[i] - '0' : 0);
  if (kept < static_cast<int>(d.digits.size()) && d.digits[kept] >= '5') ++whole;
  return whole;
}

int64_t power10(int n) {
  int64_t p = 1;
  for (int i = 0; i < n; ++i) p *= 10;
  return p;
}

double percentShare(int64_t part, int64_t whole) {
  return static_cast<double>(part) * 100 / static_cast<double>(whole);
}

}  // namespace

double Factor::value() const {
  return static_cast<double>(tenThousandths) / static_cast<double>(power10(kFactorDecimals));
}

Status indirectSheet(const std::vector<IndirectItem>& items, int64_t directCost, IndirectSheet* sheet) {
  if (directCost <= 0)
    return Status::error(Status::Code::kInvalid,
                         "indirectos: el costo directo de la obra es cero y no hay porcentaje de indirectos");
  IndirectSheet s;
  for (const IndirectItem& item : items) {
    IndirectTotals& group = s.groups[static_cast<size_t>(item.group)];
    const int64_t central = money::cents(item.centralOffice), site = money::cents(item.site);
    group.centralOffice += central;
    group.site += site;
    s.total.centralOffice += central;
    s.total.site += site;
  }
  s.centralPercent = percentShare(s.total.centralOffice, directCost);
  s.sitePercent = percentShare(s.total.site, directCost);
  s.percent = percentShare(s.total.centralOffice + s.total.site, directCost);
  *sheet = s;
  return Status::ok();
}

double profitCharge(const Profit& profit) { return profit.net / (1 - (profit.incomeTax + profit.profitSharing) / 100); }

double chargesDivisor(const std::vector<AdditionalCharge>& charges) { return 1 - chargesPercent(charges) / 100; }

Factor directCostFactor(const works::WorkHeader& header) {
  Factor f;
  f.mode = Mode::kDirectCost;
  const auto printed = [](const works::Charge& c) { return c.percent > 0 ? c.percent : 0; };
  f.centralOverhead = printed(header.centralOverhead);
  f.siteOverhead = printed(header.siteOverhead);
  f.otherCharges = printed(header.otherCharges);
  f.headerProfit = printed(header.profit);
  f.svic = header.statesSalaryCharges && header.secodam > 0 ? header.secodam : 0;
  f.exact = (1 + (f.centralOverhead + f.siteOverhead + f.otherCharges + f.headerProfit) / 100) * (1 + f.svic / 100);
  f.tenThousandths = roundFactor(f.exact);
  return f;
}

Status publicWorksBuildUp(const BuildUp& buildUp, int64_t directCost, const std::vector<PeriodCost>& programme,
                          BuildUpResult* result) {
  if (Status s = validateBuildUp(buildUp); !s) return s;
  BuildUpResult r;
  if (Status s = indirectSheet(buildUp.indirects, directCost, &r.indirects); !s) return s;
  Factor& f = r.factor;
  f.mode = Mode::kPublicWorks;
  f.indirect = r.indirects.percent;
  f.profit = profitCharge(buildUp.profit);
  f.charges = chargesPercent(buildUp.charges);
  if (Status s = solveFinancing(buildUp.financing, programme, f.indirect, f.profit, f.charges, &r.financing); !s)
    return s;
  f.financing = r.financing.percent;
  f.exact = (1 + f.indirect / 100) * (1 + f.financing / 100) * (1 + f.profit / 100) / chargesDivisor(buildUp.charges);
  if (!std::isfinite(f.exact))
    return Status::error(Status::Code::kInvalid, "integración: el factor de sobrecosto no es un número finito");
  f.tenThousandths = roundFactor(f.exact);
  *result = std::move(r);
  return Status::ok();
}

Status computeBuildUp(const BuildUp& buildUp, const works::WorkHeader& header, int64_t directCost, int months,
                      BuildUpResult* result) {
  if (Status s = validateBuildUp(buildUp); !s) return s;
  if (buildUp.mode == Mode::kDirectCost) {
    *result = BuildUpResult{};
    result->factor = directCostFactor(header);
    return Status::ok();
  }
  IndirectSheet sheet;
  if (Status s = indirectSheet(buildUp.indirects, directCost, &sheet); !s) return s;
  return publicWorksBuildUp(buildUp, directCost,
                            spreadEvenly(directCost, sheet.total.centralOffice + sheet.total.site, months), result);
}

int64_t saleUnitPrice(int64_t directUnit, const Factor& factor) {
  const __int128 product = static_cast<__int128>(directUnit < 0 ? -directUnit : directUnit) * factor.tenThousandths;
  const int64_t unit = power10(kFactorDecimals);
  __int128 q = product / unit;
  if ((product % unit) * 2 >= unit) ++q;  // half away from zero
  const int64_t price = static_cast<int64_t>(q);
  return directUnit < 0 ? -price : price;
}

}  // namespace velmora::tender
