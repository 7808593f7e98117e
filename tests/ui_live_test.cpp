// Lists on a server installation follow what other stations commit: the
// server tells every listening station, and an open list reads its rows again.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QLabel>
#include <QSignalSpy>
#include <QTest>

#include "app/demo_data.h"
#include "estimate/zones.h"
#include "ui/browse/live_changes.h"
#include "ui/browse/table_model.h"
#include "ui/works/budget_window.h"
#include "ui_fixture.h"
#include "works/work.h"

namespace velmora::testing {
namespace {

class LiveListTest : public UiTest {
 protected:
  void addInput(tables::Table& t, int cta, const std::string& text) {
    t.rec().clear();
    t.rec().setInteger("CTA", cta);
    t.rec().setText("TEXT", text);
    t.rec().setText("GENE", "MAT");
    ASSERT_TRUE(t.insert());
  }
};

TEST_F(LiveListTest, AnotherStationsCommitReachesAnOpenList) {
  if (!onServer()) GTEST_SKIP() << "files tell nobody of their changes";
  auto inba = open("INBA");
  addInput(*inba, 1, "CEMENTO");
  auto listed = inst.table("INBA", errors);
  ASSERT_TRUE(listed->open());
  ui::TableListModel model(std::move(listed));
  model.setOrder("INB:CTA_KEY", {});
  ASSERT_EQ(model.rowCount(), 1);
  QSignalSpy refreshed(&model, &ui::TableListModel::refreshed);

  // Another station adds an input.
  const pid_t station = fork();
  if (station == 0) {
    ErrorReporter own;
    own.setSilent(true);
    auto theirs = inst.table("INBA", own);
    bool done = theirs->open().isOk();
    theirs->rec().clear();
    theirs->rec().setInteger("CTA", 2);
    theirs->rec().setText("TEXT", "ARENA");
    done = done && theirs->insert().isOk();
    _exit(done ? 0 : 1);
  }
  int status = 0;
  waitpid(station, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_TRUE(refreshed.wait(5000));
  ASSERT_EQ(model.rowCount(), 2);
  EXPECT_EQ(model.recordAt(1).text("TEXT"), "ARENA");
}

// Commits come in bursts; an open list reads its rows once per burst, not
// once per notice (three hundred one-row commits read it once or twice,
// where each used to read it again).
TEST_F(LiveListTest, ABurstOfCommitsIsReadOncePerBurst) {
  if (!onServer()) GTEST_SKIP() << "files tell nobody of their changes";
  auto inba = open("INBA");
  addInput(*inba, 1, "CEMENTO");
  auto listed = inst.table("INBA", errors);
  ASSERT_TRUE(listed->open());
  const QString channel = QString::fromStdString(listed->changeChannel());
  ui::TableListModel model(std::move(listed));
  model.setOrder("INB:CTA_KEY", {});
  QSignalSpy refreshed(&model, &ui::TableListModel::refreshed);
  ui::LiveChanges* live = ui::LiveChanges::forServer(inst.serverUrl);
  ASSERT_NE(live, nullptr);
  const auto settle = [&](int atLeast) {
    for (int i = 0; i < 200 && refreshed.count() < atLeast; ++i) QTest::qWait(25);
    QTest::qWait(4 * static_cast<int>(ui::kBurstWindow.count()));  // and nothing more comes
  };

  // Three hundred notices of the table, heard one by one.
  for (int i = 0; i < 300; ++i) emit live->changed(channel);
  emit live->changed(QString("otro.INBA"));  // another installation's table: not this list's
  settle(1);
  EXPECT_EQ(refreshed.count(), 1);

  // Three hundred commits of another station, one row each.
  refreshed.clear();
  const pid_t station = fork();
  if (station == 0) {
    ErrorReporter own;
    own.setSilent(true);
    auto theirs = inst.table("INBA", own);
    bool done = theirs->open().isOk();
    for (int cta = 2; done && cta <= 301; ++cta) {
      theirs->rec().clear();
      theirs->rec().setInteger("CTA", cta);
      theirs->rec().setText("TEXT", "ARENA " + std::to_string(cta));
      theirs->rec().setText("GENE", "MAT");
      done = theirs->insert().isOk();
    }
    _exit(done ? 0 : 1);
  }
  int status = 0;
  waitpid(station, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  settle(1);
  EXPECT_GE(refreshed.count(), 1);
  EXPECT_LE(refreshed.count(), 2);
  EXPECT_EQ(tables::recordCount(model.table()), 301);
}

// A budget window on a server that restarts: CALCULA during the outage
// fails with a warning and the program goes on; once the server is back,
// the window listens again, reads its rows again, hears other stations and
// recalculates.
class ServerRestartUiTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    if (!server.started()) GTEST_SKIP() << "no PostgreSQL to start a server of the test's own";
    inst.serverUrl = server.url();
    inst.serverSchema = "velmora";
    session.installation = inst;
  }
  void TearDown() override {
    if (server.started()) server.restart();
    UiTest::TearDown();
  }
  PrivateServer server;
};

TEST_F(ServerRestartUiTest, TheBudgetWindowComesBackAfterAServerRestart) {
  ASSERT_TRUE(app::createDemoInstallation(inst, errors));
  auto control = open("CONTROL");
  auto obra = open("OBRA");
  ASSERT_TRUE(estimate::readZoneNames(*control, &session.zoneNames));
  works::WorkHeader house;
  ASSERT_TRUE(works::readWorkHeader(*obra, "CASA01", &house));
  ASSERT_TRUE(works::chooseWork(session, house, *control));
  auto* window = new ui::BudgetWindow(ctx, house);
  opened.push_back(window);
  window->show();
  ASSERT_EQ(window->model().rowCount(), 38);
  const QString directCost = window->findChild<QLabel*>("directCost")->text();

  ASSERT_TRUE(server.stop());
  window->recalculate();  // the program goes on
  ASSERT_FALSE(prompter.warnings.empty());
  EXPECT_EQ(prompter.warnings.front()[0], "NO SE PUDO CALCULAR EL PRESUPUESTO");
  for (const auto& m : presenter.shown()) EXPECT_EQ(m.text.find("Clave de propietario"), std::string::npos) << m.text;

  const int reloads = window->reloads();
  ASSERT_TRUE(server.restart());
  for (int i = 0; i < 800 && (window->reloads() == reloads || window->model().rowCount() != 38); ++i) QTest::qWait(25);
  ASSERT_EQ(window->model().rowCount(), 38) << "the window did not read its rows again";

  // Another station renames row 20: the window hears it.
  const pid_t station = fork();
  if (station == 0) {
    ErrorReporter own;
    own.setSilent(true);
    auto theirs = session.installation.table("COBR", own);
    bool done = theirs->open().isOk();
    theirs->rec().clear();
    theirs->rec().setInteger("CTA", 20);
    done = done && theirs->fetch(theirs->keyIndex("CTA_KEY")).found();
    theirs->rec().setText("TEXT", "LIMPIEZA DEL TERRENO");
    done = done && theirs->update().isOk();
    _exit(done ? 0 : 1);
  }
  int status = 0;
  waitpid(station, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const auto textOf20 = [&] {
    for (const auto& r : window->model().rows())
      if (r.account == 20) return r.text;
    return std::string();
  };
  for (int i = 0; i < 400 && textOf20() != "LIMPIEZA DEL TERRENO"; ++i) QTest::qWait(25);
  EXPECT_EQ(textOf20(), "LIMPIEZA DEL TERRENO");

  const size_t warned = prompter.warnings.size();
  window->recalculate();
  EXPECT_EQ(prompter.warnings.size(), warned);
  EXPECT_EQ(window->findChild<QLabel*>("directCost")->text(), directCost);
}

}  // namespace
}  // namespace velmora::testing
