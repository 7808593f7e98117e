// The works screens, headless on the demo installation: the budget window,
// the works register and form, the row form and the totals window.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractItemModelTester>
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include "app/demo_data.h"
#include "framework/dates.h"
#include "framework/picture.h"
#include "ui/reports/report_menus.h"
#include "ui/works/budget_window.h"
#include "ui/works/work_concept_form.h"
#include "ui/works/works_screens.h"
#include "ui_fixture.h"
#include "works/work.h"

namespace velmora::ui {
namespace {

class WorksScreensTest : public velmora::testing::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    ASSERT_TRUE(app::createDemoInstallation(inst, errors));
    control = open("CONTROL");
    ASSERT_TRUE(estimate::readZoneNames(*control, &session.zoneNames));
    session.today = dates::dayNumber(2026, 12, 10);
    obra = open("OBRA");
  }
  works::WorkHeader work(const char* code) {
    works::WorkHeader header;
    EXPECT_TRUE(works::readWorkHeader(*obra, code, &header));
    return header;
  }
  // The budget window of `house`, chosen as the open work, shown.
  BudgetWindow* showBudget(const works::WorkHeader& house) {
    EXPECT_TRUE(works::chooseWork(session, house, *control));
    auto* window = new BudgetWindow(ctx, house);
    opened.push_back(window);
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->show();
    return window;
  }
  QLineEdit* edit(RecordForm& form, const char* field) { return static_cast<QLineEdit*>(form.fieldWidget(field)); }
  std::unique_ptr<tables::Table> control, obra;
};

TEST_F(WorksScreensTest, TheBudgetWindowShowsRowsSubtotalsAndTheDirectCost) {
  const works::WorkHeader house = work("CASA01");
  auto* window = showBudget(house);
  EXPECT_EQ(session.currentZone(), 2);
  BudgetModel& m = window->model();
  QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::Fatal);
  ASSERT_EQ(m.rowCount(), 38);
  EXPECT_EQ(m.headerData(4, Qt::Horizontal).toString(), "UNITARIO");
  EXPECT_EQ(m.data(m.index(0, 1)).toString(), "PRELIMINARES");
  EXPECT_EQ(m.data(m.index(0, 1), Qt::BackgroundRole).value<QColor>(), QColor(196, 194, 145));
  EXPECT_EQ(m.data(m.index(6, 1), Qt::BackgroundRole).value<QColor>(), QColor(245, 222, 195));
  EXPECT_EQ(m.data(m.index(0, 5)).toString(), "");           // a title shows no figures
  EXPECT_EQ(m.data(m.index(6, 5)).toString(), "33,541.32");  // the trade's subtotal
  EXPECT_EQ(window->findChild<QLabel*>("directCost")->text(), "972,356.35");
  EXPECT_TRUE(window->findChild<QPushButton*>("reports")->isEnabled());

  // INDIRECTOS: the totals of the work's percentages on that direct cost.
  SummaryWindow summary(house, m.directCost());
  const works::Summary expected = works::summarize(house, m.directCost());
  EXPECT_EQ(summary.findChild<QLabel*>("total")->text().toStdString(), picture::formatNumber(expected.total, "n14.2"));

  // C&ierra writes the totals and leaves no work open.
  window->closeBudget();
  EXPECT_EQ(session.currentWorkCode, "NULO");
  EXPECT_TRUE(session.installation.workDir.empty());
}

// CALCULA from the budget window runs off the window's thread and comes back
// with the budget priced: a row whose figures were spoiled gets them again.
TEST_F(WorksScreensTest, CalculaFromTheBudgetWindowPricesTheWorkAgain) {
  auto* window = showBudget(work("CASA01"));
  const QString before = window->findChild<QLabel*>("directCost")->text();
  auto cobr = session.installation.table("COBR", errors);
  ASSERT_TRUE(cobr->open());
  cobr->rec().setInteger("CTA", 100);
  ASSERT_TRUE(cobr->fetch(cobr->keyIndex("CTA_KEY")).found());
  for (const char* figure : {"TOBR", "TMAT", "TCOS", "TPOR", "PUNI", "IMPO"}) cobr->rec().setReal(figure, 0);
  ASSERT_TRUE(cobr->update());
  window->reload();
  EXPECT_NE(window->findChild<QLabel*>("directCost")->text(), before);
  window->recalculate();
  EXPECT_EQ(window->findChild<QLabel*>("directCost")->text(), before);
  EXPECT_TRUE(prompter.warnings.empty());
}

