// The backup window and the suppliers screens, driven as a user drives them,
// on the demo installation.
#include <QCheckBox>
#include <QDesktopServices>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <QUrl>

#include <QProgressBar>
#include <fstream>
#include "app/demo_data.h"
#include "ftp_server.h"
#include "services/restore.h"
#include "ui/services/backup_window.h"
#include "ui/services/restore_window.h"
#include "ui/services/supplier_screens.h"
#include "ui/services/update_screens.h"
#include "ui_fixture.h"

namespace velmora::testing {

// Receives the addresses the program hands to the system's browser and mail program.
class UrlCatcher : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> urls;
 public slots:
  void open(const QUrl& url) { urls.push_back(url); }
};

namespace {

namespace fs = std::filesystem;

class ServicesUiTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    ASSERT_TRUE(app::createDemoInstallation(inst, errors).isOk());
    session.installation = inst;
    for (const char* scheme : {"http", "https", "mailto"}) QDesktopServices::setUrlHandler(scheme, &urls, "open");
  }
  void TearDown() override {
    for (const char* scheme : {"http", "https", "mailto"}) QDesktopServices::unsetUrlHandler(scheme);
    UiTest::TearDown();
  }
  // Sets supplier `account`'s promotion files (relative to the data directory).
  void setPromotions(int account, std::vector<std::string> files) {
    auto patr = open("PATR");
    patr->rec().setInteger("CTA", account);
    ASSERT_TRUE(patr->fetch(patr->keyIndex("CTA_KEY")).found());
    for (int i = 1; i <= 5; ++i)
      patr->rec().setText("PROM", i <= static_cast<int>(files.size()) ? files[i - 1] : "", i);
    ASSERT_TRUE(patr->update());
  }
  ui::BrowseWindow* directoryAt(int account) {
    ui::BrowseWindow* list = ui::openSupplierDirectory(ctx);
    for (int row = 0; row < list->model().rowCount(); ++row) {
      if (list->model().recordAt(row).integer("CTA") == account) list->selectRow(row);
    }
    return list;
  }

  UrlCatcher urls;
};

TEST_F(ServicesUiTest, BackupWindowAsksWhereThenPacksOnItsOwnThread) {
  ui::BackupWindow window(ctx);
  window.show();
  auto* start = window.findChild<QPushButton*>("BUTTON1");
  EXPECT_TRUE(window.findChild<QCheckBox*>("RCON")->isChecked());
  EXPECT_TRUE(window.findChild<QCheckBox*>("RDAT")->isChecked());
  QTest::mouseClick(start, Qt::LeftButton);
  ASSERT_EQ(prompter.warnings.size(), 1u);
  EXPECT_EQ(prompter.warnings[0],
            (shell::WarningLines{"NO HA SELECCIONADO DONDE", "DESEA EL RESPALDO", "INDIQUE USTED DONDE"}));
  EXPECT_TRUE(start->isEnabled());

  const fs::path dest = dir / "respaldo de hoy";
  fs::create_directories(dest);
  QTest::keyClicks(window.findChild<QLineEdit*>("DIRE"), QString::fromStdString(dest.string()));
  QTest::mouseClick(window.findChild<QCheckBox*>("RCON"), Qt::LeftButton);  // only the system files
  QSignalSpy finished(&window, &ui::BackupWindow::backupFinished);
  QTest::mouseClick(start, Qt::LeftButton);
  EXPECT_FALSE(start->isEnabled());
  ASSERT_TRUE(finished.wait(20000));
  EXPECT_TRUE(fs::exists(dest / "OBRAS.zip"));
  EXPECT_FALSE(fs::exists(dest / "CASA01.zip"));
  auto* files = window.findChild<QListWidget*>("LIST1");
  ASSERT_GT(files->count(), 10);
  EXPECT_EQ(files->item(files->count() - 1)->text(), ".settings/FONTS.DLL");
  EXPECT_FALSE(window.isVisible());  // the window closes at the end
}

