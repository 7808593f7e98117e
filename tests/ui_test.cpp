// The browse/form framework and the shell screens, headless on real files.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>
#include <fstream>
#include <set>

#include <QMessageBox>
#include <QTreeWidget>
#include "shell/ini_file.h"
#include "shell/login.h"
#include "shell/startup.h"
#include "tables/catalogue.h"
#include "tables/relations.h"
#include "ui/browse/browse_window.h"
#include "ui/browse/query_dialog.h"
#include "ui/browse/record_form.h"
#include "ui/main_frame.h"
#include "ui/qt_presenter.h"
#include "ui/startup_windows.h"
#include "ui/users_screens.h"
#include "ui/warning_window.h"
#include "ui/worker_run.h"
#include "ui/zone_screens.h"
#include "ui_fixture.h"

namespace velmora::ui {
namespace {

using namespace browse_button;
using velmora::testing::UiTest;

class BrowseTest : public UiTest {
 protected:
  void addInputs(int n) {
    auto inba = open("INBA");
    EXPECT_TRUE(inba->begin());
    for (int i = 1; i <= n; ++i) {
      inba->rec().clear();
      inba->rec().setInteger("CTA", i);
      inba->rec().setText("TEXT", "INSUMO " + std::to_string(100000 + i));
      inba->rec().setInteger("TIPO", 3);
      EXPECT_TRUE(inba->insert());
    }
    EXPECT_TRUE(inba->commit());
  }
  BrowseSpec inputsSpec(std::function<bool(BrowseWindow&, tables::Table&, FormRequest)> form = {}) {
    BrowseSpec s;
    s.procedure = "CAP_PRUEBA";
    s.title = "Insumos";
    s.table = "INBA";
    s.tabs = {{"x CUENTA", "CTA_KEY", {{"CUENTA", "CTA", "n_7"}, {"DESCRIPCION", "TEXT", "s35"}}},
              {"x DESCRIPCION", "DES_KEY", {{"DESCRIPCION", "TEXT", "s35"}, {"CUENTA", "CTA", "n_7"}}}};
    s.buttons = kInsert | kChange | kDelete | kView | kQuery | kClose;
    s.form = std::move(form);
    return s;
  }
  BrowseWindow* openList(BrowseSpec declaration, bool picking = false) {
    auto* list = new BrowseWindow(ctx, std::move(declaration), picking);
    list->setAttribute(Qt::WA_DeleteOnClose, false);
    opened.push_back(list);
    list->show();
    return list;
  }
  std::vector<std::string> titles() const {
    std::vector<std::string> out;
    for (const auto& m : presenter.shown()) out.push_back(m.title);
    return out;
  }
};

TEST_F(BrowseTest, ALargeTableOpensWithoutReadingEveryRow) {
  addInputs(20000);
  {
    TableListModel model(inst.table("INBA", errors));
    EXPECT_TRUE(model.table().open());
    model.setOrder("DES_KEY", inputsSpec().tabs[1].columns);
    EXPECT_EQ(model.rowCount(), TableListModel::kChunk);
    EXPECT_TRUE(model.canFetchMore({}));
    EXPECT_EQ(model.data(model.index(0, 0), Qt::DisplayRole).toString(), "INSUMO 100001");
    model.fetchMore({});
    EXPECT_EQ(model.rowCount(), 2 * TableListModel::kChunk);
    EXPECT_EQ(model.data(model.index(150, 1), Qt::DisplayRole).toString(), "151");
  }
  // Shown in its window, the list reads what the view asks for, not the table.
  auto* list = openList(inputsSpec());
  EXPECT_LT(list->model().rowCount(), 1000);
  EXPECT_TRUE(list->model().canFetchMore({}));

  // The locator reads on only as far as the value it looks for.
  list->setTab(1);
  const int row = list->model().locate("insumo 100350");
  EXPECT_EQ(row, 349);
  EXPECT_LT(list->model().rowCount(), 500);
}

TEST_F(BrowseTest, TheListModelPassesTheModelTester) {
  // Qt 6.4's tester calls fetchMore() from inside its own signal handlers and
  // then reports its own change in flight, so it runs on a list that fits in
  // the first page.
  addInputs(60);
  TableListModel model(inst.table("INBA", errors));
  EXPECT_TRUE(model.table().open());
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  model.setOrder("CTA_KEY", inputsSpec().tabs[0].columns);
  model.setFilter({{"TEXT", 1, tables::Condition::Op::kContains, "10000"}});
  EXPECT_EQ(model.rowCount(), 9);
  model.reload();
  EXPECT_EQ(model.columnCount(), 2);
}

TEST_F(BrowseTest, TabsChangeTheOrderAndTheColumns) {
  auto inba = open("INBA");
  for (auto [cta, text] : {std::pair{1, "ZINC"}, {2, "ÁCIDO"}, {3, "acero"}}) {
    inba->rec().clear();
    inba->rec().setInteger("CTA", cta);
    inba->rec().setText("TEXT", text);
    ASSERT_TRUE(inba->insert());
  }
  auto* list = openList(inputsSpec());
  list->setTab(1);
  auto& m = list->model();
  EXPECT_EQ(m.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "DESCRIPCION");
  EXPECT_EQ(m.data(m.index(0, 0), Qt::DisplayRole).toString(), "acero");
  EXPECT_EQ(m.data(m.index(1, 0), Qt::DisplayRole).toString(), "ÁCIDO");
  EXPECT_EQ(m.data(m.index(2, 0), Qt::DisplayRole).toString(), "ZINC");
}

TEST_F(BrowseTest, PopupMenuOffersTheListsButtonsInOrder) {
  auto* list = openList(inputsSpec());
  QMenu* menu = list->popupMenu();
  QStringList entries;
  for (QAction* a : menu->actions()) entries << (a->isSeparator() ? "-" : a->text());
  EXPECT_EQ(entries, (QStringList{"&Agregar", "&Cambiar", "&Borrar", "&Ver", "-", "&Consulta", "-", "&Herramientas"}));
  delete menu;
  auto* picker = openList(inputsSpec(), true);
  menu = picker->popupMenu();
  entries.clear();
  for (QAction* a : menu->actions()) entries << (a->isSeparator() ? "-" : a->text());
  EXPECT_TRUE(entries.contains("&Elegir"));
  delete menu;
}

TEST_F(BrowseTest, DeletingFromAListAsksOnceAndNoKeepsTheRecord) {
  addInputs(3);
  auto* list = openList(inputsSpec());
  presenter.answerNext(button::kNo);
  list->deleteRecord();
  EXPECT_EQ(titles(), std::vector<std::string>{"Confirmar Borrado"});
  EXPECT_EQ(list->model().rowCount(), 3);
  list->deleteRecord();  // default Yes
  EXPECT_EQ(list->model().rowCount(), 2);
  EXPECT_EQ(recordCount(*open("INBA")), 2);
}

TEST_F(BrowseTest, QueryByExampleFiltersTheList) {
  addInputs(30);
  auto* list = openList(inputsSpec());
  const auto& columns = list->declaration().tabs[0].columns;
  list->setQuery({queryCondition(columns[1], 0, "*10002*")});        // contains
  EXPECT_EQ(list->model().rowCount(), 10);                           // 100020 .. 100029
  list->setQuery({queryCondition(columns[1], 0, "insumo 10001*")});  // begins
  EXPECT_EQ(list->model().rowCount(), 10);
  list->setQuery({queryCondition(columns[0], 1, "5")});  // "No Igual<>"
  EXPECT_EQ(list->model().rowCount(), 29);
  list->setQuery({});
  EXPECT_EQ(list->model().rowCount(), 30);
}

// A form on INBA with the default options: ask 38 when a changed form is left.
// A fatal message on a run's own thread (a table that cannot be opened)
// fails the run: the window that started it gets the failure and the
// program goes on; so does an exception thrown by the run.
TEST_F(BrowseTest, AFatalMessageOrAThrowOnAWorkerThreadFailsOnlyTheRun) {
  QWidget window;
  const auto label = [](const std::string& d) { return QString::fromStdString(d); };
  const Status fatal = runOffTheWindowThread(
      &window, errors, "Prueba", label,
      [](ErrorReporter& runErrors, const RunProgressCallback&) {
        runErrors.setFile("DATA4");
        EXPECT_EQ(runErrors.raise(26), result::kCancel);  // comes back to the run
        return Status::error(Status::Code::kIoError, "no se pudo abrir DATA4");
      },
      false);
  EXPECT_TRUE(fatal.is(Status::Code::kIoError));
  EXPECT_EQ(lastTitle(), "Error de Acceso");  // shown by the window's presenter
  EXPECT_EQ(shownTexts().back().find("Press OK"), std::string::npos) << shownTexts().back();
  const Status thrown = runOffTheWindowThread(
      &window, errors, "Prueba", label,
      [](ErrorReporter&, const RunProgressCallback&) -> Status { throw tables::UnknownName("campo desconocido X"); },
      false);
  EXPECT_TRUE(thrown.is(Status::Code::kInvalid));
  EXPECT_NE(thrown.text().find("campo desconocido"), std::string::npos);
}

class InputForm : public RecordForm {
 public:
  InputForm(Context& ctx, tables::Table& t, FormRequest r, FormOptions o = {})
      : RecordForm(ctx, t, r, "Insumo", {"General"},
                   {{"Cuenta:", "CTA", "n_7", 0, 1, FieldSpec::Kind::kEdit, true},
                    {"Descripción:", "TEXT", "s35"},
                    {"Precio zona 1:", "COST", "n14.2B", 0, 1}},
                   o) {}
  QLineEdit* edit(const char* field) { return static_cast<QLineEdit*>(fieldWidget(field)); }
};

class FormTest : public BrowseTest {
 protected:
  void SetUp() override {
    BrowseTest::SetUp();
    addInputs(2);
    inba = open("INBA");
    inba->rec().setInteger("CTA", 1);
    ASSERT_TRUE(inba->fetch(inba->keyIndex("CTA_KEY")).found());
  }
  std::unique_ptr<tables::Table> inba;
};

TEST_F(FormTest, CancellingAnUnchangedFormAsksNothing) {
  InputForm form(ctx, *inba, FormRequest::kChange);
  form.start();
  form.show();
  form.reject();
  EXPECT_TRUE(presenter.shown().empty());
  EXPECT_FALSE(form.isVisible());
}

TEST_F(FormTest, LeavingAChangedFormAsksToSaveWithCancelAsDefault) {
  InputForm form(ctx, *inba, FormRequest::kChange);
  form.start();
  form.show();
  form.edit("TEXT")->setText("CAMBIADO");

  form.reject();  // default Cancel: back to the form
  ASSERT_EQ(presenter.shown().size(), 1u);
  EXPECT_EQ(presenter.shown()[0].title, "Guardar Registro");
  EXPECT_EQ(presenter.shown()[0].buttons, button::kYes | button::kNo | button::kCancel);
  EXPECT_EQ(presenter.shown()[0].defaultButton, button::kCancel);
  EXPECT_TRUE(form.isVisible());

  presenter.answerNext(button::kYes);
  form.reject();
  EXPECT_FALSE(form.isVisible());
  EXPECT_TRUE(form.completed());
  auto check = open("INBA");
  check->rec().setInteger("CTA", 1);
  ASSERT_TRUE(check->fetch(check->keyIndex("CTA_KEY")).found());
  EXPECT_EQ(check->rec().text("TEXT"), "CAMBIADO");
}

TEST_F(FormTest, WithoutTheSavingFlagLeavingAsksMessage10) {
  FormOptions options;
  options.saveOnLeave = false;
  InputForm form(ctx, *inba, FormRequest::kChange, options);
  form.start();
  form.show();
  form.edit("COST")->setText("12.5");
  presenter.answerNext(button::kNo);
  form.reject();
  EXPECT_EQ(presenter.shown().back().title, "Cambios no seran Realizados!");
  EXPECT_EQ(presenter.shown().back().text, "¿Desea Ud.cancelar?");
  EXPECT_TRUE(form.isVisible());
  form.reject();  // Yes: leave without saving
  EXPECT_FALSE(form.isVisible());
  EXPECT_FALSE(form.completed());
}

TEST_F(FormTest, AfterAnInsertNoToMessage3ClosesAndKeepsTheRecord) {
  FormOptions options;
  options.insertAction = FormOptions::InsertAction::kAskAnother;
  InputForm form(ctx, *inba, FormRequest::kInsert, options);
  form.start();
  form.show();
  EXPECT_EQ(form.edit("CTA")->text(), "3");  // numbered (and reserved) at once
  form.edit("TEXT")->setText("NUEVO");
  presenter.answerNext(button::kNo);
  form.accept();
  EXPECT_EQ(presenter.shown().back().title, "Registro Agregado");
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(recordCount(*open("INBA")), 3);
}

TEST_F(FormTest, AnInsertLeftWithoutSavingGivesItsNumberBack) {
  InputForm form(ctx, *inba, FormRequest::kInsert);
  form.start();
  EXPECT_EQ(recordCount(*open("INBA")), 3);  // reserved
  form.reject();                             // unchanged: no question
  EXPECT_TRUE(presenter.shown().empty());
  EXPECT_EQ(recordCount(*open("INBA")), 2);
}

TEST_F(FormTest, ViewDisablesTheEntriesAndBadNumbersAreRefused) {
  InputForm view(ctx, *inba, FormRequest::kView);
  view.start();
  EXPECT_FALSE(view.edit("TEXT")->isEnabled());

  InputForm form(ctx, *inba, FormRequest::kChange);
  form.start();
  form.show();
  form.edit("COST")->setText("doce");
  form.accept();
  EXPECT_TRUE(form.isVisible());
  ASSERT_EQ(prompter.warnings.size(), 1u);
  EXPECT_EQ(prompter.warnings[0][0], "EL VALOR DEBE SER NUMERICO");
}

class ShellScreensTest : public BrowseTest {
 protected:
  void addUser(const char* name, const char* login, std::initializer_list<int> levels) {
    auto pers = open("PERS");
    pers->rec().setText("NOMB", name);
    pers->rec().setText("LOGIN", login);
    pers->rec().setText("PASS", shell::storedUserPassword("x"));
    int i = 1;
    for (int l : levels) pers->rec().setInteger("PRES", l, i++);
    ASSERT_TRUE(pers->insert());
  }
};

TEST_F(ShellScreensTest, UsersListAppliesTheDeleteAndOwnAccountRules) {
  addUser("ANA", "ana", {3});
  addUser("BETO", "beto", {2});
  session.login.user = 2;  // BETO, level 2 in element 1
  session.login.levels[0] = 2;
  auto* list = openUsersList(ctx);
  list->setAttribute(Qt::WA_DeleteOnClose, false);
  list->selectRow(0);
  list->deleteRecord();
  ASSERT_EQ(prompter.warnings.size(), 1u);
  EXPECT_EQ(prompter.warnings[0][0], "NO TIENE ACCESO A ESTE PROGRAMA");
  EXPECT_EQ(recordCount(*open("PERS")), 2);

  // Level 3 may delete, but changing ANA's record is not BETO's own account.
  session.login.levels[0] = 3;
  prompter.warnings.clear();
  list->changeRecord();
  ASSERT_EQ(prompter.warnings.size(), 1u);
  EXPECT_EQ(prompter.warnings[0],
            (shell::WarningLines{"SOLO TIENE ACCESO A SU", "PROPIA CUENTA", "CON Ok CONTINUA .."}));
  list->deleteRecord();
  EXPECT_EQ(recordCount(*open("PERS")), 1);
}

TEST_F(ShellScreensTest, UserFormVerifiesThePasswordAndStoresItUnreadable) {
  auto pers = open("PERS");
  UserForm form(ctx, *pers, FormRequest::kInsert);
  form.start();
  form.show();
  static_cast<QLineEdit*>(form.fieldWidget("NOMB"))->setText("CARLA");
  static_cast<QLineEdit*>(form.fieldWidget("LOGIN"))->setText("carla");
  static_cast<QLineEdit*>(form.fieldWidget("PASS"))->setText("Secreto");
  form.verification()->setText("secreto");
  form.accept();
  ASSERT_EQ(prompter.warnings.size(), 1u);
  EXPECT_EQ(prompter.warnings[0],
            (shell::WarningLines{"LA CLAVE NO FUE VERIFICADA", "INTENTE NUEVAMENTE", "CON Ok CONTINUA..."}));
  EXPECT_TRUE(form.isVisible());

  form.verification()->setText("Secreto");
  static_cast<QLineEdit*>(form.fieldWidget("PRES", 3))->setText("2");
  form.accept();
  EXPECT_FALSE(form.isVisible());
  auto check = open("PERS");
  check->rec().setInteger("CTA", 1);
  ASSERT_TRUE(check->fetch(check->keyIndex("CTA_KEY")).found());
  EXPECT_EQ(check->rec().text("PASS").find("Secreto"), std::string::npos);
  EXPECT_EQ(check->rec().integer("PRES", 3), 2);
  EXPECT_EQ(shell::checkLogin({}, *check, "CARLA", "SECRETO").kind, shell::LoginResult::kUser);
}

TEST_F(ShellScreensTest, ZoneFormComputesWorkingDaysAndRefusesZoneSix) {
  auto control = open("CONTROL");
  control->rec().setText("ZONA", "CENTRO");
  ASSERT_TRUE(control->insert());
  ZoneForm form(ctx, *control, FormRequest::kChange);
  form.start();
  form.show();
  static_cast<QLineEdit*>(form.fieldWidget("SUDI", 14))->setText("52");
  static_cast<QLineEdit*>(form.fieldWidget("SUDI", 15))->setText("52");
  static_cast<QLineEdit*>(form.fieldWidget("CTA"))->setText("6");
  form.accept();
  ASSERT_EQ(prompter.warnings.size(), 1u);
  EXPECT_EQ(prompter.warnings[0][0], "UNICAMENTE SE PUEDEN DAR DE ALTA");
  EXPECT_TRUE(form.isVisible());
  static_cast<QLineEdit*>(form.fieldWidget("CTA"))->setText("1");
  form.accept();
  EXPECT_FALSE(form.isVisible());
  auto check = open("CONTROL");
  check->rec().setInteger("CTA", 1);
  ASSERT_TRUE(check->fetch(check->keyIndex("KEYCTA")).found());
  EXPECT_EQ(check->rec().real("DHAB"), 261);

  // Choosing the zone computes its factors for the session.
  chooseZone(ctx, 1);
  EXPECT_TRUE(session.zone.complete);
  EXPECT_DOUBLE_EQ(session.zone.fsrMenor, 365.0 / 261);
}

TEST_F(ShellScreensTest, MainFrameMenusRotationAndDocuments) {
  for (int n = 1; n <= 3; ++n) std::ofstream(dir / ("LOGO" + std::to_string(n) + ".JPG")) << "x";
  session.logoCount = 3;
  session.login.user = 4;  // a user of PERS
  MainFrame frame(ctx);
  EXPECT_EQ(frame.windowTitle(), "Sistema de Control de Obra Velmora");
  EXPECT_FALSE(frame.action("CONFIGURARSISTEMA")->isEnabled());
  EXPECT_FALSE(frame.action("PROVEE")->isVisible());
  EXPECT_TRUE(frame.action("RESPALDO")->isEnabled());
  EXPECT_TRUE(frame.action("PATROCINADORES")->isEnabled());
  EXPECT_TRUE(frame.action("ACTUALIZAR")->isEnabled());
  EXPECT_TRUE(frame.action("BDATOS")->isEnabled());
  EXPECT_TRUE(frame.action("PERSONAL")->isEnabled());

  std::set<int> shown;
  for (int i = 0; i < 3; ++i) {
    frame.rotateBanner();
    shown.insert(frame.shownLogo());
  }
  EXPECT_EQ(shown, (std::set<int>{1, 2, 3}));

  // The splash closes the first time a control of the frame is pressed.
  frame.showSplash();
  QWidget* splash = frame.findChild<QWidget*>("SPLASH");
  if (!splash) {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (w->objectName() == "SPLASH") splash = w;
    }
  }
  ASSERT_NE(splash, nullptr);
  EXPECT_TRUE(splash->isVisible());
  frame.action("TILE")->trigger();
  EXPECT_FALSE(splash->isVisible());

