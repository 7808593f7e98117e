// Several processes on one installation: update conflicts, crashes in the
// middle of a transaction, and locks held past the lock wait.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <random>
#include <sstream>
#include <thread>

#include "app/commands.h"
#include "app/demo_data.h"
#include "fixture.h"
#include "services/installation_use.h"
#include "services/migration.h"
#include "tables/relations.h"
#include "works/budget.h"

namespace velmora::tables {
namespace {

class ProcessTest : public velmora::testing::InstallationTest {
 protected:
  // Runs `body` in a child process with its own reporter and tables; the
  // child's exit status is 0 when body returned true.
  template <typename Body>
  pid_t spawn(Body body) {
    const pid_t pid = fork();
    if (pid == 0) {
      ErrorReporter childErrors;
      childErrors.setSilent(true);
      childErrors.setFatalHandler([](const std::string&) { _exit(3); });
      _exit(body(childErrors) ? 0 : 1);
    }
    return pid;
  }
  int waitFor(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  }
  void addConceptWithLines(Table& coba, Table& inco, int cta, int lines) {
    coba.rec().clear();
    coba.rec().setInteger("CTA", cta);
    ASSERT_TRUE(coba.insert());
    for (int i = 0; i < lines; ++i) {
      inco.rec().clear();
      inco.rec().setInteger("CTA", cta * 100 + i);
      inco.rec().setInteger("MATE", i + 1);
      ASSERT_TRUE(inco.insert());
    }
  }
  int64_t linesOf(Table& inco, int cta) {
    int64_t n = 0;
    inco.rec().clear();
    inco.rec().setInteger("CTA", cta * 100);
    inco.setOrderAt(inco.keyIndex("CTA_KEY"));
    while (inco.next().found() && inco.rec().hundredths("CTA") / 100 == cta) ++n;
    return n;
  }
  bool conceptExists(Table& coba, int cta) {
    coba.rec().setInteger("CTA", cta);
    return coba.fetch(coba.keyIndex("CTA_KEY")).found();
  }
};

TEST_F(ProcessTest, SecondOfTwoProcessesUpdatingARecordGetsTheConflictAndLosesNothing) {
  auto mine = open("INBA");
  mine->rec().setInteger("CTA", 1);
  mine->rec().setText("TEXT", "CEMENTO");
  ASSERT_TRUE(mine->insert());
  ASSERT_TRUE(mine->fetch(mine->keyIndex("CTA_KEY")).found());

  const Installation forChild = inst;
  const pid_t child = spawn([forChild](ErrorReporter& e) {
    auto t = forChild.table("INBA", e);
    if (!t->open()) return false;
    t->rec().setInteger("CTA", 1);
    if (!t->fetch(t->keyIndex("CTA_KEY")).found()) return false;
    t->rec().setReal("COST", 250.0, 1);
    return t->update().isOk();
  });
  ASSERT_EQ(waitFor(child), 0);

  mine->rec().setText("TEXT", "CEMENTO GRIS");
  EXPECT_TRUE(mine->update().is(Status::Code::kConflict));
  EXPECT_EQ(lastTitle(), "Registro no Actualizado");
  EXPECT_EQ(mine->rec().text("TEXT"), "CEMENTO");  // their record is shown
  EXPECT_EQ(mine->rec().real("COST", 1), 250.0);
  mine->rec().setText("TEXT", "CEMENTO GRIS");
  ASSERT_TRUE(mine->update());

  auto check = open("INBA");
  check->rec().setInteger("CTA", 1);
  ASSERT_TRUE(check->fetch(check->keyIndex("CTA_KEY")).found());
  EXPECT_EQ(check->rec().text("TEXT"), "CEMENTO GRIS");
  EXPECT_EQ(check->rec().real("COST", 1), 250.0);
}

TEST_F(ProcessTest, KillInsideACascadeDeleteLeavesItWhollyAbsent) {
  {
    auto coba = open("COBA");
    auto inco = open("INCO");
    addConceptWithLines(*coba, *inco, 125, 3);
  }
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const Installation forChild = inst;
  const pid_t child = spawn([forChild, &ready](ErrorReporter& e) {
    auto coba = forChild.table("COBA", e);
    if (!coba->open()) return false;
    coba->rec().setInteger("CTA", 125);
    if (!coba->fetch(coba->keyIndex("CTA_KEY")).found()) return false;
    RelationManager relations(forChild, e);
    relations.setBeforeParentDeleteHook([&] {
      (void)!write(ready[1], "x", 1);  // the lines are deleted, the concept not yet
      pause();
    });
    EXPECT_TRUE(relations.remove(*coba));
    return false;
  });
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  kill(child, SIGKILL);
  EXPECT_EQ(waitFor(child), -SIGKILL);
  close(ready[0]);
  close(ready[1]);

  auto coba = open("COBA");
  auto inco = open("INCO");
  EXPECT_TRUE(conceptExists(*coba, 125));
  EXPECT_EQ(linesOf(*inco, 125), 3);
  if (!onServer()) {
    EXPECT_EQ(integrityCheck(dir / "DATA3"), "ok");
    EXPECT_EQ(integrityCheck(dir / "DATA6"), "ok");
  }
}

TEST_F(ProcessTest, KillAtAnyMomentOfManyDeletesLeavesEachWhollyAppliedOrAbsent) {
  constexpr int kConcepts = 300;
  {
    auto coba = open("COBA");
    auto inco = open("INCO");
    ASSERT_TRUE(coba->begin());
    ASSERT_TRUE(inco->begin());
    for (int cta = 1; cta <= kConcepts; ++cta) addConceptWithLines(*coba, *inco, cta, 4);
    ASSERT_TRUE(coba->commit());
    ASSERT_TRUE(inco->commit());
  }
  std::mt19937 random(20261210);
  for (int round = 0; round < 3; ++round) {
    const Installation forChild = inst;
    const pid_t child = spawn([forChild](ErrorReporter& e) {
      auto coba = forChild.table("COBA", e);
      if (!coba->open()) return false;
      RelationManager relations(forChild, e);
      for (int cta = 1; cta <= kConcepts; ++cta) {
        coba->rec().setInteger("CTA", cta);
        if (coba->fetch(coba->keyIndex("CTA_KEY")).found()) (void)relations.remove(*coba);  // killed mid-way
      }
      return true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20 + random() % 200));
    kill(child, SIGKILL);
    waitFor(child);

    auto coba = open("COBA");
    auto inco = open("INCO");
    int present = 0;
    for (int cta = 1; cta <= kConcepts; ++cta) {
      const bool hasConcept = conceptExists(*coba, cta);
      const int64_t lines = linesOf(*inco, cta);
      EXPECT_EQ(lines, hasConcept ? 4 : 0) << "concepto " << cta;
      present += hasConcept;
    }
    if (!onServer()) {
      EXPECT_EQ(integrityCheck(dir / "DATA3"), "ok");
      EXPECT_EQ(integrityCheck(dir / "DATA6"), "ok");
    }
    if (present == 0) break;
  }
}

TEST_F(ProcessTest, AWriteLockHeldElsewhereEndsInAMessageAfterTheWait) {
  auto inba = open("INBA");
  inba->rec().setInteger("CTA", 1);
  ASSERT_TRUE(inba->insert());
  ASSERT_TRUE(inba->fetch(inba->keyIndex("CTA_KEY")).found());
  auto coba = open("COBA");
  coba->rec().setInteger("CTA", 1);
  ASSERT_TRUE(coba->insert());
  ASSERT_TRUE(coba->fetch(coba->keyIndex("CTA_KEY")).found());

  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const auto folder = dir;
  const std::string server = inst.serverUrl;
  const std::string lockBoth =
      "BEGIN; LOCK TABLE " + serverTable(inst, "INBA") + ", " + serverTable(inst, "COBA") + " IN EXCLUSIVE MODE";
  const pid_t child = spawn([folder, server, lockBoth, &ready](ErrorReporter&) {
    if (!server.empty()) {  // another station's transaction holding both tables
      PGconn* pg = PQconnectdb(server.c_str());
      PGresult* r = PQexec(pg, lockBoth.c_str());
      if (PQresultStatus(r) != PGRES_COMMAND_OK) return false;
      (void)!write(ready[1], "x", 1);
      pause();
      return true;
    }
    sqlite3 *inbaDb, *cobaDb;
    sqlite3_open((folder / "DATA4").string().c_str(), &inbaDb);
    sqlite3_open((folder / "DATA3").string().c_str(), &cobaDb);
    if (sqlite3_exec(inbaDb, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) != SQLITE_OK) return false;
    if (sqlite3_exec(cobaDb, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) != SQLITE_OK) return false;
    (void)!write(ready[1], "x", 1);
    pause();
    return true;
  });
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);

