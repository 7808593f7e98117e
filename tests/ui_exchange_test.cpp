// The exchange screens, headless on the demo installation: a supplier's
// price list previewed and applied, a client's workbook into a budget and
// back priced from the budget window, the BC3 window's export and import.
#include <gtest/gtest.h>
#include <xlsxwriter.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <fstream>

#include "app/demo_data.h"
#include "exchange/xlsx_reader.h"
#include "framework/money.h"
#include "ui/exchange/bc3_window.h"
#include "ui/exchange/catalogue_windows.h"
#include "ui/exchange/price_import_window.h"
#include "ui/works/budget_window.h"
#include "ui_fixture.h"
#include "works/work.h"

namespace velmora::ui {
namespace {

class ExchangeScreensTest : public velmora::testing::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    ASSERT_TRUE(app::createDemoInstallation(inst, errors));
  }
  double price(int32_t account, int list) {
    auto inba = open("INBA");
    inba->rec().clear();
    inba->rec().setInteger("CTA", account);
    EXPECT_TRUE(inba->fetch(inba->keyIndex("CTA_KEY")).found());
    return inba->rec().real("COST", list);
  }
};

TEST_F(ExchangeScreensTest, APriceListIsMappedPreviewedAndAppliedToOneList) {
  const auto csv = dir / "lista.csv";
  std::ofstream(csv) << "CLAVE;DESCRIPCION;PRECIO\nMAT CEM-030;Cemento;4.500,25\nMAT NADA-1;Nada;3\n";
  const double before = price(10001, 1);
  PriceImportWindow window(ctx);
  window.findChild<QSpinBox*>("list")->setValue(3);
  window.setFile(QString::fromStdString(csv.string()));
  // The columns come guessed from the titles.
  EXPECT_EQ(window.findChild<QComboBox*>("key")->currentIndex(), 1);    // A
  EXPECT_EQ(window.findChild<QComboBox*>("price")->currentIndex(), 3);  // C
  EXPECT_EQ(window.findChild<QComboBox*>("account")->currentIndex(), 0);
  auto* changes = window.findChild<QTableWidget*>("changes");
  ASSERT_EQ(changes->rowCount(), 1);
  EXPECT_EQ(changes->item(0, 1)->text(), "10001");
  EXPECT_EQ(changes->item(0, 4)->text(), "4,500.25");
  EXPECT_TRUE(window.findChild<QLabel*>("status")->text().contains(
      "2 filas leídas: 1 con precio nuevo, 0 sin cambio, 1 sin insumo, 0 rechazadas, 0 en blanco"));
  ASSERT_TRUE(window.findChild<QPushButton*>("apply")->isEnabled());
  ASSERT_TRUE(window.apply());
  EXPECT_DOUBLE_EQ(price(10001, 3), 4500.25);
  EXPECT_DOUBLE_EQ(price(10001, 1), before);

  // A refused row keeps the import from being applied at all.
  std::ofstream(csv) << "CLAVE;PRECIO\nMAT CEM-030;12\nMAT ARE-001;-4\n";
  window.setFile(QString::fromStdString(csv.string()));
  EXPECT_FALSE(window.findChild<QPushButton*>("apply")->isEnabled());
  EXPECT_TRUE(window.findChild<QLabel*>("status")->text().contains("Rechazada: fila 3: precio negativo"));
}

// Closing the window while its file field has the focus ends the field's
// editing as the window goes: nothing of the closed window runs then.
TEST_F(ExchangeScreensTest, AWindowClosedWithItsFileFieldFocusedClosesCleanly) {
  const auto csv = dir / "lista.csv";
  std::ofstream(csv) << "CLAVE;PRECIO\nMAT CEM-030;12\n";
  auto window = std::make_unique<PriceImportWindow>(ctx);
  window->setFile(QString::fromStdString(csv.string()));
  window->show();
  QApplication::setActiveWindow(window.get());
  window->findChild<QLineEdit*>("file")->setFocus();
  QApplication::processEvents();
  window.reset();
  SUCCEED();
}