  closeNextModal();
  frame.openDocument("obras.doc");
  ASSERT_EQ(modalTexts.size(), 1);
  EXPECT_EQ(modalTexts[0], "Archivo no localizado\nobras.doc");

  // Windows keep their placement in KAVEL.INI from one opening to the next.
  shell::IniFile ini(dir / "KAVEL.INI");
  frame.setPlacements(&ini);
  auto* users = new BrowseWindow(ctx, usersListSpec());
  frame.openWindow(users);
  users->parentWidget()->setGeometry(10, 20, 500, 300);
  users->parentWidget()->close();
  ASSERT_TRUE(ini.placement("CAP_EMPL").has_value());
  EXPECT_EQ(ini.placement("CAP_EMPL")->width, 500);
  auto* again = new BrowseWindow(ctx, usersListSpec());
  frame.openWindow(again);
  EXPECT_EQ(again->parentWidget()->geometry(), QRect(10, 20, 500, 300));

  session.login.user = 0;
  session.showSuppliers = true;
  MainFrame master(ctx);
  EXPECT_TRUE(master.action("CONFIGURARSISTEMA")->isEnabled());
  EXPECT_TRUE(master.action("PROVEE")->isVisible());
}

TEST_F(ShellScreensTest, TheLoginWindowLogsAUserInThroughTheStartUp) {
  ASSERT_TRUE(shell::saveSettings(inst, errors, {"CONSTRUCTORA", "Jefe", "Secreta"}));
  addUser("ANA", "ana", {3, 2});
  // Type into the login window when it opens, as a user would.
  QTimer::singleShot(0, [] {
    auto* window = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), "Accesando el Sistema");
    window->findChild<QLineEdit*>("login")->setText("ANA");
    window->findChild<QLineEdit*>("password")->setText("X");
    window->findChild<QPushButton*>("ok")->click();
  });
  QtStartupUi ui(prompter, dir);
  EXPECT_EQ(shell::startSession(session, ui), shell::StartupOutcome::kRun);
  EXPECT_EQ(session.login.user, 1);
  EXPECT_EQ(session.login.level(2), 2);
  EXPECT_EQ(session.companyName, "CONSTRUCTORA");
}

