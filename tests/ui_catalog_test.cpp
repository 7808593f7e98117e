// The base-catalogue screens, headless on the demo installation.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include "app/demo_data.h"
#include "catalog/pricing.h"
#include "framework/dates.h"
#include "ui/catalog/base_menu.h"
#include "ui/catalog/concept_screens.h"
#include "ui/catalog/generic_keys.h"
#include "ui/catalog/input_screens.h"
#include "ui/catalog/machine_screens.h"
#include "ui/reports/report_menus.h"
#include "ui/startup_windows.h"
#include "ui_fixture.h"

namespace velmora::ui {
namespace {

class CatalogScreensTest : public velmora::testing::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    ASSERT_TRUE(app::createDemoInstallation(inst, errors));
    auto control = open("CONTROL");
    ASSERT_TRUE(estimate::loadZoneFactors(*control, 1, &session.zone));
    ASSERT_TRUE(estimate::readZoneNames(*control, &session.zoneNames));
    session.today = dates::dayNumber(2026, 12, 10);
  }
  BrowseWindow* keep(BrowseWindow* list) {
    list->setAttribute(Qt::WA_DeleteOnClose, false);
    opened.push_back(list);
    return list;
  }
  QLineEdit* edit(RecordForm& form, const char* field, int element = 1) {
    return static_cast<QLineEdit*>(form.fieldWidget(field, element));
  }
  void accept(RecordForm&, QLineEdit* entry, const QString& text) {
    entry->setText(text);
    emit entry->editingFinished();
  }
  tables::Record input(int cta) {
    auto inba = open("INBA");
    inba->rec().setInteger("CTA", cta);
    EXPECT_TRUE(inba->fetch(inba->keyIndex("CTA_KEY")).found());
    return inba->rec();
  }
};

TEST_F(CatalogScreensTest, APercentageInputIsSavedWithoutPrices) {
  auto inba = open("INBA");
  InputForm form(ctx, *inba, FormRequest::kInsert);
  form.start();
  form.show();
  edit(form, "TEXT")->setText("DESPERDICIO EXTRA");
  edit(form, "GENE")->setText("POR");
  accept(form, edit(form, "COST", 1), "12.50");
  accept(form, edit(form, "COST", 3), "99");
  form.findChild<QRadioButton*>("option_5")->click();
  form.accept();
  ASSERT_FALSE(form.isVisible()) << (prompter.warnings.empty() ? "" : prompter.warnings[0][0]);
  const tables::Record saved = input(static_cast<int>(inba->rec().integer("CTA")));
  EXPECT_EQ(saved.integer("TIPO"), 5);
  for (int z = 1; z <= 5; ++z) {
    EXPECT_EQ(saved.real("COST", z), 0) << z;
    EXPECT_EQ(saved.integer("FECH", z), 0) << z;
  }
}

TEST_F(CatalogScreensTest, TheRecallKeyFillsAFieldFromTheRecordSavedLast) {
  auto inba = open("INBA");
  InputForm first(ctx, *inba, FormRequest::kInsert);
  first.start();
  first.show();
  edit(first, "TEXT")->setText("CEMENTO BLANCO");
  edit(first, "GENE")->setText("MAT");
  edit(first, "UNID")->setText("TON");
  first.accept();
  ASSERT_FALSE(first.isVisible());
  InputForm second(ctx, *inba, FormRequest::kInsert);
  second.start();
  second.show();
  QApplication::setActiveWindow(&second);
  edit(second, "UNID")->setFocus();
  second.recallFocusedField();
  EXPECT_EQ(edit(second, "UNID")->text(), "TON");
  EXPECT_EQ(edit(second, "TEXT")->text(), "");  // only the focused field
  presenter.answerNext(button::kNo);            // leave without saving
  second.reject();
}

TEST_F(CatalogScreensTest, AcceptingThePriceOfZoneTwoDatesOnlyZoneTwo) {
  auto inba = open("INBA");
  inba->rec().setInteger("CTA", 10001);
  ASSERT_TRUE(inba->fetch(inba->keyIndex("CTA_KEY")).found());
  const tables::Record before = inba->rec();
  InputForm form(ctx, *inba, FormRequest::kChange);
  form.start();
  form.show();
  accept(form, edit(form, "COST", 2), "4100");
  EXPECT_EQ(edit(form, "FECH", 2)->text(), "10/12/2026");
  form.accept();
  ASSERT_FALSE(form.isVisible());
  const tables::Record after = input(10001);
  EXPECT_EQ(after.real("COST", 2), 4100);
  for (int z = 1; z <= 5; ++z) {
    EXPECT_EQ(after.integer("FECH", z), z == 2 ? session.today : before.integer("FECH", z)) << z;
  }
}