// A refresh that fails without a message (a figure that cannot be stored)
// is said after the change that needed it, never left as stale figures.
TEST_F(WorksScreensTest, ABudgetRefreshThatFailsSilentlyIsSaid) {
  auto* window = showBudget(work("CASA01"));
  // A quantity whose amount overflows: the refresh cannot store it.
  runOnStorage(session.installation.workDir / "OBRA1", "UPDATE COBR SET CANT = 1e308 WHERE CTA = 100",
               "UPDATE " + serverTable(session.installation, "COBR") + " SET \"CANT\" = 1e308 WHERE \"CTA\" = 100");
  window->view().selectRow(window->model().rowCount() - 1);
  prompter.answer = true;
  window->deleteRow();
  ASSERT_FALSE(prompter.warnings.empty());
  EXPECT_EQ(prompter.warnings.back()[0], "NO SE PUDO ACTUALIZAR EL PRESUPUESTO");
  EXPECT_NE(prompter.warnings.back()[1].find("no es una cifra finita"), std::string::npos)
      << prompter.warnings.back()[1];
}

// Both report menus offer every report, each entry enabled.
TEST_F(WorksScreensTest, TheReportMenusOfferEveryReport) {
  const works::WorkHeader house = work("CASA01");
  ASSERT_TRUE(works::chooseWork(session, house, *control));
  const auto entries = [](QDialog& menu) {
    QStringList names;
    for (QAction* a : menu.findChildren<QAction*>()) {
      if (a->objectName().startsWith("IMP_") || a->objectName() == "EST_SAL") {
        EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
        names << a->objectName();
      }
    }
    names.sort();
    return names.join(' ').toStdString();
  };
  WorkReportsMenu workMenu(ctx, house);
  EXPECT_EQ(entries(workMenu), "IMP_CDE IMP_CEQ IMP_COH IMP_CON IMP_COS IMP_MAT IMP_PDE IMP_PRE");
  CatalogueReportsMenu baseMenu(ctx);
  EXPECT_EQ(entries(baseMenu), "EST_SAL IMP_CBD IMP_EBD IMP_HBD IMP_IBD");
}

TEST_F(WorksScreensTest, TheWorkFormNeedsANameAndCreatesTheDirectory) {
  auto* list = makeWorksList(ctx);
  opened.push_back(list);
  list->setAttribute(Qt::WA_DeleteOnClose, false);
  EXPECT_EQ(list->model().rowCount(), 2);
  EXPECT_EQ(list->findChild<QLabel*>("total4")->text(), "89,051.28");  // BODEGA02 first, by code

  {
    WorkForm form(ctx, *obra, FormRequest::kInsert);
    form.start();
    form.show();
    edit(form, "CTA")->setText("NUEVA");
    emit edit(form, "CTA")->editingFinished();
    EXPECT_EQ(edit(form, "DICO")->text(), "NUEVA");  // the directory follows the code
    EXPECT_EQ(edit(form, "AOBR")->text(), "ADMINISTRACION DE OBRA");
    form.accept();  // no name: warned, not saved, closed
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(prompter.warnings.back()[0], "DEBE USTED DARLE UN NOMBRE");
  }
  EXPECT_EQ(recordCount(*obra), 2);
  {
    WorkForm form(ctx, *obra, FormRequest::kInsert);
    form.start();
    form.show();
    edit(form, "CTA")->setText("NUEVA");
    edit(form, "OBRA")->setText("LOCAL COMERCIAL");
    form.zoneList()->setCurrentIndex(2);
    form.accept();
    EXPECT_FALSE(form.isVisible());
  }
  EXPECT_EQ(work("NUEVA").zone, 3);
  EXPECT_TRUE(std::filesystem::is_directory(dir / "NUEVA"));
}

TEST_F(WorksScreensTest, ARowFormNumbersNewRowsImportsAndAdjusts) {
  const works::WorkHeader house = work("CASA01");
  ASSERT_TRUE(works::chooseWork(session, house, *control));
  auto cobr = session.installation.table("COBR", errors);
  ASSERT_TRUE(cobr->open());
  {
    WorkConceptForm form(ctx, *cobr, house, FormRequest::kInsert);
    form.start();
    form.show();
    EXPECT_EQ(edit(form, "CTA")->text(), "390");  // 9 above the offered 381
    form.importConcept(1010);
    EXPECT_EQ(edit(form, "UNID")->text(), "M2");
    ASSERT_FALSE(form.editor().lines().empty());
    const double value = form.editor().totals().directCost;
    ASSERT_TRUE(form.adjustTo(value * 2));
    EXPECT_NEAR(form.editor().totals().directCost, value * 2, 1e-9);
    edit(form, "CANT")->setText("10");
    form.accept();
    EXPECT_FALSE(form.isVisible());
  }
  cobr->rec().clear();
  cobr->rec().setInteger("CTA", 390);
  ASSERT_TRUE(cobr->fetch(cobr->keyIndex("CTA_KEY")).found());
  EXPECT_EQ(cobr->rec().text("TIPO"), "C");
  EXPECT_GT(cobr->rec().real("IMPO"), 0);
  {
    // A title: no lines, and a concept worth 0 cannot be adjusted.
    WorkConceptForm form(ctx, *cobr, house, FormRequest::kChange);
    form.start();
    form.show();
    form.setKind('T');
    EXPECT_TRUE(form.editor().lines().empty());
    EXPECT_FALSE(form.adjustTo(50));
    EXPECT_EQ(prompter.warnings.back()[0], "EL CONCEPTO VALE 0: NO HAY");
    form.accept();
  }
  auto inob = session.installation.table("INOB", errors);
  ASSERT_TRUE(inob->open());
  inob->rec().setInteger("CTA", 39000);
  inob->setOrderAt(inob->keyIndex("CTA_KEY"));
  EXPECT_TRUE(!inob->next().found() || inob->rec().integer("CTA") / 100 != 390);
}