TEST_F(ServicesUiTest, AFailedArchiveShowsZipErrorAndTheOthersAreMade) {
  auto obra = open("OBRA");
  obra->rec().clear();
  obra->rec().setText("CTA", "AAA00");  // registered, with no directory
  ASSERT_TRUE(obra->insert());
  obra->close();
  ui::BackupWindow window(ctx);
  window.show();
  window.findChild<QLineEdit*>("DIRE")->setText(QString::fromStdString(dir.string()));
  window.findChild<QCheckBox*>("RDAT")->setChecked(false);
  QSignalSpy finished(&window, &ui::BackupWindow::backupFinished);
  QTest::mouseClick(window.findChild<QPushButton*>("BUTTON1"), Qt::LeftButton);
  ASSERT_TRUE(finished.wait(20000));
  const auto shown = presenter.shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].title, "Zip Error");
  EXPECT_EQ(shown[0].text.rfind("An error prevented zipping files to " + (dir / "AAA00").string(), 0), 0u);
  EXPECT_TRUE(fs::exists(dir / "CASA01.zip"));
  EXPECT_TRUE(fs::exists(dir / "BODEGA02.zip"));
}

TEST_F(ServicesUiTest, DirectoryTabsPutTheSortFieldFirst) {
  ui::BrowseWindow* list = ui::openSupplierDirectory(ctx);
  auto& model = list->model();
  EXPECT_EQ(model.headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(), "TIPO DE PROVEEDOR");
  EXPECT_EQ(model.data(model.index(0, 2), Qt::DisplayRole).toString(), "MATERIALES PARA CONSTRUCCION");
  QTest::mouseClick(list->findChild<QTabBar*>("tabs"), Qt::LeftButton, {},
                    list->findChild<QTabBar*>("tabs")->tabRect(3).center());
  EXPECT_EQ(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "CIUD");
  QStringList cities;
  for (int row = 0; row < model.rowCount(); ++row)
    cities << model.data(model.index(row, 0), Qt::DisplayRole).toString();
  EXPECT_EQ(cities, (QStringList{"CIUDAD DE MEXICO", "GUADALAJARA", "MONTERREY", "PUEBLA", "TIJUANA"}));
}

TEST_F(ServicesUiTest, WebPageAndMailGoToTheSystemPrograms) {
  ui::BrowseWindow* list = directoryAt(1);
  QTest::mouseClick(list->findChild<QPushButton*>("web"), Qt::LeftButton);
  QTest::mouseClick(list->findChild<QPushButton*>("mail"), Qt::LeftButton);
  ASSERT_EQ(urls.urls.size(), 2);
  EXPECT_EQ(urls.urls[0], QUrl("https://www.cementosdelvalle.mx"));
  EXPECT_EQ(urls.urls[1].scheme(), "mailto");
  EXPECT_EQ(urls.urls[1].path(), "ventas@cementosdelvalle.mx");

  // No web page: the warning, the maker's address shown, nothing opened.
  list = directoryAt(2);
  QTest::mouseClick(list->findChild<QPushButton*>("web"), Qt::LeftButton);
  EXPECT_EQ(urls.urls.size(), 2);
  ASSERT_EQ(prompter.warnings.size(), 1u);
  EXPECT_EQ(prompter.warnings[0][1], "REGISTRADO EL WEB DEL PROVEEDOR");
  EXPECT_EQ(QString::fromStdString(list->currentRecord()->text("WEB")).trimmed(), "https://www.velmora.mx");
}

