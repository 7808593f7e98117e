// A fresh installation in a temporary directory, with a reporter that records
// what it would show and turns a fatal message into an exception.
//
// When VELMORA_TEST_SERVER_FILE names a file holding a server address (the
// private server CTest starts), the data tables live on that server instead,
// in a schema of the test's own that is dropped at the end.
#pragma once

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "framework/error_reporter.h"
#include "tables/catalogue.h"
#include "tables/installation.h"
#include "tables/table.h"

namespace velmora::tables {
// The number of records of `table`; a count that fails fails the test.
// (Beside Table, so that every test namespace finds it.)
inline int64_t recordCount(Table& table) {
  int64_t n = -1;
  EXPECT_TRUE(table.count(&n).isOk());
  return n;
}
}  // namespace velmora::tables

namespace velmora::testing {

struct FatalExit {
  std::string text;
};

// A PostgreSQL server of the test's own (scripts/pg-server), which the test
// stops as a crash would and starts again, on the same port, as a restart
// does; removed with the object.
class PrivateServer {
 public:
  PrivateServer() {
    static int counter = 0;
    state_ = std::filesystem::temp_directory_path() /
             ("velmora-own-pg-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
    started_ = running_ = run("start");
    if (started_) std::getline(std::ifstream(state_ / "url"), url_);
    std::ifstream(state_ / "port") >> port_;
  }
  ~PrivateServer() {
    run("stop");
    std::filesystem::remove_all(state_);
  }
  PrivateServer(const PrivateServer&) = delete;
  PrivateServer& operator=(const PrivateServer&) = delete;

  bool started() const { return started_; }
  const std::string& url() const { return url_; }
  int port() const { return port_; }
  bool stop() {
    running_ = !run("pause");
    return !running_;
  }
  bool restart() {
    running_ = running_ || run("resume");
    return running_;
  }

 private:
  bool run(const char* what) {
    const std::string command = std::string("VELMORA_PG_OPTIONS='-c fsync=off' sh '") + VELMORA_SOURCE_DIR +
                                "/scripts/pg-server' " + what + " '" + state_.string() + "' > /dev/null";
    return std::system(command.c_str()) == 0;
  }
  std::filesystem::path state_;
  std::string url_;
  int port_ = 0;
  bool started_ = false, running_ = false;
};

class InstallationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir = std::filesystem::temp_directory_path() /
          ("velmora_" + std::string(info->test_suite_name()) + "_" + info->name() + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "settings");
    inst.dataDir = dir;
    inst.settingsDir = dir / "settings";
    if (const std::string url = testServer(); !url.empty()) {
      static int counter = 0;
      inst.serverUrl = url;
      inst.serverSchema = "t" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
    }
    errors.setPresenter(&presenter);
    errors.setFatalHandler([](const std::string& text) { throw FatalExit{text}; });
  }
  void TearDown() override {
    if (HasFailure())
      for (const auto& m : presenter.shown()) std::cerr << "mensaje mostrado: " << m.title << ": " << m.text << "\n";
    if (inst.onServer()) {
      EXPECT_TRUE(tables::dropServerInstallation(inst).isOk());
    }
    std::filesystem::remove_all(dir);
  }

  // The address of the test server, or empty when the tables are files.
  static std::string testServer() {
    const char* file = std::getenv("VELMORA_TEST_SERVER_FILE");
    std::string url;
    if (file && *file) std::getline(std::ifstream(file), url);
    return url;
  }
  bool onServer() const { return inst.onServer(); }

  // Runs SQL behind the table layer's back, as another program would: on
  // the table's file, or on the server (where `serverTable(...)` names it).
  void runOnStorage(const std::filesystem::path& file, const std::string& fileSql, const std::string& serverSql) {
    if (onServer()) {
      PGconn* pg = PQconnectdb(inst.serverUrl.c_str());
      PGresult* r = PQexec(pg, serverSql.c_str());
      EXPECT_EQ(PQresultStatus(r), PGRES_COMMAND_OK) << PQerrorMessage(pg);
      PQclear(r);
      PQfinish(pg);
      return;
    }
    sqlite3* db;
    sqlite3_open(file.string().c_str(), &db);
    EXPECT_EQ(sqlite3_exec(db, fileSql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
  }
  static std::string serverTable(const tables::Installation& at, const char* label) {
    const tables::TableDef& def = tables::tableDef(label);
    return "\"" + at.schemaOf(def) + "\".\"" + def.storeName + "\"";
  }

  std::unique_ptr<tables::Table> open(const std::string& label) {
    auto t = inst.table(label, errors);
    EXPECT_TRUE(t->open().isOk()) << label;
    return t;
  }
  // Texts of the messages shown so far, in order.
  std::vector<std::string> shownTexts() const {
    std::vector<std::string> out;
    for (const auto& m : presenter.shown()) out.push_back(m.text);
    return out;
  }
  std::string lastTitle() const {
    auto shown = presenter.shown();
    return shown.empty() ? std::string() : shown.back().title;
  }

  std::filesystem::path dir;
  tables::Installation inst;
  ErrorReporter errors;
  RecordingPresenter presenter;
};

}  // namespace velmora::testing
