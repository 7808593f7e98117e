// Backup and restore on real installations, real zip archives checked by
// `unzip -t`, and tables checked by SQLite after extraction.
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <atomic>
#include <csignal>
#include <fstream>
#include <map>
#include <sstream>

#include "app/commands.h"
#include "app/demo_data.h"
#include "fixture.h"
#include "services/backup.h"
#include "services/installation_use.h"
#include "services/migration.h"
#include "services/restore.h"
#include "services/restore_journal.h"
#include "services/zip_archiver.h"
#include "works/work.h"

namespace velmora::testing {
namespace {

namespace fs = std::filesystem;
using services::ZipArchiver;

std::string run(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  char buf[512];
  while (p && fgets(buf, sizeof buf, p)) out += buf;
  const int status = p ? pclose(p) : -1;
  return std::to_string(WEXITSTATUS(status)) + ":" + out;
}

std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }

std::string readAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Every row of every table of a table file, in a stable order.
std::string dumpTable(const fs::path& file) {
  sqlite3* db = nullptr;
  std::string out;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) return "no abre";
  std::vector<std::string> names;
  sqlite3_exec(
      db, "SELECT name FROM sqlite_master WHERE type='table' ORDER BY name",
      [](void* v, int, char** cols, char**) {
        static_cast<std::vector<std::string>*>(v)->push_back(cols[0]);
        return 0;
      },
      &names, nullptr);
  for (const auto& name : names) {
    out += "[" + name + "]\n";
    sqlite3_exec(
        db, ("SELECT * FROM \"" + name + "\" ORDER BY rowid").c_str(),
        [](void* v, int n, char** cols, char**) {
          for (int i = 0; i < n; ++i) *static_cast<std::string*>(v) += std::string(cols[i] ? cols[i] : "∅") + "|";
          *static_cast<std::string*>(v) += "\n";
          return 0;
        },
        &out, nullptr);
  }
  sqlite3_close(db);
  return out;
}

std::string integrity(const fs::path& file) {
  sqlite3* db = nullptr;
  std::string result;
  sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_exec(
      db, "PRAGMA integrity_check",
      [](void* v, int, char** cols, char**) {
        *static_cast<std::string*>(v) += cols[0];
        return 0;
      },
      &result, nullptr);
  sqlite3_close(db);
  return result;
}

class BackupTest : public InstallationTest {
 protected:
  void SetUp() override {
    InstallationTest::SetUp();
    dest = dir / "mis respaldos";  // a destination with a space
    fs::create_directories(dest);
  }
  void makeDemo() { ASSERT_TRUE(app::createDemoInstallation(inst, errors).isOk()); }
  std::vector<services::BackupArchive> backup(bool works, bool system, services::BackupEvents events = {}) {
    services::BackupRequest r;
    r.destination = dest;
    if (works) {
      EXPECT_TRUE(services::registeredWorks(inst, errors, &r.works).isOk());
    }
    r.system = system;
    return services::runBackup(inst, r, archiver, events);
  }
  std::vector<std::string> archivesMade() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dest)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  // Extracts an archive and checks every table in it; returns the folder.
  fs::path extractChecked(const std::string& archive) {
    const fs::path out = dir / ("x_" + archive);
    fs::create_directories(out);
    EXPECT_EQ(run("unzip -tq " + quoted(dest / archive) + " >/dev/null 2>&1").substr(0, 2), "0:") << archive;
    EXPECT_EQ(run("unzip -oq " + quoted(dest / archive) + " -d " + quoted(out)).substr(0, 2), "0:");
    for (const auto& e : fs::recursive_directory_iterator(out)) {
      if (e.is_regular_file() && readAll(e.path()).rfind("SQLite format 3", 0) == 0) {
        EXPECT_EQ(integrity(e.path()), "ok") << e.path();
      }
    }
    return out;
  }

  fs::path dest;
  ZipArchiver archiver;
};