TEST_F(CatalogScreensTest, TheInputListShowsTheCurrentZonesPriceAndDate) {
  auto inba = open("INBA");
  inba->rec().setInteger("CTA", 10002);
  ASSERT_TRUE(inba->fetch(inba->keyIndex("CTA_KEY")).found());
  inba->rec().setReal("COST", 0, 4);
  inba->rec().setInteger("FECH", 0, 4);
  ASSERT_TRUE(inba->update());
  session.zone.zone = 4;
  auto* list = keep(makeInputList(ctx));
  auto& m = list->model();
  EXPECT_EQ(m.headerData(5, Qt::Horizontal, Qt::DisplayRole).toString(), "PRECIO");
  EXPECT_EQ(m.data(m.index(0, 0), Qt::DisplayRole).toString(), "10001");
  EXPECT_EQ(m.data(m.index(0, 5), Qt::DisplayRole).toString(), "3,965.50");  // 3850 x 1.03, zone 4
  EXPECT_EQ(m.data(m.index(1, 5), Qt::DisplayRole).toString(), "0.00");      // never priced in zone 4
  EXPECT_EQ(m.data(m.index(1, 6), Qt::DisplayRole).toString(), "");
  EXPECT_EQ(list->findChild<QLabel*>("count")->text(), "38");
  session.zone.zone = 1;  // a zone chosen while the list is open reaches it
  EXPECT_EQ(m.data(m.index(0, 5), Qt::DisplayRole).toString(), "4,312.00");  // 3850 x 1.12, zone 1
  session.zone.zone = 4;

  auto* keysButton = list->findChild<QPushButton*>("tabButton1");
  ASSERT_NE(keysButton, nullptr);
  EXPECT_EQ(keysButton->text(), "Muestra Claves");
  EXPECT_FALSE(keysButton->isVisibleTo(list));
  list->setTab(1);
  EXPECT_TRUE(keysButton->isVisibleTo(list));
  list->locator()->setText("MOB");
  emit list->locator()->textEdited("MOB");
  EXPECT_EQ(list->model().recordAt(list->currentRow()).text("GENE"), "MOB");

  // The description lines under the list follow the highlighted row.
  EXPECT_EQ(list->findChild<QLabel*>("line1")->text(), "AYUDANTE GENERAL");
  list->selectRow(0);
  EXPECT_EQ(list->findChild<QLabel*>("line1")->text(), "ACEITE LUBRICANTE SAE 40");

  list->setTab(2);  // x DESCRIPCION: the description first, the account second
  EXPECT_FALSE(keysButton->isVisibleTo(list));
  EXPECT_EQ(m.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "DESCRIPCION");
  EXPECT_EQ(m.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "CTA");
  EXPECT_EQ(m.data(m.index(0, 0), Qt::DisplayRole).toString(), "ACEITE LUBRICANTE SAE 40");

  list->setTab(3);  // x PALABRA keeps the columns and filters by the word
  EXPECT_FALSE(list->locator()->isVisibleTo(list));
  auto* word = list->findChild<QLineEdit*>("word");
  word->setText("CEMENTO");
  emit word->editingFinished();
  EXPECT_EQ(m.rowCount(), 1);
  EXPECT_EQ(m.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "DESCRIPCION");
  word->setText("cemento");
  emit word->editingFinished();
  EXPECT_EQ(m.rowCount(), 0);
  list->setTab(0);
  EXPECT_EQ(m.rowCount(), 38);
}