TEST_F(ShellScreensTest, TheQtPresenterShowsTheEntryWithSpanishButtons) {
  QtPresenter qt;
  errors.setPresenter(&qt);
  QStringList buttons;
  QString title, text;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    title = box->windowTitle();
    text = box->text();
    for (QAbstractButton* b : box->buttons()) buttons << b->text();
    box->button(QMessageBox::No)->click();
  });
  errors.setFile("INBA");
  EXPECT_EQ(errors.askMessage(38, button::kYes | button::kNo | button::kCancel, button::kCancel), button::kNo);
  EXPECT_EQ(title, "Guardar Registro");
  EXPECT_EQ(text, "¿ Desea guardar los cambios?");
  buttons.sort();
  EXPECT_EQ(buttons, (QStringList{"&Cancelar", "&No", "&Sí"}));

  const std::vector<HistoryEntry> entries = {{"uno", 1, "ZORB"}, {"dos", 2, "ZORB"}};
  HistoryWindow history("Errors History", entries, button::kOk | button::kHelp | button::kCancel, button::kOk);
  QStringList order;
  for (QPushButton* b : history.findChildren<QPushButton*>()) order << b->text();
  EXPECT_EQ(order, (QStringList{"&Help", "&Cancel", "O&k"}));
  EXPECT_EQ(history.findChild<QTreeWidget*>("history")->topLevelItemCount(), 2);
}

TEST_F(ShellScreensTest, WarningAndQuestionWindows) {
  WarningWindow question({"¿ BORRAR EL CONCEPTO ?", "", ""}, true);
  EXPECT_EQ(question.windowTitle(), "MENSAJE DE ADVERTENCIA !!!");
  EXPECT_EQ(question.answer(), 'N');  // "NO" is chosen when the window opens
  question.findChild<QRadioButton*>("yes")->setChecked(true);
  EXPECT_EQ(question.answer(), 'S');
  EXPECT_EQ(question.findChild<QLabel*>("line1")->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
}

}  // namespace
}  // namespace velmora::ui
