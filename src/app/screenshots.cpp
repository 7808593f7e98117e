// The screenshots of the main screens, rendered headless on an
// installation (scripts/screenshots makes a demo one for them).
#include <xlsxwriter.h>
#include <QApplication>
#include <QDir>
#include <QMdiSubWindow>
#include <QTemporaryDir>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>

#include "app/commands.h"
#include "app/gui.h"
#include "estimate/zones.h"
#include "reports/zone_report.h"
#include "shell/records.h"
#include "tables/catalogue.h"
#include "ui/catalog/base_menu.h"
#include "ui/catalog/concept_screens.h"
#include "ui/catalog/input_screens.h"
#include "ui/catalog/machine_screens.h"
#include "ui/exchange/bc3_window.h"
#include "ui/exchange/catalogue_windows.h"
#include "ui/exchange/price_import_window.h"
#include "ui/main_frame.h"
#include "ui/reports/report_menus.h"
#include "ui/reports/report_preview.h"
#include "ui/services/backup_window.h"
#include "ui/services/supplier_screens.h"
#include "ui/services/update_screens.h"
#include "ui/startup_windows.h"
#include "ui/users_screens.h"
#include "ui/works/budget_window.h"
#include "ui/works/work_concept_form.h"
#include "ui/works/works_screens.h"
#include "ui/zone_screens.h"
#include "works/work.h"

namespace velmora::app {

namespace {

// The run's course: each window saved as a picture; a screen that cannot be
// shown as the user sees it (a record the installation lacks, a picture not
// written) is said on the terminal, and the run ends in failure.
struct Shots {
  std::string outDir;
  bool complete = true;

  void save(QWidget* w, const char* name) {
    w->show();
    QApplication::processEvents();
    const QString file = QString::fromStdString(outDir) + "/" + name + ".png";
    if (!w->grab().save(file)) fail("no se pudo guardar " + file.toStdString());
  }
  void fail(const std::string& why) {
    std::cerr << "velmora: " << why << "\n";
    complete = false;
  }