TEST_F(ExchangeScreensTest, TheBudgetWindowImportsTheClientsCatalogueAndPricesItsWorkbook) {
  const auto book = dir / "cliente.xlsx";
  {
    lxw_workbook* wb = workbook_new(book.c_str());
    lxw_worksheet* ws = workbook_add_worksheet(wb, "Catalogo");
    const char* titles[] = {"Clave", "Descripción", "Unidad", "Cantidad", "P.U.", "Importe"};
    for (int c = 0; c < 6; ++c) worksheet_write_string(ws, 0, static_cast<lxw_col_t>(c), titles[c], nullptr);
    worksheet_write_string(ws, 1, 1, "ESTRUCTURA", nullptr);
    worksheet_write_string(ws, 2, 0, "EST-006", nullptr);
    worksheet_write_string(ws, 2, 1, "COLUMNAS", nullptr);
    worksheet_write_string(ws, 2, 2, "M", nullptr);
    worksheet_write_number(ws, 2, 3, 7.5, nullptr);
    worksheet_write_formula(ws, 2, 5, "=D3*E3", nullptr);
    ASSERT_EQ(workbook_close(wb), LXW_NO_ERROR);
  }
  auto control = open("CONTROL");
  auto obra = open("OBRA");
  obra->rec().clear();
  obra->rec().setText("CTA", "BODEGA02");
  ASSERT_TRUE(obra->fetch(obra->keyIndex("CTA_KEY")).found());
  const works::WorkHeader header = works::workHeader(obra->rec());
  ASSERT_TRUE(works::chooseWork(session, header, *control));
  auto* window = new BudgetWindow(ctx, header);
  opened.push_back(window);
  const int before = window->model().rowCount();

  CatalogueImportWindow import(ctx, {session.installation, header, session.zone});
  import.setFile(QString::fromStdString(book.string()));
  auto* rows = import.findChild<QTableWidget*>("rows");
  ASSERT_EQ(rows->rowCount(), 2);
  EXPECT_EQ(rows->item(0, 1)->text(), "T");
  EXPECT_EQ(rows->item(1, 2)->text(), "EST-006");
  ASSERT_TRUE(import.apply());
  window->reload();
  ASSERT_EQ(window->model().rowCount(), before + 2);
  const works::BudgetRow& column = window->model().rows().back();
  EXPECT_EQ(column.quantity, 7.5);
  EXPECT_GT(column.unitPrice, 0);

  bool ok = false;
  const auto priced = dir / "precios.xlsx";
  const QString said = window->exportClientCatalogueTo(QString::fromStdString(book.string()),
                                                       QString::fromStdString(priced.string()), &ok);
  ASSERT_TRUE(ok) << said.toStdString();
  EXPECT_TRUE(said.contains("1 celda con fórmula se dejó como estaba")) << said.toStdString();
  exchange::SheetData sheet;
  ASSERT_TRUE(exchange::readSheet(priced, "Catalogo", &sheet));
  EXPECT_EQ(money::cents(sheet.at(2, 4).number), works::rowMoney(column.perUnit, column.quantity).unitPrice);
}

TEST_F(ExchangeScreensTest, TheBc3WindowWritesTheCatalogueAndChecksAFileBeforeReadingIt) {
  Bc3Window window(ctx);
  const QString file = QString::fromStdString((dir / "catalogo.bc3").string());
  ASSERT_TRUE(window.exportTo(file));
  EXPECT_TRUE(window.findChild<QLabel*>("status")->text().contains("registros escritos"));
  ASSERT_TRUE(window.check(file));
  EXPECT_TRUE(window.findChild<QLabel*>("status")->text().contains("0 insumos nuevos y 38 cambiados"));
  ASSERT_TRUE(window.findChild<QPushButton*>("apply")->isEnabled());
  ASSERT_TRUE(window.apply());
  EXPECT_TRUE(window.findChild<QLabel*>("status")->text().startsWith("Importados:"));

  std::ofstream(dir / "malo.bc3") << "~V||FIEBDC-3/2016|x||ANSI|\n~C|A|METROS|UNO|1||3|\n";
  EXPECT_FALSE(window.check(QString::fromStdString((dir / "malo.bc3").string())));
  EXPECT_TRUE(window.findChild<QLabel*>("status")->text().contains("línea 2: la unidad de A pasa de 4"));
  EXPECT_FALSE(window.findChild<QPushButton*>("apply")->isEnabled());
}

}  // namespace
}  // namespace velmora::ui
