// Many stations on one work, and a server that goes away: a whole-work
// operation waits for another's, a lost server is said as such (never as a
// missing table, a wrong owner or a disk error), nothing is written by an
// operation it cut, and the same tables work again once it is back.
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "app/demo_data.h"
#include "fixture.h"
#include "works/budget.h"
#include "works/work.h"

namespace velmora::testing {
namespace {

// The demo installation, with the house CASA01 open.
class DemoWorkTest : public InstallationTest {
 protected:
  void makeDemo() {
    ASSERT_TRUE(app::createDemoInstallation(inst, errors));
    ASSERT_TRUE(works::openWork(inst, errors, "CASA01", &work));
  }
  Status calcula(const works::Progress& progress = {}) {
    return works::calcula(work->inst, errors, work->header, work->zone, 0, progress);
  }
  std::vector<works::BudgetRow> rows() {
    auto cobr = work->inst.table("COBR", errors);
    std::vector<works::BudgetRow> out;
    EXPECT_TRUE(cobr->open() && works::readBudget(*cobr, &out));
    return out;
  }
  double directCost() {
    double cost = 0;
    for (const works::BudgetRow& r : rows())
      if (r.kind == works::row_kind::kConcept) cost += r.amount;
    return cost;
  }
  bool anyShown(const std::string& words) const {
    for (const std::string& text : shownTexts())
      if (text.find(words) != std::string::npos) return true;
    return false;
  }
  std::optional<works::OpenWork> work;
};

// ---- two stations recalculate one work ------------------------------------------------

using WorkLockTest = DemoWorkTest;

// While one station recalculates the house, a second station's CALCULA of
// it waits for the first to end (within the usual lock wait) and then runs
// on the rows the first left: both succeed, with the figures of one run.
TEST_F(WorkLockTest, ASecondCalculaOfAWorkWaitsItsTurnAndRuns) {
  makeDemo();
  ASSERT_TRUE(calcula());
  const double expected = directCost();
  // Spoiled figures, which each run prices again.
  runOnStorage(work->inst.workDir / "OBRA1", "UPDATE COBR SET IMPO = 0, PUNI = 0",
               "UPDATE " + serverTable(work->inst, "COBR") + " SET \"IMPO\" = 0, \"PUNI\" = 0");
  int holding[2];
  ASSERT_EQ(pipe(holding), 0);
  const pid_t first = fork();
  if (first == 0) {
    ErrorReporter own;
    own.setSilent(true);
    bool told = false;
    const Status s =
        works::calcula(work->inst, own, work->header, work->zone, 0, [&](size_t, size_t, const std::string&) {
          if (!told) {  // under the work's lock now: the other station may start
            told = true;
            (void)!write(holding[1], "x", 1);
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
          }
          return true;
        });
    _exit(s ? 0 : 1);
  }
  close(holding[1]);
  char seen = 0;
  ASSERT_EQ(read(holding[0], &seen, 1), 1);
  close(holding[0]);
  const Status second = calcula();
  int status = 0;
  waitpid(first, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the first station's CALCULA failed";
  EXPECT_TRUE(second) << second.text();
  EXPECT_FALSE(anyShown("modificado por otra estación"));
  EXPECT_NEAR(directCost(), expected, 0.005);
}

// ---- a server that goes away ------------------------------------------------------------

class ServerOutageTest : public DemoWorkTest {
 protected:
  void SetUp() override {
    DemoWorkTest::SetUp();
    if (!server.started()) GTEST_SKIP() << "no PostgreSQL to start a server of the test's own";
    inst.serverUrl = server.url();
    inst.serverSchema = "velmora";
  }
  void TearDown() override {
    if (server.started()) server.restart();  // the installation is dropped from it
    DemoWorkTest::TearDown();
  }
  // What every failure must not be mistaken for.
  void expectNoFalseCause(const std::string& text) {
    for (const char* wrong :
         {"falta la tabla", "Clave de propietario", "entrada y salida del disco", "server", "connection", "could not"})
      EXPECT_EQ(text.find(wrong), std::string::npos) << text;
    for (const auto& m : presenter.shown())
      for (const char* wrong : {"falta la tabla", "Clave de propietario", "entrada y salida del disco", "could not"})
        EXPECT_EQ(m.text.find(wrong), std::string::npos) << m.text;
  }
  PrivateServer server;
};

// CALCULA while the server is down fails, saying that the server does not
// answer and that the work is as it was; the program goes on, and once the
// server is back the tables opened before the restart work again.
TEST_F(ServerOutageTest, CalculaDuringAnOutageFailsClearlyAndTheTablesWorkAfterTheRestart) {
  makeDemo();
  ASSERT_TRUE(calcula());
  const double expected = directCost();
  auto kept = work->inst.table("COBR", errors);  // opened before the restart
  ASSERT_TRUE(kept->open());

  ASSERT_TRUE(server.stop());
  Status during;
  EXPECT_NO_THROW(during = calcula()) << "a lost server ended the program";
  ASSERT_FALSE(during);
  EXPECT_NE(during.text().find("no se pudo conectar con el servidor"), std::string::npos) << during.text();
  EXPECT_NE(during.text().find("127.0.0.1:" + std::to_string(server.port()) + " no acepta conexiones"),
            std::string::npos)
      << during.text();
  EXPECT_NE(during.text().find("la obra quedó como estaba"), std::string::npos) << during.text();
  expectNoFalseCause(during.text());
  kept->rec().clear();
  kept->rec().setInteger("CTA", 20);
  Status read;
  EXPECT_NO_THROW(read = kept->fetch(kept->keyIndex("CTA_KEY")));
  EXPECT_FALSE(read);
  EXPECT_FALSE(read.is(Status::Code::kNotFound)) << "a failed read is not an absent row";

  ASSERT_TRUE(server.restart());
  kept->rec().clear();
  kept->rec().setInteger("CTA", 20);
  EXPECT_TRUE(kept->fetch(kept->keyIndex("CTA_KEY")).found());
  EXPECT_EQ(kept->rec().integer("CTA"), 20);
  EXPECT_TRUE(calcula());
  EXPECT_NEAR(directCost(), expected, 0.005);
}

// The server dies in the middle of CALCULA: the run fails saying so, the
// server rolled its transaction back, and after the restart every row holds
// what it held before; a run then gives the uninterrupted run's figures.
TEST_F(ServerOutageTest, AServerLostInTheMiddleOfCalculaLeavesTheWorkAsItWas) {
  makeDemo();
  ASSERT_TRUE(calcula());
  const double expected = directCost();
  runOnStorage({}, {}, "UPDATE " + serverTable(work->inst, "COBR") + " SET \"IMPO\" = 0, \"PUNI\" = 0");
  const std::vector<works::BudgetRow> before = rows();

  Status cut;
  EXPECT_NO_THROW(cut = calcula([&](size_t done, size_t, const std::string&) {
                    if (done == 5) {
                      EXPECT_TRUE(server.stop());
                    }
                    return true;
                  }))
      << "a lost server ended the program";
  ASSERT_FALSE(cut);
  EXPECT_NE(cut.text().find("se perdió la conexión con el servidor"), std::string::npos) << cut.text();
  EXPECT_NE(cut.text().find("la obra quedó como estaba"), std::string::npos) << cut.text();
  expectNoFalseCause(cut.text());

  ASSERT_TRUE(server.restart());
  const std::vector<works::BudgetRow> after = rows();
  ASSERT_EQ(after.size(), before.size());
  for (size_t i = 0; i < before.size(); ++i) {
    EXPECT_EQ(after[i].account, before[i].account);
    EXPECT_EQ(after[i].amount, before[i].amount) << before[i].account;
    EXPECT_EQ(after[i].unitPrice, before[i].unitPrice) << before[i].account;
  }
  EXPECT_TRUE(calcula());
  EXPECT_NEAR(directCost(), expected, 0.005);
}

// Failures to connect and to read say their cause in Spanish, once each:
// a server that is not there, a database or a role it does not have, a role
// without rights on the installation.
TEST_F(ServerOutageTest, ConnectionFailuresSayTheirCauseInSpanish) {
  {
    auto inba = inst.table("INBA", errors);
    ASSERT_TRUE(inba->open());  // the installation's tables, made by their owner
  }
  {
    PGconn* admin = PQconnectdb(server.url().c_str());
    PGresult* r = PQexec(admin, "CREATE ROLE sinderechos LOGIN");
    ASSERT_EQ(PQresultStatus(r), PGRES_COMMAND_OK) << PQerrorMessage(admin);
    PQclear(r);
    PQfinish(admin);
  }
  const std::string at = "127.0.0.1:" + std::to_string(server.port());
  struct Case {
    std::string url;
    std::string said;
  };
  const Case cases[] = {
      {"postgresql://velmora@127.0.0.1:1/velmora", "el servidor 127.0.0.1:1 no acepta conexiones"},
      {"postgresql://velmora@" + at + "/noexiste", "la base de datos noexiste no existe en el servidor " + at},
      {"postgresql://nadie@" + at + "/velmora", "el usuario nadie no existe en el servidor " + at},
      {"postgresql://sinderechos@" + at + "/velmora",
       "el usuario sinderechos no tiene permiso sobre los datos de la instalación en el servidor " + at},
  };
  for (const Case& c : cases) {
    presenter.clear();
    tables::Installation other = inst;
    other.serverUrl = c.url;
    auto inba = other.table("INBA", errors);
    Status opened;
    EXPECT_NO_THROW(opened = inba->open()) << c.url;
    ASSERT_FALSE(opened) << c.url;
    EXPECT_NE(opened.text().find(c.said), std::string::npos) << opened.text();
    expectNoFalseCause(opened.text());
    ASSERT_EQ(presenter.shown().size(), 1u) << c.url;
    EXPECT_NE(presenter.shown()[0].text.find(c.said), std::string::npos) << presenter.shown()[0].text;
  }
}

}  // namespace
}  // namespace velmora::testing