TEST(ZipArchiver, LevelAndArchiveName) {
  for (auto [given, kept] : std::vector<std::pair<int, int>>{{0, 0}, {9, 9}, {-1, 6}, {10, 6}, {4, 4}})
    EXPECT_EQ(ZipArchiver::levelInForce(given), kept) << given;
  EXPECT_EQ(ZipArchiver::archivePath("/r/mis respaldos/OBRAS"), fs::path("/r/mis respaldos/OBRAS.zip"));
  EXPECT_EQ(ZipArchiver::archivePath("/r/A.ZIP"), fs::path("/r/A.ZIP"));
}

TEST_F(BackupTest, SystemOnlyMakesOneArchiveWithTheSettingsTable) {
  makeDemo();
  const auto made = backup(false, true);
  ASSERT_EQ(made.size(), 1u);
  EXPECT_TRUE(made[0].status) << made[0].failure;
  EXPECT_EQ(archivesMade(), std::vector<std::string>{"OBRAS.zip"});
  std::string comment, why;
  ASSERT_TRUE(services::readBackupComment(dest / "OBRAS.zip", comment, why)) << why;
  EXPECT_EQ(comment, services::systemComment());
  EXPECT_EQ(comment.rfind("ARCHIVOS DEL SISTEMA AL ", 0), 0u);
  const fs::path out = extractChecked("OBRAS.zip");
  EXPECT_TRUE(fs::exists(out / "DATA1"));
  EXPECT_TRUE(fs::exists(out / ".settings" / "FONTS.DLL"));  // the settings table lives elsewhere
  EXPECT_FALSE(fs::exists(out / services::InstallationUse::kFileName));
  EXPECT_FALSE(fs::exists(out / "CASA01"));  // the works go in archives of their own
}

TEST_F(BackupTest, EveryWorkGetsItsArchiveAndAFailedOneDoesNotStopTheRest) {
  makeDemo();
  // A third work registered without its directory: its archive fails.
  auto obra = open("OBRA");
  obra->rec().clear();
  obra->rec().setText("CTA", "AAA00");
  ASSERT_TRUE(obra->insert().isOk());
  obra->close();
  std::vector<std::string> started;
  services::BackupEvents events;
  events.archiveStarted = [&](const std::string& name) { started.push_back(fs::path(name).filename().string()); };
  const auto made = backup(true, true, events);
  EXPECT_EQ(started, (std::vector<std::string>{"OBRAS", "AAA00", "BODEGA02", "CASA01"}));
  ASSERT_EQ(made.size(), 4u);
  EXPECT_FALSE(made[1].status);
  EXPECT_EQ(made[1].failure.rfind("An error prevented zipping files to " + (dest / "AAA00").string() +
                                      "|An internal errorcode of -3 was reported.|",
                                  0),
            0u)
      << made[1].failure;
  EXPECT_EQ(archivesMade(), (std::vector<std::string>{"BODEGA02.zip", "CASA01.zip", "OBRAS.zip"}));
  std::string comment, why;
  ASSERT_TRUE(services::readBackupComment(dest / "CASA01.zip", comment, why));
  EXPECT_EQ(comment, services::workComment("CASA01"));
  const fs::path casa = extractChecked("CASA01.zip");
  for (const char* f : {"OBRA1", "OBRA2", "OBRA3"}) EXPECT_TRUE(fs::exists(casa / f)) << f;
}

TEST_F(BackupTest, OnlyWorksWithNoWorksMakesNothing) {
  open("OBRA")->close();
  EXPECT_TRUE(backup(true, false).empty());
  EXPECT_TRUE(archivesMade().empty());
}

