// The online update: which files are fetched and where they land, the run
// against a real FTP server, and the merge of the new prices into INBA.
#include <sqlite3.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <fstream>

#include "app/demo_data.h"
#include "fake_ftp_server.h"
#include "fixture.h"
#include "framework/dates.h"
#include "ftp_server.h"
#include "services/online_update.h"
#include "services/update_run.h"
#include "tables/catalogue.h"

namespace velmora::testing {
namespace {

namespace fs = std::filesystem;
using net::ListingRow;

TEST(UpdateRule, SizeDateAndNames) {
  const fs::path dir = fs::temp_directory_path() / ("velmora_rule_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::ofstream(dir / "IGUAL.TXT") << "12345";  // 5 bytes, today
  std::ofstream(dir / "LOCAL.TXT") << "123";
  const int32_t today = dates::today();
  struct Case {
    ListingRow row;
    bool fetched;
  };
  const std::vector<Case> cases = {
      {{"IGUAL.TXT", today + 5, 0, 5}, true},                                   // newer, though of the same size
      {{"IGUAL.TXT", today, -1, 5}, false},                                     // same day, no time, same size
      {{"IGUAL.TXT", today, (23 * 3600 + 59 * 60 + 59) * 100 + 100, 5}, true},  // same day, later
      {{"IGUAL.TXT", today, 1, 5}, false},                                      // same day, at midnight
      {{"LOCAL.TXT", today - 30, 0, 99}, false},                                // older than the local copy
      {{"LOCAL.TXT", today, 0, 99}, true},                                      // same day, another size
      {{"NUEVO.TXT", 1, 0, 10}, true},                                          // no local copy
      {{"CARPETA", today, 0, -1, net::ListingParser::kDirectory}, false},
      {{"../../fuera", today, 0, 10}, false},
      {{"sub/dir.txt", today, 0, 10}, false},
      {{"C:PRECIOS", today, 0, 10}, false},
      {{"..", today, 0, 10}, false},
      {{"a\\b", today, 0, 10}, false},
  };
  for (const auto& c : cases) {
    std::vector<std::string> refused;
    EXPECT_EQ(services::nextFileToFetch({c.row}, dir, {}, &refused) == 0, c.fetched) << c.row.name;
  }
  std::vector<std::string> refused;
  std::vector<ListingRow> all;
  for (const auto& c : cases) all.push_back(c.row);
  EXPECT_EQ(services::nextFileToFetch(all, dir, {"IGUAL.TXT", "LOCAL.TXT", "NUEVO.TXT"}, &refused), -1);
  EXPECT_EQ(refused, (std::vector<std::string>{"../../fuera", "sub/dir.txt", "C:PRECIOS", "..", "a\\b"}));
  // Table files the program may have open arrive aside; the update copy does not.
  EXPECT_EQ(services::localPathFor(dir, "DATA4A"), dir / "DATA4A");
  EXPECT_EQ(services::localPathFor(dir, "DATA4"), dir / services::kArrivalsFolder / "DATA4");
  EXPECT_EQ(services::localPathFor(dir, "usb.dll"), dir / services::kArrivalsFolder / "usb.dll");
  fs::remove_all(dir);
}

TEST(UpdateRule, HostAndPort) {
  std::string host;
  uint16_t port = 0;
  EXPECT_TRUE(services::splitHostPort("ftp.ejemplo.mx", host, port));
  EXPECT_EQ(port, 21);
  EXPECT_TRUE(services::splitHostPort("127.0.0.1:2121", host, port));
  EXPECT_EQ(host, "127.0.0.1");
  EXPECT_EQ(port, 2121);
  EXPECT_FALSE(services::splitHostPort("servidor:70000", host, port));
  EXPECT_FALSE(services::splitHostPort("servidor:abc", host, port));
}

class UpdateTest : public InstallationTest {
 protected:
  void SetUp() override {
    InstallationTest::SetUp();
    ASSERT_TRUE(app::createDemoInstallation(inst, errors).isOk());
  }
  // Adds inputs to a table (INBA or INBAA): account, description, price 1.
  void addInputs(const std::string& label, const std::vector<std::tuple<int, std::string, double>>& inputs) {
    auto t = inst.table(label, errors);
    ASSERT_TRUE(t->open());
    for (const auto& [cta, text, cost] : inputs) {
      t->rec().clear();
      t->rec().setInteger("CTA", cta);
      t->rec().setText("TEXT", text);
      t->rec().setText("GENE", "MAT");
      t->rec().setText("UNID", "PZA");
      t->rec().setInteger("TIPO", 3);
      for (int z = 1; z <= 5; ++z) {
        t->rec().setReal("COST", cost * z, z);
        t->rec().setInteger("FECH", 1000 + z, z);
      }
      ASSERT_TRUE(t->insert().isOk()) << cta;
    }
  }
  tables::Record input(int cta) {
    auto t = open("INBA");
    t->rec().setInteger("CTA", cta);
    EXPECT_TRUE(t->fetch(t->keyIndex("CTA_KEY")).found());
    return t->rec();
  }
  // Runs the update to its end; the statuses shown, in order.
  QStringList runUpdate(const services::ServerSettings& settings, services::UpdateRun** keep = nullptr,
                        services::UpdateLimits limits = {}) {
    auto* run = new services::UpdateRun(dir, settings, limits);
    QStringList statuses;
    QEventLoop loop;
    QObject::connect(run, &services::UpdateRun::status, [&](const QString& s) { statuses << s; });
    QObject::connect(run, &services::UpdateRun::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(15000, &loop, &QEventLoop::quit);
    if (run->start()) loop.exec();
    if (keep) *keep = run;
    else delete run;
    return statuses;
  }
};

TEST_F(UpdateTest, FetchesWhatIsNewAndKeepsOpenTablesAside) {
  if (onServer()) GTEST_SKIP() << "the tables of this installation are on the server, not in its folder";
  const fs::path root = dir / "servidor";
  fs::create_directories(root / "act");
  std::ofstream(root / "act" / "LEEME.TXT") << "lista de precios de diciembre\n";
  fs::copy_file(dir / "DATA1", root / "act" / "DATA1");  // a table the program has open
  const auto before = fs::file_size(dir / "DATA1");
  std::ofstream(root / "act" / "DATA1", std::ios::app) << std::string(1024, '\0');  // another size
  RealFtpServer server(root);
  ASSERT_TRUE(server.ready());
  services::UpdateRun* run = nullptr;
  const QStringList statuses = runUpdate(
      {"127.0.0.1:" + std::to_string(server.port()), RealFtpServer::kUser, RealFtpServer::kPassword, "/act"}, &run);
  std::unique_ptr<services::UpdateRun> owned(run);
  ASSERT_FALSE(statuses.isEmpty());
  EXPECT_EQ(statuses.front(), "Conectando al servidor Velmora");
  EXPECT_EQ(statuses.back(), "Actualización Completa");
  EXPECT_TRUE(statuses.contains("Actualizando archivos"));
  EXPECT_TRUE(fs::exists(dir / "LEEME.TXT"));
  EXPECT_EQ(fs::file_size(dir / "DATA1"), before);  // not swapped under the program
  EXPECT_TRUE(fs::exists(dir / services::kArrivalsFolder / "DATA1"));
  EXPECT_EQ(run->arrivedAside(), std::vector<std::string>{"DATA1"});
  // A second run finds nothing new.
  EXPECT_EQ(
      runUpdate({"127.0.0.1:" + std::to_string(server.port()), RealFtpServer::kUser, RealFtpServer::kPassword, "/act"})
          .back(),
      "Actualización Completa");
  // A wrong password ends in the client's error, shown with the command.
  EXPECT_EQ(runUpdate({"127.0.0.1:" + std::to_string(server.port()), RealFtpServer::kUser, "otra", "/act"}).back(),
            "Error = Login incorrect Comando = changedir");
}

TEST_F(UpdateTest, HostileNamesAreRefusedAndAnEmptyDirectoryIsTheRoot) {
  FakeFtpServer fake;
  fake.listing =
      "-rw-r--r-- 1 ftp ftp 5 Dec 09 14:20 ../../fuera.txt\r\n"
      "-rw-r--r-- 1 ftp ftp 5 Dec 09 14:20 C:fuera.txt\r\n"
      "-rw-r--r-- 1 ftp ftp 5 Dec 09 14:20 bueno.txt\r\n";
  fake.files["bueno.txt"] = "hola\n";
  services::UpdateRun* run = nullptr;
  const QStringList statuses = runUpdate({"127.0.0.1:" + std::to_string(fake.port()), "u", "p", ""}, &run);
  std::unique_ptr<services::UpdateRun> owned(run);
  EXPECT_EQ(statuses.back(), "Actualización Completa");
  EXPECT_TRUE(fake.received.contains("CWD /"));
  EXPECT_EQ(run->fetched(), std::vector<std::string>{"bueno.txt"});
  EXPECT_EQ(run->refused().size(), 2u);
  EXPECT_FALSE(fs::exists(dir.parent_path().parent_path() / "fuera.txt"));
  EXPECT_FALSE(fs::exists(dir / "C:fuera.txt"));
}

TEST_F(UpdateTest, MergeChangesOnlyTheChosenListAndAddsNewInputsWhole) {
  addInputs("INBA", {{900001, "CEMENTO GRIS", 200}, {900002, "ARENA", 300}});
  addInputs("INBAA", {{900002, "ARENA (NUEVA)", 350}, {900003, "GRAVA", 400}});
  const tables::Record untouched = input(900001);
  const tables::Record before = input(900002);
  std::vector<std::string> shown;
  services::MergeResult result;
  ASSERT_TRUE(services::mergeUpdate(
      inst, errors, 3, [&](const std::string& t) { shown.push_back(t); }, &result));
  EXPECT_EQ(result.changed, 1);
  EXPECT_EQ(result.added, 1);
  EXPECT_EQ(shown, (std::vector<std::string>{"ARENA (NUEVA)", "GRAVA"}));
  EXPECT_EQ(input(900001), untouched);
  const tables::Record after = input(900002);
  for (int z = 1; z <= 5; ++z) {
    EXPECT_EQ(after.real("COST", z), z == 3 ? 350.0 : before.real("COST", z)) << z;
    EXPECT_EQ(after.integer("FECH", z), z == 3 ? 1001 : before.integer("FECH", z)) << z;
  }
  EXPECT_EQ(after.text("TEXT"), before.text("TEXT"));
  const tables::Record added = input(900003);
  EXPECT_EQ(added.text("TEXT").substr(0, 5), "GRAVA");
  for (int z = 1; z <= 5; ++z) EXPECT_EQ(added.real("COST", z), 400.0 * z);

  EXPECT_TRUE(services::priceListProblem(inst, errors, 0).has_value());
  EXPECT_TRUE(services::priceListProblem(inst, errors, 6).has_value());
  EXPECT_FALSE(services::priceListProblem(inst, errors, 5).has_value());
}

TEST_F(UpdateTest, AFailedMergeLeavesTheInputsAsTheyWere) {
  addInputs("INBA", {{900002, "ARENA", 300}});
  addInputs("INBAA", {{900002, "ARENA", 999}, {900003, "GRAVA", 400}});
  // The disk refuses the second write: a trigger stands in for the failure.
  const std::string schema = "\"" + inst.serverSchema + "\"";
  runOnStorage(dir / "DATA4",
               "CREATE TRIGGER falla BEFORE INSERT ON INBA BEGIN SELECT RAISE(ABORT, 'disco lleno'); END",
               "CREATE FUNCTION " + schema +
                   ".falla() RETURNS trigger LANGUAGE plpgsql AS "
                   "'BEGIN RAISE EXCEPTION ''disco lleno''; END'; CREATE TRIGGER falla BEFORE INSERT ON " +
                   serverTable(inst, "INBA") + " FOR EACH ROW EXECUTE FUNCTION " + schema + ".falla()");
  const tables::Record before = input(900002);
  EXPECT_FALSE(services::mergeUpdate(inst, errors, 2, {}, nullptr));
  EXPECT_EQ(input(900002), before);  // the change made before the failure was rolled back
}

// A changed table often keeps its size: a newer file is fetched whatever its
// size, and a copy equal to the local file replaces nothing.
TEST_F(UpdateTest, ANewerFileOfTheSameSizeIsFetchedAndAnEqualCopyDropped) {
  const std::string old(4096, 'a'), changed(4096, 'b');
  std::ofstream(dir / "PRECIOS.TXT", std::ios::binary) << old;
  std::ofstream(dir / "IGUAL.TXT", std::ios::binary) << old;
  const auto aWeekAgo = fs::file_time_type::clock::now() - std::chrono::hours(24 * 7);
  fs::last_write_time(dir / "PRECIOS.TXT", aWeekAgo);
  fs::last_write_time(dir / "IGUAL.TXT", aWeekAgo);
  FakeFtpServer fake;
  fake.listing =
      "-rw-r--r-- 1 ftp ftp 4096 Dec 09  2099 PRECIOS.TXT\r\n"
      "-rw-r--r-- 1 ftp ftp 4096 Dec 09  2099 IGUAL.TXT\r\n";
  fake.files["PRECIOS.TXT"] = QByteArray::fromStdString(changed);
  fake.files["IGUAL.TXT"] = QByteArray::fromStdString(old);
  services::UpdateRun* run = nullptr;
  const QStringList statuses = runUpdate({"127.0.0.1:" + std::to_string(fake.port()), "u", "p", "/"}, &run);
  std::unique_ptr<services::UpdateRun> owned(run);
  EXPECT_EQ(statuses.back(), "Actualización Completa");
  std::ifstream in(dir / "PRECIOS.TXT", std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()), changed);
  EXPECT_EQ(run->unchanged(), std::vector<std::string>{"IGUAL.TXT"});
  for (const auto& e : fs::directory_iterator(dir))
    EXPECT_NE(e.path().filename().string().rfind(".velmora-descarga-", 0), 0u) << "scratch left behind";
}

// A listing line of no known form is reported, and the run is not complete;
// a server that never ends the run is stopped by the run's deadline.
TEST_F(UpdateTest, AnUnreadableListingOrAnEndlessRunIsNeverComplete) {
  FakeFtpServer fake;
  fake.listing =
      "-rw-r--r-- 1 ftp ftp 5 Dec 09 14:20 bueno.txt\r\n"
      "esto no es un renglon de listado valido\r\n";
  fake.files["bueno.txt"] = "hola\n";
  services::UpdateRun* run = nullptr;
  QStringList statuses = runUpdate({"127.0.0.1:" + std::to_string(fake.port()), "u", "p", "/"}, &run);
  std::unique_ptr<services::UpdateRun> owned(run);
  EXPECT_TRUE(statuses.back().startsWith("Error = El listado del servidor tiene 1 renglones"))
      << statuses.back().toStdString();
  EXPECT_EQ(run->fetched(), std::vector<std::string>{"bueno.txt"});
  EXPECT_EQ(run->unreadable().size(), 1u);

  FakeFtpServer slow;
  slow.files["lento.txt"] = QByteArray(100000, 'l');
  slow.listing = "-rw-r--r-- 1 ftp ftp 100000 Dec 09 14:20 lento.txt\r\n";
  slow.trickleMs = 400;
  QElapsedTimer took;
  took.start();
  statuses = runUpdate({"127.0.0.1:" + std::to_string(slow.port()), "u", "p", "/"}, nullptr, {30000, 5000, 800});
  EXPECT_TRUE(statuses.back().startsWith("Error = La actualización pasó de su tiempo límite"))
      << statuses.back().toStdString();
  EXPECT_LT(took.elapsed(), 4000);
  EXPECT_FALSE(fs::exists(dir / "lento.txt"));
}

// Each bad row alone refuses the whole merge: nothing is written, and the
// message names the row.
TEST_F(UpdateTest, NonsensePricesAndDatesRefuseTheWholeMerge) {
  addInputs("INBA", {{900001, "CEMENTO GRIS", 200}});
  const std::string table = "\"" + tables::tableDef("INBAA").storeName + "\"";
  struct Case {
    std::string set;  // how the one bad row differs
    std::string says;
  };
  const std::vector<Case> cases = {
      {"COST_1 = 1e308", "precio desmedido"},
      {"COST_1 = 9e999", "precio no finito"},
      {"COST_1 = -9e999", "precio no finito"},
      {"COST_1 = -500", "precio negativo"},
      {"COST_1 = -0.01", "precio negativo"},
      {"COST_1 = 4e-320", "centésima de centavo"},  // subnormal
      {"COST_1 = 0.00009", "centésima de centavo"},
      {"COST_1 = 'caro'", "no es un número"},
      {"COST_1 = x'00ff'", "no es un número"},
      {"FECH_1 = -5", "fecha no válida"},
      {"FECH_1 = 'hoy'", "fecha"},
      {"CTA = 900009, COST_4 = -1", "precio negativo"},
  };
  const std::string inputsBefore = [&] {
    std::string all;
    auto t = open("INBA");
    t->setOrder(t->keyIndex("CTA_KEY"));
    while (t->next().found())
      all += std::to_string(t->rec().integer("CTA")) + ":" + std::to_string(t->rec().real("COST", 2)) + ";";
    return all;
  }();
  for (const Case& c : cases) {
    fs::remove(dir / "DATA4A");
    addInputs("INBAA", {{900001, "CEMENTO GRIS", 250}, {900002, "ARENA", 300}});
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((dir / "DATA4A").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, ("UPDATE " + table + " SET " + c.set + " WHERE CTA = 900002").c_str(), nullptr, nullptr,
                           nullptr),
              SQLITE_OK)
        << c.set;
    sqlite3_close(db);
    const Status s = services::mergeUpdate(inst, errors, 2, {}, nullptr);
    EXPECT_FALSE(s) << c.set;
    EXPECT_NE(s.text().find(c.says), std::string::npos) << c.set << ": " << s.text();
    EXPECT_NE(s.text().find("no se colocó nada"), std::string::npos) << s.text();
    std::string after;
    auto t = open("INBA");
    t->setOrder(t->keyIndex("CTA_KEY"));
    while (t->next().found())
      after += std::to_string(t->rec().integer("CTA")) + ":" + std::to_string(t->rec().real("COST", 2)) + ";";
    EXPECT_EQ(after, inputsBefore) << c.set;
  }
}

// Another table served as the update copy is refused before it is opened,
// and the downloaded file is not changed.
TEST_F(UpdateTest, AFileThatIsNotTheUpdateCopyIsRefusedUntouched) {
  fs::remove(dir / "DATA4A");
  if (onServer()) {  // the lines' table file, as a station keeps it
    tables::Installation files = inst;
    files.serverUrl.clear();
    ASSERT_TRUE(files.table("INCO", errors)->open());
  }
  fs::copy_file(dir / "DATA6", dir / "DATA4A");  // a price list's lines, say
  std::ifstream in(dir / "DATA4A", std::ios::binary);
  const std::string before((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  const Status s = services::mergeUpdate(inst, errors, 1, {}, nullptr);
  EXPECT_FALSE(s);
  EXPECT_NE(s.text().find("no es una actualización de insumos"), std::string::npos) << s.text();
  std::ifstream again(dir / "DATA4A", std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(again)), std::istreambuf_iterator<char>()), before);
}

}  // namespace
}  // namespace velmora::testing
