// Works and their budgets: the work header, choosing a work, work inputs,
// CALCULA, the refresh, the totals, RENUM, a row's save, import and AJU_MAT;
// crashes in the middle of the bulk rewrites.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>

#include <sqlite3.h>

#include <climits>
#include <cmath>
#include <string>

#include "fixture.h"
#include "framework/money.h"
#include "reports/analysis_reports.h"
#include "reports/budget_report.h"
#include "reports/explosion_report.h"
#include "reports/options.h"
#include "shell/installation_conf.h"
#include "tables/catalogue.h"
#include "tables/table_file.h"
#include "works/budget.h"
#include "works/work.h"

namespace velmora::works {
namespace {

using catalog::CostSplit;
using catalog::EditedLine;

// A catalogue with round prices and a work "W1" in zone 1 whose factors are
// 1.5 up to three minimum salaries (60) and 2.0 above.
class WorksTest : public velmora::testing::InstallationTest {
 protected:
  void SetUp() override {
    InstallationTest::SetUp();
    zone.zone = 1;
    zone.salMin = 60;
    zone.fsrMenor = 1.5;
    zone.fsrMayor = 2.0;
    zone.complete = true;
    inba = open("INBA");
    coba = open("COBA");
    inco = open("INCO");
    obra = open("OBRA");
    obra->rec().setText("CTA", "W1");
    obra->rec().setText("OBRA", "OBRA DE PRUEBA");
    obra->rec().setInteger("LIST", 1);
    ASSERT_TRUE(obra->insert());
    header = obra->rec();
    ASSERT_TRUE(prepareWorkDirectory(dir, "W1"));
    work = inst;
    work.workDir = workDirectory(dir, "W1");
  }
  // A line of input `account`, as the line editor hands it to a save.
  static EditedLine inputLine(int32_t account, double quantity, double price) {
    EditedLine line;
    line.account = account;
    line.quantity = quantity;
    line.price = price;
    return line;
  }
  // Work W1 as a report or command opens it.
  OpenWork opened() {
    std::optional<OpenWork> w;
    const Status s = openWork(inst, errors, "W1", &w);
    EXPECT_TRUE(s) << s.text();
    return w.value_or(OpenWork{work, workHeader(header), zone});
  }
  void input(int cta, int kind, double price, const char* text = "INSUMO") {
    inba->rec().clear();
    inba->rec().setInteger("CTA", cta);
    inba->rec().setText("TEXT", text);
    inba->rec().setInteger("TIPO", kind);
    inba->rec().setReal("COST", price, 1);
    ASSERT_TRUE(inba->insert());
  }
  void addConcept(int cta, std::vector<std::tuple<int, int, double>> lines, const std::string& longText = {}) {
    coba->rec().clear();
    coba->rec().setInteger("CTA", cta);
    coba->rec().setText("TEXT", "CONCEPTO " + std::to_string(cta));
    coba->rec().setText("TEX1", longText);
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
  // A budget row; a concept row takes the lines given.
  void row(int cta, char kind, double quantity = 0, std::vector<std::tuple<int, int, double>> lines = {}) {
    auto cobr = work.table("COBR", errors);
    auto inob = work.table("INOB", errors);
    ASSERT_TRUE(cobr->open());
    ASSERT_TRUE(inob->open());
    cobr->rec().setInteger("CTA", cta);
    cobr->rec().setText("TIPO", std::string(1, kind));
    cobr->rec().setText("TEXT", "RENGLON " + std::to_string(cta));
    cobr->rec().setReal("CANT", quantity);
    ASSERT_TRUE(cobr->insert());
    int n = 0;
    for (auto [cate, mate, qty] : lines) {
      inob->rec().clear();
      inob->rec().setInteger("CTA", cta * 100 + n++);
      inob->rec().setInteger("CATE", cate);
      inob->rec().setInteger("MATE", mate);
      inob->rec().setReal("TOTA", qty);
      ASSERT_TRUE(inob->insert());
    }
  }
  std::vector<BudgetRow> budget() {
    auto cobr = work.table("COBR", errors);
    EXPECT_TRUE(cobr->open());
    std::vector<BudgetRow> rows;
    EXPECT_TRUE(readBudget(*cobr, &rows));
    return rows;
  }
  double workInputPrice(int cta) {
    auto iobr = work.table("IOBR", errors);
    EXPECT_TRUE(iobr->open());
    iobr->rec().setInteger("CTA", cta);
    return iobr->fetch(iobr->keyIndex("CTA_KEY")).found() ? iobr->rec().real("COST") : -1;
  }
  void setWorkInputPrice(int cta, double price) {
    auto iobr = work.table("IOBR", errors);
    ASSERT_TRUE(iobr->open());
    iobr->rec().setInteger("CTA", cta);
    ASSERT_TRUE(iobr->fetch(iobr->keyIndex("CTA_KEY")).found());
    iobr->rec().setReal("COST", price);
    ASSERT_TRUE(iobr->update());
  }
  Status runCalcula() { return calcula(work, errors, workHeader(header), zone, 0); }

  estimate::ZoneFactors zone;
  tables::Installation work;
  tables::Record header{tables::tableDef("OBRA")};
  std::unique_ptr<tables::Table> inba, coba, inco, obra;
};

TEST(WorkRulesTest, SummaryAppliesEveryPercentageToTheDirectCostAndVatToTheSubtotal) {
  tables::Record obra(tables::tableDef("OBRA"));
  obra.setReal("INDO", 10);
  obra.setReal("INDC", 5);
  obra.setReal("GANA", 8);
  obra.setReal("CARI", 2);
  obra.setReal("IMPV", 16);
  const Summary s = summarize(workHeader(obra), 1000);
  EXPECT_DOUBLE_EQ(s.siteOverhead, 100);
  EXPECT_DOUBLE_EQ(s.centralOverhead, 50);
  EXPECT_DOUBLE_EQ(s.profit, 80);
  EXPECT_DOUBLE_EQ(s.otherCharges, 20);
  EXPECT_DOUBLE_EQ(s.subtotal, 1250);
  EXPECT_DOUBLE_EQ(s.vat, 200);
  EXPECT_DOUBLE_EQ(s.total, 1450);

  // The demo house: 10 % of 972,356.35 is 97,235.635, printed .64; every
  // line rounded once, the subtotal and the total the sums of the lines.
  obra.setReal("INDO", 8);
  obra.setReal("INDC", 4);
  obra.setReal("GANA", 10);
  obra.setReal("CARI", 2);
  const Summary house = summarize(workHeader(obra), 972356.3499999999);
  EXPECT_EQ(house.directCost, 972356.35);
  EXPECT_EQ(house.profit, 97235.64);
  EXPECT_EQ(house.siteOverhead, 77788.51);
  EXPECT_EQ(house.subtotal, 1205721.88);
  EXPECT_EQ(house.vat, 192915.50);
  EXPECT_EQ(house.total, 1398637.38);
  EXPECT_EQ(money::cents(house.subtotal), money::cents(house.directCost) + money::cents(house.siteOverhead) +
                                              money::cents(house.centralOverhead) + money::cents(house.profit) +
                                              money::cents(house.otherCharges));

  // Blank captions get their defaults; a work needs a name.
  fillDefaultCaptions(obra);
  EXPECT_EQ(obra.text("AOBR"), "ADMINISTRACION DE OBRA");
  EXPECT_EQ(obra.text("TIVA"), "IMPUESTO AL VALOR AGREGADO");
  obra.setText("OBRA", "   ");
  ASSERT_TRUE(workNameProblem(obra).has_value());
  EXPECT_EQ((*workNameProblem(obra))[0], "DEBE USTED DARLE UN NOMBRE");
}

TEST_F(WorksTest, ChoosingAWorkPointsItsTablesAtItsDirectoryAndSetsItsZone) {
  auto control = open("CONTROL");
  ASSERT_TRUE(estimate::addMissingZones(*control, estimate::kNewInstallationZones));
  shell::Session session;
  session.installation = inst;
  tables::Record w = header;
  w.setInteger("LIST", 3);
  ASSERT_TRUE(chooseWork(session, workHeader(w), *control));
  EXPECT_EQ(session.currentZone(), 3);
  EXPECT_TRUE(session.zone.complete);
  EXPECT_EQ(session.installation.fileOf(tables::tableDef("COBR")), dir / "W1" / "OBRA1");
  EXPECT_EQ(session.installation.fileOf(tables::tableDef("IOBR")), dir / "W1" / "OBRA2");
  EXPECT_EQ(session.installation.fileOf(tables::tableDef("INOB")), dir / "W1" / "OBRA3");
  EXPECT_EQ(session.installation.fileOf(tables::tableDef("HORA")), dir / "W1" / "OBRA5");
  EXPECT_TRUE(isWorkOpen(session));
  closeWork(session);
  EXPECT_EQ(session.currentWorkCode, "NULO");
  EXPECT_FALSE(isWorkOpen(session));
  EXPECT_EQ(session.installation.fileOf(tables::tableDef("COBR")), dir / "ARCH1");

  // A work whose directory is missing is refused and changes nothing (on a
  // server its tables need no folder).
  if (!onServer()) {
    w.setText("CTA", "SINDIR");
    EXPECT_FALSE(chooseWork(session, workHeader(w), *control));
    EXPECT_EQ(session.currentWorkCode, "NULO");
  }
  if (onServer()) {
    EXPECT_EQ(session.installation.schemaOf(tables::tableDef("COBR")), inst.serverSchema + "_sin_obra");
  }
  EXPECT_FALSE(prepareWorkDirectory(dir, "../fuera"));
}

TEST_F(WorksTest, WorkInputsTakeTheHiddenPercentagesOnlyThroughConceptPricing) {
  header.setReal("POMA", 10);
  header.setReal("POMO", 20);
  input(1, 3, 100);  // material
  input(2, 3, 100);  // fuel of a machine
  input(3, 4, 50);   // labour
  auto maba = open("MABA");
  maba->rec().setInteger("CTA", 500);
  maba->rec().setInteger("COMB", 2);
  maba->rec().setReal("CONS", 1);
  ASSERT_TRUE(maba->insert());
  row(10, 'C', 1, {{2, 500, 1}, {3, 1, 1}, {3, 2, 1}, {4, 3, 1}});
  const Status calculated = runCalcula();
  ASSERT_TRUE(calculated) << calculated.text();
  EXPECT_DOUBLE_EQ(workInputPrice(1), 110);  // first met by the concept
  EXPECT_DOUBLE_EQ(workInputPrice(2), 100);  // first met by the machine
  EXPECT_DOUBLE_EQ(workInputPrice(3), 60);
  const BudgetRow r = budget()[0];
  EXPECT_DOUBLE_EQ(r.perUnit.equipment, 100);
  EXPECT_DOUBLE_EQ(r.perUnit.materials, 210);
  EXPECT_DOUBLE_EQ(r.perUnit.labour, 90);  // 60 x 1.5

  // The work's own price moves the labour from the lower to the upper factor.
  setWorkInputPrice(3, 200);  // above 3 x 60
  ASSERT_TRUE(runCalcula());
  EXPECT_DOUBLE_EQ(budget()[0].perUnit.labour, 400);

  // "Actualiza a Ultimos Valores": copies go, an own input stays.
  {
    auto iobr = work.table("IOBR", errors);
    ASSERT_TRUE(iobr->open());
    iobr->rec().clear();
    iobr->rec().setInteger("CTA", 1000005);
    iobr->rec().setInteger("TIPO", 3);
    iobr->rec().setReal("COST", 7);
    ASSERT_TRUE(iobr->insert());
  }
  // A base price changed since: a dry run says what would change and
  // writes nothing; the run writes it, in one transaction with CALCULA.
  inba->rec().setInteger("CTA", 1);
  ASSERT_TRUE(inba->fetch(inba->keyIndex("CTA_KEY")).found());
  inba->rec().setReal("COST", 150, 1);
  ASSERT_TRUE(inba->update());
  const double directBefore = displayBudget(budget()).directCost;  // 100 + 210 + 400
  for (const bool dryRun : {true, false}) {
    SCOPED_TRACE(dryRun ? "prueba" : "de veras");
    LatestValuesReport report;
    const Status s = updateToLatestValues(work, errors, workHeader(header), zone, 0, dryRun, &report);
    ASSERT_TRUE(s) << s.text();
    ASSERT_EQ(report.changes.size(), 2u);
    EXPECT_EQ(report.changes[0].account, 1);  // 110 -> 165, with its hidden 10 %
    EXPECT_DOUBLE_EQ(report.changes[0].before.value_or(-1), 110);
    EXPECT_DOUBLE_EQ(report.changes[0].after.value_or(-1), 165);
    EXPECT_EQ(report.changes[1].account, 3);  // its own 200 back to the base's 60
    EXPECT_DOUBLE_EQ(report.changes[1].after.value_or(-1), 60);
    EXPECT_DOUBLE_EQ(report.directCostBefore, directBefore);
    EXPECT_DOUBLE_EQ(report.directCostAfter, 100 + 265 + 90);
    EXPECT_DOUBLE_EQ(workInputPrice(1), dryRun ? 110 : 165);
    EXPECT_DOUBLE_EQ(workInputPrice(3), dryRun ? 200 : 60);
    EXPECT_DOUBLE_EQ(workInputPrice(1000005), 7);  // the work's own input stays
    EXPECT_DOUBLE_EQ(budget()[0].perUnit.labour, dryRun ? 400 : 90);
  }

  // The first step alone, as the list's button did it before: copies go.
  ASSERT_TRUE(removeInputCopies(work, errors));
  EXPECT_DOUBLE_EQ(workInputPrice(1), -1);
  EXPECT_DOUBLE_EQ(workInputPrice(1000005), 7);
  ASSERT_TRUE(runCalcula());
  EXPECT_DOUBLE_EQ(workInputPrice(3), 60);  // the base again, with its hidden 20 %
  EXPECT_DOUBLE_EQ(budget()[0].perUnit.labour, 90);
}

TEST_F(WorksTest, CalculaPricesEveryRowAndWritesAmountsAndSubtotals) {
  input(1, 3, 10);
  input(2, 4, 20);                            // labour, real wage 30
  addConcept(900, {{4, 2, 1}});               // a crew: 30
  addConcept(800, {{1, 900, 2}, {3, 1, 1}});  // a basic with the crew inside: 60 + 10
  row(10, 'T');
  row(20, 'C', 2, {{3, 1, 5}});    // 50 x 2 = 100
  row(30, 'C', 1, {{1, 800, 1}});  // 70
  row(40, 'S');                    // 170
  row(50, 'S');                    // nothing above it: 0, over a stale amount
  row(60, 'T');
  row(70, 'C', 0, {{3, 1, 1}});  // quantity 0: amount 0
  row(80, 'C', 3, {{3, 1, 1}});  // 30
  row(90, 'S');                  // 30 only: the title restarted it
  {
    // An amount an earlier run left on the second subtotal.
    auto cobr = work.table("COBR", errors);
    ASSERT_TRUE(cobr->open());
    cobr->rec().setInteger("CTA", 50);
    ASSERT_TRUE(cobr->fetch(cobr->keyIndex("CTA_KEY")).found());
    cobr->rec().setReal("IMPO", 999);
    ASSERT_TRUE(cobr->update());
  }
  ASSERT_TRUE(runCalcula());
  std::vector<BudgetRow> rows = budget();
  ASSERT_EQ(rows.size(), 9u);
  EXPECT_DOUBLE_EQ(rows[1].unitPrice, 50);
  EXPECT_DOUBLE_EQ(rows[1].amount, 100);
  EXPECT_DOUBLE_EQ(rows[2].perUnit.labour, 60);  // through the nested crew
  EXPECT_DOUBLE_EQ(rows[2].perUnit.materials, 10);
  EXPECT_DOUBLE_EQ(rows[3].amount, 170);
  EXPECT_DOUBLE_EQ(rows[4].amount, 0);
  EXPECT_DOUBLE_EQ(rows[5].amount, 0);
  EXPECT_DOUBLE_EQ(rows[6].unitPrice, 10);
  EXPECT_DOUBLE_EQ(rows[6].amount, 0);
  EXPECT_DOUBLE_EQ(rows[8].amount, 30);

  // The window's display: only a title restarts the running subtotal.
  const BudgetDisplay shown = displayBudget(rows);
  EXPECT_DOUBLE_EQ(shown.rows[3].amount, 170);
  EXPECT_DOUBLE_EQ(shown.rows[4].amount, 170);
  EXPECT_DOUBLE_EQ(shown.rows[8].amount, 30);
  EXPECT_DOUBLE_EQ(shown.directCost, 200);
  const CostSplit totals = categoryTotals(rows);
  EXPECT_DOUBLE_EQ(totals.labour, 60);
  EXPECT_DOUBLE_EQ(totals.materials, 140);

  // The run keeps the register's totals current by itself.
  const auto registerTotals = [this] {
    obra->rec().clear();
    obra->rec().setText("CTA", "W1");
    EXPECT_TRUE(obra->fetch(obra->keyIndex("CTA_KEY")).found());
    return std::pair{obra->rec().real("TOBR"), obra->rec().real("TMAT")};
  };
  EXPECT_EQ(registerTotals(), std::pair(60.0, 140.0));

  // A labour price changed in the work reaches the nested crew at the next
  // run, and the register with it, before any report writes the totals.
  setWorkInputPrice(2, 40);
  ASSERT_TRUE(runCalcula());
  EXPECT_DOUBLE_EQ(budget()[2].perUnit.labour, 120);
  EXPECT_EQ(registerTotals(), std::pair(120.0, 140.0));
  ASSERT_TRUE(writeCategoryTotals(work, errors, "W1", 0));
  EXPECT_EQ(registerTotals(), std::pair(120.0, 140.0));
}

TEST_F(WorksTest, AWorkInputThatCannotBeReadIsNeitherPricedFromTheBaseNorCopiedAgain) {
  if (onServer()) GTEST_SKIP() << "another station's lock on a table file";
  input(1, 3, 10);
  row(10, 'C', 2, {{3, 1, 1}});
  ASSERT_TRUE(runCalcula());  // the work's copy of input 1, at 10
  setWorkInputPrice(1, 25);   // then the work's own price
  ASSERT_TRUE(runCalcula());
  ASSERT_DOUBLE_EQ(budget()[0].amount, 50);

  // Another station holds the work inputs' file past the lock wait.
  catalog::WorkPrices prices(work, errors, 1, 0, 0, 0);
  ASSERT_TRUE(prices.openStatus());
  prices.workInputs().setLockWait(std::chrono::milliseconds(100));
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(prices.workInputs().path().string().c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  EXPECT_FALSE(prices.inputPrice(1, true).has_value());  // not the base input's 10
  EXPECT_TRUE(prices.openStatus().is(Status::Code::kLocked)) << prices.openStatus().text();
  EXPECT_EQ(prices.pendingCopies(), 0u);
  EXPECT_FALSE(prices.saveCopies());
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);

  // Nothing was written: the work keeps its one copy at its own price.
  EXPECT_DOUBLE_EQ(workInputPrice(1), 25);
  auto iobr = work.table("IOBR", errors);
  ASSERT_TRUE(iobr->open());
  EXPECT_EQ(recordCount(*iobr), 1);
}

TEST_F(WorksTest, EveryReadOfOneRecordTellsFoundAbsentAndFailedApart) {
  if (onServer()) GTEST_SKIP() << "another station's lock on a table file";
  input(1, 3, 10);
  struct Case {
    const char* what;
    std::function<tables::Found(tables::Table&)> read;
  };
  const Case cases[] = {
      {"fetch",
       [](tables::Table& t) {
         t.rec().setInteger("CTA", 1);
         return t.fetch(t.keyIndex("CTA_KEY"));
       }},
      {"next",
       [](tables::Table& t) {
         t.setOrder(t.keyIndex("CTA_KEY"));
         return t.next();
       }},
      {"previous",
       [](tables::Table& t) {
         t.setOrder(t.keyIndex("CTA_KEY"));
         return t.previous();
       }},
      {"fetchFirstStored", [](tables::Table& t) { return t.fetchFirstStored(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto t = open("INBA");
    t->setLockWait(std::chrono::milliseconds(100));
    EXPECT_TRUE(c.read(*t).found());
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(t->path().string().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    const tables::Found locked = c.read(*t);
    EXPECT_TRUE(locked.failed());
    EXPECT_FALSE(locked.absent());
    EXPECT_TRUE(locked.failure().is(Status::Code::kLocked));
    int64_t n = 0;
    EXPECT_TRUE(t->count(&n).is(Status::Code::kLocked));
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
  }
  auto t = open("INBA");
  t->rec().setInteger("CTA", 2);
  const tables::Found none = t->fetch(t->keyIndex("CTA_KEY"));
  EXPECT_TRUE(none.absent());
  EXPECT_TRUE(none.failure().isOk());
  EXPECT_TRUE(static_cast<Status>(none).is(Status::Code::kNotFound));
}

TEST_F(WorksTest, RenumberingGivesRowsTenApartWithTheirLines) {
  input(1, 3, 1);
  row(5, 'T');
  row(7, 'C', 1, {{3, 1, 1}, {3, 1, 2}});
  row(100, 'C', 1, {{3, 1, 3}});
  ASSERT_TRUE(renumber(work, errors, 0));
  std::vector<BudgetRow> rows = budget();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].account, 10);
  EXPECT_EQ(rows[1].account, 20);
  EXPECT_EQ(rows[2].account, 30);
  auto inob = work.table("INOB", errors);
  ASSERT_TRUE(inob->open());
  std::vector<std::pair<int64_t, double>> lines;
  inob->setOrder(inob->keyIndex("CTA_KEY"));
  while (inob->next().found()) lines.push_back({inob->rec().integer("CTA"), inob->rec().real("TOTA")});
  EXPECT_EQ(lines, (std::vector<std::pair<int64_t, double>>{{2000, 1}, {2001, 2}, {3000, 3}}));
}

TEST_F(WorksTest, ARowIsSavedWithItsFiguresAndAdjustedImportedLines) {
  input(1, 3, 10);
  addConcept(400, {{3, 1, 2}, {5, 0, 10}}, std::string(600, 'X'));
  WorkPricing pricing(work, errors, workHeader(header), zone, 0);
  auto cobt = open("COBT");
  std::optional<ImportedConcept> imported;
  ASSERT_TRUE(importConcept(pricing.engine(), *cobt, 400, &imported));
  ASSERT_TRUE(imported.has_value());
  EXPECT_EQ(imported->longText.size(), 490u);  // 490 kept of 600
  std::vector<EditedLine> lines = imported->lines;
  EXPECT_DOUBLE_EQ(catalog::recomputeTotals(lines).directCost, 22);  // 20 + 10 %

  // AJU_MAT: 22 -> 44 doubles the material, the percentage stays 10 %.
  ASSERT_TRUE(adjustLines(lines, 44));
  EXPECT_DOUBLE_EQ(lines[0].quantity, 4);
  EXPECT_DOUBLE_EQ(lines[1].quantity, 10);
  EXPECT_DOUBLE_EQ(catalog::recomputeTotals(lines).directCost, 44);
  std::vector<EditedLine> none;
  EXPECT_FALSE(adjustLines(none, 10));  // a value of 0 cannot be scaled

  auto cobr = work.table("COBR", errors);
  auto inob = work.table("INOB", errors);
  ASSERT_TRUE(cobr->open());
  ASSERT_TRUE(inob->open());
  int32_t number = 0;
  ASSERT_TRUE(newRowNumber(*cobr, &number));
  cobr->rec().setInteger("CTA", number);
  cobr->rec().setText("TIPO", "C");
  cobr->rec().setReal("CANT", 3);
  cobr->rec().setText("TEX1", imported->longText);
  ASSERT_TRUE(saveBudgetRow(*cobr, true, 0, *inob, lines));
  const BudgetRow saved = budget()[0];
  EXPECT_EQ(saved.account, 10);  // 9 above the offered 1
  EXPECT_DOUBLE_EQ(saved.perUnit.materials, 40);
  EXPECT_DOUBLE_EQ(saved.perUnit.percentages, 4);
  EXPECT_DOUBLE_EQ(saved.unitPrice, 44);
  EXPECT_DOUBLE_EQ(saved.amount, 132);
  EXPECT_EQ(saved.text, std::string(50, 'X'));
  EXPECT_EQ(recordCount(*inob), 2);

  // Switched to a title, the row loses its lines and figures.
  cobr->rec().setText("TIPO", "T");
  ASSERT_TRUE(saveBudgetRow(*cobr, false, 10, *inob, lines));
  EXPECT_EQ(recordCount(*inob), 0);
  EXPECT_DOUBLE_EQ(budget()[0].amount, 0);
}

TEST_F(WorksTest, ALongBudgetReadInPagesShowsWhatItShowsReadWhole) {
  input(1, 3, 1.37);
  for (int r = 1; r <= 450; ++r) {
    const char kind = r % 37 == 0 ? 'T' : r % 11 == 0 ? 'S' : 'C';
    row(r * 10, kind, r * 0.7,
        kind == 'C' ? std::vector<std::tuple<int, int, double>>{{3, 1, r % 13 + 0.25}}
                    : std::vector<std::tuple<int, int, double>>{});
  }
  ASSERT_TRUE(runCalcula());
  const std::vector<BudgetRow> all = budget();
  const BudgetDisplay whole = displayBudget(all);
  auto cobr = work.table("COBR", errors);
  ASSERT_TRUE(cobr->open());
  double direct = -1;
  ASSERT_TRUE(budgetDirectCost(*cobr, &direct));
  EXPECT_EQ(direct, whole.directCost);  // the same sum, bit for bit
  RunningDisplay running;
  size_t seen = 0;
  std::vector<BudgetRow> page;
  for (int32_t after = INT32_MIN;; after = page.back().account) {
    ASSERT_TRUE(readBudgetPage(*cobr, after, 64, &page));
    if (page.empty()) break;
    for (const BudgetRow& r : page) {
      const ShownRow shown = running.next(r);
      EXPECT_EQ(shown.amount, whole.rows[seen].amount) << r.account;
      ++seen;
    }
  }
  EXPECT_EQ(seen, all.size());
}

// The direct cost is kept beside the budget file for the next opening; any
// committed change makes it read the rows again, uncommitted ones are never kept.
TEST_F(WorksTest, TheKeptDirectCostFollowsEveryCommittedChange) {
  input(1, 3, 2.5);
  for (int r = 1; r <= 30; ++r) row(r * 10, 'C', r, {{3, 1, 1.0}});
  ASSERT_TRUE(runCalcula());
  auto cobr = work.table("COBR", errors);
  ASSERT_TRUE(cobr->open());
  const auto fresh = [&] {
    std::filesystem::remove(cobr->path().string() + ".costo");
    double d = -1;
    EXPECT_TRUE(budgetDirectCost(*cobr, &d));
    return d;
  };
  const auto kept = [&] {
    double d = -1;
    EXPECT_TRUE(budgetDirectCost(*cobr, &d));
    return d;
  };
  const double before = fresh();
  EXPECT_EQ(std::filesystem::exists(cobr->path().string() + ".costo"), !onServer());  // a server keeps no counter
  EXPECT_EQ(kept(), before);

  // Another station changes a quantity.
  auto other = work.table("COBR", errors);
  ASSERT_TRUE(other->open());
  other->rec().setInteger("CTA", 50);
  ASSERT_TRUE(other->fetch(other->keyIndex("CTA_KEY")).found());
  other->rec().setReal("CANT", 1000);
  ASSERT_TRUE(other->update());
  const double changed = kept();
  EXPECT_NE(changed, before);
  EXPECT_EQ(changed, fresh());

  // Inside an open transaction the rows are read as they stand, and not kept.
  ASSERT_TRUE(cobr->begin());
  cobr->rec().setInteger("CTA", 60);
  ASSERT_TRUE(cobr->fetch(cobr->keyIndex("CTA_KEY")).found());
  cobr->rec().setReal("CANT", 2000);
  ASSERT_TRUE(cobr->update());
  EXPECT_NE(kept(), changed);
  cobr->rollback();
  EXPECT_EQ(kept(), changed);

  // A row saved through the row form corrects the kept figure by the row's
  // change: the next opening finds it ready for the file as it now is, and
  // it is the sum of the rows.
  auto inob = work.table("INOB", errors);
  ASSERT_TRUE(inob->open());
  cobr->rec().setInteger("CTA", 70);
  ASSERT_TRUE(cobr->fetch(cobr->keyIndex("CTA_KEY")).found());
  cobr->rec().setReal("CANT", 3.5);
  const EditedLine line = inputLine(1, 2, 10.37);
  ASSERT_TRUE(saveBudgetRow(*cobr, false, 70, *inob, {line}));
  std::ifstream keptFile(cobr->path().string() + ".costo");
  std::string firstLine;
  uint32_t counter = 0;
  std::getline(keptFile, firstLine);
  keptFile >> counter;
  if (!onServer()) {
    EXPECT_EQ(counter, tables::changeStampOf(cobr->path())->counter);
  }
  const double corrected = kept();
  EXPECT_EQ(corrected, fresh());
  EXPECT_NE(corrected, changed);
}

TEST_F(WorksTest, TwoStationsSavingTheSameRowGetTheConflictMessage) {
  input(1, 3, 10);
  row(10, 'C', 1, {{3, 1, 1}});
  auto first = work.table("COBR", errors), second = work.table("COBR", errors);
  auto inob = work.table("INOB", errors);
  for (tables::Table* t : {first.get(), second.get(), inob.get()}) ASSERT_TRUE(t->open());
  for (tables::Table* t : {first.get(), second.get()}) {
    t->rec().setInteger("CTA", 10);
    ASSERT_TRUE(t->fetch(t->keyIndex("CTA_KEY")).found());
  }
  const EditedLine line = inputLine(1, 2, 10);
  second->rec().setReal("CANT", 5);
  ASSERT_TRUE(saveBudgetRow(*second, false, 10, *inob, {line}));
  presenter.clear();
  first->rec().setReal("CANT", 7);
  auto inob2 = work.table("INOB", errors);
  ASSERT_TRUE(inob2->open());
  EXPECT_TRUE(saveBudgetRow(*first, false, 10, *inob2, {line, line}).is(Status::Code::kConflict));
  ASSERT_FALSE(presenter.shown().empty());
  EXPECT_EQ(presenter.shown().back().title, "Registro no Actualizado");  // message 8
  EXPECT_DOUBLE_EQ(first->rec().real("CANT"), 5);                        // the other station's values are shown
  EXPECT_EQ(recordCount(*inob2), 1);                                     // and its lines stay
}

// The same with two processes, as two stations are: the child saves first.
TEST_F(WorksTest, TwoProcessesSavingTheSameRowGetTheConflictMessage) {
  input(1, 3, 10);
  row(10, 'C', 1, {{3, 1, 1}});
  auto cobr = work.table("COBR", errors);
  auto inob = work.table("INOB", errors);
  ASSERT_TRUE(cobr->open());
  ASSERT_TRUE(inob->open());
  cobr->rec().setInteger("CTA", 10);
  ASSERT_TRUE(cobr->fetch(cobr->keyIndex("CTA_KEY")).found());
  const EditedLine line = inputLine(1, 2, 10);
  const pid_t child = fork();
  if (child == 0) {
    ErrorReporter own;
    own.setSilent(true);
    auto theirs = work.table("COBR", own);
    auto theirLines = work.table("INOB", own);
    bool saved = theirs->open() && theirLines->open();
    theirs->rec().setInteger("CTA", 10);
    saved = saved && theirs->fetch(theirs->keyIndex("CTA_KEY")).found();
    theirs->rec().setReal("CANT", 5);
    saved = saved && saveBudgetRow(*theirs, false, 10, *theirLines, {line});
    _exit(saved ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  cobr->rec().setReal("CANT", 7);
  EXPECT_TRUE(saveBudgetRow(*cobr, false, 10, *inob, {line, line}).is(Status::Code::kConflict));
  ASSERT_FALSE(presenter.shown().empty());
  EXPECT_EQ(presenter.shown().back().title, "Registro no Actualizado");  // message 8
  EXPECT_DOUBLE_EQ(cobr->rec().real("CANT"), 5);
  EXPECT_EQ(budget()[0].quantity, 5);
}

// CALCULA in one process while another keeps editing one row's quantity:
// each run either finishes on one state of the work or gives way (conflict
// or lock) with nothing written; the stored figures never mix two states.
TEST_F(WorksTest, CalculaSeesEachRowBeforeOrAfterAnotherStationsEdit) {
  input(1, 3, 10);
  for (int r = 1; r <= 40; ++r) row(r * 10, 'C', 1, {{3, 1, 1}});
  ASSERT_TRUE(runCalcula());
  const pid_t child = fork();
  if (child == 0) {
    ErrorReporter own;
    own.setSilent(true);
    auto theirs = work.table("COBR", own);
    if (!theirs->open()) _exit(1);
    for (int k = 2; k <= 30; ++k) {
      theirs->rec().setInteger("CTA", 150);
      if (theirs->fetch(theirs->keyIndex("CTA_KEY")).found()) {
        theirs->rec().setReal("CANT", k);
        (void)theirs->update();  // a lock or a conflict with CALCULA is fine: the next edit comes
      }
      usleep(3000);
    }
    _exit(0);
  }
  ErrorReporter quiet;
  quiet.setSilent(true);
  for (int run = 0; run < 6; ++run) {
    const Status s = calcula(work, quiet, workHeader(header), zone, 0);
    EXPECT_TRUE(s || s.is(Status::Code::kConflict) || s.is(Status::Code::kLocked)) << s.text();
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  // Every amount is its quantity at some moment times the unit price (10):
  // the edited row shows one of the quantities written, the others theirs.
  for (const BudgetRow& r : budget()) {
    const double units = r.amount / 10;
    if (r.account != 150) EXPECT_DOUBLE_EQ(units, 1) << r.account;
    else EXPECT_TRUE(units == std::floor(units) && units >= 1 && units <= 30) << units;
  }
  ASSERT_TRUE(runCalcula());
  EXPECT_DOUBLE_EQ(budget()[14].amount, 300);  // the last edit, priced
}

// Every text of every page of a report, one a line, in layout order.
std::string reportTexts(reports::Spool& spool) {
  std::string out;
  for (size_t i = 0; i < spool.count(); ++i) {
    const auto page = spool.read(i);
    for (const reports::TextItem& t : page->texts) out += t.text + "\n";
  }
  return out;
}

size_t occurrences(const std::string& haystack, const std::string& needle) {
  size_t n = 0;
  for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) ++n;
  return n;
}

TEST(ClosingSummaryTest, PercentagesOnTheDirectCostAndTheTaxOnTheRunningTotal) {
  tables::Record obra(tables::tableDef("OBRA"));
  fillDefaultCaptions(obra);
  obra.setReal("INDC", 5);
  obra.setReal("INDO", 10);
  obra.setReal("CARI", 2);
  obra.setReal("GANA", 8);
  obra.setReal("IMPV", 16);
  std::vector<std::pair<std::string, double>> lines;
  for (const auto& l : reports::closingSummary(workHeader(obra), 1000, {})) lines.push_back({l.text, l.amount});
  EXPECT_EQ(lines, (std::vector<std::pair<std::string, double>>{{"5.00% ADMINISTRACION CENTRAL", 50},
                                                                {"10.00% ADMINISTRACION DE OBRA", 100},
                                                                {"2.00% CARGOS INDIRECTOS", 20},
                                                                {"8.00% UTILIDAD", 80},
                                                                {"SUMA", 1250},
                                                                {"16.00% IMPUESTO AL VALOR AGREGADO", 200},
                                                                {"IMPORTE TOTAL", 1450}}));
  // Public works: S.A.R. and INFONAVIT stated, SECODAM on the running total.
  tables::Record zone(tables::tableDef("CONTROL"));
  zone.setReal("ISAR", 2);
  zone.setReal("IINF", 5);
  obra.setText("ISAR", "D");
  obra.setReal("SECO", 0.5);
  obra.setReal("IMPV", 0);
  const auto withSar = reports::closingSummary(workHeader(obra), 1000, estimate::zoneFactors(zone));
  ASSERT_EQ(withSar.size(), 8u);
  EXPECT_EQ(withSar[4].text, "2.00% CARGO POR S.A.R.");
  EXPECT_EQ(withSar[5].text, "5.00% CARGO POR INFONAVIT");
  EXPECT_DOUBLE_EQ(withSar[6].amount, 1250 * 0.005);
  EXPECT_DOUBLE_EQ(withSar[7].amount, 1250 * 1.005);
}

TEST_F(WorksTest, TheBudgetReportPrintsSharesWordsSectionsAndTheSummary) {
  input(1, 3, 1);
  row(1, 'T');
  row(2, 'C', 100, {{3, 1, 1}});  // 100
  row(3, 'C', 50, {{3, 1, 1}});   // 50
  row(4, 'S');
  row(5, 'T');
  row(6, 'C', 0.04, {{3, 1, 1}});  // 0.04: 0.004 % of the direct cost
  row(7, 'C', 849.96, {{3, 1, 1}});
  row(8, 'S');
  ASSERT_TRUE(runCalcula());
  ASSERT_TRUE(writeCategoryTotals(work, errors, "W1", 0));
  obra->rec().setText("CTA", "W1");
  ASSERT_TRUE(obra->fetch(obra->keyIndex("CTA_KEY")).found());
  obra->rec().setReal("GANA", 10);
  ASSERT_TRUE(obra->update());
  const auto run = [&](reports::ReportOptions options, const reports::BudgetReportContext& context) {
    reports::Spool spool;
    EXPECT_TRUE(reports::layOutBudgetReport(reports::BudgetReportKind::kPresentation, opened(), errors, options,
                                            context, spool));
    EXPECT_TRUE(spool.numberPages(true));
    return reportTexts(spool);
  };
  reports::BudgetReportContext context{"CONSTRUCTORA", 1};
  ASSERT_TRUE(shell::readAmountWording(inst, &context.wording));  // no settings file: the system's own words
  const std::string all = run({}, context);
  EXPECT_NE(all.find(" CIEN PESOS 00/100. M.N.)"), std::string::npos);  // under the first concept
  EXPECT_NE(all.find(" CINCUENTA PESOS 00/100. M.N.)"), std::string::npos);
  EXPECT_NE(all.find(" OCHO CIENTOS CUARENTA Y NUEVE PESOS 96/100. M.N.)"), std::string::npos);

  // The installation's setting gives the bids' legal wording, accents and all.
  std::filesystem::create_directories(shell::confFile(inst).parent_path());
  std::ofstream(shell::confFile(inst)) << "[ImporteConLetra]\nPresupuestos=legal\n";
  reports::BudgetReportContext legal{"CONSTRUCTORA", 1};
  ASSERT_TRUE(shell::readAmountWording(inst, &legal.wording));
  const std::string legalWords = run({}, legal);
  EXPECT_NE(legalWords.find("(CIEN PESOS 00/100 M.N.)"), std::string::npos);
  EXPECT_NE(legalWords.find("(OCHOCIENTOS CUARENTA Y NUEVE PESOS 96/100 M.N.)"), std::string::npos);
  EXPECT_NE(legalWords.find("(CERO PESOS 04/100 M.N.)"), std::string::npos);
  EXPECT_EQ(occurrences(legalWords, "/100. M.N.)"), 0u);
  // A value that is not one of those allowed is refused, naming the key.
  std::ofstream(shell::confFile(inst)) << "[ImporteConLetra]\nPresupuestos=legal\nAcentos=quizas\n";
  shell::AmountWording unchanged;
  const Status bad = shell::readAmountWording(inst, &unchanged);
  EXPECT_TRUE(bad.is(Status::Code::kInvalid));
  EXPECT_NE(bad.text().find("[ImporteConLetra] Acentos debe ser"), std::string::npos) << bad.text();
  EXPECT_FALSE(unchanged.legalInBudgets);
  std::ofstream(shell::confFile(inst)) << "[ImporteConLetra]\nPresupuestos=Legal\nAcentos=NO\n";
  ASSERT_TRUE(shell::readAmountWording(inst, &unchanged));
  EXPECT_TRUE(unchanged.legalInBudgets);
  EXPECT_TRUE(unchanged.accentsDropped);
  EXPECT_NE(all.find("150.00\n15.00\n"), std::string::npos);       // the subtotal and its share of 1,000
  EXPECT_NE(all.find("0.04\n1.00\n0.04\n\n"), std::string::npos);  // 0.004 % prints blank
  EXPECT_EQ(occurrences(all, "IMPORTE TOTAL"), 2u);                // after the budget and after the sections
  EXPECT_EQ(occurrences(all, "PARTIDAS DE OBRA"), 1u);
  EXPECT_NE(all.find("10.00% UTILIDAD\n100.00"), std::string::npos);
  EXPECT_EQ(occurrences(all, "S.A.R."), 0u);  // not a public work

  reports::ReportOptions noSummary;
  noSummary.closingSummary = 'N';
  noSummary.firstAccount = 2;
  noSummary.lastAccount = 3;
  const std::string some = run(noSummary, context);
  EXPECT_EQ(occurrences(some, "IMPORTE TOTAL"), 0u);
  EXPECT_NE(some.find("COSTO DIRECTO:"), std::string::npos);
  EXPECT_EQ(occurrences(some, "RENGLON 6"), 0u);  // outside rows 2 to 3
  EXPECT_EQ(occurrences(some, " PESOS "), 2u);

  // A work whose direct cost is 0: the shares stay blank, never a division by 0.
  ASSERT_TRUE(obra->fetch(obra->keyIndex("CTA_KEY")).found());
  for (const char* f : {"TOBR", "TMAT", "TCOS", "TPOR"}) obra->rec().setReal(f, 0);
  ASSERT_TRUE(obra->update());
  const std::string zero = run({}, context);
  EXPECT_EQ(zero.find("inf"), std::string::npos);
  EXPECT_EQ(zero.find("nan"), std::string::npos);
}

TEST_F(WorksTest, TheConceptsConcentratedPrintThePieceworkAndTheFourParts) {
  EXPECT_DOUBLE_EQ(reports::piecework(100, 2, 250), 73.05);
  EXPECT_DOUBLE_EQ(reports::piecework(100, 0, 250), 0);  // blank, never a division by 0
  input(1, 3, 10);
  input(2, 4, 20);
  row(1, 'T');
  row(2, 'C', 3, {{3, 1, 1}, {4, 2, 1}});
  ASSERT_TRUE(runCalcula());
  reports::ReportOptions options;
  options.fullDescription = 'N';
  reports::Spool spool;
  ASSERT_TRUE(reports::layOutBudgetReport(reports::BudgetReportKind::kConcentrated, opened(), errors, options,
                                          {"CONSTRUCTORA", 1}, spool));
  const std::string texts = reportTexts(spool);
  EXPECT_NE(texts.find("CONCEPTOS DE LA OBRA: OBRA DE PRUEBA"), std::string::npos);
  EXPECT_NE(texts.find("RENGLON 2\n"), std::string::npos);                // the short description with "N"
  EXPECT_NE(texts.find("30.00\n10.00\n\n\n40.00\n"), std::string::npos);  // labour 20 x 1.5, material 10
  EXPECT_NE(texts.find("RENGLON 1\n"), std::string::npos);                // a title prints its text
}

TEST_F(WorksTest, TheExplosionMultipliesDownTheLevelsCreatesMissingInputsAndStoresTheHours) {
  input(1, 3, 10);
  input(2, 3, 20);  // fuel
  auto maba = open("MABA");
  maba->rec().setInteger("CTA", 500);
  maba->rec().setText("TEXT", "REVOLVEDORA");
  maba->rec().setInteger("COMB", 2);
  maba->rec().setReal("CONS", 1);
  ASSERT_TRUE(maba->insert());
  addConcept(800, {{3, 1, 2}});  // a basic: 2 of input 1
  row(10, 'C', 3, {{1, 800, 5}, {2, 500, 0.5}});
  const auto texts = [&](reports::ReportOptions options) {
    reports::Spool spool;
    EXPECT_TRUE(reports::layOutExplosion(opened(), errors, options, "CIA", 1, spool));
    return reportTexts(spool);
  };
  reports::ReportOptions range;
  range.firstAccount = range.lastAccount = 10;
  const std::string some = texts(range);
  EXPECT_NE(some.find("INSUMO\n\n30.00\n10.00\n300.00\n"), std::string::npos);  // 5 x 2 x 3
  EXPECT_DOUBLE_EQ(workInputPrice(1), 10);                                      // created in the work from the base
  auto hora = work.table("HORA", errors);
  ASSERT_TRUE(hora->open());
  EXPECT_EQ(recordCount(*hora), 0);  // only a run over the whole work stores the hours
  texts({});
  hora->rec().setInteger("CTA", 500);
  ASSERT_TRUE(hora->fetch(hora->keyIndex("CTA_KEY")).found());
  EXPECT_DOUBLE_EQ(hora->rec().real("CANT"), 1.5);
  EXPECT_DOUBLE_EQ(hora->rec().real("PREC"), 20);
  texts({});  // a second run writes over the same record
  EXPECT_EQ(recordCount(*hora), 1);
}

// The work's machine reports list what its explosion found, priced with the
// work's own inputs; before any explosion they say what to do first.
TEST_F(WorksTest, TheWorkMachineReportsFollowItsExplosion) {
  input(2, 3, 20);  // fuel
  auto maba = open("MABA");
  maba->rec().setInteger("CTA", 500);
  maba->rec().setText("TEXT", "REVOLVEDORA");
  maba->rec().setInteger("COMB", 2);
  maba->rec().setReal("CONS", 1.5);
  ASSERT_TRUE(maba->insert());
  row(10, 'C', 3, {{2, 500, 0.5}});
  const OpenWork w1 = opened();
  reports::AnalysisReportScope scope{&w1, false, 1, "CIA", 1};
  const auto texts = [&](bool concentrated) {
    scope.concentrated = concentrated;
    reports::Spool spool;
    const Status s = reports::layOutMachineSheets(work, errors, scope, {}, spool);
    return s ? reportTexts(spool) : "error: " + s.text();
  };
  const std::string none = texts(false);
  if (!std::filesystem::exists(work.table("HORA", errors)->path())) {
    EXPECT_NE(none.find("explosión"), std::string::npos);
  }
  reports::Spool explosion;
  ASSERT_TRUE(reports::layOutExplosion(opened(), errors, {}, "CIA", 1, explosion));
  const std::string sheets = texts(false);
  EXPECT_NE(sheets.find("REVOLVEDORA"), std::string::npos);
  EXPECT_NE(sheets.find("(24) COMBUSTIBLE (10)x(11)\n30.00\n"), std::string::npos);  // 20 x 1.5
  EXPECT_NE(sheets.find("IMPORTE TOTAL"), std::string::npos);  // each sheet closes with the summary
  const std::string list = texts(true);
  EXPECT_NE(list.find("500\nREVOLVEDORA"), std::string::npos);
}

// A process killed in the middle of CALCULA or RENUM leaves the work as it
// was; the next run gives the figures of an uninterrupted one.
TEST_F(WorksTest, AKilledRecalculationOrRenumberingLeavesTheWorkWhole) {
  input(1, 3, 10);
  for (int r = 1; r <= 40; ++r) row(r * 7, 'C', r, {{3, 1, static_cast<double>(r)}});
  const auto killedDuring = [&](const std::function<Status(const Progress&)>& run) {
    const pid_t pid = fork();
    if (pid == 0) {
      ErrorReporter childErrors;
      childErrors.setSilent(true);
      (void)run([](size_t done, size_t, const std::string&) {
        if (done == 25) ::kill(::getpid(), SIGKILL);
        return true;
      });
      _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
  };
  ASSERT_TRUE(killedDuring([&](const Progress& p) { return calcula(work, errors, workHeader(header), zone, 0, p); }));
  for (const BudgetRow& r : budget()) EXPECT_DOUBLE_EQ(r.amount, 0) << r.account;
  if (!onServer()) {
    EXPECT_EQ(tables::integrityCheck(work.workDir / "OBRA1"), "ok");
  }
  ASSERT_TRUE(runCalcula());
  for (const BudgetRow& r : budget()) EXPECT_DOUBLE_EQ(r.amount, 10.0 * (r.account / 7) * (r.account / 7)) << r.account;

  ASSERT_TRUE(killedDuring([&](const Progress& p) { return renumber(work, errors, 0, p); }));
  EXPECT_EQ(budget()[1].account, 14);  // nothing renumbered
  ASSERT_TRUE(renumber(work, errors, 0));
  EXPECT_EQ(budget()[1].account, 20);
  EXPECT_EQ(recordCount(*open("COBA")), 0);
}

}  // namespace
}  // namespace velmora::works

namespace velmora::works {
namespace {

// The explosion makes a missing work input by CALCULA's rule, so running it
// first does not change what the work costs.
TEST_F(WorksTest, AnExplosionBeforeCalculaGivesTheSameCost) {
  header.setReal("POMA", 10);  // a hidden percentage on materials
  input(1, 3, 10);
  row(10, 'C', 3, {{3, 1, 2}});
  ASSERT_TRUE(runCalcula());
  const double alone = budget()[0].amount;
  auto iobr = work.table("IOBR", errors);
  ASSERT_TRUE(iobr->open());
  iobr->rec().setInteger("CTA", 1);
  ASSERT_TRUE(iobr->fetch(iobr->keyIndex("CTA_KEY")).found());
  ASSERT_TRUE(iobr->remove());
  iobr->close();
  obra->rec().setText("CTA", "W1");
  ASSERT_TRUE(obra->fetch(obra->keyIndex("CTA_KEY")).found());
  obra->rec().setReal("POMA", 10);
  ASSERT_TRUE(obra->update());
  reports::Spool spool;
  ASSERT_TRUE(reports::layOutExplosion(opened(), errors, {}, "CIA", 1, spool));
  EXPECT_DOUBLE_EQ(workInputPrice(1), 11);
  ASSERT_TRUE(runCalcula());
  EXPECT_DOUBLE_EQ(budget()[0].amount, alone);
  EXPECT_DOUBLE_EQ(alone, 66);
}

// A figure that is not finite stops CALCULA with nothing written, and the
// reports refuse it naming the row.
TEST_F(WorksTest, ANonFiniteFigureIsNeverCommittedNorPrinted) {
  input(1, 3, 10);
  row(10, 'C', 3, {{3, 1, 2}});
  row(20, 'C', 1, {{3, 1, 1}});
  ASSERT_TRUE(runCalcula());
  const auto before = budget();
  for (double price : {HUGE_VAL, -HUGE_VAL, std::nan("")}) {
    auto iobr = work.table("IOBR", errors);
    ASSERT_TRUE(iobr->open());
    iobr->rec().setInteger("CTA", 1);
    ASSERT_TRUE(iobr->fetch(iobr->keyIndex("CTA_KEY")).found());
    iobr->rec().setReal("COST", price);
    EXPECT_FALSE(iobr->update()) << price;  // the table layer never stores one
  }
  // Stored anyway by another program: CALCULA refuses, naming the row.
  runOnStorage(work.workDir / "OBRA2", "UPDATE IOBR SET COST = 9e999 WHERE CTA = 1",
               "UPDATE " + serverTable(work, "IOBR") + " SET \"COST\" = 'Infinity' WHERE \"CTA\" = 1");
  const Status s = runCalcula();
  EXPECT_FALSE(s);
  EXPECT_NE(s.text().find("renglón 10"), std::string::npos) << s.text();
  const auto after = budget();
  ASSERT_EQ(after.size(), before.size());
  for (size_t i = 0; i < after.size(); ++i) EXPECT_EQ(after[i].amount, before[i].amount);

  runOnStorage(work.workDir / "OBRA1", "UPDATE COBR SET IMPO = 9e999 WHERE CTA = 20",
               "UPDATE " + serverTable(work, "COBR") + " SET \"IMPO\" = 'Infinity' WHERE \"CTA\" = 20");
  reports::Spool spool;
  const Status report =
      reports::layOutBudgetReport(reports::BudgetReportKind::kPresentation, opened(), errors, {}, {}, spool);
  EXPECT_FALSE(report);
  EXPECT_NE(report.text().find("renglón 20"), std::string::npos) << report.text();
}

// A budget whose rows or lines are gone is an error, never a budget of 0;
// the work inputs alone are made again.
TEST_F(WorksTest, CalculaRefusesAWorkWithoutItsRowsOrLines) {
  input(1, 3, 10);
  row(10, 'C', 3, {{3, 1, 2}});
  ASSERT_TRUE(runCalcula());
  const auto dropTable = [&](const char* file, const char* label) {
    if (onServer()) runOnStorage({}, {}, "DROP TABLE " + serverTable(work, label));
    else std::filesystem::rename(work.workDir / file, dir / (std::string(file) + ".aparte"));
  };
  dropTable("OBRA2", "IOBR");
  ASSERT_TRUE(runCalcula());
  EXPECT_DOUBLE_EQ(budget()[0].amount, 60);
  dropTable("OBRA3", "INOB");
  const Status s = runCalcula();
  EXPECT_FALSE(s);
  EXPECT_NE(s.text().find("OBRA3"), std::string::npos) << s.text();
  bool held = true;
  EXPECT_TRUE(work.holdsTable(tables::tableDef("INOB"), &held));
  EXPECT_FALSE(held);
  EXPECT_DOUBLE_EQ(budget()[0].amount, 60);
}

}  // namespace
}  // namespace velmora::works
