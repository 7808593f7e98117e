// The table store: keys, positions, auto-numbering, checks, relations and
// recovery, on real SQLite files.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "fixture.h"
#include "tables/catalogue.h"
#include "tables/relations.h"

namespace velmora::tables {
namespace {

using velmora::testing::FatalExit;

class TableTest : public velmora::testing::InstallationTest {
 protected:
  void addInput(Table& t, int cta, const std::string& text, const std::string& gene = "MAT") {
    t.rec().clear();
    t.rec().setInteger("CTA", cta);
    t.rec().setText("TEXT", text);
    t.rec().setText("GENE", gene);
    ASSERT_TRUE(t.insert().isOk()) << text;
  }
  void addLine(Table& t, int64_t hundredths, int mate) {
    t.rec().clear();
    t.rec().setInteger("CTA", hundredths);
    t.rec().setInteger("MATE", mate);
    t.rec().setInteger("CATE", 3);
    ASSERT_TRUE(t.insert().isOk());
  }
  void addConcept(Table& t, int cta) {
    t.rec().clear();
    t.rec().setInteger("CTA", cta);
    t.rec().setText("TEXT", "CONCEPTO " + std::to_string(cta));
    ASSERT_TRUE(t.insert().isOk());
  }
  std::vector<std::string> readAll(Table& t, const char* key, const char* field) {
    std::vector<std::string> out;
    t.setOrder(t.keyIndex(key));
    while (t.next().found()) out.push_back(t.rec().text(field));
    return out;
  }
  int64_t countWhere(const std::filesystem::path& file, const std::string& sql) {
    sqlite3* db;
    sqlite3_open(file.string().c_str(), &db);
    sqlite3_stmt* s;
    sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr);
    const int64_t n = sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_int64(s, 0) : -1;
    sqlite3_finalize(s);
    sqlite3_close(db);
    return n;
  }
};

TEST_F(TableTest, EveryTableCreatesAStandardSqliteFile) {
  if (onServer()) GTEST_SKIP() << "about table files";
  for (const auto& def : allTables()) {
    if (isWorkTable(def.label)) continue;
    auto t = open(def.label);
    EXPECT_EQ(integrityCheck(t->path()), "ok") << def.label;
  }
  EXPECT_TRUE(std::filesystem::exists(dir / "DATA4A"));
  EXPECT_TRUE(std::filesystem::exists(dir / "USB.DLL"));
  EXPECT_TRUE(std::filesystem::exists(dir / "settings" / "FONTS.DLL"));
  EXPECT_TRUE(presenter.shown().empty());
}

TEST_F(TableTest, CaseInsensitiveKeysFoldSpanishLettersAndSortAsSpanish) {
  auto inba = open("INBA");
  for (const char* text : {"ZAPATA", "ñora", "NUBE", "ÁRBOL", "arena", "OCA", "Papá", "papa"}) {
    static int n = 0;
    addInput(*inba, ++n, text);
  }
  inba->rec().setText("TEXT", "ÑORA");
  ASSERT_TRUE(inba->fetch(inba->keyIndex("INB:DES_KEY")).found());
  EXPECT_EQ(inba->rec().text("TEXT"), "ñora");
  inba->rec().setText("TEXT", "PAPÁ");
  ASSERT_TRUE(inba->fetch(inba->keyIndex("DES_KEY")).found());
  EXPECT_EQ(inba->rec().text("TEXT"), "Papá");  // accents still tell words apart

  EXPECT_EQ(readAll(*inba, "DES_KEY", "TEXT"),
            (std::vector<std::string>{"ÁRBOL", "arena", "NUBE", "ñora", "OCA", "papa", "Papá", "ZAPATA"}));
}

TEST_F(TableTest, GenericKeysAreCaseSensitiveByKindAndInsensitiveByCode) {
  auto clag = open("CLAG");
  clag->rec().setText("CTA", "abc");
  clag->rec().setText("TIPO", "I");
  ASSERT_TRUE(clag->insert());
  clag->rec().setText("TIPO", "C");  // the same code once per kind
  ASSERT_TRUE(clag->insert());

  clag->rec().setText("CTA", "ABC");
  clag->rec().setText("TIPO", "I");
  EXPECT_TRUE(clag->fetch(clag->keyIndex("CLG:CTA_KEY")).absent());
  EXPECT_TRUE(clag->fetch(clag->keyIndex("CLG:TIP_KEY")).found());
}

TEST_F(TableTest, PositionsWalkForwardsBackwardsAndFromValues) {
  auto inba = open("INBA");
  for (int i = 1; i <= 5; ++i) addInput(*inba, i * 10, "INSUMO " + std::to_string(i));
  const int key = inba->keyIndex("CTA_KEY");
  inba->setOrder(key);
  ASSERT_TRUE(inba->previous().found());
  EXPECT_EQ(inba->rec().integer("CTA"), 50);  // previous after setOrder reads from the end

  inba->rec().setInteger("CTA", 25);
  inba->setOrderAt(key);
  ASSERT_TRUE(inba->next().found());
  EXPECT_EQ(inba->rec().integer("CTA"), 30);
  ASSERT_TRUE(inba->next().found());
  EXPECT_EQ(inba->rec().integer("CTA"), 40);
  ASSERT_TRUE(inba->previous().found());
  EXPECT_EQ(inba->rec().integer("CTA"), 30);

  inba->rec().setInteger("CTA", 25);
  inba->setOrderAt(key);
  ASSERT_TRUE(inba->previous().found());
  EXPECT_EQ(inba->rec().integer("CTA"), 20);
  EXPECT_EQ(recordCount(*inba), 5);

  inba->rec().setInteger("CTA", 50);
  inba->setOrderAt(key);
  ASSERT_TRUE(inba->next().found());
  EXPECT_TRUE(inba->next().absent());
}

TEST_F(TableTest, FiltersLimitReadsAndCountWithoutRegardToCase) {
  auto inba = open("INBA");
  addInput(*inba, 1, "Cemento gris");
  addInput(*inba, 2, "CEMENTO BLANCO");
  addInput(*inba, 3, "Arena de río");
  addInput(*inba, 4, "Grava cementada");
  using Op = Condition::Op;
  const struct {
    std::vector<Condition> filter;
    std::vector<std::string> expected;
  } cases[] = {
      {{{"TEXT", 1, Op::kBegins, "cemento"}}, {"CEMENTO BLANCO", "Cemento gris"}},
      {{{"TEXT", 1, Op::kContains, "CEMENT"}}, {"CEMENTO BLANCO", "Cemento gris", "Grava cementada"}},
      {{{"TEXT", 1, Op::kContains, "RÍO"}}, {"Arena de río"}},
      {{{"TEXT", 1, Op::kContains, "cement"}, {"CTA", 1, Op::kNotEquals, "2"}}, {"Cemento gris", "Grava cementada"}},
      {{{"CTA", 1, Op::kEquals, "3"}}, {"Arena de río"}},
      {{}, {"Arena de río", "CEMENTO BLANCO", "Cemento gris", "Grava cementada"}},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(inba->setFilter(c.filter));
    EXPECT_EQ(readAll(*inba, "DES_KEY", "TEXT"), c.expected);
    EXPECT_EQ(recordCount(*inba), static_cast<int64_t>(c.expected.size()));
  }
  EXPECT_FALSE(inba->setFilter({{"NADA", 1, Op::kEquals, "x"}}));
}

TEST_F(TableTest, DuplicateKeysKeepInsertionOrder) {
  auto inba = open("INBA");
  addInput(*inba, 3, "CEMENTO");
  addInput(*inba, 1, "cemento");
  addInput(*inba, 2, "Cemento");
  std::vector<int64_t> order;
  inba->setOrder(inba->keyIndex("DES_KEY"));
  while (inba->next().found()) order.push_back(inba->rec().integer("CTA"));
  EXPECT_EQ(order, (std::vector<int64_t>{3, 1, 2}));
}

TEST_F(TableTest, AnalysisLinesOfOneConceptReadExactlyInLineOrder) {
  auto inco = open("INCO");
  for (int line = 99; line >= 0; --line) addLine(*inco, 12500 + line, line);
  addLine(*inco, 12499, 0);
  addLine(*inco, 12600, 0);
  addLine(*inco, 1250, 0);  // concept 12, line .50: a neighbour by digits, not by value

  inco->rec().clear();
  inco->rec().setInteger("CTA", 125 * 100);
  inco->setOrderAt(inco->keyIndex("INC:CTA_KEY"));
  std::vector<int64_t> lines;
  while (inco->next().found() && inco->rec().hundredths("CTA") / 100 == 125)
    lines.push_back(inco->rec().hundredths("CTA"));
  ASSERT_EQ(lines.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(lines[i], 12500 + i);
  if (!onServer()) {
    EXPECT_EQ(countWhere(dir / "DATA6", "SELECT typeof(CTA)='integer' FROM INCO LIMIT 1"), 1);
  }
}

TEST_F(TableTest, AutoNumberingStartsAtOneAndReusesTheHighestAfterDelete) {
  auto cobr = inst.table("COBA", errors);
  ASSERT_TRUE(cobr->open());
  RelationManager relations(inst, errors);
  for (int i = 0; i < 3; ++i) addConcept(*cobr, 0);
  EXPECT_EQ(cobr->rec().integer("CTA"), 3);
  EXPECT_EQ(recordCount(*cobr), 3);  // the number is reserved by the insert itself
  cobr->rec().setInteger("CTA", 3);
  ASSERT_TRUE(cobr->fetch(cobr->keyIndex("CTA_KEY")).found());
  ASSERT_TRUE(relations.remove(*cobr));
  addConcept(*cobr, 0);
  EXPECT_EQ(cobr->rec().integer("CTA"), 3);
}

TEST_F(TableTest, AutoNumberingThatKeepsFailingAsksMessage35) {
  if (onServer()) GTEST_SKIP() << "about table files";
  auto tipa = open("TIPA");
  sqlite3* db;
  sqlite3_open((dir / "DATA8").string().c_str(), &db);
  sqlite3_exec(db, "CREATE TRIGGER busy BEFORE INSERT ON TIPA BEGIN SELECT RAISE(ABORT,'ocupado'); END", nullptr,
               nullptr, nullptr);
  sqlite3_close(db);
  presenter.answerNext(button::kYes);  // three more attempts
  presenter.answerNext(button::kNo);   // then give up
  tipa->rec().setText("DESC", "FERRETERIAS");
  EXPECT_FALSE(tipa->insert());
  ASSERT_EQ(presenter.shown().size(), 2u);
  EXPECT_EQ(presenter.shown()[0].title, "Error AutoNumeración");
  EXPECT_NE(presenter.shown()[0].text.find("ocupado"), std::string::npos);
  EXPECT_EQ(tipa->rec().integer("CTA"), 0);  // nothing reserved
  EXPECT_EQ(recordCount(*tipa), 0);
}

TEST_F(TableTest, ZoneNumbersOutsideOneToFiveAreRefusedWithTheRangeMessage) {
  auto control = open("CONTROL");
  for (int i = 0; i < 5; ++i) {
    control->rec().clear();
    control->rec().setText("ZONA", "ZONA " + std::to_string(i + 1));
    ASSERT_TRUE(control->insert());
    EXPECT_EQ(control->rec().integer("CTA"), i + 1);
  }
  control->rec().clear();
  EXPECT_TRUE(control->insert().is(Status::Code::kInvalid));  // numbered 6, then refused
  EXPECT_EQ(lastTitle(), "Error de Rango");
  EXPECT_EQ(shownTexts().back(), "El valor de LLAVE debe ser entre 1 .. 5.");

  control->rec().setInteger("CTA", 2);
  ASSERT_TRUE(control->fetch(control->keyIndex("KEYCTA")).found());
  control->rec().setInteger("CTA", 6);
  EXPECT_TRUE(control->update().is(Status::Code::kInvalid));
  EXPECT_EQ(recordCount(*control), 5);
}

TEST_F(TableTest, DuplicateAndEmptyExcludedKeys) {
  auto obra = open("OBRA");
  obra->rec().setText("CTA", "A1");
  ASSERT_TRUE(obra->insert());
  EXPECT_TRUE(obra->insert().is(Status::Code::kDuplicateKey));
  EXPECT_EQ(lastTitle(), "Error Clave Duplicada");
  EXPECT_EQ(shownTexts().back(), "Agregar este registro crea una clave duplicada para la clave: OBR:CTA_KEY");

  // Empty keys are left out of the key: two may exist, neither is listed.
  obra->rec().clear();
  ASSERT_TRUE(obra->insert());
  ASSERT_TRUE(obra->insert());
  EXPECT_EQ(readAll(*obra, "CTA_KEY", "CTA"), std::vector<std::string>{"A1"});
  EXPECT_EQ(recordCount(*obra), 3);
}

TEST_F(TableTest, TextsAreCutToTheirLengthAndNeverSplicedIntoSql) {
  auto inba = open("INBA");
  const std::string hostile = "x'); DROP TABLE \"INBA\"; --";
  addInput(*inba, 1, hostile);
  addInput(*inba, 2, std::string(50, 'A') + "   ");
  inba->rec().setText("TEXT", hostile);
  ASSERT_TRUE(inba->fetch(inba->keyIndex("DES_KEY")).found());
  EXPECT_EQ(inba->rec().integer("CTA"), 1);
  inba->rec().setInteger("CTA", 2);
  ASSERT_TRUE(inba->fetch(inba->keyIndex("CTA_KEY")).found());
  EXPECT_EQ(inba->rec().text("TEXT"), std::string(35, 'A'));
  EXPECT_EQ(recordCount(*inba), 2);
}

// A NUL byte would be kept whole in a file and cut by a server: no control
// character is stored on either, one-line fields take a blank for a tab or
// a line break, memos keep them. The same texts are read back on both.
TEST_F(TableTest, ControlCharactersAreNeverStoredAndBothBackendsReadTheSameText) {
  struct Case {
    std::string given, oneLine, memo;
  };
  using namespace std::string_literals;
  const std::vector<Case> cases = {
      {"CEMENTO\0 GRIS"s, "CEMENTO GRIS", "CEMENTO GRIS"},
      {"A\x01"
       "B\x1b[31mC\x7f"s,
       "AB[31mC", "AB[31mC"},
      {"LINEA 1\r\nLINEA 2\tFIN", "LINEA 1  LINEA 2 FIN", "LINEA 1\r\nLINEA 2\tFIN"},
      {"\0\0\0"s, "", ""},
      {"ACERO ÑANDÚ °C", "ACERO ÑANDÚ °C", "ACERO ÑANDÚ °C"},
  };
  auto coba = open("COBA");
  int account = 0;
  for (const Case& c : cases) {
    coba->rec().clear();
    coba->rec().setInteger("CTA", ++account);
    coba->rec().setText("TEXT", c.given);
    coba->rec().setText("TEX1", c.given);
    ASSERT_TRUE(coba->insert());
  }
  account = 0;
  for (const Case& c : cases) {
    coba->rec().clear();
    coba->rec().setInteger("CTA", ++account);
    ASSERT_TRUE(coba->fetch(coba->keyIndex("CTA_KEY")).found());
    EXPECT_EQ(coba->rec().text("TEXT"), c.oneLine) << account;
    EXPECT_EQ(coba->rec().text("TEX1"), c.memo) << account;
  }
  // A record stored before the rule (behind the table layer's back) is
  // cleaned by the rule when copied.
  Record stored = coba->rec();
  stored.assignStoredTextAt(stored.def().slot("TEXT"), "A\0B", 3);
  EXPECT_TRUE(stored.cleanStoredTexts());
  EXPECT_EQ(stored.text("TEXT"), "AB");
  EXPECT_FALSE(stored.cleanStoredTexts());
}

// The server lists the program's sessions under its name.
TEST_F(TableTest, ServerSessionsCarryTheProgramsName) {
  if (!onServer()) GTEST_SKIP() << "only a server lists sessions";
  auto inba = open("INBA");
  PGconn* pg = PQconnectdb(inst.serverUrl.c_str());
  PGresult* r = PQexec(pg, "SELECT count(*) FROM pg_stat_activity WHERE application_name = 'velmora'");
  ASSERT_EQ(PQresultStatus(r), PGRES_TUPLES_OK) << PQerrorMessage(pg);
  EXPECT_GE(std::atoi(PQgetvalue(r, 0, 0)), 1);
  PQclear(r);
  PQfinish(pg);
}

TEST_F(TableTest, SecondLabelSeesTheFirstLabelsRecordsWithItsOwnPosition) {
  auto coba = open("COBA");
  auto cobt = open("COBT");
  addConcept(*coba, 10);
  addConcept(*coba, 20);
  cobt->setOrder(cobt->keyIndex("CBT:CTA_KEY"));
  ASSERT_TRUE(cobt->next().found());
  EXPECT_EQ(cobt->rec().integer("CBT:CTA"), 10);
  coba->setOrder(coba->keyIndex("CTA_KEY"));
  ASSERT_TRUE(coba->previous().found());
  EXPECT_EQ(coba->rec().integer("CTA"), 20);
  addConcept(*coba, 15);
  ASSERT_TRUE(cobt->next().found());
  EXPECT_EQ(cobt->rec().integer("CTA"), 15);
}

TEST_F(TableTest, PerWorkTablesAreCreatedInTheWorksDirectory) {
  if (onServer()) GTEST_SKIP() << "about table files";
  std::filesystem::create_directories(dir / "A1");
  inst.workDir = dir / "A1";
  for (const char* label : {"COBR", "IOBR", "INOB", "HORA"}) open(label);
  for (const char* file : {"OBRA1", "OBRA2", "OBRA3", "OBRA5"}) {
    EXPECT_TRUE(std::filesystem::exists(dir / "A1" / file)) << file;
  }
  inst.workDir.clear();
  EXPECT_EQ(inst.fileOf(tableDef("INOB")), dir / "ARCH3");
}

TEST_F(TableTest, AWorkWhoseDirectoryIsGoneCannotCreateItsTables) {
  if (onServer()) GTEST_SKIP() << "about table files";
  inst.workDir = dir / "NOEXISTE";
  auto cobr = inst.table("COBR", errors);
  EXPECT_THROW(cobr->open(), FatalExit);
  EXPECT_EQ(lastTitle(), "Error en creación de Tabla");
  EXPECT_FALSE(std::filesystem::exists(dir / "NOEXISTE"));
}

TEST_F(TableTest, DeletingAConceptCascadesToAllItsLinesInOneTransaction) {
  auto coba = open("COBA");
  auto inco = open("INCO");
  addConcept(*coba, 125);
  addConcept(*coba, 126);
  for (int line = 0; line < 3; ++line) addLine(*inco, 12500 + line, line);
  addLine(*inco, 12600, 1);
  RelationManager relations(inst, errors);

  coba->rec().setInteger("CTA", 125);
  ASSERT_TRUE(coba->fetch(coba->keyIndex("CTA_KEY")).found());
  // A line that cannot be deleted keeps the concept too.
  const std::string schema = "\"" + inst.serverSchema + "\"";
  runOnStorage(dir / "DATA6", "CREATE TRIGGER keep BEFORE DELETE ON INCO BEGIN SELECT RAISE(ABORT,'bloqueada'); END",
               "CREATE FUNCTION " + schema +
                   ".keep() RETURNS trigger LANGUAGE plpgsql AS "
                   "'BEGIN RAISE EXCEPTION ''bloqueada''; END'; CREATE TRIGGER keep BEFORE DELETE ON " +
                   serverTable(inst, "INCO") + " FOR EACH ROW EXECUTE FUNCTION " + schema + ".keep()");
  EXPECT_FALSE(relations.remove(*coba));
  EXPECT_EQ(lastTitle(), "Registro no fue Borrado");
  EXPECT_EQ(recordCount(*coba), 2);
  EXPECT_EQ(recordCount(*inco), 4);
  runOnStorage(dir / "DATA6", "DROP TRIGGER keep", "DROP TRIGGER keep ON " + serverTable(inst, "INCO"));

  ASSERT_TRUE(relations.remove(*coba));
  EXPECT_EQ(recordCount(*coba), 1);
  EXPECT_EQ(recordCount(*inco), 1);
  inco->rec().setInteger("CTA", 12600);
  EXPECT_TRUE(inco->fetch(inco->keyIndex("CTA_KEY")).found());

  // Through the second label there are no relations: only the record goes.
  auto cobt = open("COBT");
  addLine(*inco, 12601, 2);
  cobt->rec().setInteger("CTA", 126);
  ASSERT_TRUE(cobt->fetch(cobt->keyIndex("CTA_KEY")).found());
  ASSERT_TRUE(relations.remove(*cobt));
  EXPECT_EQ(recordCount(*inco), 2);
}

TEST_F(TableTest, DeletingAGenericKeyLeavesItsInputsAlone) {
  auto clag = open("CLAG");
  auto inba = open("INBA");
  clag->rec().setText("CTA", "CEM");
  clag->rec().setText("TIPO", "I");
  ASSERT_TRUE(clag->insert());
  addInput(*inba, 1, "CEMENTO", "CEM");
  RelationManager relations(inst, errors);
  ASSERT_TRUE(relations.remove(*clag));
  EXPECT_EQ(recordCount(*clag), 0);
  inba->rec().setInteger("CTA", 1);
  ASSERT_TRUE(inba->fetch(inba->keyIndex("CTA_KEY")).found());
  EXPECT_EQ(inba->rec().text("GENE"), "CEM");
}

TEST_F(TableTest, UpdateConflictShowsTheOtherStationsValues) {
  auto mine = open("INBA");
  auto theirs = open("INBA");
  addInput(*mine, 7, "ARENA");
  theirs->rec().setInteger("CTA", 7);
  ASSERT_TRUE(theirs->fetch(theirs->keyIndex("CTA_KEY")).found());
  mine->rec().setInteger("CTA", 7);
  ASSERT_TRUE(mine->fetch(mine->keyIndex("CTA_KEY")).found());

  theirs->rec().setText("TEXT", "ARENA FINA");
  ASSERT_TRUE(theirs->update());
  mine->rec().setText("TEXT", "ARENA GRUESA");
  EXPECT_TRUE(mine->update().is(Status::Code::kConflict));
  EXPECT_EQ(lastTitle(), "Registro no Actualizado");
  EXPECT_EQ(mine->rec().text("TEXT"), "ARENA FINA");
  // Having seen their values, a second save goes through.
  mine->rec().setText("TEXT", "ARENA GRUESA");
  EXPECT_TRUE(mine->update());

  ASSERT_TRUE(theirs->fetch(theirs->keyIndex("CTA_KEY")).found());
  ASSERT_TRUE(theirs->remove());
  EXPECT_TRUE(mine->update().is(Status::Code::kConflict));
  EXPECT_EQ(lastTitle(), "Registro no fue Actualizado");
}

// Many records' figures in one statement: all written with their audit
// fields and new versions, or, when another station changed one since they
// were read, a conflict that the caller's rollback undoes.
TEST_F(TableTest, ManyStoredRecordsTakeNewFiguresTogetherOrNotAtAll) {
  auto inba = open("INBA");
  inba->setAuditUser(9);
  for (int cta = 1; cta <= 3; ++cta) addInput(*inba, cta, "INSUMO " + std::to_string(cta));
  std::vector<Table::StoredIdentity> read;
  tables::Record lo(inba->def()), hi(inba->def());
  lo.setInteger("CTA", 1);
  hi.setInteger("CTA", 3);
  ASSERT_TRUE(inba->readRangeColumns(inba->keyIndex("CTA_KEY"), lo, hi, {"_id", "_ver"}, [&](const Row& r) {
    read.push_back({r.integer(0), r.integer(1)});
    return true;
  }));
  const auto write = [&](double base) {
    return inba->updateStoredFieldsMany({"COST[2]"}, read.size(), [&](size_t i) {
      inba->rec().setReal("COST", base + static_cast<double>(i), 2);
      return read[i];
    });
  };
  ASSERT_TRUE(inba->begin());
  ASSERT_TRUE(write(100));
  ASSERT_TRUE(inba->commit());
  for (int cta = 1; cta <= 3; ++cta) {
    inba->rec().setInteger("CTA", cta);
    ASSERT_TRUE(inba->fetch(inba->keyIndex("CTA_KEY")).found());
    EXPECT_EQ(inba->rec().real("COST", 2), 99 + cta);
    EXPECT_EQ(inba->rec().integer("USUA"), 9);
    EXPECT_EQ(inba->recordVersion(), read[static_cast<size_t>(cta - 1)].version + 1);
  }
  // The versions read are stale now: nothing is written.
  ASSERT_TRUE(inba->begin());
  EXPECT_TRUE(write(500).is(Status::Code::kConflict));
  inba->rollback();
  EXPECT_EQ(lastTitle(), "Registro no Actualizado");
  inba->rec().setInteger("CTA", 2);
  ASSERT_TRUE(inba->fetch(inba->keyIndex("CTA_KEY")).found());
  EXPECT_EQ(inba->rec().real("COST", 2), 101);
}

TEST_F(TableTest, AuditFieldsAreStampedOnEverySave) {
  auto inba = open("INBA");
  inba->setAuditUser(4);
  addInput(*inba, 1, "GRAVA");
  EXPECT_EQ(inba->rec().integer("USUA"), 4);
  EXPECT_GT(inba->rec().integer("ACFE"), 40000);  // a day number after 2009
  EXPECT_GT(inba->rec().integer("ACHO"), 0);
}

TEST_F(TableTest, DamagedKeysAreRebuiltOnOpen) {
  if (onServer()) GTEST_SKIP() << "about table files";
  // Build the file elsewhere, so that this process has not checked it yet.
  std::filesystem::create_directories(dir / "origen");
  Installation origin = inst;
  origin.dataDir = dir / "origen";
  { ASSERT_TRUE(origin.table("INBA", errors)->open()); }
  std::filesystem::copy_file(dir / "origen" / "DATA4", dir / "DATA4");

  // Make the description key miss rows: hide it behind an always-false
  // condition while rows are added, then put its definition back.
  sqlite3* db;
  sqlite3_open((dir / "DATA4").string().c_str(), &db);
  const auto run = [&db](const char* sql) {
    ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sql;
  };
  run("PRAGMA writable_schema=ON");
  run("UPDATE sqlite_schema SET sql=sql||' WHERE 0' WHERE name='INBA_DES_KEY'");
  sqlite3_close(db);
  sqlite3_open((dir / "DATA4").string().c_str(), &db);
  run("INSERT INTO INBA(CTA,TEXT,TEXT_F) VALUES(1,'CAL','CAL'),(2,'YESO','YESO')");
  run("PRAGMA writable_schema=ON");
  run("UPDATE sqlite_schema SET sql=replace(sql,' WHERE 0','') WHERE name='INBA_DES_KEY'");
  sqlite3_close(db);
  ASSERT_NE(integrityCheck(dir / "DATA4"), "ok");

  auto inba = open("INBA");
  EXPECT_EQ(lastTitle(), "Clave Inválida");
  EXPECT_EQ(shownTexts().back(), "INBA : Clave inválida. Clave debe ser reconstruida.");
  EXPECT_EQ(integrityCheck(dir / "DATA4"), "ok");
  inba->rec().setText("TEXT", "yeso");
  EXPECT_TRUE(inba->fetch(inba->keyIndex("DES_KEY")).found());

  // The explicit check finds nothing more to mend.
  bool damaged = true;
  ASSERT_TRUE(inba->checkKeys(&damaged));
  EXPECT_FALSE(damaged);
}

TEST_F(TableTest, AFileThatIsNotATableIsRefusedAndLeftUntouched) {
  if (onServer()) GTEST_SKIP() << "about table files";
  const std::string content = "Esto es una carta, no una tabla.\n";
  std::ofstream(dir / "DATA5") << content;
  auto maba = inst.table("MABA", errors);
  EXPECT_THROW(maba->open(), FatalExit);
  EXPECT_EQ(lastTitle(), "Error de Acceso");
  std::stringstream read;
  read << std::ifstream(dir / "DATA5").rdbuf();
  EXPECT_EQ(read.str(), content);

  // Nor is a table file of the other owner's role taken for one of ours.
  { open("VGA"); }
  std::filesystem::copy_file(dir / "settings" / "FONTS.DLL", dir / "DATA2");
  auto clag = inst.table("CLAG", errors);
  EXPECT_THROW(clag->open(), FatalExit);
}

TEST_F(TableTest, AFileWithoutWriteAccessOpensReadOnlyAfterMessage2) {
  if (onServer()) GTEST_SKIP() << "about table files";
  {
    auto inba = open("INBA");
    inba->rec().setInteger("CTA", 1);
    inba->rec().setText("TEXT", "ARENA");
    ASSERT_TRUE(inba->insert());
  }
  // Permissions do not stop root; an immutable file does.
  const std::string file = (dir / "DATA4").string();
  if (std::system(("chattr +i '" + file + "' 2>/dev/null").c_str()) != 0) {
    GTEST_SKIP() << "no way to take write access away here";
  }
  auto inba = inst.table("INBA", errors);
  const Status opened = inba->open();
  std::system(("chattr -i '" + file + "'").c_str());
  ASSERT_TRUE(opened);
  EXPECT_TRUE(inba->isReadOnly());
  EXPECT_EQ(lastTitle(), "Acceso Denegado");
  EXPECT_EQ(shownTexts().back(), "No pudo obtener acceso de escritura en Tabla INBA");
  inba->rec().setInteger("CTA", 1);
  EXPECT_TRUE(inba->fetch(inba->keyIndex("CTA_KEY")).found());
  EXPECT_EQ(inba->rec().text("TEXT"), "ARENA");
  inba->rec().setInteger("CTA", 2);
  EXPECT_TRUE(inba->insert().is(Status::Code::kReadOnly));
  EXPECT_EQ(lastTitle(), "Error en Agregar");
}

TEST_F(TableTest, UsingAClosedTableRaisesTheUsageMessage) {
  auto inba = inst.table("INBA", errors);
  EXPECT_THROW(inba->insert(), FatalExit);
  EXPECT_EQ(lastTitle(), "Error de Uso");
}

// A name the catalogue does not know is the calling code's mistake: the
// caller gets it (a refused read, an exception it can catch), and the
// process goes on.
TEST_F(TableTest, AnUnknownKeyOrFieldNameIsAnErrorTheCallerSees) {
  auto inba = open("INBA");
  addInput(*inba, 1, "CEMENTO");
  const int unknown = inba->keyIndex("NO_KEY");
  EXPECT_EQ(unknown, -1);
  EXPECT_TRUE(inba->fetch(unknown).failure().is(Status::Code::kInvalid));
  inba->setOrder(unknown);
  EXPECT_TRUE(inba->next().failed());
  EXPECT_TRUE(inba->previous().failed());
  const auto none = [](const Record&) { return true; };
  EXPECT_TRUE(inba->readAll(unknown, none).is(Status::Code::kInvalid));
  EXPECT_TRUE(inba->readRange(unknown, inba->rec(), inba->rec(), none).is(Status::Code::kInvalid));
  EXPECT_TRUE(inba->readRangeColumns(unknown, inba->rec(), inba->rec(), {"CTA"}, [](const Row&) { return true; })
                  .is(Status::Code::kInvalid));
  EXPECT_EQ(inba->countBefore(unknown), 0);

  EXPECT_THROW((void)inba->rec().integer("NOPE"), UnknownName);
  EXPECT_THROW(inba->rec().setText("NOPE", "x"), UnknownName);
  EXPECT_THROW((void)tableDef("NOTABLE"), UnknownName);
  // The table is as usable as before.
  inba->rec().setInteger("CTA", 1);
  EXPECT_TRUE(inba->fetch(inba->keyIndex("CTA_KEY")).found());
}

}  // namespace
}  // namespace velmora::tables
