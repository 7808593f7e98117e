// The error reporter: message table, substitution, severities, history, log.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "framework/error_reporter.h"
#include "framework/text.h"

namespace velmora {
namespace {

struct FatalExit {
  std::string text;
};

class ErrorReporterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    errors.setPresenter(&presenter);
    errors.setFatalHandler([](const std::string& text) { throw FatalExit{text}; });
  }
  MessageRequest last() const { return presenter.shown().back(); }

  ErrorReporter errors;
  RecordingPresenter presenter;
};

TEST_F(ErrorReporterTest, DefaultTableSurvivesPackingWordForWord) {
  const std::string block = ErrorReporter::defaultMessageBlock();
  ASSERT_GE(block.size(), 2u);
  EXPECT_EQ(static_cast<unsigned char>(block[0]) | static_cast<unsigned char>(block[1]) << 8, 52);
  // The block carries Windows-1252 bytes: "Retribución" holds 0xF3 for ó.
  EXPECT_NE(block.find("Retribuci\xF3n"), std::string::npos);

  errors.setFile("INBA");
  errors.raise(2);
  EXPECT_EQ(last().title, "Acceso Denegado");
  EXPECT_EQ(last().text, "No pudo obtener acceso de escritura en Tabla INBA");
  errors.raise(11);
  EXPECT_EQ(last().title, "Confirmar Borrado");
  EXPECT_EQ(last().text, "¿ Está seguro que desea eliminar el registro seleccionado?");
  errors.setField("LLAVE");
  errors.raiseMessage(18, "1 .. 5");
  EXPECT_EQ(last().text, "El valor de LLAVE debe ser entre 1 .. 5.");
  errors.raiseMessage(52, "x");
  EXPECT_EQ(last().text, "Poorly Formed Comment String \"x\" at Position LLAVE.");
  errors.raise(47);
  EXPECT_EQ(last().title, "Error Winsock ");
}

TEST_F(ErrorReporterTest, PlaceholdersInOrderAnyCaseAndNotSearchedAgain) {
  errors.addError(900, "%FileErrorCode/%FileError/%File/%FILE/%file", "t", Severity::kNotify);
  errors.addError(901, "[%Message]", "t", Severity::kNotify);
  errors.addError(902, "<%Procedure><%Previous>", "t", Severity::kNotify);
  errors.setFile("DATA4");
  errors.noteStorageError(11, "malformado");
  errors.raise(900);
  EXPECT_EQ(last().text, "11/malformado/DATA4/DATA4/DATA4");

  // A replacement that holds a placeholder is shown as it is.
  errors.raiseMessage(901, "%Field y %File");
  EXPECT_EQ(last().text, "[%Field y %File]");

  // No procedure registered on this thread, %Previous names the entry before.
  errors.raise(902);
  EXPECT_EQ(last().text, "<><[%Message]>");
  errors.setProcedureName("CAP_INS");
  errors.setProcedureName("UpdateINBA");
  errors.raise(902);
  EXPECT_EQ(last().text, "<UpdateINBA><<%Procedure><%Previous>>");
  errors.removeProcedureName("UpdateINBA");
  errors.raise(902);
  EXPECT_EQ(last().text.substr(0, 9), "<CAP_INS>");
}

TEST_F(ErrorReporterTest, PreviousIsEmptyOnTheFirstMessageOfAThread) {
  errors.addError(902, "<%Previous>", "t", Severity::kNotify);
  std::thread([&] { errors.raise(902); }).join();
  EXPECT_EQ(last().text, "<>");
}

TEST_F(ErrorReporterTest, ErrorTextComesFromTheDriverForCodes90And100) {
  errors.addError(903, "Error: %ErrorText.", "t", Severity::kNotify);
  errors.setFile("INBA");
  errors.noteStorageError(5, "database is locked");
  errors.raise(903);
  EXPECT_EQ(last().text, "Error: database is locked (5).");
  errors.noteError(35, "Registro no encontrado");
  errors.raise(903);
  EXPECT_EQ(last().text, "Error: Registro no encontrado (35).");
}