// A second process commits batches of 100 rows while the backup runs: every
// snapshot holds whole batches and passes the integrity check.
TEST_F(BackupTest, ATableWrittenMeanwhileIsArchivedWhole) {
  if (onServer()) GTEST_SKIP() << "a server is archived from one snapshot: see AServerIsArchivedAsOneSnapshot…";
  makeDemo();
  const fs::path table = dir / "DATA5";
  const pid_t writer = fork();
  if (writer == 0) {
    sqlite3* db = nullptr;
    sqlite3_open(table.c_str(), &db);
    sqlite3_busy_timeout(db, 5000);
    sqlite3_exec(db, "CREATE TABLE IF NOT EXISTS carga(n INTEGER, relleno TEXT)", nullptr, nullptr, nullptr);
    for (int batch = 0; batch < 400; ++batch) {
      sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
      for (int i = 0; i < 100; ++i)
        sqlite3_exec(db, "INSERT INTO carga VALUES(1, hex(randomblob(200)))", nullptr, nullptr, nullptr);
      sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    }
    sqlite3_close(db);
    _exit(0);
  }
  for (int round = 0; round < 4; ++round) {
    const auto made = backup(false, true);
    ASSERT_EQ(made.size(), 1u);
    ASSERT_TRUE(made[0].status) << made[0].failure;
    const fs::path out = extractChecked("OBRAS.zip");
    sqlite3* db = nullptr;
    sqlite3_open_v2((out / "DATA5").c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    int rows = -1;
    sqlite3_exec(
        db, "SELECT count(*) FROM carga",
        [](void* v, int, char** cols, char**) {
          *static_cast<int*>(v) = std::atoi(cols[0]);
          return 0;
        },
        &rows, nullptr);
    sqlite3_close(db);
    EXPECT_EQ(rows % 100, 0) << "a torn copy: " << rows;
    fs::remove_all(out);
  }
  int status = 0;
  waitpid(writer, &status, 0);
  EXPECT_EQ(integrity(table), "ok");
}

// On a server the backup is one snapshot of all the tables: a station that
// adds inputs and machines together, ten of each per transaction, is never
// caught half-way in the archive, nor with one table ahead of the other.
TEST_F(BackupTest, AServerIsArchivedAsOneSnapshotWhileAStationWrites) {
  if (!onServer()) GTEST_SKIP() << "files are copied one by one, each whole";
  makeDemo();
  const auto count = [&](const fs::path& file, const char* table) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    int rows = -1;
    sqlite3_exec(
        db, (std::string("SELECT count(*) FROM ") + table).c_str(),
        [](void* v, int, char** cols, char**) {
          *static_cast<int*>(v) = std::atoi(cols[0]);
          return 0;
        },
        &rows, nullptr);
    sqlite3_close(db);
    return rows;
  };
  const auto made0 = backup(false, true);
  ASSERT_TRUE(made0[0].status) << made0[0].failure;
  fs::path out = extractChecked("OBRAS.zip");
  const int inputs0 = count(out / "DATA4", "INBA"), machines0 = count(out / "DATA5", "MABA");
  fs::remove_all(out);
  const pid_t writer = fork();
  if (writer == 0) {
    ErrorReporter own;
    own.setSilent(true);
    auto inba = inst.table("INBA", own), maba = inst.table("MABA", own);
    if (!inba->open() || !maba->open()) _exit(1);
    for (int batch = 0; batch < 60; ++batch) {
      if (!inba->begin()) _exit(1);
      for (int i = 0; i < 10; ++i) {
        const int account = 800000 + batch * 10 + i;
        inba->rec().clear();
        inba->rec().setInteger("CTA", account);
        inba->rec().setText("TEXT", "CARGA");
        maba->rec().clear();
        maba->rec().setInteger("CTA", account);
        maba->rec().setText("TEXT", "CARGA");
        if (!inba->insert() || !maba->insert()) _exit(1);
      }
      if (!inba->commit()) _exit(1);
    }
    _exit(0);
  }
  for (int round = 0; round < 3; ++round) {
    const auto made = backup(false, true);
    ASSERT_TRUE(made[0].status) << made[0].failure;
    out = extractChecked("OBRAS.zip");
    const int inputs = count(out / "DATA4", "INBA") - inputs0, machines = count(out / "DATA5", "MABA") - machines0;
    EXPECT_EQ(inputs % 10, 0) << "a torn copy: " << inputs;
    EXPECT_EQ(inputs, machines) << "two states in one archive";
    fs::remove_all(out);
  }
  int status = 0;
  waitpid(writer, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(BackupTest, AStoppedBackupLeavesNoPartialArchiveAndKeepsTheOldOne) {
  makeDemo();
  ASSERT_TRUE(backup(false, true)[0].status);
  const std::string good = readAll(dest / "OBRAS.zip");
  int files = 0;
  services::BackupEvents events;
  events.progress.file = [&](const std::string& name) {
    if (!name.empty() && ++files == 3) archiver.requestStop();  // a button pressed while packing
  };
  const auto made = backup(false, true, events);
  ASSERT_EQ(made.size(), 1u);
  EXPECT_EQ(made[0].status.code(), Status::Code::kCancelled);
  EXPECT_EQ(archivesMade(), std::vector<std::string>{"OBRAS.zip"});  // no temporary left either
  EXPECT_EQ(readAll(dest / "OBRAS.zip"), good);

  // A stop asked for before the run reached an archive makes none.
  fs::remove(dest / "OBRAS.zip");
  events.progress.file = {};
  events.stopped = [] { return true; };
  EXPECT_TRUE(backup(true, true, events).empty());
  EXPECT_TRUE(archivesMade().empty());
}

class RestoreTest : public BackupTest {
 protected:
  void SetUp() override {
    BackupTest::SetUp();
    makeDemo();
    ASSERT_EQ(backup(true, true).size(), 3u);
  }
  // A restore's status and report side by side, as the checks read them.
  struct Restored {
    bool ok;
    std::string message;
    std::string work;
    fs::path keptAside;
  };
  Restored restore(const std::string& archive, const std::string& work = {}) {
    services::InstallationUse use;
    services::RestoreReport report;
    const Status s = services::restoreBackup(inst, dest / archive, work, use, &report);
    return {s.isOk(), s.text(), report.work, report.keptAside};
  }
  // The rows of every table, by the table file's path below the data folder
  // ("settings" for the station's settings table); a server's tables are
  // read through a copy into files.
  std::map<std::string, std::string> rowsOf(const tables::Installation& at) {
    std::map<std::string, std::string> rows;
    fs::path root = at.dataDir;
    const fs::path copy = fs::temp_directory_path() / ("velmora_copia_" + std::to_string(::getpid()));
    if (at.onServer()) {
      fs::remove_all(copy);
      tables::Installation files;
      const Status s = services::copyServerIntoFiles(at, copy, &files);
      EXPECT_TRUE(s) << s.text();
      root = copy;
    }
    for (const auto& e : fs::recursive_directory_iterator(root)) {
      const fs::path rel = e.path().lexically_relative(root);
      const bool aside = std::any_of(rel.begin(), rel.end(), [](const fs::path& part) {
        return part.string().starts_with("ANTERIOR-") || part == "settings";
      });
      if (e.is_regular_file() && !aside && readAll(e.path()).starts_with("SQLite format 3"))
        rows[rel.string()] = dumpTable(e.path());
    }
    rows["settings"] = dumpTable(at.fileOf(tables::tableDef("VGA")));
    fs::remove_all(copy);
    return rows;
  }
  // Changes a table behind the program's back: a new table in its file, or
  // its rows gone on a server.
  void spoil(const char* label, const std::string& work = {}) {
    tables::Installation at = inst;
    if (!work.empty()) at.workDir = works::workDirectory(dir, work);
    const tables::TableDef& def = tables::tableDef(label);
    const std::string inFile = "CREATE TABLE cambio(x); INSERT INTO cambio VALUES(1)";
    if (def.settingsRole || !onServer()) {
      sqlite3* db = nullptr;
      sqlite3_open(at.fileOf(def).c_str(), &db);
      EXPECT_EQ(sqlite3_exec(db, inFile.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
      sqlite3_close(db);
    } else {
      runOnStorage({}, {}, "DELETE FROM " + serverTable(at, label));
    }
  }
};

TEST_F(RestoreTest, RoundTripGivesBackTheTables) {
  const auto backedUp = rowsOf(inst);
  spoil("INBA");
  spoil("VGA");
  spoil("IOBR", "CASA01");
  const auto spoilt = rowsOf(inst);
  for (const char* table : {"DATA4", "settings", "CASA01/OBRA2"}) ASSERT_NE(spoilt.at(table), backedUp.at(table));

  const auto system = restore("OBRAS.zip");
  ASSERT_TRUE(system.ok) << system.message;
  auto now = rowsOf(inst);
  EXPECT_EQ(now.at("DATA4"), backedUp.at("DATA4"));
  EXPECT_EQ(now.at("settings"), backedUp.at("settings"));
  EXPECT_EQ(now.at("CASA01/OBRA2"), spoilt.at("CASA01/OBRA2"));          // a work is not the system's
  EXPECT_EQ(dumpTable(system.keptAside / "DATA4"), spoilt.at("DATA4"));  // the replaced table is kept
  EXPECT_EQ(dumpTable(system.keptAside / ".settings" / "FONTS.DLL"), spoilt.at("settings"));

  const auto work = restore("CASA01.zip", "CASA01");
  ASSERT_TRUE(work.ok) << work.message;
  EXPECT_EQ(work.work, "CASA01");
  EXPECT_EQ(rowsOf(inst), backedUp);
  EXPECT_EQ(work.keptAside.parent_path(), dir / "CASA01");
  EXPECT_EQ(dumpTable(work.keptAside / "OBRA2"), spoilt.at("CASA01/OBRA2"));
}

TEST_F(RestoreTest, RefusedWithNothingChanged) {
  const std::string before = readAll(dir / "DATA1");
  const auto rowsBefore = rowsOf(inst);
  // A damaged archive: bytes in the middle of the compressed data changed.
  std::string bytes = readAll(dest / "OBRAS.zip");
  for (size_t i = bytes.size() / 3; i < bytes.size() / 3 + 40; ++i) bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
  std::ofstream(dest / "DAÑADO.zip", std::ios::binary) << bytes;
  auto r = restore("DAÑADO.zip");
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.message.find("dañado"), std::string::npos) << r.message;

  // The wrong work, and the installation in use by another program.
  EXPECT_EQ(restore("BODEGA02.zip", "CASA01").message, "el respaldo es de la obra BODEGA02, no de la obra CASA01");
  services::InstallationUse other;
  ASSERT_EQ(other.share(dir), services::InstallationUse::Outcome::kHeld);
  r = restore("OBRAS.zip");
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.message.find("en uso"), std::string::npos) << r.message;
  other.release();

  // A name that would land outside the directory.
  int err = 0;
  zip_t* za = zip_open((dest / "MALO.zip").c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  const std::string comment = services::workComment("CASA01");
  zip_set_archive_comment(za, comment.c_str(), static_cast<zip_uint16_t>(comment.size()));
  zip_file_add(za, "../DATA1", zip_source_buffer(za, "x", 1, 0), 0);
  ASSERT_EQ(zip_close(za), 0);
  r = restore("MALO.zip");
  EXPECT_NE(r.message.find("nombre no permitido: ../DATA1"), std::string::npos) << r.message;

  EXPECT_EQ(readAll(dir / "DATA1"), before);
  EXPECT_EQ(rowsOf(inst), rowsBefore);
  for (const auto& e : fs::directory_iterator(dir)) {
    EXPECT_EQ(e.path().filename().string().rfind("ANTERIOR-", 0), std::string::npos);
    EXPECT_EQ(e.path().filename().string().rfind(".restaura-", 0), std::string::npos);
  }
}

}  // namespace
}  // namespace velmora::testing

namespace velmora::testing {
namespace {

// An archive made by hand: `comment` and entries of the given bytes.
void writeArchive(const fs::path& at, const std::string& comment,
                  const std::vector<std::pair<std::string, std::string>>& entries) {
  int err = 0;
  zip_t* za = zip_open(at.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  ASSERT_NE(za, nullptr);
  zip_set_archive_comment(za, comment.c_str(), static_cast<zip_uint16_t>(comment.size()));
  for (const auto& [name, bytes] : entries)
    ASSERT_GE(zip_file_add(za, name.c_str(), zip_source_buffer(za, bytes.data(), bytes.size(), 0), ZIP_FL_ENC_UTF_8),
              0);
  ASSERT_EQ(zip_close(za), 0);
}

// The bytes of one entry of an archive.
std::string entryOf(const fs::path& archive, const std::string& name) {
  int err = 0;
  zip_t* za = zip_open(archive.c_str(), ZIP_RDONLY, &err);
  std::string bytes;
  zip_stat_t st;
  if (za && zip_stat(za, name.c_str(), 0, &st) == 0) {
    bytes.resize(st.size);
    zip_file_t* f = zip_fopen(za, name.c_str(), 0);
    if (f && zip_fread(f, bytes.data(), st.size) != static_cast<zip_int64_t>(st.size)) bytes.clear();
    if (f) zip_fclose(f);
  }
  if (za) zip_discard(za);
  return bytes;
}

// The state of an installation that a refused restore must leave alone:
// every file below it (the backups' folder aside) with a digest of its bytes.
std::map<std::string, size_t> filesBelow(const fs::path& root) {
  std::map<std::string, size_t> files;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    const std::string rel = e.path().lexically_relative(root).string();
    if (e.is_regular_file() && e.path().filename() != services::InstallationUse::kFileName &&
        rel.rfind("mis respaldos", 0) != 0)
      files[rel] = std::hash<std::string>{}(readAll(e.path()));
  }
  return files;
}

TEST_F(RestoreTest, HostileArchivesAreRefusedBeforeAnythingIsTouched) {
  const std::string system = services::systemComment();
  const std::string data1 = entryOf(dest / "OBRAS.zip", "DATA1"), data7 = entryOf(dest / "OBRAS.zip", "DATA7");
  const std::string zeros(1 << 20, '\0');
  struct Case {
    std::string what, comment;
    std::vector<std::pair<std::string, std::string>> entries;
    std::string says;
  };
  const std::vector<Case> cases = {
      {"a work code that climbs",
       "ARCHIVOS DE LA OBRA ../../victima AL 10/12/2026",
       {{"OBRA1", data1}},
       "no sirve como nombre de directorio"},
      {"an absolute work code",
       "ARCHIVOS DE LA OBRA /tmp/victima AL 10/12/2026",
       {{"OBRA1", data1}},
       "no sirve como nombre de directorio"},
      {"a zero-byte table", system, {{"DATA4", ""}}, "DATA4"},
      {"another table's file", system, {{"DATA7", data1}}, "no es la tabla PERS"},
      {"a data table as the settings table", system, {{".settings/FONTS.DLL", data7}}, "no es la tabla VGA"},
      {"an entry named like a work folder", system, {{"CASA01", data1}}, "CASA01"},
      {"an unknown entry", system, {{"CEROS", zeros}}, "no es de un respaldo del sistema: CEROS"},
      {"zeros named as a table", system, {{"DATA4", zeros}}, "DATA4: no es una tabla"},
      {"a work table in a system archive", system, {{"OBRA1", data1}}, "OBRA1"},
      {"a folder in a name", services::workComment("CASA01"), {{"sub/OBRA1", data1}}, "nombre no permitido"},
      {"the restore journal",
       system,
       {{".velmora-restauracion", "VELMORA-RESTAURACION 1\nFIN\n"}},
       ".velmora-restauracion"},
      {"a document over its limit",
       system,
       {{"LOGO.JPG", std::string(services::kRestoreDocumentLimit + 1, '\0')}},
       "más del límite"},
  };
  const auto before = filesBelow(dir);
  const auto rowsBefore = onServer() ? rowsOf(inst) : std::map<std::string, std::string>();
  for (const Case& c : cases) {
    writeArchive(dest / "HOSTIL.zip", c.comment, c.entries);
    const auto r = restore("HOSTIL.zip");
    EXPECT_FALSE(r.ok) << c.what;
    EXPECT_NE(r.message.find(c.says), std::string::npos) << c.what << ": " << r.message;
    EXPECT_EQ(filesBelow(dir), before) << c.what;
    if (onServer()) {
      EXPECT_TRUE(rowsOf(inst) == rowsBefore) << c.what;
    }
    EXPECT_FALSE(fs::exists(dir.parent_path() / "victima")) << c.what;
  }
  // A work code given on the command line is held to the same rule.
  EXPECT_NE(restore("CASA01.zip", "../CASA01").message.find("no sirve como nombre de directorio"), std::string::npos);
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    EXPECT_NE(name.rfind("ANTERIOR-", 0), 0u) << e.path();
    EXPECT_NE(name.rfind(".restaura-", 0), 0u) << e.path();
  }
}

TEST_F(RestoreTest, TwoRestoresInOneSecondKeepTheirOwnOriginals) {
  const auto first = restore("CASA01.zip", "CASA01");
  const auto second = restore("CASA01.zip", "CASA01");
  ASSERT_TRUE(first.ok && second.ok) << first.message << second.message;
  EXPECT_NE(first.keptAside, second.keptAside);
  EXPECT_TRUE(fs::exists(first.keptAside / "OBRA1"));
  EXPECT_TRUE(fs::exists(second.keptAside / "OBRA1"));
}

TEST_F(RestoreTest, IntoAnEmptyFolderAndNoLockFileLeftOnFailure) {
  tables::Installation empty = inst;  // on a server, in a schema of its own
  empty.dataDir = dir / "nueva";
  empty.settingsDir = dir / "nueva" / ".settings";
  empty.serverSchema += "_nueva";
  services::InstallationUse use;
  services::RestoreReport done;
  const Status r = services::restoreBackup(empty, dest / "OBRAS.zip", {}, use, &done);
  ASSERT_TRUE(r) << r.text();
  EXPECT_EQ(integrity(empty.settingsDir / "FONTS.DLL"), "ok");
  EXPECT_EQ(rowsOf(empty).at("DATA4"), rowsOf(inst).at("DATA4"));

  tables::Installation other = empty;
  other.dataDir = dir / "otra";
  other.settingsDir = dir / "otra" / ".settings";
  other.serverSchema = inst.serverSchema + "_otra";
  writeArchive(dest / "MALO.zip", services::systemComment(), {{"DATA4", std::string(4096, 'x')}});
  services::RestoreReport report;
  EXPECT_FALSE(services::restoreBackup(other, dest / "MALO.zip", {}, use, &report));
  EXPECT_FALSE(fs::exists(other.dataDir / services::InstallationUse::kFileName));
  if (onServer()) {
    EXPECT_TRUE(tables::dropServerInstallation(empty));
    EXPECT_FALSE(other.holdsTable(tables::tableDef("INBA")));
  }
}

// A restore killed after each of its renames in turn: the next command
// undoes it, the installation is as before, and `check` finds it whole.
TEST_F(RestoreTest, KilledBetweenRenamesIsUndoneByTheNextCommand) {
  if (onServer()) GTEST_SKIP() << "on a server the renames are made in a scratch copy";
  // The installation differs from the backups, so each rename matters.
  ASSERT_TRUE(app::createDemoInstallation(inst, errors).isOk());
  sqlite3* db = nullptr;
  for (const fs::path& f : {dir / "DATA4", dir / "CASA01" / "OBRA1"}) {
    sqlite3_open(f.c_str(), &db);
    ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE cambio(x)", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
  }
  const auto before = filesBelow(dir);
  struct Run {
    std::string archive, work;
    int renames;
  };
  for (const Run& run : {Run{"CASA01.zip", "CASA01", 6}, Run{"OBRAS.zip", "", 28}}) {
    for (int cut = 1; cut<run.renames; cut += run.renames> 10 ? 5 : 1) {
      const pid_t child = fork();
      if (child == 0) {
        setenv("VELMORA_TEST_KILL_AFTER_RENAME", std::to_string(cut).c_str(), 1);
        services::InstallationUse use;
        services::RestoreReport report;
        (void)services::restoreBackup(inst, dest / run.archive, run.work, use, &report);
        _exit(3);  // not killed: the cut came after the last rename
      }
      int status = 0;
      waitpid(child, &status, 0);
      ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << run.archive << " cut " << cut;
      ASSERT_TRUE(services::restoreInterrupted(inst));
      services::InstallationUse use;
      std::ostringstream err;
      ASSERT_TRUE(app::useInstallation(inst, use, true, err)) << err.str();
      EXPECT_NE(err.str().find("se deshizo"), std::string::npos);
      use.release();
      EXPECT_FALSE(services::restoreInterrupted(inst));
      EXPECT_EQ(filesBelow(dir), before) << run.archive << " cut " << cut;
      std::ostringstream out, checkErr;
      EXPECT_EQ(app::runCheck(inst, errors, out, checkErr), 0) << out.str() << checkErr.str();
    }
  }
}

// On a server the restored part replaces the old in one transaction: a
// restore killed at any moment leaves the installation before or after it.
TEST_F(RestoreTest, KilledAnyTimeOnAServerLeavesItBeforeOrAfter) {
  if (!onServer()) GTEST_SKIP() << "the kills between renames are tested on files";
  const auto backedUp = rowsOf(inst);
  bool sawBefore = false, sawAfter = false;
  for (int ms = 100; ms <= 1700; ms += 200) {
    spoil("INBA");
    spoil("IOBR", "CASA01");
    const auto spoilt = rowsOf(inst);
    const pid_t child = fork();
    if (child == 0) {
      services::InstallationUse use;
      services::RestoreReport report;
      _exit(services::restoreBackup(inst, dest / (ms % 400 == 100 ? "OBRAS.zip" : "CASA01.zip"),
                                    ms % 400 == 100 ? "" : "CASA01", use, &report)
                ? 0
                : 3);
    }
    usleep(ms * 1000);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    const auto now = rowsOf(inst);
    int restored = 0, kept = 0;
    for (const char* table : {"DATA4", "CASA01/OBRA2"}) {
      restored += now.at(table) == backedUp.at(table);
      kept += now.at(table) == spoilt.at(table);
    }
    EXPECT_EQ(restored + kept, 2) << ms << " ms";  // each table whole, one state or the other
    sawBefore |= WIFSIGNALED(status) && kept == 2;
    sawAfter |= restored > 0;
  }
  EXPECT_TRUE(sawBefore && sawAfter);  // the kills came both before and after a commit
}

TEST_F(BackupTest, LeftoversOfAKilledRunAreClearedAndScratchIsPrivate) {
  makeDemo();
  // What a killed run leaves: its scratch folder (no one holds it) with a
  // copy of the settings table, and a stray super-journal in the data folder.
  const fs::path leftover = dest / (std::string(ZipArchiver::kScratchPrefix) + "123");
  fs::create_directories(leftover);
  std::ofstream(leftover / ".en-uso") << "";
  fs::copy_file(dir / "settings" / "FONTS.DLL", leftover / "0");
  std::ofstream(dir / "DATA1-mj0A1B2C3D") << "super-journal";
  fs::perms scratchPerms{};
  services::BackupEvents events;
  events.progress.file = [&](const std::string&) {
    for (const auto& e : fs::directory_iterator(dest))
      if (e.path().filename().string().rfind(ZipArchiver::kScratchPrefix, 0) == 0)
        scratchPerms = e.status().permissions();
  };
  const auto made = backup(false, true, events);
  ASSERT_TRUE(made[0].status) << made[0].failure;
  EXPECT_EQ(scratchPerms & (fs::perms::group_all | fs::perms::others_all), fs::perms::none);
  EXPECT_EQ(archivesMade(), std::vector<std::string>{"OBRAS.zip"});
  EXPECT_EQ(run("unzip -l " + quoted(dest / "OBRAS.zip")).find("-mj"), std::string::npos);
}

TEST_F(BackupTest, AWorkCodeThatClimbsIsNeverMadeAPath) {
  makeDemo();
  auto obra = open("OBRA");
  obra->rec().clear();
  obra->rec().setText("CTA", "../fuera");
  ASSERT_TRUE(obra->insert().isOk());
  obra->close();
  const auto made = backup(true, false);
  bool refused = false;
  for (const auto& a : made) {
    if (a.name == "../fuera") {
      refused = !a.status && a.status.text().find("no sirve como nombre") != std::string::npos;
    } else {
      EXPECT_TRUE(a.status) << a.name;
    }
  }
  EXPECT_TRUE(refused);
  EXPECT_FALSE(fs::exists(dest.parent_path() / "fuera.zip"));
}

}  // namespace
}  // namespace velmora::testing