TEST_F(ServicesUiTest, PromotionViewerWalksThePicturesThatExist) {
  // Supplier 2 has pictures 1 and 2 only.
  const auto files = ui::promotionFiles(ctx, [&] {
    auto patr = open("PATR");
    patr->rec().setInteger("CTA", 2);
    EXPECT_TRUE(patr->fetch(patr->keyIndex("CTA_KEY")).found());
    return patr->rec();
  }());
  ui::PromotionViewer viewer(files);
  EXPECT_EQ(viewer.current(), 1);
  EXPECT_FALSE(viewer.backButton()->isEnabled());
  EXPECT_TRUE(viewer.forwardButton()->isEnabled());
  QTest::mouseClick(viewer.forwardButton(), Qt::LeftButton);
  EXPECT_EQ(viewer.current(), 2);
  EXPECT_FALSE(viewer.forwardButton()->isEnabled());
  EXPECT_TRUE(viewer.backButton()->isEnabled());
  QTest::mouseClick(viewer.backButton(), Qt::LeftButton);
  EXPECT_EQ(viewer.current(), 1);
  EXPECT_FALSE(viewer.backButton()->isEnabled());
  EXPECT_TRUE(viewer.forwardButton()->isEnabled());

  // A missing first picture: the warning, even with a second one on disk.
  setPromotions(1, {"PROMOCIONES/NO_EXISTE.bmp", "PROMOCIONES/PROV1_2.bmp"});
  ui::BrowseWindow* list = directoryAt(1);
  QTest::mouseClick(list->findChild<QPushButton*>("promotions"), Qt::LeftButton);
  ASSERT_EQ(prompter.warnings.size(), 1u);
  EXPECT_EQ(prompter.warnings[0],
            (shell::WarningLines{"EL PATROCINADOR NO TIENE", "PROMOCIONES EN ESTE", "MOMENTO ..."}));
}

TEST_F(ServicesUiTest, SupplierFormShowsTheTypeDescription) {
  auto patr = open("PATR");
  patr->rec().setInteger("CTA", 3);
  ASSERT_TRUE(patr->fetch(patr->keyIndex("CTA_KEY")).found());
  ui::SupplierForm form(ctx, *patr, FormRequest::kChange);
  ASSERT_TRUE(form.start());
  form.show();
  QApplication::setActiveWindow(&form);
  EXPECT_EQ(form.typeDescription(), "ACERO Y PREFABRICADOS");
  auto* type = qobject_cast<QLineEdit*>(form.fieldWidget("TIPO"));
  type->setFocus();
  type->selectAll();
  QTest::keyClicks(type, "4");
  QTest::keyClick(type, Qt::Key_Tab);
  EXPECT_EQ(form.typeDescription(), "FERRETERIA");

  ui::SupplierForm view(ctx, *patr, FormRequest::kView);
  ASSERT_TRUE(view.start());
  EXPECT_FALSE(view.fieldWidget("NOMB")->isEnabled());
  EXPECT_FALSE(view.findChild<QPushButton*>("typeLookup")->isEnabled());
}

TEST_F(ServicesUiTest, RestoreWindowPutsABackupBack) {
  services::BackupRequest request;
  request.destination = dir;
  request.works = {"CASA01"};
  request.system = false;
  services::ZipArchiver archiver;
  ASSERT_TRUE(services::runBackup(inst, request, archiver).at(0).status);
  tables::Installation casa = inst;
  casa.workDir = dir / "CASA01";
  const auto linesOfCasa = [&] {
    auto lines = casa.table("IOBR", errors);
    EXPECT_TRUE(lines->open());
    return recordCount(*lines);
  };
  const int64_t lines = linesOfCasa();
  ASSERT_GT(lines, 0);
  runOnStorage(dir / "CASA01" / "OBRA2", "DELETE FROM \"" + tables::tableDef("IOBR").storeName + "\"",
               "DELETE FROM " + serverTable(casa, "IOBR"));
  ASSERT_EQ(linesOfCasa(), 0);

  ui::RestoreWindow window(ctx);
  window.setArchive(QString::fromStdString((dir / "CASA01.zip").string()));
  EXPECT_EQ(window.findChild<QLabel*>("contents")->text().left(26), "ARCHIVOS DE LA OBRA CASA01");
  prompter.answer = true;
  QTest::mouseClick(window.findChild<QPushButton*>("restore"), Qt::LeftButton);
  EXPECT_TRUE(window.restored());
  EXPECT_EQ(linesOfCasa(), lines);
  EXPECT_EQ(prompter.warnings.back()[0], "RESPALDO RESTAURADO");
}