TEST_F(ErrorReporterTest, SeveritiesDecideButtonsIconsAndResults) {
  // Benign: nothing shown.
  errors.addError(904, "nada", "t", Severity::kBenign);
  EXPECT_EQ(errors.raise(904), result::kGoOn);
  EXPECT_TRUE(presenter.shown().empty());
  // Unknown id: nothing shown, 0.
  EXPECT_EQ(errors.raise(31999), 0);
  EXPECT_TRUE(presenter.shown().empty());

  // User: Yes/No, Yes the default, question icon; No gives 4.
  EXPECT_EQ(errors.raise(38), result::kGoOn);
  EXPECT_EQ(last().buttons, button::kYes | button::kNo);
  EXPECT_EQ(last().defaultButton, button::kYes);
  EXPECT_EQ(last().icon, Icon::kQuestion);
  presenter.answerNext(button::kNo);
  EXPECT_EQ(errors.raise(38), result::kCancel);

  // Notify: OK only, exclamation, 5.
  EXPECT_EQ(errors.raise(25), result::kNotified);
  EXPECT_EQ(last().buttons, button::kOk);
  EXPECT_EQ(last().icon, Icon::kExclamation);

  // AskMessage with 70 offers Yes, No and Cancel.
  presenter.answerNext(button::kCancel);
  EXPECT_EQ(errors.askMessage(38, 70, button::kCancel), button::kCancel);
  EXPECT_EQ(last().buttons, button::kYes | button::kNo | button::kCancel);
  EXPECT_EQ(last().title, "Guardar Registro");
}

TEST_F(ErrorReporterTest, FatalAndProgramSeveritiesEndTheProgramAfterOk) {
  errors.setFile("DATA4");
  errors.noteError(2, "No existe");
  try {
    errors.raise(26);
    FAIL() << "fatal returned";
  } catch (const FatalExit& e) {
    EXPECT_EQ(e.text, "Archivo (DATA4) no pudo ser abierto.  Error: No existe (2).  Press OK to end this application");
  }
  EXPECT_EQ(last().title, "Error de Acceso");
  EXPECT_EQ(last().buttons, button::kOk);
  EXPECT_THROW(errors.raise(42), FatalExit);  // severity 2 Program
  errors.addError(905, "x", "t", static_cast<Severity>(9));
  EXPECT_THROW(errors.raise(905), FatalExit);
}

TEST_F(ErrorReporterTest, LaterEntryWinsAndRemoveDropsIt) {
  errors.addError(25, "otro texto", "Otro", Severity::kNotify);
  errors.raise(25);
  EXPECT_EQ(last().text, "otro texto");
  errors.removeErrors(25);
  presenter.clear();
  EXPECT_EQ(errors.raise(25), 0);  // every entry with the id is gone
  EXPECT_TRUE(presenter.shown().empty());
}

TEST_F(ErrorReporterTest, AddErrorsReadsAPackedBlock) {
  const std::string block =
      ErrorReporter::packMessages({{700, "Año %Message", "Título", 5, {}}, {701, "b", "c", 1, {}}});
  errors.addErrors(block);
  errors.raiseMessage(700, "ñ");
  EXPECT_EQ(last().title, "Título");
  EXPECT_EQ(last().text, "Año ñ");
}

TEST_F(ErrorReporterTest, SilentAnswersWithTheDefault) {
  errors.setSilent(true);
  EXPECT_EQ(errors.raise(38), result::kGoOn);
  EXPECT_EQ(errors.askMessage(38, 70, button::kCancel), button::kCancel);
  EXPECT_TRUE(presenter.shown().empty());
  EXPECT_THROW(errors.raise(26), FatalExit);  // still ends the program
}

