// The works screens, headless on the demo installation: the budget window,
// the works register and form, the row form and the totals window.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

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

}  // namespace
}  // namespace velmora::ui
