// Login, access rights, salary zones, banner rotation and window placement.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>

#include "estimate/zones.h"
#include "fixture.h"
#include "shell/access.h"
#include "shell/banner.h"
#include "shell/ini_file.h"
#include "shell/login.h"

namespace velmora::shell {
namespace {

class LoginTest : public velmora::testing::InstallationTest {
 protected:
  void SetUp() override {
    InstallationTest::SetUp();
    settings = open("VGA");
    settings->rec().setInteger("CTA", 1);
    settings->rec().setText("LOGIN", "Jefe");
    settings->rec().setText("CLAV", storedMasterPassword("Secreta"));
    pers = open("PERS");
    pers->rec().setText("NOMB", "ANA");
    pers->rec().setText("LOGIN", "ana");
    pers->rec().setText("PASS", storedUserPassword("Contraseña12345"));
    pers->rec().setInteger("PRES", 3, 1);
    ASSERT_TRUE(pers->insert());
  }
  std::unique_ptr<tables::Table> settings, pers;
};

TEST_F(LoginTest, MasterIsExactUsersIgnoreCaseAndTheEleventhCharacter) {
  struct Case {
    const char* login;
    const char* password;
    LoginResult::Kind expected;
  } cases[] = {
      {"Jefe", "Secreta", LoginResult::kMaster},
      {"Jefe  ", "Secreta ", LoginResult::kMaster},  // trailing blanks ignored
      {"JEFE", "Secreta", LoginResult::kRefused},    // master is case-sensitive...
      {"Jefe", "SECRETA", LoginResult::kRefused},
      {"ANA", "CONTRASEÑA1", LoginResult::kUser},  // ...users are not, first 10 chars
      {"ana", "contraseña1xyz", LoginResult::kUser},
      {"ana", "contrasena", LoginResult::kRefused},
      {"ana", "", LoginResult::kEmpty},
      {"", "Secreta", LoginResult::kEmpty},
  };
  for (const auto& c : cases) {
    const LoginResult r = checkLogin(settingsOf(settings->rec()), *pers, c.login, c.password);
    EXPECT_EQ(r.kind, c.expected) << c.login << " / " << c.password;
    if (r.kind == LoginResult::kUser) {
      EXPECT_EQ(r.login.user, 1);
      EXPECT_EQ(r.login.level(1), 3);
    }
  }
}

TEST_F(LoginTest, PasswordsAreSaltedArgon2AndTheStoredValueIsNoPassword) {
  EXPECT_EQ(settings->rec().text("CLAV").rfind("$argon2id$", 0), 0u);
  pers->rec().setInteger("CTA", 1);
  ASSERT_TRUE(pers->fetch(pers->keyIndex("CTA_KEY")).found());
  const std::string stored = pers->rec().text("PASS");
  EXPECT_EQ(stored.rfind("$argon2id$", 0), 0u);
  EXPECT_NE(stored, storedUserPassword("Contraseña12345"));  // a salt per hash
  // Typing what the file holds never logs in, in any form.
  EXPECT_EQ(checkLogin(settingsOf(settings->rec()), *pers, "ana", stored).kind, LoginResult::kRefused);
  EXPECT_EQ(checkLogin(settingsOf(settings->rec()), *pers, "Jefe", settings->rec().text("CLAV")).kind,
            LoginResult::kRefused);
  pers->rec().clear();
  pers->rec().setText("LOGIN", "eva");
  pers->rec().setText("PASS", "~ABCDEFGHI");  // an older digest
  ASSERT_TRUE(pers->insert());
  EXPECT_EQ(checkLogin(settingsOf(settings->rec()), *pers, "eva", "~ABCDEFGHI").kind, LoginResult::kRefused);
}

TEST_F(LoginTest, OlderStoredFormsStillMatchAndAreUpgradedAtLogin) {
  settings->rec().setText("CLAV", "vieja");
  const LoginResult master = checkLogin(settingsOf(settings->rec()), *pers, "Jefe", "vieja");
  EXPECT_EQ(master.kind, LoginResult::kMaster);
  EXPECT_TRUE(masterPasswordMatches(master.upgradedMasterPassword, "vieja"));
  pers->rec().clear();
  pers->rec().setText("LOGIN", "luis");
  pers->rec().setText("PASS", "plana");
  ASSERT_TRUE(pers->insert());
  const int64_t id = pers->recordId();
  EXPECT_EQ(checkLogin(settingsOf(settings->rec()), *pers, "LUIS", "PLANA").kind, LoginResult::kUser);
  ASSERT_TRUE(pers->fetchById(id).found());
  EXPECT_EQ(pers->rec().text("PASS").rfind("$argon2id$", 0), 0u);
  EXPECT_EQ(checkLogin(settingsOf(settings->rec()), *pers, "luis", "plana").kind, LoginResult::kUser);
  EXPECT_EQ(checkLogin(settingsOf(settings->rec()), *pers, "luis", "plano").kind, LoginResult::kRefused);
}

TEST(AccessTest, LevelsDecideWhatEachRequestMayDo) {
  // level x request -> allowed?  (insert, change, delete, view)
  const bool table[6][4] = {
      {false, false, false, false},  // 0 SIN ACCESO
      {false, false, true, true},    // 1 SOLO VER: a form opened to delete or view
      {true, false, true, true},     // 2 CAPTURAR
      {true, true, true, true},      // 3 CAMBIOS
      {true, true, true, true},      // 4
      {true, true, true, true},      // 5 CIERRES
  };
  const FormRequest requests[4] = {FormRequest::kInsert, FormRequest::kChange, FormRequest::kDelete,
                                   FormRequest::kView};
  for (int level = 0; level <= 5; ++level) {
    Login user{7, {}};
    user.levels[element::kBaseInputs - 1] = static_cast<uint8_t>(level);
    for (int r = 0; r < 4; ++r) {
      EXPECT_EQ(formOpeningCheck(user, element::kBaseInputs, requests[r]).empty(), table[level][r])
          << "level " << level << " request " << static_cast<int>(requests[r]);
      EXPECT_TRUE(formOpeningCheck(Login{}, element::kBaseInputs, requests[r]).empty());
    }
    EXPECT_EQ(deleteCheck(user, element::kBaseInputs).has_value(), level < 3) << level;
  }
  EXPECT_FALSE(deleteCheck(Login{}, element::kBaseInputs).has_value());

  Login user{7, {}};
  user.levels[0] = 2;
  auto w = formOpeningCheck(user, element::kBaseInputs, FormRequest::kInsert);
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(w[0], (WarningLines{"NO TIENE ACCESO A ESTE PROGRAMA", "VERIFIQUE SUS ACCESOS AL SISTEMA",
                                "CON Ok CONTINUA..."}));
  w = formOpeningCheck(user, element::kUsers, FormRequest::kChange, 7);
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(w[0][2], "CON Ok CONTINUA....");
}

TEST(AccessTest, OwnAccountRuleLetsAUserChangeOnlyTheirOwnRecord) {
  Login user{7, {}};
  user.levels[element::kUsers - 1] = 3;
  EXPECT_TRUE(formOpeningCheck(user, element::kUsers, FormRequest::kChange, 7).empty());
  auto w = formOpeningCheck(user, element::kUsers, FormRequest::kChange, 8);
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(w[0], (WarningLines{"SOLO TIENE ACCESO A SU", "PROPIA CUENTA", "CON Ok CONTINUA .."}));
  EXPECT_FALSE(deleteCheck(user, element::kUsers).has_value());  // may delete others
  EXPECT_TRUE(formOpeningCheck(Login{}, element::kUsers, FormRequest::kChange, 8).empty());
}

class ZoneTest : public velmora::testing::InstallationTest {};

TEST_F(ZoneTest, FactorsOfTheWorkedExampleFixedFactorsAndWorkingDays) {
  auto control = open("CONTROL");
  auto& r = control->rec();
  r.setInteger("CTA", 1);
  r.setReal("VACA", 1.5);
  r.setReal("GRAT", 15);
  r.setReal("DHAB", estimate::workingDays(r));
  EXPECT_EQ(r.real("DHAB"), 365);
  auto f = estimate::zoneFactors(r);
  EXPECT_DOUBLE_EQ(f.fsrMenor, 381.5 / 365);
  EXPECT_DOUBLE_EQ(f.fsrMayor, 381.5 / 365);
  EXPECT_TRUE(f.complete);

  r.setReal("SUDI", 52, 14);
  r.setReal("SUDI", 52, 15);
  EXPECT_EQ(estimate::workingDays(r), 261);

  // Charges and quotas; the excess quotas count only above 3 minimum salaries.
  r.setReal("DHAB", 261);
  r.setReal("IINF", 5);
  r.setReal("ISAR", 2);
  r.setReal("IISN", 3);
  r.setReal("PIMS", 20.4);
  r.setReal("EXPA", 1.1);
  f = estimate::zoneFactors(r);
  const double tp = 381.5, a = tp + 7 * tp / 100 + tp * 3 / 100;
  EXPECT_DOUBLE_EQ(f.cuotasImss, 0.204);
  EXPECT_DOUBLE_EQ(f.fsrMenor, (a + tp * 0.204) / 261);
  EXPECT_DOUBLE_EQ(f.fsrMayor, (a + tp * (0.204 + 0.011)) / 261);

  // A positive fixed factor replaces its band only.
  r.setReal("MINI", 1.75);
  r.setReal("MAXI", -1);
  f = estimate::zoneFactors(r);
  EXPECT_EQ(f.fsrMenor, 1.75);
  EXPECT_DOUBLE_EQ(f.fsrMayor, (a + tp * (0.204 + 0.011)) / 261);
}

TEST_F(ZoneTest, RealWageTakesTheBandByThreeMinimumSalaries) {
  estimate::ZoneFactors f;
  f.salMin = 100;
  f.fsrMenor = 1.5;
  f.fsrMayor = 2;
  EXPECT_EQ(estimate::realWage(300, 4, f), 450);  // exactly 3 x SAL_MIN
  EXPECT_EQ(estimate::realWage(300.01, 4, f), 600.02);
  for (int kind : {1, 2, 3, 5, 6}) EXPECT_EQ(estimate::realWage(300.01, kind, f), 300.01);
}

TEST_F(ZoneTest, MissingZoneOrNoWorkingDaysKeepFactorsAtOneAndSaySo) {
  auto control = open("CONTROL");
  estimate::ZoneFactors f;
  ASSERT_TRUE(estimate::loadZoneFactors(*control, 3, &f));  // absent: not a failure
  EXPECT_FALSE(f.complete);
  EXPECT_EQ(f.fsrMenor, 1);
  control->rec().setInteger("CTA", 3);
  control->rec().setReal("SUEL", 300);
  ASSERT_TRUE(control->insert());
  ASSERT_TRUE(estimate::loadZoneFactors(*control, 3, &f));
  EXPECT_FALSE(f.complete);
  EXPECT_EQ(f.fsrMayor, 1);
  EXPECT_EQ(f.salMin, 300);
  EXPECT_TRUE(estimate::zoneNumberWarning(6).has_value());
  EXPECT_EQ((*estimate::zoneNumberWarning(6))[0], "UNICAMENTE SE PUEDEN DAR DE ALTA");
  EXPECT_FALSE(estimate::zoneNumberWarning(5).has_value());
}

TEST_F(ZoneTest, ZoneNamesRepeatTheLastOneRead) {
  auto control = open("CONTROL");
  for (const char* name : {"NORTE", "CENTRO", "SUR"}) {
    control->rec().clear();
    control->rec().setText("ZONA", name);
    ASSERT_TRUE(control->insert());
  }
  std::array<std::string, 5> names;
  ASSERT_TRUE(estimate::readZoneNames(*control, &names));
  EXPECT_EQ(names, (std::array<std::string, 5>{"NORTE", "CENTRO", "SUR", "SUR", "SUR"}));
}

class BannerTest : public velmora::testing::InstallationTest {};

TEST_F(BannerTest, EveryLogoOnceBeforeARepeat) {
  int calls = 0;
  BannerPile pile(3, [&calls](int count) { return (calls++ % count) + 1; });
  std::vector<int> first{pile.draw(), pile.draw(), pile.draw()};
  std::sort(first.begin(), first.end());
  EXPECT_EQ(first, (std::vector<int>{1, 2, 3}));
  EXPECT_NE(pile.draw(), 0);  // the fourth starts afresh

  BannerPile none(0, [](int) { return 1; });
  EXPECT_EQ(none.draw(), 0);
  BannerPile many(45, [](int count) { return count; });
  std::set<int> seen;
  for (int i = 0; i < 45; ++i) seen.insert(many.draw());
  EXPECT_EQ(seen.size(), 45u);
}

TEST_F(BannerTest, LogosAreCountedUpToTheFirstMissingOrEmptyFile) {
  EXPECT_EQ(countLogos(dir), 0);
  for (int n : {1, 2, 3, 5}) std::ofstream(dir / ("LOGO" + std::to_string(n) + ".JPG")) << "jpg";
  EXPECT_EQ(countLogos(dir), 3);
  std::ofstream(dir / "logo4.jpg");  // empty
  EXPECT_EQ(countLogos(dir), 3);
}

TEST_F(BannerTest, WindowPlacementRoundTripsThroughKavelIni) {
  IniFile ini(dir / "KAVEL.INI");
  ini.load();
  ini.setPlacement("Main", {10, 20, 800, 600, true, false});
  ini.setPlacement("CAP_INS", {1, 2, 3, 4, false, false});
  ASSERT_TRUE(ini.save());
  IniFile again(dir / "KAVEL.INI");
  again.load();
  EXPECT_EQ(again.sectors(), (std::vector<std::string>{"CAP_INS", "Main"}));
  auto p = again.placement("Main");
  ASSERT_TRUE(p);
  EXPECT_EQ(p->width, 800);
  EXPECT_TRUE(p->maximized);
  std::ifstream in(dir / "KAVEL.INI");
  std::string all((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(all.find("[__Dont_Touch_Me__]\nSectors=CAP_INS,Main"), std::string::npos);
  EXPECT_NE(all.find("Maximize=Yes"), std::string::npos);
}

}  // namespace
}  // namespace velmora::shell

#include "shell/startup.h"

namespace velmora::shell {
namespace {

// Answers INSTALA and ACCE from a script and records the warnings.
class ScriptedStartup : public StartupUi {
 public:
  void warn(const WarningLines& lines) override { warnings.push_back(lines); }
  void showInstructions() override { ++instructionRuns; }
  std::optional<SettingsEntry> runInstala() override {
    ++instalaRuns;
    if (instala.empty()) return std::nullopt;
    auto e = instala.front();
    instala.erase(instala.begin());
    return e;
  }
  std::optional<std::pair<std::string, std::string>> runLogin(const std::string& company) override {
    ++loginRuns;
    shownCompany = company;
    return login;
  }
  std::vector<SettingsEntry> instala;
  std::optional<std::pair<std::string, std::string>> login;
  std::vector<WarningLines> warnings;
  int instalaRuns = 0, loginRuns = 0, instructionRuns = 0;
  std::string shownCompany;
};

class StartupTest : public velmora::testing::InstallationTest {
 protected:
  StartupOutcome start(ScriptedStartup& ui) {
    session = Session{};
    session.installation = inst;
    session.errors = &errors;
    return startSession(session, ui);
  }
  Session session;
};

TEST_F(StartupTest, FirstStartRunsInstalaAndEndsThenTheNextStartAsksForTheLogin) {
  ScriptedStartup first;
  first.instala.push_back({"CONSTRUCTORA DEL NORTE", "Jefe", "Secreta"});
  EXPECT_EQ(start(first), StartupOutcome::kEndProgram);
  EXPECT_EQ(first.instalaRuns, 1);
  EXPECT_EQ(first.loginRuns, 0);
  ASSERT_EQ(first.warnings.size(), 1u);
  EXPECT_EQ(first.warnings[0],
            (WarningLines{"DEBE DE CERRARSE EL SISTEMA", "PARA QUE ACEPTE LOS NUEVOS", "PARAMETROS ..."}));
  EXPECT_TRUE(std::filesystem::exists(dir / "settings" / "FONTS.DLL"));

  ScriptedStartup second;
  second.login = {"Jefe", "Secreta"};
  EXPECT_EQ(start(second), StartupOutcome::kRun);
  EXPECT_EQ(second.instalaRuns, 0);
  EXPECT_EQ(second.shownCompany, "CONSTRUCTORA DEL NORTE");
  EXPECT_TRUE(session.login.isMaster());
  EXPECT_EQ(session.currentZone(), 1);
  EXPECT_FALSE(session.showSuppliers);
  EXPECT_TRUE(std::filesystem::is_directory(dir / "ACTUALIZACION"));
  // A new installation gets its five zones, with real factors.
  EXPECT_TRUE(session.zone.complete);
  EXPECT_DOUBLE_EQ(session.zone.salMin, 440.87);
  EXPECT_GT(session.zone.fsrMenor, 1.3);
  EXPECT_EQ(session.zoneNames[1], "RESTO DEL PAIS");
  EXPECT_TRUE(second.warnings.empty());
}

TEST_F(StartupTest, InstalaLeftTwiceAllowsOnlyUsersOfPers) {
  ScriptedStartup ui;
  ui.login = {"", ""};
  EXPECT_EQ(start(ui), StartupOutcome::kEndProgram);  // an empty entry ends the program
  EXPECT_EQ(ui.instalaRuns, 2);
  EXPECT_EQ(ui.loginRuns, 1);
}

TEST_F(StartupTest, AWrongPasswordEndsTheProgramWithTheThreeLines) {
  ASSERT_TRUE(saveSettings(inst, errors, {"CIA", "Jefe", "Secreta"}));
  ScriptedStartup ui;
  ui.login = {"Jefe", "otra"};
  EXPECT_EQ(start(ui), StartupOutcome::kEndProgram);
  ASSERT_EQ(ui.warnings.size(), 1u);
  EXPECT_EQ(ui.warnings[0],
            (WarningLines{"LA CLAVE DE ACCESO NO", "ES CORRECTA, VERIFIQUE", "USTED Y TRATE NUEVAMENTE"}));

  ScriptedStartup closed;  // the login window closed: nobody is logged in
  EXPECT_EQ(start(closed), StartupOutcome::kEndProgram);
}

TEST_F(StartupTest, AUserLoginInAnotherCaseAndTheMaintenanceAccount) {
  ASSERT_TRUE(saveSettings(inst, errors, {"CIA", "QOX", "ZEP"}));
  {
    auto pers = open("PERS");
    pers->rec().setText("NOMB", "ANA");
    pers->rec().setText("LOGIN", "ana");
    pers->rec().setText("PASS", storedUserPassword("clave"));
    pers->rec().setInteger("PRES", 2, 3);
    ASSERT_TRUE(pers->insert());
  }
  ScriptedStartup ui;
  ui.login = {"ANA", "CLAVE"};
  EXPECT_EQ(start(ui), StartupOutcome::kRun);
  EXPECT_EQ(session.login.user, 1);
  EXPECT_EQ(session.login.level(3), 2);
  EXPECT_TRUE(session.showSuppliers);
}

TEST_F(StartupTest, TheSettingsFileIsSetAsideOnlyWhenDamagedAndNeverOverAnEarlierCopy) {
  const auto file = dir / "settings" / "FONTS.DLL";
  const auto write = [](const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
  };
  // Damaged twice: two copies kept aside, then a fresh file and INSTALA.
  for (int episode = 1; episode <= 2; ++episode) {
    write(file, "no es una base de datos " + std::to_string(episode));
    ScriptedStartup ui;
    EXPECT_EQ(start(ui), StartupOutcome::kEndProgram);
    ASSERT_FALSE(ui.warnings.empty());
    EXPECT_EQ(ui.warnings[0][1], "DAÑADO, SE GUARDO APARTE COMO");
    EXPECT_EQ(ui.instalaRuns, 2);
  }
  std::ifstream first(dir / "settings" / "FONTS.DLL.DANADO"), second(dir / "settings" / "FONTS.DLL.DANADO.2");
  std::string a, b;
  std::getline(first, a);
  std::getline(second, b);
  EXPECT_EQ(a, "no es una base de datos 1");
  EXPECT_EQ(b, "no es una base de datos 2");

  // Locked by another station: reported after the wait, the file stays.
  ASSERT_TRUE(saveSettings(inst, errors, {"CIA", "Jefe", "Secreta"}));
  {
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(file.string().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    ScriptedStartup ui;
    EXPECT_EQ(tables::inspectFile(file, std::chrono::milliseconds(50)), tables::FileHealth::kLocked);
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
  }
  EXPECT_EQ(tables::inspectFile(file, std::chrono::milliseconds(50)), tables::FileHealth::kSound);

  // A folder the program may not write into: the three lines and MESSINST.
  if (::geteuid() != 0) {  // root writes anywhere
    std::filesystem::permissions(dir / "settings", std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    ScriptedStartup ui;
    EXPECT_EQ(start(ui), StartupOutcome::kEndProgram);
    EXPECT_EQ(ui.instructionRuns, 1);
    std::filesystem::permissions(dir / "settings", std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
  }
  // A settings location that is not a folder at all.
  inst.settingsDir = dir / "settings" / "FONTS.DLL" / "sub";
  ScriptedStartup ui;
  EXPECT_EQ(start(ui), StartupOutcome::kEndProgram);
  EXPECT_EQ(ui.instructionRuns, 1);
  EXPECT_EQ(ui.warnings[0][0], "EL SISTEMA NO PERMITE LA ACTUALIZACION");
}

TEST(NetTraceTest, SwitchesOfTheNetworkTrace) {
  EXPECT_EQ(netTraceFromArguments({"/netall", "/netnolog"}), NetTrace::kNone);
  EXPECT_EQ(netTraceFromArguments({"/neterrors"}), NetTrace::kBanners);
  EXPECT_EQ(netTraceFromArguments({}), NetTrace::kDefault);
}

}  // namespace
}  // namespace velmora::shell
