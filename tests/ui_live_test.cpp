// Lists on a server installation follow what other stations commit: the
// server tells every listening station, and an open list reads its rows again.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QSignalSpy>

#include "ui/browse/table_model.h"
#include "ui_fixture.h"

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

}  // namespace
}  // namespace velmora::testing
