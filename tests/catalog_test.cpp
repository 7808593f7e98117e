// The base catalogue rules and the unit-price engine.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "app/demo_data.h"
#include "catalog/analysis.h"
#include "catalog/generic_keys.h"
#include "catalog/inputs.h"
#include "catalog/pricing.h"
#include "fixture.h"
#include "framework/dates.h"
#include "framework/money.h"
#include "framework/picture.h"
#include "framework/text.h"
#include "reports/analysis_reports.h"
#include "reports/catalogue_reports.h"
#include "tables/catalogue.h"
#include "tables/relations.h"

namespace velmora::catalog {
namespace {

TEST(MoneyTest, RoundsHalfAwayFromZeroOnlyWhereAsked) {
  EXPECT_EQ(money::round2(1.004), 1.00);
  EXPECT_EQ(money::round2(1.005), 1.01);  // held as 1.00499999... in binary
  EXPECT_EQ(money::round2(-0.125), -0.13);
  EXPECT_EQ(money::round2(2.675), 2.68);
  EXPECT_EQ(money::round2(1234567.895), 1234567.90);
  const HourlyCost parts = roundedHourlyCost({1.004, 2.004, 3.004, 1.004 + 2.004 + 3.004});
  EXPECT_EQ(parts.consumptions, 1.00);
  EXPECT_EQ(parts.operation, 2.00);
  EXPECT_EQ(parts.fixed, 3.00);
  EXPECT_EQ(parts.total, 6.01);  // the rounded sum, not the sum of the rounded parts
}

TEST(MoneyTest, RoundsTheDecimalTheDoubleStandsFor) {
  struct Case {
    double value, rounded;
  };
  for (const Case& c : std::vector<Case>{{10000000.01 * 0.4999, 4999000.00},  // 4,999,000.004999: not a tie
                                         {4999000.005, 4999000.01},
                                         {0.005, 0.01},
                                         {0.0049999, 0.00},
                                         {-1.005, -1.01},
                                         {123456789012.345, 123456789012.35},
                                         {1e-9, 0.0},
                                         {7.0, 7.0}}) {
    EXPECT_EQ(money::round2(c.value), c.rounded) << c.value;
  }
  EXPECT_EQ(money::cents(3 * 207.44), 62232);
  EXPECT_EQ(money::cents(-0.015), -2);
}

TEST(MoneyTest, PrintedFiguresTakeTheShortcutOnlyWhereItRoundsAlike) {
  // Ties, near-ties, signs that round to zero, the edges of the shortcut and
  // a spread of ordinary figures: every one prints as the digits rule says.
  std::vector<double> values = {
      8322353.125,  4999000.005,   0.005,         -0.005, -0.001,           -1.005, 0.125, 2.675,
      1.0000049999, 999999999.994, 999999999.996, 1e9,    123456789012.345, 0,      -0.0,  972356.3499999999,
      97235.635,    0.1 + 0.2,     1e-9,          7};
  std::mt19937_64 random(17);
  std::uniform_real_distribution<double> mantissa(-1, 1);
  for (int i = 0; i < 20000; ++i) values.push_back(mantissa(random) * std::pow(10.0, static_cast<int>(i % 12) - 3));
  for (int i = 0; i < 2000; ++i) values.push_back(static_cast<double>(random() % 100000000) / 1000 + 0.0005);
  for (double v : values) {
    for (int decimals = 0; decimals <= 7; ++decimals) {
      ASSERT_EQ(text::formatFixed(v, decimals), text::formatFixedByDigits(v, decimals)) << v << " " << decimals;
    }
  }
}

// One rule for a price wherever it comes in; a file's price outside it also
// refuses negatives and the ceiling, which it names instead of the number.
TEST(MoneyTest, APriceIsFiniteNotMinusZeroAndZeroOrAtLeastAHundredthOfACent) {
  struct Case {
    double price;
    const char* problem;  // "" when it is a price
    const char* outside;  // what a file's price says
  };
  const Case cases[] = {
      {0.0, "", ""},
      {0.0001, "", ""},
      {12.5, "", ""},
      {1e9, "", ""},
      {-3.0, "", "precio negativo"},
      {-0.0, "cero con signo negativo", "cero con signo negativo"},
      {0.00009999, "centésima de centavo", "centésima de centavo"},
      {-0.00005, "centésima de centavo", "centésima de centavo"},
      {4e-320, "centésima de centavo", "centésima de centavo"},  // subnormal
      {std::nextafter(0.0, 1.0), "centésima de centavo", "centésima de centavo"},
      {INFINITY, "no finito", "no finito"},
      {NAN, "no finito", "no finito"},
      {1e308, "", "precio desmedido (mayor que 1000000000.00)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.price);
    const std::string problem = money::priceProblem(c.price);
    if (*c.problem) EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
    else EXPECT_EQ(problem, "");
    const std::string outside = outsidePriceProblem(c.price);
    if (*c.outside) EXPECT_NE(outside.find(c.outside), std::string::npos) << outside;
    else EXPECT_EQ(outside, "");
    EXPECT_LT(outside.size(), 80u);  // never the 309 digits of the number
  }
}

TEST(WageStudyTest, EveryTermOfTheRealWageAndAFixedFactor) {
  tables::Record zone(tables::tableDef("CONTROL"));
  zone.setInteger("CTA", 1);
  zone.setReal("SUEL", 60);
  zone.setReal("VACA", 1.5);
  zone.setReal("GRAT", 15);
  zone.setReal("DHAB", 365);
  zone.setReal("PIMS", 10);  // 10 % of the paid days' wage
  zone.setReal("EXPA", 5);   // and 5 % more above three minimum salaries
  zone.setReal("IISN", 2);
  const estimate::WageStudy low = estimate::wageStudy(100, zone);
  EXPECT_DOUBLE_EQ(low.annual, 36500);
  EXPECT_DOUBLE_EQ(low.bonus, 1500);
  EXPECT_DOUBLE_EQ(low.vacationBonus, 150);
  EXPECT_DOUBLE_EQ(low.imss, 38150 * 0.10);
  EXPECT_DOUBLE_EQ(low.payrollTax, 38150 * 0.02);
  EXPECT_DOUBLE_EQ(low.sum, 38150 * 1.12);
  EXPECT_NEAR(low.realWage, low.sum / 365, 1e-9);  // the sum over the working days
  EXPECT_NEAR(low.factor, 381.5 * 1.12 / 365, 1e-12);
  const estimate::WageStudy high = estimate::wageStudy(200, zone);  // above 3 x 60
  EXPECT_DOUBLE_EQ(high.imss, 76300 * (0.10 + 0.05));
  zone.setReal("MAXI", 2.5);  // a fixed factor for the upper band
  EXPECT_DOUBLE_EQ(estimate::wageStudy(200, zone).realWage, 500);
  EXPECT_DOUBLE_EQ(estimate::wageStudy(200, zone).factor, 2.5);
}

TEST(MoneyTest, ALabourPriceOfExactlyThreeMinimumSalariesTakesTheLowerFactor) {
  estimate::ZoneFactors zone;
  zone.salMin = 207.44;
  zone.fsrMenor = 1.5;
  zone.fsrMayor = 2.0;
  EXPECT_DOUBLE_EQ(estimate::realWage(622.32, estimate::kLabourKind, zone), 622.32 * 1.5);
  EXPECT_DOUBLE_EQ(estimate::realWage(622.33, estimate::kLabourKind, zone), 622.33 * 2.0);
  EXPECT_DOUBLE_EQ(estimate::realWage(622.33, 3, zone), 622.33);  // materials never take a factor
}

// A small catalogue with round factors: FSR 1.5 up to 3 minimum salaries
// (100), 2.0 above.
class EngineTest : public velmora::testing::InstallationTest {
 protected:
  void SetUp() override {
    InstallationTest::SetUp();
    zone.zone = 1;
    zone.salMin = 100;
    zone.fsrMenor = 1.5;
    zone.fsrMayor = 2.0;
    zone.complete = true;
    inba = open("INBA");
    coba = open("COBA");
    inco = open("INCO");
    maba = open("MABA");
  }
  void input(int cta, int kind, double price, const char* text = "INSUMO") {
    inba->rec().clear();
    inba->rec().setInteger("CTA", cta);
    inba->rec().setText("TEXT", text);
    inba->rec().setInteger("TIPO", kind);
    inba->rec().setReal("COST", price, 1);
    ASSERT_TRUE(inba->insert());
  }
  void addConcept(int cta, std::vector<std::tuple<int, int, double>> lines) {
    coba->rec().clear();
    coba->rec().setInteger("CTA", cta);
    coba->rec().setText("TEXT", "CONCEPTO " + std::to_string(cta));
    ASSERT_TRUE(coba->insert());
    int n = 0;
    for (auto [cate, mate, qty] : lines) {
      inco->rec().clear();
      inco->rec().setInteger("CTA", cta * 100 + n++);
      inco->rec().setInteger("CATE", cate);
      inco->rec().setInteger("MATE", mate);
      inco->rec().setReal("TOTA", qty);
      ASSERT_TRUE(inco->insert());
    }
  }
  CostSplit price(int cta) {
    BasePrices prices(inst, errors, 1);
    PricingEngine engine(inst, errors, prices, zone, rates);
    return engine.priceConcept(cta);
  }
  estimate::ZoneFactors zone;
  MachineRates rates{10, 250};
  std::unique_ptr<tables::Table> inba, coba, inco, maba;
  // The texts of concept `cta`'s analysis report, upright or landscape, each
  // followed by "|".
  std::string analysisTexts(int cta, bool horizontal) {
    reports::ReportOptions options;
    options.firstAccount = options.lastAccount = cta;
    reports::Spool spool;
    EXPECT_TRUE(reports::layOutConceptAnalyses(inst, errors, {nullptr, horizontal, 1, "CIA", 1}, options, spool));
    std::string out;
    for (size_t i = 0; i < spool.count(); ++i) {
      const auto page = spool.read(i);
      for (const auto& t : page->texts) out += t.text + "|";
    }
    return out;
  }
};

TEST_F(EngineTest, InputKindsDecideTheSumAndPercentagesApplyToTheSumsSoFar) {
  input(1, 3, 10);      // material
  input(2, 4, 100);     // labour: real wage 150
  input(3, 4, 300);     // exactly 3 x SAL_MIN: 450
  input(4, 4, 300.01);  // above: 600.02
  input(5, 5, 999);     // % of materials: the price is ignored
  input(6, 6, 0);       // % of labour
  addConcept(10, {{3, 1, 2}, {3, 5, 10}, {3, 1, 1}, {4, 2, 1}, {4, 6, 10}, {5, 0, 50}});
  const CostSplit c = price(10);
  EXPECT_DOUBLE_EQ(c.materials, 30);
  EXPECT_DOUBLE_EQ(c.labour, 150);
  // 10 % of materials when 20 had been summed, 10 % of labour 150, then 50 % of 30.
  EXPECT_DOUBLE_EQ(c.percentages, 2 + 15 + 15);
  addConcept(11, {{4, 3, 1}, {4, 4, 1}});
  EXPECT_DOUBLE_EQ(price(11).labour, 450 + 600.02);
  // A quantity of 0 or a missing input adds nothing.
  addConcept(12, {{3, 1, 0}, {3, 99, 5}, {3, 1, 1}});
  EXPECT_DOUBLE_EQ(price(12).materials, 10);
}

TEST_F(EngineTest, NestedBasicsKeepLabourAsLabourAndRoundPerLevel) {
  input(1, 3, 1.005);                          // material
  input(2, 4, 10);                             // labour, real wage 15
  addConcept(100, {{3, 1, 1}, {4, 2, 1}});     // mortar: 1.01 (rounded), 15
  addConcept(200, {{1, 100, 2}, {3, 1, 1}});   // concrete: 2 mortars + material
  addConcept(300, {{1, 200, 3}, {6, 0, 10}});  // wall
  const CostSplit wall = price(300);
  // Level 3 (mortar) rounds 1.005 to 1.01; level 2 adds 2 x 1.01 + 1.005 -> 3.03 (rounded 3.025).
  EXPECT_DOUBLE_EQ(wall.labour, 3 * 2 * 15);
  EXPECT_DOUBLE_EQ(wall.materials, money::round2(3 * 3.03));
  EXPECT_DOUBLE_EQ(wall.percentages, 9);
  EXPECT_DOUBLE_EQ(wall.equipment, 0);
}

TEST_F(EngineTest, ABasicThatContainsItselfStopsAtLevelTen) {
  input(1, 3, 1);
  addConcept(500, {{3, 1, 1}, {1, 500, 1}});
  addConcept(501, {{1, 500, 1}});
  // Levels 2 to 10 each add 1: nine levels of the basic under the concept.
  EXPECT_DOUBLE_EQ(price(501).materials, 9);
  EXPECT_DOUBLE_EQ(price(500).materials, 10);
}

TEST_F(EngineTest, ABasicPricedTwiceInOneRunGivesTheSameAsPricedAlone) {
  input(1, 3, 3.333);
  input(2, 4, 7.777);
  addConcept(100, {{3, 1, 1.5}, {4, 2, 0.3}});
  addConcept(200, {{1, 100, 0.7}, {1, 100, 1.3}});
  addConcept(300, {{1, 200, 1}, {1, 100, 2}});
  addConcept(400, {{1, 400, 2}, {1, 100, 1}});  // a cut result cached by level
  addConcept(401, {{1, 400, 1}, {1, 300, 1}});
  BasePrices prices(inst, errors, 1);
  PricingEngine shared(inst, errors, prices, zone, rates);
  for (int cta : {100, 200, 300, 400, 401, 300, 200}) {
    const CostSplit once = price(cta);  // a fresh engine each time
    const CostSplit again = shared.priceConcept(cta);
    EXPECT_EQ(once.labour, again.labour) << cta;
    EXPECT_EQ(once.materials, again.materials) << cta;
    EXPECT_EQ(once.percentages, again.percentages) << cta;
  }
}

TEST_F(EngineTest, TheLevelTenCutHoldsWhateverWasPricedBeforeInTheRun) {
  input(1, 3, 1);
  // A chain of eleven basics 1001 .. 1011, each adding 1.00 and containing the next.
  for (int b = 1011; b >= 1001; --b) {
    if (b == 1011) addConcept(b, {{3, 1, 1}});
    else addConcept(b, {{3, 1, 1}, {1, b + 1, 1}});
  }
  // A cycle met at different depths: 2001 <-> 2002, entered from 2003 at level 2 and from 2004 at level 5.
  addConcept(2001, {{3, 1, 1}, {1, 2002, 1}});
  addConcept(2002, {{3, 1, 2}, {1, 2001, 1}});
  addConcept(2003, {{1, 2001, 1}});
  addConcept(2004, {{1, 1008, 1}, {1, 1001, 1}});
  EXPECT_DOUBLE_EQ(price(1001).materials, 10);
  const std::vector<int> orders[] = {
      {1011, 1006, 1003, 1001, 2003, 2001, 2004}, {1001, 1006, 2004, 2001, 2003}, {2004, 2003, 2002, 2001, 1005, 1001}};
  for (const auto& order : orders) {
    BasePrices prices(inst, errors, 1);
    PricingEngine shared(inst, errors, prices, zone, rates);
    for (int cta : order) {
      EXPECT_EQ(shared.priceConcept(cta).materials, price(cta).materials) << cta;
    }
  }
  EXPECT_DOUBLE_EQ(price(1006).materials, 6);      // 1006 .. 1011 all within ten levels
  EXPECT_DOUBLE_EQ(price(2004).materials, 4 + 9);  // 1008..1011 at levels 2..5; 1001..1009 at 2..10
}

TEST_F(EngineTest, ARepeatedLineNumberIsPassedOverAndTheWalkGoesOn) {
  input(1, 3, 1);
  input(2, 3, 100);
  addConcept(30, {{3, 1, 1}, {3, 1, 2}});
  for (auto [number, mate] : {std::pair{3001, 2}, std::pair{3002, 1}}) {  // a second .01, then .02
    inco->rec().clear();
    inco->rec().setInteger("CTA", number);
    inco->rec().setInteger("CATE", 3);
    inco->rec().setInteger("MATE", mate);
    inco->rec().setReal("TOTA", 4);
    ASSERT_TRUE(inco->insert());
  }
  EXPECT_DOUBLE_EQ(price(30).materials, 1 + 2 + 4);  // .00, the first .01, .02
}

TEST_F(EngineTest, MachineRatesComeFromTheFirstZoneStored) {
  auto control = open("CONTROL");
  for (auto [cta, porc] : {std::pair{2, 18.0}, std::pair{1, 12.0}}) {
    control->rec().clear();
    control->rec().setInteger("CTA", cta);
    control->rec().setReal("PORC", porc);
    control->rec().setReal("DHAB", 300 - cta);
    ASSERT_TRUE(control->insert());
  }
  MachineRates r;
  ASSERT_TRUE(firstZoneRates(*control, &r));
  EXPECT_DOUBLE_EQ(r.interest, 18);
  EXPECT_DOUBLE_EQ(r.workingDays, 298);
}

TEST_F(EngineTest, TheTopLevelReadsLinesUntilTheFirstGap) {
  input(1, 3, 10);
  addConcept(20, {{3, 1, 1}, {3, 1, 1}});
  inco->rec().clear();
  inco->rec().setInteger("CTA", 2003);  // .03 after a gap at .02
  inco->rec().setInteger("CATE", 3);
  inco->rec().setInteger("MATE", 1);
  inco->rec().setReal("TOTA", 5);
  ASSERT_TRUE(inco->insert());
  EXPECT_DOUBLE_EQ(price(20).materials, 20);
}

TEST_F(EngineTest, AnAnalysisIsSavedWholeOrNotAtAll) {
  input(1, 3, 10);
  EditedLine line;
  line.account = 1;
  line.quantity = 2;
  // Account 10,000,000 has no room for line numbers (DECIMAL(9,2)): the line
  // is refused, and the concept written before it in the same save goes too.
  coba->rec().clear();
  coba->rec().setInteger("CTA", 10000000);
  coba->rec().setText("TEXT", "SIN LUGAR PARA LINEAS");
  EXPECT_FALSE(saveAnalysis(*coba, true, 0, *inco, {line}));
  EXPECT_EQ(recordCount(*coba), 0);
  EXPECT_EQ(coba->rec().text("TEXT"), "SIN LUGAR PARA LINEAS");  // what was typed stays
  coba->rec().setInteger("CTA", 77);
  ASSERT_TRUE(saveAnalysis(*coba, true, 0, *inco, {line, line}));
  EXPECT_EQ(recordCount(*coba), 1);
  EXPECT_EQ(recordCount(*inco), 2);
  EXPECT_DOUBLE_EQ(price(77).materials, 40);
  // The lines' file stays attached to the concepts' connection; deleting the
  // concept through the relations then works on the same attachment.
  tables::RelationManager relations(inst, errors);
  ASSERT_TRUE(relations.remove(*coba));
  EXPECT_EQ(recordCount(*coba), 0);
  auto lines = open("INCO");
  EXPECT_EQ(recordCount(*lines), 0);
}

TEST_F(EngineTest, TheInputCatalogueKeepsTheDateRangeTheKeyAndTheOrder) {
  const struct {
    int cta;
    const char* text;
    const char* gene;
    int month;
  } rows[] = {{1, "ZINC", "MAT", 2},
              {2, "ARENA, FINA", "MAT", 3},
              {3, "CAL", "MAT", 3},
              {4, "PEON", "MOB", 3},
              {5, "YESO", "MAT", 4}};
  for (const auto& r : rows) {
    inba->rec().clear();
    inba->rec().setInteger("CTA", r.cta);
    inba->rec().setText("TEXT", r.text);
    inba->rec().setText("GENE", r.gene);
    inba->rec().setInteger("TIPO", 3);
    inba->rec().setReal("COST", 10.5, 2);
    inba->rec().setInteger("FECH", dates::dayNumber(2026, r.month, 15), 2);
    ASSERT_TRUE(inba->insert());
  }
  reports::ReportOptions options;
  options.firstDate = dates::dayNumber(2026, 3, 1);
  options.lastDate = dates::dayNumber(2026, 3, 31);
  options.genericKey = "MAT";
  options.order = 'A';
  reports::CatalogueReportContext context{"CIA", 1, 2, "ZONA DOS"};
  reports::Spool spool;
  ASSERT_TRUE(reports::layOutInputCatalogue(inst, errors, options, context, spool));
  std::string texts;
  const auto page = spool.read(0);
  for (const auto& t : page->texts) texts += t.text + "|";
  // March only, key MAT only, alphabetical; commas print as blanks.
  EXPECT_NE(texts.find("ARENA  FINA|"), std::string::npos);
  EXPECT_LT(texts.find("ARENA  FINA|"), texts.find("CAL|"));
  EXPECT_EQ(texts.find("ZINC"), std::string::npos);
  EXPECT_EQ(texts.find("YESO"), std::string::npos);
  EXPECT_EQ(texts.find("PEON"), std::string::npos);
  EXPECT_NE(texts.find("15/03/2026|10.50|"), std::string::npos);
}

TEST_F(EngineTest, AConceptAnalysisGroupsItsLinesByKindAndPricesPercentagesOnItsParts) {
  input(1, 3, 10);   // material
  input(2, 4, 100);  // labour (no zone stored here: factor 1)
  addConcept(60, {{3, 1, 2}, {4, 2, 1}, {5, 0, 3}});
  const auto texts = [&](bool horizontal) { return analysisTexts(60, horizontal); };
  const std::string vertical = texts(false);
  EXPECT_LT(vertical.find("INSUMOS|"), vertical.find("MANO DE OBRA|"));
  EXPECT_LT(vertical.find("MANO DE OBRA|"), vertical.find("% SOBRE MATERIALES|"));
  // 3 % of the concept's materials part (20): price 20.00, amount 0.60.
  EXPECT_NE(vertical.find("3.0000|20.00|0.60|"), std::string::npos);
  EXPECT_NE(vertical.find("COSTO DIRECTO:|120.60|"), std::string::npos);
  const std::string horizontal = texts(true);
  // The labour line goes to "M/OBRA", the material to "MATERIAL".
  EXPECT_NE(horizontal.find("1.0000||100.00|||100.00|100.00|"), std::string::npos);
  EXPECT_NE(horizontal.find("COSTO DIRECTO:|20.00|100.00||0.60|120.60|"), std::string::npos);
}

// A printed analysis adds up to the cent, part by part, to the unit price
// the pricing gives (the four parts each rounded once). Worked by hand where
// rounding bites: amounts at a half cent, percentage lines, a basic spread
// over two parts. Quantities in eighths keep every product exact in binary,
// so each tie is a real one.
TEST_F(EngineTest, APrintedAnalysisAddsUpToItsUnitPrice) {
  input(1, 3, 1);                              // material A
  input(2, 3, 3);                              // material B
  input(3, 4, 2);                              // labour: real wage 3 (factor 1.5)
  addConcept(74, {{3, 1, 0.5}, {4, 3, 0.5}});  // a basic: materials 0.50, labour 1.50, price 2.00
  struct Case {
    int account;
    std::vector<std::tuple<int, int, double>> lines;
    std::vector<double> prices, amounts;  // in category order
    double labour, materials, percentages;
    const char* why;
  };
  const Case cases[] = {
      {70,
       {{3, 1, 0.125}, {3, 1, 0.125}, {3, 1, 0.125}},
       {1, 1, 1},
       {0.12, 0.13, 0.13},
       0,
       0.38,
       0,
       "three lines of 0.125: rounded they make 0.39, their sum 0.375 rounds to 0.38; the first line gives the cent"},
      {71,
       {{3, 2, 0.125}, {3, 2, 0.125}, {3, 2, 0.125}},
       {3, 3, 3},
       {0.37, 0.38, 0.38},
       0,
       1.13,
       0,
       "three lines of 0.375: 1.14 rounded, 1.125 makes 1.13"},
      {72,
       {{3, 1, 0.125}, {3, 1, 0.125}, {4, 3, 1}, {5, 0, 50}, {6, 0, 12.5}},
       {1, 1, 3, 0.25, 3},
       {0.12, 0.13, 3.00, 0.12, 0.38},
       3,
       0.25,
       0.50,
       "50 % of 0.25 (0.125) and 12.5 % of 3 (0.375): the percentages part is 0.50, not 0.51"},
      {73,
       {{1, 74, 0.0625}, {1, 74, 0.0625}},
       {2, 2},
       {0.13, 0.12},
       0.19,
       0.06,
       0,
       "a basic twice: labour 0.09375 a line makes 0.19, materials 0.03125 a line 0.06"},
      {75,
       {{3, 1, 0.125}, {3, 2, 0.5}},
       {1, 3},
       {0.13, 1.50},
       0,
       1.63,
       0,
       "nothing to give: 0.13 + 1.50 is 1.625 rounded"},
  };
  BasePrices prices(inst, errors, 1);
  PricingEngine engine(inst, errors, prices, zone, rates);
  for (const Case& c : cases) {
    addConcept(c.account, c.lines);
    PrintedAnalysis a;
    ASSERT_TRUE(printedAnalysis(engine, engine.catalogueLines(c.account), c.account, std::nullopt, &a)) << c.why;
    ASSERT_EQ(a.lines.size(), c.amounts.size()) << c.why;
    int64_t sum = 0, columns[4] = {};
    for (size_t i = 0; i < a.lines.size(); ++i) {
      EXPECT_EQ(a.lines[i].price, money::cents(c.prices[i])) << c.why << ", line " << i;
      EXPECT_EQ(a.lines[i].amount, money::cents(c.amounts[i])) << c.why << ", line " << i;
      int64_t split = 0;
      for (int k = 0; k < 4; ++k) {
        split += a.lines[i].split[k];
        columns[k] += a.lines[i].split[k];
      }
      EXPECT_EQ(split, a.lines[i].amount) << c.why << ", line " << i;
      sum += a.lines[i].amount;
    }
    // The head's parts are the pricing's, and the lines add up to each.
    const CostSplit priced = engine.priceConcept(c.account);
    EXPECT_EQ(a.parts[0], money::cents(c.labour)) << c.why;
    EXPECT_EQ(a.parts[1], money::cents(c.materials)) << c.why;
    EXPECT_EQ(a.parts[3], money::cents(c.percentages)) << c.why;
    EXPECT_EQ(a.directCost(), money::cents(priced.unitPrice())) << c.why;
    EXPECT_EQ(sum, a.directCost()) << c.why;
    for (int k = 0; k < 4; ++k) EXPECT_EQ(columns[k], a.parts[k]) << c.why << ", part " << k;
  }

  // A budget row's stored parts are the target: within what rounding can
  // explain they are met; beyond it (stale figures) the analysis is refused.
  PrintedAnalysis stored;
  ASSERT_TRUE(printedAnalysis(engine, engine.catalogueLines(70), 70, CostSplit{0, 0.37, 0, 0}, &stored));
  EXPECT_EQ(stored.lines[0].amount + stored.lines[1].amount + stored.lines[2].amount, 37);
  const Status stale = printedAnalysis(engine, engine.catalogueLines(70), 70, CostSplit{0, 5, 0, 0}, &stored);
  EXPECT_TRUE(stale.is(Status::Code::kInvalid));
  EXPECT_NE(stale.text().find("recalcule la obra"), std::string::npos) << stale.text();
}

// The analysis report prints those figures: each kind's subtotal the sum of
// its lines, the direct cost their sum, and across the page the columns.
TEST_F(EngineTest, TheAnalysisReportAddsUpAsPrinted) {
  input(1, 3, 1);
  input(3, 4, 3);  // labour (no zone stored here: factor 1)
  addConcept(72, {{3, 1, 0.125}, {3, 1, 0.125}, {4, 3, 1}, {5, 0, 50}, {6, 0, 12.5}});
  const auto texts = [&](bool horizontal) { return analysisTexts(72, horizontal); };
  const std::string vertical = texts(false);
  EXPECT_NE(vertical.find("MANO DE OBRA:|3.00|MATERIALES:|0.25|COSTOS HORARIOS:|0.00|PORCENTAJES:|0.50|"),
            std::string::npos)
      << vertical;
  EXPECT_NE(vertical.find("0.1250|1.00|0.12|"), std::string::npos) << vertical;
  EXPECT_NE(vertical.find("0.1250|1.00|0.13|0.25|MANO DE OBRA|"), std::string::npos) << vertical;
  EXPECT_NE(vertical.find("1.0000|3.00|3.00|3.00|% SOBRE MATERIALES|"), std::string::npos) << vertical;
  EXPECT_NE(vertical.find("50.0000|0.25|0.12|0.12|% SOBRE MANO DE OBRA|"), std::string::npos) << vertical;
  EXPECT_NE(vertical.find("12.5000|3.00|0.38|0.38|"), std::string::npos) << vertical;
  EXPECT_NE(vertical.find("COSTO DIRECTO:|3.75|"), std::string::npos) << vertical;
  const std::string horizontal = texts(true);
  EXPECT_NE(horizontal.find("COSTO DIRECTO:|0.25|3.00||0.50|3.75|"), std::string::npos) << horizontal;
}

class MachineTest : public EngineTest {
 protected:
  void machine(int cta, std::function<void(tables::Record&)> fill) {
    maba->rec().clear();
    maba->rec().setInteger("CTA", cta);
    maba->rec().setText("TEXT", "MAQUINA");
    fill(maba->rec());
    ASSERT_TRUE(maba->insert());
  }
};

TEST_F(MachineTest, HourlyCostTermByTerm) {
  input(1, 3, 100000);                                               // the machine
  input(2, 3, 1000);                                                 // one tyre
  input(3, 3, 20);                                                   // fuel
  input(4, 3, 50);                                                   // lubricant
  input(5, 4, 100);                                                  // operator: real wage 150
  input(6, 6, 0);                                                    // % of labour
  addConcept(900, {{4, 5, 1}, {4, 6, 10}, {1, 900, 1}, {2, 7, 1}});  // crew: only lines 3 and 4 count
  machine(7, [](tables::Record& m) {
    m.setReal("EQUI", 1);
    m.setInteger("NEUM", 2);
    m.setInteger("NNEU", 4);
    m.setReal("FINA", 10);
    m.setInteger("HORV", 9000);
    m.setInteger("HORL", 2000);
    m.setReal("CACE", 10);
    m.setReal("SEGU", 2);
    m.setReal("FACT", 0.5);
    m.setInteger("HACE", 100);
    m.setReal("COLU", 0.02);
    m.setInteger("ACEI", 4);
    m.setInteger("ANUA", 2000);
    m.setInteger("SUEL", 900);
    m.setInteger("COMB", 3);
    m.setReal("CONS", 5);
  });
  BasePrices prices(inst, errors, 1);
  PricingEngine engine(inst, errors, prices, zone, rates);
  EXPECT_DOUBLE_EQ(engine.crewCost(900), 150 + 15);
  const HourlyCost c = engine.hourlyCost(7);
  const double vm = 100000 - 4000, vr = vm * 0.1, d = (vm - vr) / 9000;
  const double fixed = d + (vm + vr) * 10.0 / 100 / 4000 + 0.02 * (vm + vr) / 4000 + d * 0.5;
  const double consumptions = 20 * 5 + (10.0 / 100 * 50 + 50 * 0.02) + 4000.0 / 2000;
  const double operation = 165 / (2000.0 / 250);
  EXPECT_DOUBLE_EQ(c.fixed, money::round2(fixed));
  EXPECT_DOUBLE_EQ(c.consumptions, money::round2(consumptions));
  EXPECT_DOUBLE_EQ(c.operation, money::round2(operation));
  EXPECT_DOUBLE_EQ(c.total, money::round2(fixed + consumptions + operation));

  // A machine line of a concept takes the hourly cost as equipment.
  addConcept(30, {{2, 7, 2}});
  EXPECT_DOUBLE_EQ(price(30).equipment, money::round2(2 * c.total));
}

TEST_F(MachineTest, NoLifeNoHoursAndNoTyresHaveDefinedResults) {
  input(1, 3, 50000);
  input(4, 4, 100);
  addConcept(900, {{4, 4, 1}});
  machine(8, [](tables::Record& m) {
    m.setReal("EQUI", 1);
    m.setInteger("HORV", 0);  // no depreciation, so no maintenance
    m.setReal("FACT", 0.8);
    m.setInteger("ANUA", 0);  // no investment, insurance or operation
    m.setReal("SEGU", 3);
    m.setInteger("SUEL", 900);
  });
  BasePrices prices(inst, errors, 1);
  PricingEngine engine(inst, errors, prices, zone, rates);
  const HourlyCost c = engine.hourlyCost(8);
  EXPECT_EQ(c.fixed, 0);
  EXPECT_EQ(c.operation, 0);
  EXPECT_EQ(c.total, 0);
  EXPECT_EQ(engine.hourlyCost(99).total, 0);  // a missing machine

  // With no working days the operation cost is 0 too.
  Machine m;
  m.yearHours = 1000;
  EXPECT_EQ(hourlyCostTerms(m, {0, 0, 500, 0, 0}, {10, 0}).operation, 0);
  EXPECT_DOUBLE_EQ(hourlyCostTerms(m, {0, 0, 500, 0, 0}, {10, 250}).operation, 125);
}

TEST_F(EngineTest, WorkPricesCopyBaseInputsWithTheHiddenPercentagesOnFirstUse) {
  input(1, 3, 100);
  input(2, 4, 100);
  std::filesystem::create_directories(dir / "OBRA1");
  inst.workDir = dir / "OBRA1";
  WorkPrices work(inst, errors, 1, 20, 10, 0);
  EXPECT_DOUBLE_EQ(work.inputPrice(1, true)->price, 110);
  EXPECT_DOUBLE_EQ(work.inputPrice(2, true)->price, 120);
  EXPECT_EQ(recordCount(*open("IOBR")), 0);  // nothing written by a read
  ASSERT_TRUE(work.saveCopies());
  WorkPrices again(inst, errors, 1, 20, 10, 0);
  EXPECT_DOUBLE_EQ(again.inputPrice(1, false)->price, 110);  // the copy stays
  input(3, 3, 100);
  EXPECT_DOUBLE_EQ(again.inputPrice(3, false)->price, 100);  // first used by a machine
  ASSERT_TRUE(again.saveCopies());
  auto iobr = open("IOBR");
  EXPECT_EQ(recordCount(*iobr), 3);
  EXPECT_FALSE(again.inputPrice(77, true).has_value());
}

TEST_F(EngineTest, InputFormRules) {
  tables::Record r(tables::tableDef("INBA"));
  const int32_t day1 = dates::dayNumber(2026, 1, 5), day2 = dates::dayNumber(2026, 12, 10);
  for (int z = 1; z <= 5; ++z) acceptZonePrice(r, z, 10.0 * z, day1);
  acceptZonePrice(r, 2, 25, day2);
  acceptZonePrice(r, 3, 30, day2);  // unchanged: keeps its date
  for (int z = 1; z <= 5; ++z) EXPECT_EQ(r.integer("FECH", z), z == 2 ? day2 : day1) << z;

  r.setInteger("TIPO", 5);
  clearPercentageKinds(r);
  for (int z = 1; z <= 5; ++z) {
    EXPECT_EQ(r.real("COST", z), 0);
    EXPECT_EQ(r.integer("FECH", z), 0);
  }
}

TEST_F(EngineTest, WordFilterIsCaseSensitiveOnEitherLine) {
  inba->rec().setInteger("CTA", 1);
  inba->rec().setText("TEXT", "MURO DE CONCRETO");
  inba->rec().setText("TEX1", "CON BLOCK HUECO");
  ASSERT_TRUE(inba->insert());
  inba->rec().clear();
  inba->rec().setInteger("CTA", 2);
  inba->rec().setText("TEXT", "block de jardin");
  ASSERT_TRUE(inba->insert());
  const auto count = [this](const char* word) {
    EXPECT_TRUE(inba->setFilter(wordFilter(word)));
    return recordCount(*inba);
  };
  EXPECT_EQ(count("BLOCK"), 1);
  EXPECT_EQ(count("block"), 1);
  EXPECT_EQ(count("Block"), 0);
  EXPECT_EQ(count(""), 2);
  EXPECT_EQ(count("CONCRETO  "), 1);  // trailing blanks removed
}

TEST_F(EngineTest, GenericKeysAreCheckedByType) {
  auto clag = open("CLAG");
  clag->rec().setText("CTA", "MAT");
  clag->rec().setText("TIPO", "I");
  ASSERT_TRUE(clag->insert());
  EXPECT_TRUE(genericKeyExists(*clag, "I", "MAT").found());
  EXPECT_TRUE(genericKeyExists(*clag, "C", "MAT").absent());
  EXPECT_TRUE(genericKeyExists(*clag, "C", "   ").found());
  // A key is saved only with a code and one of the three types.
  for (auto [code, type, ok] : {std::tuple{"MAT", "C", true}, std::tuple{"", "I", false}, std::tuple{"MAQ", "", false},
                                std::tuple{"MAQ", "X", false}}) {
    clag->rec().clear();
    clag->rec().setText("CTA", code);
    clag->rec().setText("TIPO", type);
    EXPECT_EQ(!genericKeyProblem(clag->rec()), ok) << code << "/" << type;
  }
}

TEST_F(EngineTest, FormLinesTotalsAndSavingInCategoryOrder) {
  input(1, 3, 10);
  input(2, 4, 100);
  addConcept(100, {{3, 1, 1}, {4, 2, 1}});
  BasePrices prices(inst, errors, 1);
  PricingEngine engine(inst, errors, prices, zone, rates);
  std::vector<EditedLine> lines;
  lines.push_back(*completeLine(engine, 'I', 0, 10, category::kPercentOfMaterials));
  lines.push_back(*completeLine(engine, 'I', 1, 2));
  lines.push_back(*completeLine(engine, 'I', 2, 1));  // labour entered as an input line: category 3
  lines.push_back(*completeLine(engine, 'B', 100, 2));
  EXPECT_FALSE(completeLine(engine, 'C', 55, 1).has_value());
  const FormTotals t = recomputeTotals(lines);
  ASSERT_EQ(lines[0].category, category::kBasic);
  EXPECT_EQ(lines.back().category, category::kPercentOfMaterials);
  EXPECT_DOUBLE_EQ(lines[0].amount, 2 * 160);
  EXPECT_DOUBLE_EQ(t.sums.labour, 2 * 150 + 150);
  EXPECT_DOUBLE_EQ(t.sums.materials, 2 * 10 + 20);
  EXPECT_DOUBLE_EQ(lines.back().amount, 4);  // 10 % of all the materials before it
  EXPECT_DOUBLE_EQ(t.directCost, 320 + 20 + 150 + 4);

  ASSERT_TRUE(saveLines(*inco, 200, lines));
  PricingEngine fresh(inst, errors, prices, zone, rates);
  const auto& stored = fresh.catalogueLines(200);
  ASSERT_EQ(stored.size(), 4u);
  EXPECT_EQ(stored[0].number, 20000);
  EXPECT_EQ(stored[0].category, category::kBasic);
  EXPECT_EQ(stored[3].number, 20003);
  // Saving again with fewer lines leaves none of the old ones behind.
  lines.pop_back();
  ASSERT_TRUE(saveLines(*inco, 200, lines));
  PricingEngine again(inst, errors, prices, zone, rates);
  EXPECT_EQ(again.catalogueLines(200).size(), 3u);
  lines.resize(kMaxLines + 1, lines[0]);
  EXPECT_FALSE(saveLines(*inco, 200, lines));
}

// Figures worked out apart from the engine, from the rules, by
// tests/oracle/price_demo_catalogue.py on the demo catalogue (zone 1):
// account, labour, materials, equipment, percentages.
struct Expected {
  int account;
  double labour, materials, equipment, percentages;
};
constexpr Expected kDemoZone1[] = {
    {800, 884.28, 1780.52, 274.57, 17.69},   {801, 1263.25, 1924.05, 703.67, 63.16},
    {802, 1389.58, 2148.94, 703.67, 69.48},  {803, 292.63, 89.94, 0.00, 13.28},
    {804, 10973.79, 29663.20, 0.00, 329.21}, {805, 231.44, 173.54, 15.83, 10.21},
    {806, 884.28, 1782.20, 274.57, 17.69},   {900, 922.72, 0.00, 0.00, 0.00},
    {901, 2526.50, 0.00, 0.00, 50.53},       {902, 2438.62, 0.00, 0.00, 0.00},
    {903, 2438.62, 0.00, 0.00, 0.00},        {904, 2196.95, 0.00, 0.00, 0.00},
    {905, 1537.87, 0.00, 0.00, 0.00},        {906, 1779.53, 0.00, 0.00, 0.00},
    {907, 1779.53, 0.00, 0.00, 0.00},        {1001, 50.53, 1.62, 0.00, 2.53},
    {1002, 46.14, 0.00, 84.00, 0.00},        {1003, 0.00, 0.00, 61.75, 0.00},
    {1004, 415.22, 0.00, 0.00, 12.46},       {1005, 322.95, 7.56, 0.00, 9.69},
    {1006, 164.22, 96.20, 35.18, 10.11},     {1007, 4190.85, 4173.09, 724.78, 148.20},
    {1008, 684.63, 608.42, 59.11, 24.45},    {1009, 327.70, 216.20, 22.52, 11.18},
    {1010, 265.91, 233.96, 4.12, 20.31},     {1011, 329.71, 275.07, 8.24, 24.74},
    {1012, 357.76, 173.54, 15.83, 12.74},    {1013, 394.33, 225.84, 21.11, 13.55},
    {1014, 905.30, 552.89, 88.48, 30.79},    {1015, 309.50, 163.54, 59.81, 18.70},
    {1016, 219.81, 35.64, 5.49, 10.99},      {1017, 124.57, 41.66, 0.00, 3.74},
    {1018, 53.39, 26.60, 0.00, 1.60},        {1019, 252.65, 253.96, 0.00, 17.75},
    {1020, 53.39, 104.83, 0.00, 1.60},       {1021, 410.56, 172.17, 59.81, 23.75},
    {1022, 757.95, 319.20, 0.00, 31.12},     {1023, 2119.73, 610.72, 46.17, 44.29},
    {1024, 80.22, 8.90, 1.37, 1.60},         {1025, 103.71, 5.35, 0.82, 5.19},
    {1026, 230.68, 0.00, 0.00, 0.00},        {1027, 879.58, 724.79, 62.13, 31.49},
    {1028, 255.95, 246.18, 0.00, 14.39},     {1029, 2129.29, 1556.78, 288.85, 76.93},
    {1030, 998.87, 894.60, 72.08, 34.84},
};

class DemoCatalogueTest : public velmora::testing::InstallationTest {};

TEST_F(DemoCatalogueTest, AMachineSheetDerivesTheHourlyCostThePricingUses) {
  ASSERT_TRUE(app::createDemoInstallation(inst, errors));
  auto control = open("CONTROL");
  BasePrices prices(inst, errors, 1);
  estimate::ZoneFactors zone;
  ASSERT_TRUE(estimate::loadZoneFactors(*control, 1, &zone));
  MachineRates rates;
  ASSERT_TRUE(firstZoneRates(*control, &rates));
  PricingEngine engine(inst, errors, prices, zone, rates);
  reports::ReportOptions options;
  options.firstAccount = options.lastAccount = 501;
  reports::Spool spool;
  ASSERT_TRUE(reports::layOutMachineSheets(inst, errors, {nullptr, false, 1, "CIA", 1}, options, spool));
  std::string texts;
  const auto page = spool.read(0);
  for (const auto& t : page->texts) texts += t.text + "|";
  const HourlyCost cost = engine.hourlyCost(501);
  EXPECT_NE(texts.find("COSTO DIRECTO:|" + picture::formatNumber(cost.total, "n14.2") + "|"), std::string::npos);
  EXPECT_NE(texts.find("SUELDO (27)/((9)/(19))|" + picture::formatNumber(cost.operation, "n14.2") + "|"),
            std::string::npos);
  EXPECT_NE(texts.find("(20) DEPRECIACION ((6)-(8))/(5)|"), std::string::npos);
}

TEST_F(DemoCatalogueTest, EveryConceptMatchesTheIndependentFigures) {
  ASSERT_TRUE(app::createDemoInstallation(inst, errors));
  auto control = open("CONTROL");
  estimate::ZoneFactors zone;
  ASSERT_TRUE(estimate::loadZoneFactors(*control, 1, &zone));
  MachineRates rates;
  ASSERT_TRUE(firstZoneRates(*control, &rates));
  BasePrices prices(inst, errors, 1);
  PricingEngine engine(inst, errors, prices, zone, rates);
  auto coba = open("COBA");
  EXPECT_EQ(recordCount(*coba), static_cast<int64_t>(std::size(kDemoZone1)));
  for (const Expected& e : kDemoZone1) {
    const CostSplit c = engine.priceConcept(e.account);
    EXPECT_NEAR(c.labour, e.labour, 1e-9) << e.account;
    EXPECT_NEAR(c.materials, e.materials, 1e-9) << e.account;
    EXPECT_NEAR(c.equipment, e.equipment, 1e-9) << e.account;
    EXPECT_NEAR(c.percentages, e.percentages, 1e-9) << e.account;
  }
}

}  // namespace
}  // namespace velmora::catalog