TEST_F(ServicesUiTest, UpdateWindowDownloadsFromTheServer) {
  const fs::path root = dir / "servidor";
  fs::create_directories(root / "act");
  std::ofstream(root / "act" / "PRECIOS.TXT") << std::string(300000, 'p');
  RealFtpServer server(root);
  ASSERT_TRUE(server.ready());
  ASSERT_TRUE(services::writeServerSettings(
      inst, errors,
      {"127.0.0.1:" + std::to_string(server.port()), RealFtpServer::kUser, RealFtpServer::kPassword, "/act"}));
  ui::UpdateWindow window(ctx);
  window.setAttribute(Qt::WA_DeleteOnClose, false);
  window.show();
  EXPECT_EQ(window.statusText(), "Desea verificar actualizaciones ?");
  QSignalSpy finished(&window, &ui::UpdateWindow::updateFinished);
  auto* start = window.findChild<QPushButton*>("BUTTON2");
  QTest::mouseClick(start, Qt::LeftButton);
  EXPECT_FALSE(start->isEnabled());
  ASSERT_TRUE(finished.wait(15000));
  EXPECT_TRUE(finished.at(0).at(0).toBool());
  EXPECT_EQ(window.statusText(), "Actualización Completa");
  EXPECT_EQ(window.findChild<QProgressBar*>("FILETRANSFERPROGRESS")->value(), 100);
  EXPECT_EQ(fs::file_size(dir / "PRECIOS.TXT"), 300000u);
}

TEST_F(ServicesUiTest, MergeWindowAsksForAListThenMerges) {
  {
    auto copy = open("INBAA");
    copy->rec().clear();
    copy->rec().setInteger("CTA", 10001);  // an input of the demo
    copy->rec().setText("TEXT", "CEMENTO NUEVO PRECIO");
    copy->rec().setReal("COST", 999.5, 1);
    copy->rec().setInteger("FECH", 80000, 1);
    ASSERT_TRUE(copy->insert());
  }
  ui::MergeWindow window(ctx);
  QTest::mouseClick(window.findChild<QPushButton*>("BUTTON4"), Qt::LeftButton);
  ASSERT_EQ(prompter.warnings.size(), 1u);  // no list yet: nothing written
  EXPECT_EQ(prompter.warnings[0][0], "INDIQUE LA LISTA DE PRECIOS");
  window.findChild<QLineEdit*>("TAMA")->setText("4");
  QTest::mouseClick(window.findChild<QPushButton*>("BUTTON4"), Qt::LeftButton);
  EXPECT_EQ(window.result(), QDialog::Accepted);
  EXPECT_EQ(window.shownInput(), "CEMENTO NUEVO PRECIO");
  auto inba = open("INBA");
  inba->rec().setInteger("CTA", 10001);
  ASSERT_TRUE(inba->fetch(inba->keyIndex("CTA_KEY")).found());
  EXPECT_EQ(inba->rec().real("COST", 4), 999.5);
  EXPECT_EQ(inba->rec().integer("FECH", 4), 80000);
}

TEST_F(ServicesUiTest, ServerFormChecksThePort) {
  ui::ServerForm form(ctx);
  form.findChild<QLineEdit*>("SERVER")->setText("ftp.ejemplo.mx:99999");
  form.accept();
  ASSERT_EQ(prompter.warnings.size(), 1u);
  EXPECT_NE(form.result(), QDialog::Accepted);
  form.findChild<QLineEdit*>("SERVER")->setText("ftp.ejemplo.mx:2121");
  form.findChild<QLineEdit*>("PASS")->setText("secreto");
  form.accept();
  services::ServerSettings saved;
  ASSERT_TRUE(services::readServerSettings(inst, errors, saved));
  EXPECT_EQ(saved.host, "ftp.ejemplo.mx:2121");
  EXPECT_EQ(saved.password, "secreto");
}

}  // namespace
}  // namespace velmora::testing

#include "ui_services_test.moc"