TEST_F(CatalogScreensTest, GenericKeysAreLookedUpByTheFormsType) {
  auto inba = open("INBA");
  InputForm form(ctx, *inba, FormRequest::kInsert);
  std::vector<std::string> asked;
  std::optional<std::string> answer;  // cancelled
  form.picker = [&](const std::string& type, const std::string& typed) {
    asked.push_back(type + ":" + typed);
    return answer;
  };
  form.start();
  form.show();
  edit(form, "TEXT")->setText("GRAVA DE 1/2\"");
  accept(form, edit(form, "GENE"), "CIM");  // a concept key, not an input key
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0], "I:CIM");
  form.accept();  // cancelled again: the form cannot be completed
  EXPECT_TRUE(form.isVisible());
  answer = "MAT";
  form.accept();
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(inba->rec().text("GENE"), "MAT");

  auto coba = open("COBA");
  ConceptForm conceptForm(ctx, *coba, FormRequest::kInsert);
  std::vector<std::string> conceptAsked;
  conceptForm.keyPicker = [&](const std::string& type, const std::string& typed) -> std::optional<std::string> {
    conceptAsked.push_back(type + ":" + typed);
    return std::nullopt;
  };
  conceptForm.start();
  conceptForm.show();
  accept(conceptForm, edit(conceptForm, "GENE"), "MOB");  // an input key
  ASSERT_EQ(conceptAsked.size(), 1u);
  EXPECT_EQ(conceptAsked[0], "C:MOB");
  accept(conceptForm, edit(conceptForm, "GENE"), "ALB");
  EXPECT_EQ(conceptAsked.size(), 1u);
  conceptForm.reject();
}

TEST_F(CatalogScreensTest, TheGenericKeyLookupListsOneTypeAtTheTypedCode) {
  QStringList shown;
  QTimer::singleShot(0, [&] {
    auto* window = QApplication::activeModalWidget();
    ASSERT_NE(window, nullptr);
    auto* list = window->findChild<BrowseWindow*>("BUSCA_GENI");
    ASSERT_NE(list, nullptr);
    for (int row = 0; row < list->model().rowCount(); ++row) {
      shown << list->model().data(list->model().index(row, 0), Qt::DisplayRole).toString();
    }
    EXPECT_EQ(list->model().recordAt(list->currentRow()).text("CTA"), "EQU");  // positioned at the typed code
    list->select();
  });
  const auto code = modalGenericKeyPicker(ctx, nullptr)("I", "EP");
  EXPECT_EQ(shown, (QStringList{"COM", "EQU", "MAT", "MOB", "POR"}));  // input keys only
  EXPECT_EQ(code, std::optional<std::string>("EQU"));

  // BUSCA_CON picks a concept through the second handle.
  QTimer::singleShot(0, [] {
    auto* list = QApplication::activeModalWidget()->findChild<BrowseWindow*>("BUSCA_CON");
    ASSERT_NE(list, nullptr);
    list->setTab(2);  // x DESCRIPCION
    list->locator()->setText("MURO DE T");
    emit list->locator()->textEdited("MURO DE T");
    list->select();
  });
  EXPECT_EQ(modalAccountPicker(ctx, nullptr)('B'), std::optional<int32_t>(1011));
}

TEST_F(CatalogScreensTest, TheMachineFormRecomputesItsTotalsAsTheUserTypes) {
  auto maba = open("MABA");
  maba->rec().setInteger("CTA", 501);
  ASSERT_TRUE(maba->fetch(maba->keyIndex("CTA_KEY")).found());
  MachineForm form(ctx, *maba, FormRequest::kChange);
  form.start();
  form.show();
  const double before = form.shownTotals().total;
  catalog::BasePrices prices(inst, errors, 1);
  auto control = open("CONTROL");
  catalog::MachineRates rates;
  ASSERT_TRUE(catalog::firstZoneRates(*control, &rates));
  catalog::PricingEngine engine(inst, errors, prices, session.zone, rates);
  EXPECT_NEAR(before, engine.hourlyCost(501).total, 0.005);
  accept(form, edit(form, "CONS"), "16");  // twice the diesel per hour
  const double diesel = 28.90 * 8;         // the zone 1 price (25.80 x 1.12, in cents) x the 8 litres added
  EXPECT_NEAR(form.shownTotals().consumptions - diesel, engine.hourlyCost(501).consumptions, 0.006);
  EXPECT_EQ(form.findChild<QLabel*>("total3")->text().remove(',').toDouble() > before, true);
  presenter.answerNext(button::kNo);  // leave without saving
  form.reject();
  EXPECT_FALSE(form.isVisible());
}