// The reporter never ends the process: a fatal message, handled or not,
// silent or not, comes back as a failure that the raising code returns, so
// that it travels up to whoever started the work. A run that only fails
// does not announce the end of the program.
TEST(ErrorReporterExit, AFatalMessageComesBackToItsCallerAndEndsNothing) {
  struct Case {
    const char* what;
    bool silent, handled, endsProgram;
  };
  for (const Case c : {Case{"plain", false, false, true}, Case{"handled", false, true, true},
                       Case{"silent", true, false, true}, Case{"a worker's run", false, true, false}}) {
    SCOPED_TRACE(c.what);
    ErrorReporter errors;
    RecordingPresenter shown;
    errors.setPresenter(&shown);
    errors.setSilent(c.silent);
    errors.setFatalEndsProgram(c.endsProgram);
    int handled = 0;
    if (c.handled) errors.setFatalHandler([&handled](const std::string&) { ++handled; });
    EXPECT_EQ(errors.raise(26), result::kCancel);
    EXPECT_EQ(errors.raise(42), result::kCancel);
    EXPECT_EQ(handled, c.handled ? 2 : 0);
    if (c.silent) {
      EXPECT_TRUE(shown.shown().empty());
      continue;
    }
    ASSERT_EQ(shown.shown().size(), 2u);
    const std::string& text = shown.shown().front().text;
    EXPECT_EQ(text.find("Press OK") != std::string::npos, c.endsProgram) << text;
  }
}

TEST_F(ErrorReporterTest, HistoryCollectsAndShowsOnlyTheViewLevel) {
  errors.setHistoryThreshold(2);
  errors.setCategory(-1, "GENERAL");
  errors.setCategory(25, "LISTAS");
  errors.raise(25);  // Notify: collected, not shown (view level 3)
  errors.raise(7);
  errors.raise(8);  // the threshold keeps the two newest
  EXPECT_TRUE(presenter.shown().empty());
  auto h = errors.history();
  ASSERT_EQ(h.size(), 2u);
  EXPECT_EQ(h[0].id, 7);
  EXPECT_EQ(h[1].category, "GENERAL");
  EXPECT_EQ(errors.category(25), "LISTAS");

  errors.setHistoryViewLevel(5);
  errors.setHistoryResetOnView(true);
  errors.raise(25);
  ASSERT_EQ(presenter.historyTitles().size(), 1u);
  EXPECT_EQ(presenter.historyTitles()[0], "No hay Registros");
  EXPECT_TRUE(errors.history().empty());
  errors.viewHistory();
  EXPECT_EQ(presenter.historyTitles().back(), "Errors History");
}

TEST_F(ErrorReporterTest, StatusIsKeptPerThread) {
  errors.setFile("INBA");
  std::thread([&] {
    errors.setFile("MABA");
    EXPECT_EQ(errors.status().fileName, "MABA");
  }).join();
  EXPECT_EQ(errors.status().fileName, "INBA");
}

TEST_F(ErrorReporterTest, LogAppendsOneLinePerMessageAndIgnoresFailures) {
  const auto dir = std::filesystem::temp_directory_path() / "velmora_log_test";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  errors.setLogErrors(true);
  errors.setLogPath((dir / "ZORBError.Log").string());
  errors.setFile("INBA");
  errors.raise(2);
  errors.raise(25);
  std::ifstream in(dir / "ZORBError.Log");
  std::string line1, line2;
  std::getline(in, line1);
  std::getline(in, line2);
  EXPECT_NE(line1.find("@"), std::string::npos);
  EXPECT_NE(line1.find(" --> No pudo obtener acceso de escritura en Tabla INBA"), std::string::npos);
  EXPECT_NE(line2.find(" --> No se encontraron registros"), std::string::npos);
  errors.setLogPath((dir / "missing" / "x.log").string());
  EXPECT_EQ(errors.raise(25), result::kNotified);  // a log failure does not stop the message
  std::filesystem::remove_all(dir);
}

TEST_F(ErrorReporterTest, LongTextsAreCutAt1999Characters) {
  errors.addError(906, "%Message", "t", Severity::kNotify);
  errors.raiseMessage(906, std::string(2500, 'x'));
  EXPECT_EQ(last().text.size(), 1999u);
}

}  // namespace
}  // namespace velmora