  using Clock = std::chrono::steady_clock;
  auto start = Clock::now();
  EXPECT_TRUE(inba->update().is(Status::Code::kLocked));
  const auto updateWait = Clock::now() - start;
  EXPECT_EQ(lastTitle(), "Registro no fue Actualizado");
  EXPECT_NE(shownTexts().back().find("bloqueada"), std::string::npos) << shownTexts().back();

  RelationManager relations(inst, errors);
  start = Clock::now();
  EXPECT_TRUE(relations.remove(*coba).is(Status::Code::kLocked));
  const auto deleteWait = Clock::now() - start;
  EXPECT_EQ(lastTitle(), "Transacción Cancelada");

  kill(child, SIGKILL);
  waitFor(child);
  close(ready[0]);
  close(ready[1]);
  // Bounded waits, not speed targets: the other station is never waited for
  // much longer than the lock wait (10 s) or the transaction wait (2 s).
  EXPECT_GE(updateWait, std::chrono::seconds(9));
  EXPECT_LT(updateWait, std::chrono::seconds(20));
  EXPECT_LT(deleteWait, std::chrono::seconds(6));
  // Once the station is gone the record can be written again.
  EXPECT_TRUE(inba->update());
}

// Each work's budget rows, with their figures, as stored.
std::vector<std::string> budgetsOf(const Installation& at, ErrorReporter& errors) {
  std::vector<std::string> out;
  for (const char* code : {"CASA01", "BODEGA02"}) {
    Installation work = at;
    work.workDir = at.dataDir / code;
    work.createMissing = false;
    auto cobr = work.table("COBR", errors);
    std::vector<works::BudgetRow> rows;
    if (!cobr->open() || !works::readBudget(*cobr, &rows)) {
      out.push_back(std::string(code) + ": no se pudo leer");
      continue;
    }
    for (const auto& r : rows)
      out.push_back(std::string(code) + " " + std::to_string(r.account) + " " + std::to_string(r.quantity) + " " +
                    std::to_string(r.unitPrice) + " " + std::to_string(r.amount));
  }
  return out;
}

// migra killed at several moments, each time over the copy the last one
// left: the target stays marked, every command refuses it, and the next
// migra starts it over and ends with the source's figures. Into files, and
// on the server's run from those files back into a schema of its own too.
TEST_F(ProcessTest, AMigrationKilledAnywhereLeavesATargetNoCommandUsesUntilTheNextOneCompletesIt) {
  ASSERT_TRUE(app::createDemoInstallation(inst, errors).isOk());
  const std::vector<std::string> expected = budgetsOf(inst, errors);
  ASSERT_GT(expected.size(), 10u);
  Installation files;
  files.dataDir = dir / "copia";
  files.settingsDir = files.dataDir / ".settings";
  Installation server = inst;
  server.dataDir = dir / "estacion";
  server.settingsDir = server.dataDir / ".settings";
  server.serverSchema = inst.serverSchema + "_copia";
  std::vector<std::pair<const Installation*, const Installation*>> ways = {{&inst, &files}};
  if (onServer()) ways.push_back({&files, &server});

  for (const auto& [from, to] : ways) {
    SCOPED_TRACE(to->onServer() ? "hacia el servidor" : "hacia archivos");
    for (const std::string cut : {"INBA", "CASA01/COBR", "BODEGA02/COBR"}) {
      const pid_t child = spawn([&, from = from, to = to](ErrorReporter& childErrors) {
        services::MigrationReport report;
        (void)services::migrateInstallation(*from, *to, childErrors, &report, [&](const std::string& table) {
          if (table == cut) raise(SIGKILL);
        });
        return true;
      });
      ASSERT_EQ(waitFor(child), -SIGKILL) << "migra did not reach " << cut;
      std::optional<std::string> mark;
      ASSERT_TRUE(copyIncompleteMark(*to, &mark).isOk());
      EXPECT_TRUE(mark.has_value()) << cut;
      services::InstallationUse use;
      std::ostringstream said;
      EXPECT_FALSE(app::useInstallation(*to, use, false, said)) << cut;
      EXPECT_NE(said.str().find("es una copia que no terminó"), std::string::npos) << said.str();
    }
    services::MigrationReport report;
    const Status s = services::migrateInstallation(*from, *to, errors, &report, [](const std::string&) {});
    ASSERT_TRUE(s.isOk()) << s.text();
    EXPECT_FALSE(report.restartedFrom.empty());
    EXPECT_FALSE(report.leftIncomplete);
    EXPECT_EQ(report.works.size(), 2u);
    std::optional<std::string> mark;
    ASSERT_TRUE(copyIncompleteMark(*to, &mark).isOk());
    EXPECT_FALSE(mark.has_value());
    services::InstallationUse use;
    std::ostringstream said;
    EXPECT_TRUE(app::useInstallation(*to, use, false, said)) << said.str();
    use.release();
    EXPECT_EQ(budgetsOf(*to, errors), expected);
    // The suppliers' pictures and the installation's settings file came along.
    EXPECT_GT(report.files, 0u);
    for (const auto& picture : std::filesystem::directory_iterator(inst.dataDir / "PROMOCIONES")) {
      EXPECT_TRUE(std::filesystem::exists(to->dataDir / "PROMOCIONES" / picture.path().filename())) << picture.path();
    }
    EXPECT_TRUE(std::filesystem::exists(to->settingsDir / "velmora.conf"));
  }
  if (onServer()) {
    EXPECT_TRUE(dropServerInstallation(server).isOk());
  }
}

}  // namespace
}  // namespace velmora::tables