TEST_F(CatalogScreensTest, TheConceptFormEditsSortsAndSavesLines) {
  auto coba = open("COBA");
  coba->rec().setInteger("CTA", 1010);
  ASSERT_TRUE(coba->fetch(coba->keyIndex("CTA_KEY")).found());
  coba->rec().setText("MIAS", "1");
  ConceptForm form(ctx, *coba, FormRequest::kChange);
  form.start();
  form.show();
  ASSERT_EQ(form.editor().lines().size(), 5u);
  EXPECT_EQ(form.findChild<QLabel*>("directCost")->text(), "524.31");
  QAbstractItemModelTester tester(form.editor().model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
  const auto cell = [&form](int row, int column) {
    return form.editor().model()->data(form.editor().model()->index(row, column)).toString();
  };
  EXPECT_EQ(cell(0, 0), "B");
  EXPECT_EQ(form.editor().model()->headerData(6, Qt::Horizontal).toString(), "IMPORTE");

  // A new line through the line editor: a material, filed as category 3.
  catalog::BasePrices prices(inst, errors, 1);
  catalog::PricingEngine engine(inst, errors, prices, session.zone, {});
  LineEditor editor(engine, prompter, nullptr);
  editor.setType('I');
  editor.setAccount(10005);
  editor.setQuantity(0.002);
  editor.accept();
  ASSERT_TRUE(editor.line().has_value());
  EXPECT_EQ(editor.line()->category, 3);
  form.editor().addLine(*editor.line());
  // It lands among the materials, before the percentage lines.
  EXPECT_EQ(form.editor().lines()[3].account, 10005);
  EXPECT_EQ(form.editor().lines()[4].category, 5);
  form.accept();
  ASSERT_FALSE(form.isVisible());

  auto inco = open("INCO");
  std::vector<std::pair<int64_t, int64_t>> stored;
  inco->rec().setInteger("CTA", 101000);
  inco->setOrderAt(inco->keyIndex("CTA_KEY"));
  while (inco->next().found() && inco->rec().integer("CTA") / 100 == 1010) {
    stored.push_back({inco->rec().integer("CTA"), inco->rec().integer("MATE")});
  }
  ASSERT_EQ(stored.size(), 6u);
  EXPECT_EQ(stored[3], (std::pair<int64_t, int64_t>{101003, 10005}));
  EXPECT_EQ(stored[5].first, 101005);

  // An account that does not exist is refused by the editor.
  LineEditor missing(engine, prompter, nullptr);
  missing.setType('C');
  missing.setAccount(4242);
  missing.show();
  missing.accept();
  EXPECT_FALSE(missing.line().has_value());
  EXPECT_EQ(prompter.warnings.back()[0], "LA CUENTA NO EXISTE");
}

TEST_F(CatalogScreensTest, SavingAConceptIsWholeAndLosesNoLine) {
  auto inco = open("INCO");
  const auto linesOf = [&inco](int64_t account) {
    std::vector<std::pair<int64_t, int64_t>> out;
    tables::Record from(inco->def()), to(inco->def());
    from.setInteger("CTA", account * 100);
    to.setInteger("CTA", account * 100 + 99);
    EXPECT_TRUE(inco->readRange(inco->keyIndex("CTA_KEY"), from, to, [&out](const tables::Record& r) {
      out.push_back({r.integer("CTA"), r.integer("MATE")});
      return true;
    }));
    return out;
  };
  // A line stored after a gap (.20) is shown and kept.
  inco->rec().clear();
  inco->rec().setInteger("CTA", 101020);
  inco->rec().setInteger("CATE", 3);
  inco->rec().setInteger("MATE", 10005);
  inco->rec().setReal("TOTA", 1);
  ASSERT_TRUE(inco->insert());
  const size_t stored = linesOf(1010).size();

  auto coba = open("COBA");
  coba->rec().setInteger("CTA", 1010);
  ASSERT_TRUE(coba->fetch(coba->keyIndex("CTA_KEY")).found());
  {
    ConceptForm form(ctx, *coba, FormRequest::kChange);
    form.start();
    form.show();
    EXPECT_EQ(form.editor().lines().size(), stored);
    // A new account: the lines move with the concept in the same save.
    accept(form, edit(form, "CTA"), "1999");
    form.accept();
    ASSERT_FALSE(form.isVisible());
  }
  EXPECT_TRUE(linesOf(1010).empty());
  const auto moved = linesOf(1999);
  ASSERT_EQ(moved.size(), stored);
  EXPECT_EQ(moved.back().first, 199900 + static_cast<int64_t>(stored) - 1);

  // A basic of 1999 cannot take 1999 as a line: the loop is refused.
  coba->rec().setInteger("CTA", 1999);
  ASSERT_TRUE(coba->fetch(coba->keyIndex("CTA_KEY")).found());
  const int64_t basic = moved.front().second;
  coba->rec().setInteger("CTA", basic);
  ASSERT_TRUE(coba->fetch(coba->keyIndex("CTA_KEY")).found());
  {
    ConceptForm form(ctx, *coba, FormRequest::kChange);
    form.start();
    catalog::EditedLine loop;
    loop.type = 'B';
    loop.category = catalog::category::kBasic;
    loop.account = 1999;
    loop.quantity = 1;
    EXPECT_FALSE(form.editor().addLine(loop));
    EXPECT_EQ(prompter.warnings.back()[1], "CONCEPTO: NO PUEDE SER SU LINEA");
    loop.account = static_cast<int32_t>(basic);  // itself
    EXPECT_FALSE(form.editor().addLine(loop));

    // Changing its account to one that exists: message 15, once, and the form stays.
    presenter.clear();
    form.show();
    accept(form, edit(form, "CTA"), "1999");
    form.accept();
    EXPECT_TRUE(form.isVisible());
    ASSERT_EQ(presenter.shown().size(), 1u);
    EXPECT_EQ(presenter.shown()[0].title, "Error Clave Duplicada");
    form.close();
  }
  EXPECT_EQ(linesOf(1999).size(), stored);
}

// The keyboard, as a user drives it: typing, Tab, Enter, Escape, list keys.
TEST_F(CatalogScreensTest, TheKeyboardDrivesTheLoginAListAndAForm) {
  {  // Login: type, Tab to the password, Enter accepts; Escape leaves.
    LoginWindow login("CONSTRUCTORA", {});
    login.show();
    QApplication::setActiveWindow(&login);
    login.findChild<QLineEdit*>("login")->setFocus();
    QTest::keyClicks(QApplication::focusWidget(), "ANA");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), login.findChild<QLineEdit*>("password"));
    QTest::keyClicks(QApplication::focusWidget(), "secreto");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(login.result(), QDialog::Accepted);
    EXPECT_EQ(login.login(), "ANA");
    EXPECT_EQ(login.password(), "secreto");
    LoginWindow left("CONSTRUCTORA", {});
    left.show();
    QApplication::setActiveWindow(&left);
    QTest::keyClick(&left, Qt::Key_Escape);
    EXPECT_EQ(left.result(), QDialog::Rejected);
  }
  {  // List: typing in the locator moves the highlight; Delete asks message 11.
    auto* list = keep(makeInputList(ctx));
    list->show();
    QApplication::setActiveWindow(list);
    list->locator()->setFocus();
    QTest::keyClicks(list->locator(), "10005");
    EXPECT_EQ(list->model().recordAt(list->currentRow()).integer("CTA"), 10005);
    auto* view = list->findChild<QTableView*>();
    ASSERT_NE(view, nullptr);
    view->setFocus();
    presenter.clear();
    presenter.answerNext(button::kNo);
    QTest::keyClick(view, Qt::Key_Delete);
    ASSERT_FALSE(presenter.shown().empty());
    EXPECT_EQ(presenter.shown().back().title, "Confirmar Borrado");
    EXPECT_EQ(recordCount(*open("INBA")), 38);
    presenter.answerNext(button::kYes);
    QTest::keyClick(view, Qt::Key_Delete);
    EXPECT_EQ(recordCount(*open("INBA")), 37);
  }
  {  // Form: Tab goes to the next entry; Escape on an unchanged form closes it,
     // on a changed one asks message 38 and Cancel stays.
    auto inba = open("INBA");
    inba->rec().setInteger("CTA", 10001);
    ASSERT_TRUE(inba->fetch(inba->keyIndex("CTA_KEY")).found());
    InputForm form(ctx, *inba, FormRequest::kChange);
    form.start();
    form.show();
    QApplication::setActiveWindow(&form);
    edit(form, "LLAV")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), edit(form, "TEXT"));
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_FALSE(form.isVisible());

    InputForm changed(ctx, *inba, FormRequest::kChange);
    changed.start();
    changed.show();
    QApplication::setActiveWindow(&changed);
    edit(changed, "TEXT")->setFocus();
    QTest::keyClicks(edit(changed, "TEXT"), " EXTRA");
    presenter.clear();
    presenter.answerNext(button::kCancel);
    QTest::keyClick(&changed, Qt::Key_Escape);
    EXPECT_TRUE(changed.isVisible());
    ASSERT_FALSE(presenter.shown().empty());
    EXPECT_EQ(presenter.shown().back().title, "Guardar Registro");
    presenter.answerNext(button::kNo);  // No leaves without saving
    QTest::keyClick(&changed, Qt::Key_Escape);
    EXPECT_FALSE(changed.isVisible());
    inba->rec().setInteger("CTA", 10001);
    ASSERT_TRUE(inba->fetch(inba->keyIndex("CTA_KEY")).found());
    EXPECT_EQ(inba->rec().text("TEXT"), "CEMENTO GRIS PORTLAND CPC 30R");
  }
}