  // A table open at one of its records, as a form opens it: the record of
  // `account` in `key`, or the first in `key`'s order when it is empty;
  // null when the installation lacks it.
  std::unique_ptr<tables::Table> atRecord(ui::Context& ctx, const char* label, const char* key,
                                          const std::string& account = {}) {
    auto t = ctx.session.installation.table(label, ctx.errors);
    Status found = t->open();
    if (found && account.empty()) {
      t->setOrder(t->keyIndex(key));
      found = t->next();
    } else if (found) {
      if (tables::isTextType(t->def().columns[t->def().slot("CTA")].type)) t->rec().setText("CTA", account);
      else t->rec().setInteger("CTA", std::stoll(account));
      found = t->fetch(t->keyIndex(key));
    }
    if (found) return t;
    fail("falta el registro " + (account.empty() ? std::string("primero") : account) + " de " + label +
         ": no se muestra su pantalla");
    return nullptr;
  }
};

// The users and the salary zones, lists and forms.
void shootPeople(ui::Context& ctx, ui::MainFrame& frame, Shots& shots) {
  auto* users = ui::openUsersList(ctx);
  shots.save(&frame, "users-list");
  if (auto pers = shots.atRecord(ctx, "PERS", "CTA_KEY")) {
    ui::UserForm userForm(ctx, *pers, FormRequest::kChange);
    userForm.start();
    shots.save(&userForm, "user-form");
    userForm.tabs()->setCurrentIndex(1);
    shots.save(&userForm, "user-form-levels");
  }
  users->parentWidget()->close();  // the frame's subwindow, as "C&ierra" does

  auto* zones = ui::openZoneList(ctx);
  shots.save(&frame, "zones-list");
  if (auto control = shots.atRecord(ctx, "CONTROL", "KEYCTA")) {
    ui::ZoneForm zoneForm(ctx, *control, FormRequest::kChange);
    zoneForm.start();
    shots.save(&zoneForm, "zone-form");
    zoneForm.tabs()->setCurrentIndex(2);
    shots.save(&zoneForm, "zone-form-imss");
  }
  zones->parentWidget()->close();
}

// The base-data menu, the catalogues, their forms and the exchange windows.
void shootCatalogue(ui::Context& ctx, ui::MainFrame& frame, Shots& shots) {
  auto* menu = ui::makeBaseMenu(ctx);
  frame.openWindow(menu);
  shots.save(&frame, "base-menu");
  QWidget* inputs = menu->open("INSUMOS");
  shots.save(&frame, "inputs-list");
  if (auto inba = shots.atRecord(ctx, "INBA", "CTA_KEY", "10001")) {
    ui::InputForm inputForm(ctx, *inba, FormRequest::kChange);
    inputForm.start();
    shots.save(&inputForm, "input-form");
  }
  inputs->parentWidget()->close();

  if (auto maba = shots.atRecord(ctx, "MABA", "CTA_KEY", "501")) {
    ui::MachineForm machineForm(ctx, *maba, FormRequest::kChange);
    machineForm.start();
    shots.save(&machineForm, "machine-form");
  }

  menu->open("CONCEPTOS");
  shots.save(&frame, "concepts-list");
  if (auto coba = shots.atRecord(ctx, "COBA", "CTA_KEY", "1010")) {
    coba->rec().setText("MIAS", "1");  // as the list opens it: an edited analysis is the user's own
    ui::ConceptForm conceptForm(ctx, *coba, FormRequest::kChange);
    conceptForm.start();
    shots.save(&conceptForm, "concept-form");
  }
  {
    // A supplier's price list in the import preview (nothing is applied),
    // and the BC3 exchange.
    QTemporaryDir scratch;
    const QString list = scratch.filePath("lista-proveedor.csv");
    std::ofstream(list.toStdString()) << "CLAVE;DESCRIPCION;PRECIO;FECHA\n"
                                         "MAT CEM-030;CEMENTO GRIS 50 KG;4.395,00;01/12/2026\n"
                                         "MAT ARE-001;ARENA DE RIO;489,50;01/12/2026\n"
                                         "MAT GRA-034;GRAVA 3/4;512,00;01/12/2026\n"
                                         "MAT VAR-038;VARILLA 3/8;26.480,00;01/12/2026\n"
                                         "MAT IMP-900;IMPERMEABILIZANTE;1.250,00;01/12/2026\n";
    ui::PriceImportWindow prices(ctx);
    prices.setFile(list);
    shots.save(&prices, "price-import");
    ui::Bc3Window bc3(ctx);
    shots.save(&bc3, "bc3");
  }
  menu->parentWidget()->close();
  for (QMdiSubWindow* sub : frame.findChildren<QMdiSubWindow*>()) sub->close();
}

// The works, a budget, its totals and one of its rows.
void shootWorks(ui::Context& ctx, ui::MainFrame& frame, Shots& shots) {
  // The works and a budget.
  auto* worksList = ui::makeWorksList(ctx);
  frame.openWindow(worksList);
  shots.save(&frame, "works-list");
  worksList->parentWidget()->close();
  auto control = shots.atRecord(ctx, "CONTROL", "KEYCTA");
  auto obra = shots.atRecord(ctx, "OBRA", "CTA_KEY", "CASA01");
  if (!control || !obra) return;
  const works::WorkHeader house = works::workHeader(obra->rec());
  if (Status chosen = works::chooseWork(ctx.session, house, *control); !chosen) {
    shots.fail("no se pudo abrir la obra CASA01: " + chosen.text());
    return;
  }
  auto* budget = new ui::BudgetWindow(ctx, house);
  frame.openWindow(budget);
  shots.save(&frame, "budget");
  ui::SummaryWindow summary(house, budget->model().directCost());
  shots.save(&summary, "summary");
  if (auto cobr = shots.atRecord(ctx, "COBR", "CTA_KEY", "150")) {
    ui::WorkConceptForm rowForm(ctx, *cobr, house, FormRequest::kChange);
    rowForm.start();
    shots.save(&rowForm, "work-concept-form");
  }

  // A client's catalogue in the import preview (nothing is applied).
  QTemporaryDir scratch;
  const QString book = scratch.filePath("catalogo-cliente.xlsx");
  lxw_workbook* wb = workbook_new(book.toUtf8().constData());
  lxw_worksheet* ws = workbook_add_worksheet(wb, "Catalogo");
  const char* rows[][4] = {{"Clave", "Descripción", "Unidad", ""},
                           {"", "ESTRUCTURA", "", ""},
                           {"EST-006", "COLUMNA DE 30x30 CM CON CONCRETO F'C=200", "M", "12.5"},
                           {"ALB-99", "MURO DE BLOCK ESPECIAL DEL CLIENTE", "M2", "40"}};
  for (lxw_row_t r = 0; r < 4; ++r) {
    for (lxw_col_t c = 0; c < 3; ++c) worksheet_write_string(ws, r, c, rows[r][c], nullptr);
    if (r == 0) worksheet_write_string(ws, r, 3, "Cantidad", nullptr);
    else if (*rows[r][3]) worksheet_write_number(ws, r, 3, std::atof(rows[r][3]), nullptr);
  }
  if (workbook_close(wb) == LXW_NO_ERROR) {
    ui::CatalogueImportWindow import(ctx, {ctx.session.installation, house, ctx.session.zone});
    import.setFile(book);
    shots.save(&import, "catalogue-import");
  }
}

// A report in its preview, and where it goes.
void shootReports(ui::Context& ctx, ui::MainFrame& frame, Shots& shots) {
  {
    // A report in its preview.
    reports::Spool spool;
    if (reports::layOutZoneReport(ctx.session.installation, ctx.errors, spool) && spool.numberPages(true)) {
      ui::PreviewWindow preview(spool, ui::Destination{});
      preview.setZoom(ui::kPageWidth);
      shots.save(&preview, "report-preview");
      ui::DestinationDialog destination;
      shots.save(&destination, "report-destination");
    }
  }
  for (QMdiSubWindow* sub : frame.findChildren<QMdiSubWindow*>()) sub->close();
}

// The backup, the suppliers and the online update.
void shootServices(ui::Context& ctx, ui::MainFrame& frame, Shots& shots) {
  {
    // The backup window, and the suppliers directory with a supplier and its promotions.
    auto* backup = new ui::BackupWindow(ctx);
    frame.openWindow(backup);
    shots.save(&frame, "backup");
    backup->parentWidget()->close();
    ui::BrowseWindow* suppliers = ui::openSupplierDirectory(ctx);
    shots.save(&frame, "suppliers");
    if (auto patr = shots.atRecord(ctx, "PATR", "CTA_KEY", "1")) {
      ui::SupplierForm supplierForm(ctx, *patr, FormRequest::kView);
      supplierForm.start();
      shots.save(&supplierForm, "supplier-form");
      ui::PromotionViewer promotions(ui::promotionFiles(ctx, patr->rec()));
      shots.save(&promotions, "promotions");
    }
    suppliers->parentWidget()->close();
  }
  {
    // The update menu and its download window, before " Actualiza".
    auto* updateMenu = new ui::UpdateMenu(ctx);
    frame.openWindow(updateMenu);
    auto* update = new ui::UpdateWindow(ctx);
    frame.openWindow(update);
    shots.save(&frame, "update");
    ui::MergeWindow merge(ctx);
    shots.save(&merge, "update-merge");
  }
}

}  // namespace

int saveScreenshots(int argc, char** argv, const std::string& dataDir, const std::string& settingsOption,
                    const std::string& outDir) {
  {
    // Only an existing installation: never new empty tables in some folder.
    const tables::Installation inst = installationAt(dataDir, settingsOption);
    bool held = false;
    if (Status asked = inst.holdsTable(tables::tableDef("INBA"), &held); !asked) {
      std::cerr << "velmora: " << asked.text() << "\n";
      return 1;
    }
    if (!held) {
      std::cerr << "velmora: " << dataDir << " no es una instalación (falta la tabla de insumos)\n";
      return 1;
    }
  }
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  ErrorReporter errors;
  RecordingPresenter presenter;
  errors.setPresenter(&presenter);
  shell::Session session = sessionAt(dataDir, settingsOption, errors);
  auto control = session.installation.table("CONTROL", errors);
  if (!control->open()) {
    std::cerr << "velmora: no se pudo abrir la instalación " << dataDir << "\n";
    return 1;
  }
  if (!estimate::readZoneNames(*control, &session.zoneNames) ||
      !estimate::loadZoneFactors(*control, 1, &session.zone)) {
    std::cerr << "velmora: no se pudieron leer las zonas de salario de " << dataDir << "\n";
    return 1;
  }
  auto vga = session.installation.table("VGA", errors);
  shell::InstallationSettings settings;
  if (vga->open() && shell::readSettings(*vga, &settings)) session.companyName = settings.company;
  QDir().mkpath(QString::fromStdString(outDir));
  Shots shots{outDir};

  ui::LoginWindow login(QString::fromStdString(session.companyName), {});
  shots.save(&login, "login");

  struct NoPrompt : ui::Prompter {
    void warn(const shell::WarningLines&) override {}
    bool ask(const shell::WarningLines&) override { return false; }
  } prompter;
  ui::MainFrame* framePtr = nullptr;
  ui::Context ctx{session, errors, prompter, [&framePtr](QWidget* w) { framePtr->openWindow(w); }};
  ui::MainFrame frame(ctx);
  framePtr = &frame;
  frame.resize(1100, 760);
  shots.save(&frame, "main-frame");

  for (auto* shoot : {shootPeople, shootCatalogue, shootWorks, shootReports, shootServices}) shoot(ctx, frame, shots);
  if (!shots.complete) return 1;
  std::cout << "Pantallas guardadas en " << outDir << "\n";
  return 0;
}

}  // namespace velmora::app
