// The bid: the build-up of a work's sale prices (indirect costs, financing,
// profit, additional charges), its factor and the proposal at sale price.
// Every expected figure is worked by hand in the comment beside it.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "estimate/zones.h"
#include "framework/money.h"
#include "reports/budget_report.h"
#include "tender/build_up.h"
#include "tender/factor.h"
#include "tender/financing.h"
#include "tender/proposal.h"
#include "works/budget.h"
#include "works/work.h"

namespace velmora::tender {
namespace {

IndirectItem item(const char* description, IndirectGroup group, double central, double site) {
  IndirectItem i;
  i.description = description;
  i.group = group;
  i.centralOffice = central;
  i.site = site;
  return i;
}

// Financing at 11 % (the indicator) + 4 points = 15 % a year, a 30 % advance,
// estimates paid 41 days after their month.
Financing fifteenPercentWithAdvance() {
  Financing f;
  f.indicator = "TIIE 28 días";
  f.indicatorRate = 11;
  f.points = 4;
  f.advance = 30;
  return f;
}

std::vector<AdditionalCharge> inspectionAndTraining() { return {{"Inspección", 0.5}, {"Capacitación", 0.2}}; }

TEST(TenderTest, IndirectSheetTotalsAndPercentagesOnTheDirectCost) {
  // Direct cost 1,000,000.00.
  //   central office: 24,000 + 12,000 + 3,000            = 39,000.00 -> 3.9 %
  //   site:           60,000 + 1,500.50 + 9,499.50        = 71,000.00 -> 7.1 %
  //   indirect % = (39,000 + 71,000) / 1,000,000          = 11 %
  const std::vector<IndirectItem> items = {
      item("Superintendente de obra", IndirectGroup::kFeesAndSalaries, 0, 60000),
      item("Gerente de construcción", IndirectGroup::kFeesAndSalaries, 24000, 0),
      item("Renta de oficinas", IndirectGroup::kDepreciation, 12000, 0),
      item("Luz, agua y teléfono", IndirectGroup::kServices, 3000, 1500.50),
      item("Fianzas de anticipo y cumplimiento", IndirectGroup::kInsuranceAndBonds, 0, 9499.50),
  };
  IndirectSheet sheet;
  ASSERT_TRUE(indirectSheet(items, 100'000'000, &sheet));
  EXPECT_EQ(sheet.total.centralOffice, 3'900'000);
  EXPECT_EQ(sheet.total.site, 7'100'000);
  const IndirectTotals& fees = sheet.groups[static_cast<size_t>(IndirectGroup::kFeesAndSalaries)];
  EXPECT_EQ(fees.centralOffice, 2'400'000);
  EXPECT_EQ(fees.site, 6'000'000);
  const IndirectTotals& services = sheet.groups[static_cast<size_t>(IndirectGroup::kServices)];
  EXPECT_EQ(services.site, 150'050);
  EXPECT_EQ(sheet.groups[static_cast<size_t>(IndirectGroup::kFreight)].centralOffice, 0);
  EXPECT_DOUBLE_EQ(sheet.centralPercent, 3.9);
  EXPECT_DOUBLE_EQ(sheet.sitePercent, 7.1);
  EXPECT_DOUBLE_EQ(sheet.percent, 11);

  // Without a direct cost there is no percentage to give.
  EXPECT_EQ(indirectSheet(items, 0, &sheet).code(), Status::Code::kInvalid);
}

TEST(TenderTest, ThreeMonthCashFlowWithAnAdvance) {
  // Each month: expenses (direct + indirect) 110,000.00, paid at its middle
  // (days 15, 45, 75); its estimate 150,000.00 at sale price.
  //   advance 30 % of 450,000          = 135,000.00 at day 0
  //   each estimate: amortisation 30 %  =  45,000.00, withheld 0.7 % = 1,050.00,
  //                  net                = 103,950.00, paid 41 days after its month
  //                  (days 30 + 41 = 71, 101, 131)
  // Balance: day 0 +135,000 | 15: 25,000 | 45: -85,000 | 71: 18,950 |
  //          75: -91,050 | 101: 12,900 | 131: 116,850.
  // Interest at 15 % / 360 a day on what is owed:
  //   month 2 (days 30-59):  85,000 x 15 days x 0.15/360                    = 531.25
  //   month 3 (days 60-89):  85,000 x 11 days + 91,050 x 15 days
  //                          = 2,300,750 peso-days x 0.15/360 = 958.6458   -> 958.65
  //   month 4 (days 90-119): 91,050 x 11 days x 0.15/360 = 417.3125        -> 417.31
  //   total 531.25 + 958.65 + 417.31                                        = 1,907.21
  const std::vector<PeriodAmounts> months(3, PeriodAmounts{11'000'000, 15'000'000});
  const CashFlow flow = cashFlow(fifteenPercentWithAdvance(), 0.7, months);
  EXPECT_DOUBLE_EQ(flow.annualRate, 15);
  ASSERT_EQ(flow.periods.size(), 5u);  // to month 5, when the last estimate is paid
  struct Expected {
    int64_t expense, estimate, amortisation, withheld, advance, income, balance, interest;
  };
  const Expected expected[] = {
      {11'000'000, 15'000'000, 4'500'000, 105'000, 13'500'000, 0, 2'500'000, 0},
      {11'000'000, 15'000'000, 4'500'000, 105'000, 0, 0, -8'500'000, 53'125},
      {11'000'000, 15'000'000, 4'500'000, 105'000, 0, 10'395'000, -9'105'000, 95'865},
      {0, 0, 0, 0, 0, 10'395'000, 1'290'000, 41'731},
      {0, 0, 0, 0, 0, 10'395'000, 11'685'000, 0},
  };
  for (size_t p = 0; p < 5; ++p) {
    SCOPED_TRACE("mes " + std::to_string(p + 1));
    const CashFlowPeriod& row = flow.periods[p];
    EXPECT_EQ(row.number, static_cast<int>(p + 1));
    EXPECT_EQ(row.expense, expected[p].expense);
    EXPECT_EQ(row.estimate, expected[p].estimate);
    EXPECT_EQ(row.amortisation, expected[p].amortisation);
    EXPECT_EQ(row.withheld, expected[p].withheld);
    EXPECT_EQ(row.advance, expected[p].advance);
    EXPECT_EQ(row.income, expected[p].income);
    EXPECT_EQ(row.balance, expected[p].balance);
    EXPECT_EQ(row.interest, expected[p].interest);
  }
  EXPECT_EQ(flow.totalInterest, 190'721);
}

TEST(TenderTest, TheAdvanceIsAmortisedExactlyAndMonthsSpreadToTheCent) {
  // 100.00 over three months: 33.34, 33.33, 33.33; the advance of 30 % of
  // the sales 100.00 is 30.00, amortised 10.00 + 10.00 + the 10.00 left;
  // with sales of 33.34, 33.33, 33.33 the first two amortise 10.00 (10.002
  // and 9.999 rounded) and the last takes what is left, 10.00.
  const std::vector<PeriodCost> spread = spreadEvenly(10'000, 1, 3);
  ASSERT_EQ(spread.size(), 3u);
  EXPECT_EQ(spread[0].direct, 3'334);
  EXPECT_EQ(spread[1].direct, 3'333);
  EXPECT_EQ(spread[2].direct, 3'333);
  EXPECT_EQ(spread[0].indirect + spread[1].indirect + spread[2].indirect, 1);
  std::vector<PeriodAmounts> months;
  for (const PeriodCost& m : spread) months.push_back({m.direct, m.direct});
  Financing f = fifteenPercentWithAdvance();
  const CashFlow flow = cashFlow(f, 0, months);
  int64_t amortised = 0;
  for (const CashFlowPeriod& row : flow.periods) amortised += row.amortisation;
  EXPECT_EQ(flow.periods[0].advance, 3'000);
  EXPECT_EQ(amortised, 3'000);
  EXPECT_EQ(flow.periods[2].amortisation, 3'000 - flow.periods[0].amortisation - flow.periods[1].amortisation);
}

TEST(TenderTest, ProfitChargeAndAdditionalCharges) {
  // 10 / (1 - (0.30 + 0.10)) = 10 / 0.6 = 16.6667 %;  12 / 0.6 = 20 %.
  EXPECT_NEAR(profitCharge({10, 30, 10}), 16.666667, 1e-6);
  EXPECT_DOUBLE_EQ(profitCharge({12, 30, 10}), 20);
  EXPECT_DOUBLE_EQ(profitCharge({8, 0, 0}), 8);
  // Inspection 0.5 % + training 0.2 %: the price before them / (1 - 0.007).
  EXPECT_DOUBLE_EQ(chargesPercent(inspectionAndTraining()), 0.7);
  EXPECT_DOUBLE_EQ(chargesDivisor(inspectionAndTraining()), 0.993);
  EXPECT_DOUBLE_EQ(chargesDivisor({}), 1);
}

BuildUp publicWorks(double indicatorRate, double points) {
  BuildUp b;
  b.mode = Mode::kPublicWorks;
  b.indirects = {item("Superintendente de obra", IndirectGroup::kFeesAndSalaries, 0, 20000),
                 item("Oficina central", IndirectGroup::kOfficeExpenses, 10000, 0)};
  b.financing = fifteenPercentWithAdvance();
  b.financing.indicatorRate = indicatorRate;
  b.financing.points = points;
  b.profit = {10, 30, 10};
  b.charges = inspectionAndTraining();
  return b;
}

TEST(TenderTest, FactorIsTheProductOfItsPartsRoundedToFourDecimals) {
  // No interest: direct 300,000, indirect 30,000 -> 10 %; financing 0;
  // profit 16.6667 %; charges 0.7 %.
  //   factor = 1.10 x 1 x 1.166667 / 0.993 = 1.2923800 -> 1.2924
  BuildUpResult r;
  ASSERT_TRUE(computeBuildUp(publicWorks(0, 0), works::WorkHeader{}, 30'000'000, 3, &r));
  EXPECT_EQ(r.factor.mode, Mode::kPublicWorks);
  EXPECT_DOUBLE_EQ(r.factor.indirect, 10);
  EXPECT_DOUBLE_EQ(r.factor.financing, 0);
  EXPECT_NEAR(r.factor.profit, 16.666667, 1e-6);
  EXPECT_DOUBLE_EQ(r.factor.charges, 0.7);
  EXPECT_NEAR(r.factor.exact, 1.29238, 1e-7);
  EXPECT_EQ(r.factor.tenThousandths, 12'924);
  EXPECT_DOUBLE_EQ(r.factor.value(), 1.2924);
}

TEST(TenderTest, FinancingLoopSettlesOnTheHandSolution) {
  // Three months of 100,000 direct + 10,000 indirect; 15 % a year, advance
  // 30 %, 41 days, profit 16.6667 %, charges 0.7 %. Sales S = 330,000 (1 + f) k
  // with k = 1.166667 / 0.993; advance A = 0.3 S; each estimate's net
  // n = (S / 3)(1 - 0.3 - 0.007) = 0.231 S. At the solution the balance is
  // negative from day 45 to day 131:
  //   days 45-70 (26): 220,000 - A      days 71-74 (4):   220,000 - A - n
  //   days 75-100 (26): 330,000 - A - n  days 101-130 (30): 330,000 - A - 2n
  //   peso-days owed = 25,080,000 - 46.59 S
  //   f x 330,000 = 0.15/360 x (25,080,000 - 46.59 x 330,000 k (1 + f))
  //   f = q (76 - 46.59 k) / (1 + q 46.59 k), q = 0.15/360, k = 1.174891
  //     = 0.00885908 / 1.02280758 = 0.866155 %
  //   factor = 1.10 x 1.00866155 x 1.174891 = 1.303574 -> 1.3036
  BuildUpResult r;
  ASSERT_TRUE(computeBuildUp(publicWorks(11, 4), works::WorkHeader{}, 30'000'000, 3, &r));
  EXPECT_NEAR(r.factor.financing, 0.866155, 2e-5);
  EXPECT_EQ(r.financing.flow.periods.size(), 5u);
  EXPECT_LE(r.financing.iterations, kFinancingIterations);
  // The financing is the printed interest column over (direct + indirect).
  EXPECT_DOUBLE_EQ(r.financing.percent, static_cast<double>(r.financing.flow.totalInterest) / 33'000'000 * 100);
  EXPECT_EQ(r.factor.tenThousandths, 13'036);
  // A dearer rate costs more financing; no rate costs none.
  BuildUpResult dearer;
  ASSERT_TRUE(computeBuildUp(publicWorks(20, 4), works::WorkHeader{}, 30'000'000, 3, &dearer));
  EXPECT_GT(dearer.factor.financing, r.factor.financing);
}

TEST(TenderTest, FinancingLoopSettlesOnALongWorkAtAHighRate) {
  // Three years at 90 % a year with no advance: the balance is negative for
  // the whole work, and each turn of a plain fixed-point iteration would
  // overshoot; the bracket still holds exactly one solution.
  BuildUp b = publicWorks(86, 4);
  b.financing.advance = 0;
  b.financing.paymentDays = 90;
  BuildUpResult r;
  ASSERT_TRUE(computeBuildUp(b, works::WorkHeader{}, 30'000'000, 36, &r)) << "";
  // The price holds its own financing: the interest of the cash flow at that
  // price, over the cost, is the financing again (to the monthly cents).
  const double f = r.factor.financing / 100;
  std::vector<PeriodAmounts> months;
  for (const PeriodCost& m : spreadEvenly(30'000'000, 3'000'000, 36))
    months.push_back({m.direct + m.indirect,
                      money::cents(money::fromCents(m.direct) * 1.1 * (1 + f) * (1 + r.factor.profit / 100) / 0.993)});
  const CashFlow again = cashFlow(b.financing, 0.7, months);
  EXPECT_NEAR(static_cast<double>(again.totalInterest) / 33'000'000, f, 40.0 / 33'000'000);
  EXPECT_GT(f, 0.05);
  EXPECT_EQ(r.financing.flow.periods.size(), 40u);  // 36 months, the last paid 90 days after
  EXPECT_DOUBLE_EQ(r.financing.percent, static_cast<double>(r.financing.flow.totalInterest) / 33'000'000 * 100);
}

works::WorkHeader headerWithCharges() {
  works::WorkHeader h;
  h.centralOverhead = {"INDIRECTOS DE OFICINA CENTRAL", 5};
  h.siteOverhead = {"INDIRECTOS DE OBRA", 10};
  h.otherCharges = {"CARGOS ADICIONALES", 0};
  h.profit = {"UTILIDAD", 8};
  h.vat = {"I.V.A.", 16};
  h.statesSalaryCharges = true;
  h.secodam = 0.5;
  return h;
}

TEST(TenderTest, DirectCostModeIsTheClosingSummaryAsOneFactor) {
  // 5 + 10 + 0 + 8 = 23 % on the direct cost, then S.V.I. y C. 0.5 % on the
  // running total: 1.23 x 1.005 = 1.23615, a decimal tie -> 1.2362.
  const works::WorkHeader h = headerWithCharges();
  const Factor f = directCostFactor(h);
  EXPECT_EQ(f.mode, Mode::kDirectCost);
  EXPECT_DOUBLE_EQ(f.svic, 0.5);
  EXPECT_EQ(f.tenThousandths, 12'362);
  // The closing summary printed today on 1,000.00: its "SUMA" is 1,236.15,
  // the direct cost times the exact factor.
  for (const reports::SummaryLine& line : reports::closingSummary(h, 1000, estimate::ZoneFactors{})) {
    if (line.text == "SUMA") {
      EXPECT_DOUBLE_EQ(line.amount, 1236.15);
    }
  }
  EXPECT_NEAR(f.exact * 1000, 1236.15, 1e-9);
  // Without the salary charges stated, no S.V.I. y C.; a charge of 0 % or
  // less adds nothing, as it prints nothing.
  works::WorkHeader plain = h;
  plain.statesSalaryCharges = false;
  plain.otherCharges.percent = -3;
  EXPECT_EQ(directCostFactor(plain).tenThousandths, 12'300);
  // The build-up in mode "costo directo" is that factor.
  BuildUpResult r;
  ASSERT_TRUE(computeBuildUp(BuildUp{}, h, 100'000, 1, &r));
  EXPECT_EQ(r.factor.tenThousandths, 12'362);
}

works::BudgetRow budgetRow(int32_t account, char kind, double quantity, catalog::CostSplit perUnit) {
  works::BudgetRow r;
  r.account = account;
  r.kind = kind;
  r.quantity = quantity;
  r.perUnit = perUnit;
  return r;
}

TEST(TenderTest, SalePricesRoundedOnceAndTheProposalAddsUpAsPrinted) {
  // Factor 1.2362 (the closing summary's 23 % and 0.5 % S.V.I. y C.):
  //   row 20: 524.30 x 1.2362 = 648.13966 -> 648.14; x 12.5 = 8,101.75
  //   row 30:  13.69 x 1.2362 =  16.923578 -> 16.92; x 100  = 1,692.00
  //   subtotal 40: 8,101.75 + 1,692.00                     = 9,793.75
  //   row 60:   0.50 x 1.2362 =   0.6181  ->  0.62; x 3    =     1.86
  //   subtotal 70:                                          =     1.86
  //   total 9,795.61; VAT 16 % = 1,567.2976 -> 1,567.30; with VAT 11,362.91
  //   direct cost 6,553.75 + 1,369.00 + 1.50                = 7,924.25
  using works::row_kind::kConcept, works::row_kind::kSubtotal, works::row_kind::kTitle;
  const std::vector<works::BudgetRow> rows = {
      budgetRow(10, kTitle, 0, {}),
      budgetRow(20, kConcept, 12.5, {300, 224.30, 0, 0}),
      budgetRow(30, kConcept, 100, {0, 13.69, 0, 0}),
      budgetRow(40, kSubtotal, 0, {}),
      budgetRow(50, kTitle, 0, {}),
      budgetRow(60, kConcept, 3, {0, 0, 0.50, 0}),
      budgetRow(70, kSubtotal, 0, {}),
  };
  const Proposal p = proposal(rows, directCostFactor(headerWithCharges()), 16);
  ASSERT_EQ(p.rows.size(), rows.size());
  struct Expected {
    int64_t directUnit, saleUnit, amount;
  };
  const Expected expected[] = {
      {0, 0, 0},  {52'430, 64'814, 810'175}, {1'369, 1'692, 169'200}, {0, 0, 979'375}, {0, 0, 0}, {50, 62, 186},
      {0, 0, 186}};
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE("renglón " + std::to_string(rows[i].account));
    EXPECT_EQ(p.rows[i].account, rows[i].account);
    EXPECT_EQ(p.rows[i].kind, rows[i].kind);
    EXPECT_EQ(p.rows[i].directUnit, expected[i].directUnit);
    EXPECT_EQ(p.rows[i].saleUnit, expected[i].saleUnit);
    EXPECT_EQ(p.rows[i].amount, expected[i].amount);
  }
  EXPECT_EQ(p.directCost, 792'425);
  EXPECT_EQ(p.total, 979'561);
  EXPECT_EQ(p.vat, 156'730);
  EXPECT_EQ(p.totalWithVat, 1'136'291);

  // The loop's factor 1.3036 on the same unit costs: 524.30 -> 683.47748
  // -> 683.48; 13.69 -> 17.846284 -> 17.85; 0.50 -> 0.6518 -> 0.65.
  Factor loop;
  loop.tenThousandths = 13'036;
  EXPECT_EQ(saleUnitPrice(52'430, loop), 68'348);
  EXPECT_EQ(saleUnitPrice(1'369, loop), 1'785);
  EXPECT_EQ(saleUnitPrice(50, loop), 65);
}

TEST(TenderTest, BadValuesAreRefusedNamingTheField) {
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* field;
    void (*spoil)(BuildUp&, double, double);
  };
  const Case cases[] = {
      {"indirectos[2].obra", [](BuildUp& b, double, double) { b.indirects[1].site = -1; }},
      {"indirectos[1].oficina_central", [](BuildUp& b, double n, double) { b.indirects[0].centralOffice = n; }},
      {"indirectos[1].sueldo_mensual", [](BuildUp& b, double, double) { b.indirects[0].monthlySalary = -5000; }},
      {"financiamiento.tasa_anual", [](BuildUp& b, double, double i) { b.financing.indicatorRate = i; }},
      {"financiamiento.puntos", [](BuildUp& b, double, double) { b.financing.points = -0.5; }},
      {"financiamiento.anticipo", [](BuildUp& b, double, double) { b.financing.advance = 120; }},
      {"financiamiento.anticipo", [](BuildUp& b, double, double) { b.financing.advance = 99.5; }},  // + 0.7 % charges
      {"financiamiento.dias_pago", [](BuildUp& b, double, double) { b.financing.paymentDays = -1; }},
      {"utilidad.neta", [](BuildUp& b, double, double i) { b.profit.net = i; }},
      {"utilidad.isr", [](BuildUp& b, double, double) { b.profit.incomeTax = 60, b.profit.profitSharing = 40; }},
      {"utilidad.ptu", [](BuildUp& b, double, double) { b.profit.profitSharing = -10; }},
      {"cargos_adicionales[2].porcentaje", [](BuildUp& b, double n, double) { b.charges[1].percent = n; }},
      {"cargos_adicionales",
       [](BuildUp& b, double, double) {
         b.charges = {{"A", 60}, {"B", 40}};
       }},
  };
  ASSERT_TRUE(validateBuildUp(publicWorks(11, 4)));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    BuildUp b = publicWorks(11, 4);
    c.spoil(b, nan, inf);
    const Status s = validateBuildUp(b);
    EXPECT_EQ(s.code(), Status::Code::kInvalid);
    EXPECT_EQ(s.text().rfind(std::string(c.field) + ": ", 0), 0u) << s.text();
    // Nothing is priced from it either.
    BuildUpResult r;
    EXPECT_FALSE(computeBuildUp(b, works::WorkHeader{}, 30'000'000, 3, &r));
  }
}

TEST(TenderTest, ModeAndHeadingNamesReadBack) {
  for (Mode m : {Mode::kDirectCost, Mode::kPublicWorks}) EXPECT_EQ(modeFromName(modeName(m)), m);
  EXPECT_FALSE(modeFromName("obra publica").has_value());
  for (int g = 0; g < kIndirectGroupCount; ++g) {
    const auto group = static_cast<IndirectGroup>(g);
    EXPECT_EQ(groupFromName(groupName(group)), group);
  }
  EXPECT_STREQ(groupHeading(IndirectGroup::kInsuranceAndBonds), "SEGUROS Y FIANZAS");
  EXPECT_FALSE(groupFromName("otros").has_value());
}

}  // namespace
}  // namespace velmora::tender