TEST_F(CatalogScreensTest, AConceptTakesAtMostOneHundredLines) {
  auto coba = open("COBA");
  ConceptForm form(ctx, *coba, FormRequest::kInsert);
  form.start();
  catalog::EditedLine line;
  line.account = 10001;
  line.quantity = 1;
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(form.editor().addLine(line));
  EXPECT_FALSE(form.editor().addLine(line));
  EXPECT_EQ(form.editor().lines().size(), 100u);
  EXPECT_EQ(prompter.warnings.back()[0], "UN CONCEPTO ADMITE A LO MAS");
  presenter.answerNext(button::kNo);  // leave without saving: the reserved number goes back
  form.reject();
  EXPECT_EQ(recordCount(*open("COBA")), 45);
}

TEST_F(CatalogScreensTest, ImportCopiesTextsAndLinesAndDeleteAsksTheQuestionWindow) {
  auto coba = open("COBA");
  ConceptForm form(ctx, *coba, FormRequest::kInsert);
  form.start();
  form.show();
  form.importConcept(1012);
  EXPECT_EQ(static_cast<QLineEdit*>(form.fieldWidget("TEXT"))->text(), "CASTILLO DE 15x15 CM");
  EXPECT_EQ(form.editor().lines().size(), 2u);
  form.accept();
  ASSERT_FALSE(form.isVisible());
  const int64_t copy = coba->rec().integer("CTA");
  EXPECT_EQ(copy, 1031);  // auto-numbered after the last concept

  auto* list = keep(makeConceptList(ctx));
  const int row = list->model().rowOfId(coba->recordId());
  ASSERT_GE(row, 0);
  list->selectRow(row);
  EXPECT_EQ(list->model().data(list->model().index(row, 0), Qt::ForegroundRole).value<QBrush>().color(),
            QColor(255, 0, 0));  // an own analysis
  prompter.answer = false;
  list->deleteRecord();
  ASSERT_EQ(prompter.asked.size(), 1u);
  EXPECT_EQ(prompter.asked[0][0], "DESEA DAR DE BAJA EL CONCEPTO");
  EXPECT_EQ(recordCount(*open("COBA")), 46);
  prompter.answer = true;
  list->deleteRecord();
  EXPECT_EQ(recordCount(*open("COBA")), 45);
  auto inco = open("INCO");
  inco->rec().setInteger("CTA", copy * 100);
  EXPECT_TRUE(inco->fetch(inco->keyIndex("CTA_KEY")).absent());
  EXPECT_TRUE(presenter.shown().empty());  // no message 11: the question window asked
}