// A form owns its record. While the form of row 20 is open, another station
// commits a change to that row and the window reads its rows again; the
// form, moved to account 25 and saved, then meets the other station's change
// (message 8) and leaves every row and every line as they were.
TEST_F(WorksScreensTest, ARowFormSavedAfterAnotherStationsCommitTouchesNoOtherRow) {
  if (!onServer()) GTEST_SKIP() << "files tell nobody of their changes";
  auto* window = showBudget(work("CASA01"));
  const tables::Installation& house = session.installation;
  const auto rowsNow = [&] {
    auto cobr = house.table("COBR", errors);
    std::vector<works::BudgetRow> rows;
    EXPECT_TRUE(cobr->open() && works::readBudget(*cobr, &rows));
    return rows;
  };
  const auto linesOf = [&](int32_t account) {
    auto inob = house.table("INOB", errors);
    EXPECT_TRUE(inob->open());
    int count = 0;
    inob->rec().setInteger("CTA", account * 100);
    inob->setOrderAt(inob->keyIndex("CTA_KEY"));
    while (inob->next().found() && inob->rec().integer("CTA") / 100 == account) ++count;
    return count;
  };
  const std::vector<works::BudgetRow> before = rowsNow();
  ASSERT_EQ(before.back().account, 380);
  ASSERT_EQ(before.back().kind, works::row_kind::kSubtotal);
  const int linesOf20 = linesOf(20);
  ASSERT_GT(linesOf20, 0);
  int row20 = -1;
  for (size_t i = 0; i < window->model().rows().size(); ++i)
    if (window->model().rows()[i].account == 20) row20 = static_cast<int>(i);
  ASSERT_GE(row20, 0);
  window->view().selectRow(row20);

  bool formSeen = false;
  QTimer::singleShot(0, [&] {
    auto* form = qobject_cast<WorkConceptForm*>(QApplication::activeModalWidget());
    if (!form) return;
    formSeen = true;
    const int reloads = window->reloads();
    const pid_t station = fork();
    if (station == 0) {
      ErrorReporter own;
      own.setSilent(true);
      auto theirs = house.table("COBR", own);
      bool done = theirs->open().isOk();
      theirs->rec().clear();
      theirs->rec().setInteger("CTA", 20);
      done = done && theirs->fetch(theirs->keyIndex("CTA_KEY")).found();
      theirs->rec().setReal("CANT", 7.5);
      done = done && theirs->update().isOk();
      _exit(done ? 0 : 1);
    }
    int status = 0;
    waitpid(station, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (int i = 0; i < 200 && window->reloads() == reloads; ++i) QTest::qWait(25);
    EXPECT_GT(window->reloads(), reloads) << "the window did not hear the other station";
    edit(*form, "CTA")->setText("25");
    form->accept();
    form->done(QDialog::Rejected);
  });
  window->changeRow();
  ASSERT_TRUE(formSeen);

  bool conflictSaid = false;
  for (const std::string& text : shownTexts())
    conflictSaid |= text.find("modificado por otra estación") != std::string::npos;
  EXPECT_TRUE(conflictSaid);
  const std::vector<works::BudgetRow> after = rowsNow();
  ASSERT_EQ(after.size(), before.size());
  for (size_t i = 0; i < before.size(); ++i) {
    EXPECT_EQ(after[i].account, before[i].account);
    EXPECT_EQ(after[i].kind, before[i].kind) << before[i].account;
    EXPECT_EQ(after[i].text, before[i].text) << before[i].account;
    EXPECT_EQ(after[i].quantity, before[i].account == 20 ? 7.5 : before[i].quantity) << before[i].account;
  }
  EXPECT_EQ(linesOf(20), linesOf20);
  EXPECT_EQ(linesOf(25), 0);
}

}  // namespace
}  // namespace velmora::ui