TEST_F(CatalogScreensTest, GenericKeyListColoursByTypeAndTheMenuOpensTheCatalogues) {
  auto* keys = keep(new BrowseWindow(ctx, genericKeysSpec()));
  auto& m = keys->model();
  for (int row = 0; row < m.rowCount(); ++row) {
    const QString type = m.data(m.index(row, 2), Qt::DisplayRole).toString();
    const QColor colour = m.data(m.index(row, 0), Qt::ForegroundRole).value<QBrush>().color();
    EXPECT_EQ(colour, type == "I" ? QColor(255, 0, 0) : type == "C" ? QColor(0, 0, 255) : QColor(0, 128, 128));
  }
  std::unique_ptr<BaseMenu> made(makeBaseMenu(ctx));
  BaseMenu& menu = *made;
  EXPECT_TRUE(menu.findChild<QPushButton*>("REPORTES")->isEnabled());  // IMP_BAS
  for (const char* which : {"CLAVES", "INSUMOS", "MAQUINAS", "CONCEPTOS"}) {
    QWidget* w = menu.open(which);
    ASSERT_NE(w, nullptr) << which;
  }
  EXPECT_EQ(opened.size(), 5u);
  EXPECT_EQ(opened[4]->objectName(), "CAP_CON");
}

}  // namespace
}  // namespace velmora::ui
