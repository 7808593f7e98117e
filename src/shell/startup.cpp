#include "shell/startup.h"

#include <optional>

#include "framework/dates.h"
#include "framework/text.h"
#include "shell/banner.h"
#include "shell/login.h"

namespace velmora::shell {

namespace fs = std::filesystem;

NetTrace netTraceFromArguments(const std::vector<std::string>& args) {
  bool banners = false;
  for (const auto& a : args) {
    if (a == "/netnolog") return NetTrace::kNone;
    banners |= a == "/nettalklog" || a == "/nettalklogerrors" || a == "/neterrors" || a == "/netall";
  }
  return banners ? NetTrace::kBanners : NetTrace::kDefault;
}

int firstEmptySettingsField(const SettingsEntry& e) {
  if (text::clip(e.company).empty()) return 0;
  if (text::clip(e.login).empty()) return 1;
  if (text::clip(e.password).empty()) return 2;
  return -1;
}

Status saveSettings(const tables::Installation& inst, ErrorReporter& errors, const SettingsEntry& e) {
  auto vga = inst.table("VGA", errors);
  if (Status s = vga->open(); !s) return s;
  // The settings table holds one record: replace whatever is there at once.
  if (Status s = vga->begin(); !s) return s;
  vga->setOrder(vga->keyIndex("CTA_KEY"));
  for (tables::Found next = vga->next(); !next.absent(); next = vga->next()) {
    Status s = next.status();
    if (s) s = vga->remove();
    if (!s) {
      vga->rollback();
      return s;
    }
    vga->setOrder(vga->keyIndex("CTA_KEY"));
  }
  vga->rec() = settingsRecord({e.company, e.login, storedMasterPassword(e.password)});
  if (Status s = vga->insert(); !s) {
    vga->rollback();
    return s;
  }
  return vga->commit();
}

namespace {

const WarningLines kRestart = {"DEBE DE CERRARSE EL SISTEMA", "PARA QUE ACEPTE LOS NUEVOS", "PARAMETROS ..."};
const WarningLines kCannotWrite = {"EL SISTEMA NO PERMITE LA ACTUALIZACION", "DE ARCHIVOS, DEBIDO A LA CONFIGURACION",
                                   "DEL WINDOWS SIGA LOS PASOS SIGUIENTES"};
const WarningLines kWrongPassword = {"LA CLAVE DE ACCESO NO", "ES CORRECTA, VERIFIQUE", "USTED Y TRATE NUEVAMENTE"};

// Runs INSTALA; true when it saved (the program must then end).
bool installa(Session& session, StartupUi& ui) {
  auto entry = ui.runInstala();
  if (!entry || firstEmptySettingsField(*entry) >= 0) return false;
  if (!saveSettings(session.installation, *session.errors, *entry)) return false;
  ui.warn(kRestart);
  return true;
}

}  // namespace

namespace {

// 1-3: the settings table and its record, in `vga`. Where the program may
// not write, the user is told how to grant the access (MESSINST); a file
// merely held by another station is waited for, then reported; only a
// damaged file is set aside (never over an earlier copy), and the next
// steps create a fresh one. Nothing when the program goes on.
std::optional<StartupOutcome> openSettings(Session& session, StartupUi& ui, tables::Table& vga) {
  const tables::Installation& inst = session.installation;
  std::error_code ec;
  fs::create_directories(inst.settingsDir, ec);
  const fs::path file = inst.fileOf(vga.def());
  const auto cannotWrite = [&ui] {
    ui.warn(kCannotWrite);
    ui.showInstructions();
    return StartupOutcome::kEndProgram;
  };
  if (!tables::canWriteIn(file.parent_path())) return cannotWrite();
  switch (tables::inspectFile(file, tables::kLockWait)) {
    case tables::FileHealth::kLocked:
      ui.warn({"LA CONFIGURACION DEL SISTEMA ESTA", "OCUPADA POR OTRA ESTACION,", "INTENTE DE NUEVO EN UN MOMENTO"});
      return StartupOutcome::kEndProgram;
    case tables::FileHealth::kReadOnly:
    case tables::FileHealth::kUnreachable: return cannotWrite();
    case tables::FileHealth::kDamaged: {
      const auto aside = tables::setAside(file);
      if (!aside) return cannotWrite();
      ui.warn({"EL ARCHIVO DE CONFIGURACION ESTABA", "DAÑADO, SE GUARDO APARTE COMO", aside->filename().string()});
      break;
    }
    case tables::FileHealth::kMissing:
    case tables::FileHealth::kSound: break;
  }
  if (!vga.open() || vga.isReadOnly()) {
    vga.close();
    return cannotWrite();
  }
  vga.rec().setInteger("CTA", 1);
  const tables::Found stored = vga.fetch(vga.keyIndex("CTA_KEY"));
  // Settings that could not be read are not missing ones: INSTALA would
  // write new ones over them.
  if (stored.failed()) return StartupOutcome::kEndProgram;
  if (stored.absent()) {
    if (installa(session, ui)) return StartupOutcome::kEndProgram;
    // The login window finds no settings either and runs INSTALA once more.
    if (installa(session, ui)) return StartupOutcome::kEndProgram;
    vga.rec().clear();
  }
  return std::nullopt;
}

// 5-6: the login against `settings`, an older master password upgraded in
// place, and the suppliers' entry for the maintenance account.
std::optional<StartupOutcome> logIn(Session& session, StartupUi& ui, const InstallationSettings& settings,
                                    tables::Table& vga) {
  auto entered = ui.runLogin(session.companyName);
  if (!entered) return StartupOutcome::kEndProgram;  // closing the window never logs anyone in
  auto pers = session.installation.table("PERS", *session.errors);
  if (!pers->open()) return StartupOutcome::kEndProgram;
  const LoginResult result = checkLogin(settings, *pers, entered->first, entered->second);
  if (result.kind == LoginResult::kEmpty) return StartupOutcome::kEndProgram;
  if (result.kind == LoginResult::kRefused) {
    ui.warn(kWrongPassword);
    return StartupOutcome::kEndProgram;
  }
  session.login = result.login;
  if (!result.upgradedMasterPassword.empty()) {
    InstallationSettings upgraded = settings;
    upgraded.masterPassword = result.upgradedMasterPassword;
    vga.rec() = settingsRecord(upgraded);
    (void)vga.update();  // a failed upgrade leaves the older form, which still matches
  }
  session.showSuppliers =
      text::clip(settings.masterLogin) == "QOX" && masterPasswordMatches(settings.masterPassword, "ZEP");
  return std::nullopt;
}

// 8: the zone names and zone 1 with its factors; a new installation gets
// its five zones, editable as any other.
std::optional<StartupOutcome> loadZones(Session& session, StartupUi& ui) {
  auto control = session.installation.table("CONTROL", *session.errors);
  if (!control->open()) {
    // Prices with factors of 1 would be wrong everywhere: do not go on.
    ui.warn(
        {"NO SE PUDIERON LEER LAS ZONAS DE", "SALARIO (OCUPADAS POR OTRA ESTACION", "O DAÑADAS), INTENTE DE NUEVO"});
    return StartupOutcome::kEndProgram;
  }
  const auto unreadable = [&ui] {
    ui.warn(
        {"NO SE PUDIERON LEER LAS ZONAS DE", "SALARIO (OCUPADAS POR OTRA ESTACION", "O DAÑADAS), INTENTE DE NUEVO"});
    return StartupOutcome::kEndProgram;
  };
  int64_t zones = 0;
  if (!control->count(&zones)) return unreadable();
  if (zones == 0 && !control->isReadOnly()) {
    (void)estimate::addMissingZones(*control, estimate::kNewInstallationZones);  // a failure shows its message
  }
  if (!estimate::readZoneNames(*control, &session.zoneNames)) return unreadable();
  if (!estimate::loadZoneFactors(*control, 1, &session.zone)) return unreadable();
  if (!session.zone.complete) {
    ui.warn({"LA ZONA DE SALARIO 1 ESTA INCOMPLETA", "SUS FACTORES DE SALARIO REAL", "SE TOMAN COMO 1.0000"});
  }
  return std::nullopt;
}

}  // namespace

StartupOutcome startSession(Session& session, StartupUi& ui) {
  auto vga = session.installation.table("VGA", *session.errors);
  if (auto ended = openSettings(session, ui, *vga)) return *ended;
  const InstallationSettings settings = settingsOf(vga->rec());
  session.companyName = settings.company;
  session.today = dates::today();
  if (auto ended = logIn(session, ui, settings, *vga)) return *ended;
  // 7: no work chosen yet.
  session.installation.workDir.clear();
  session.currentWorkCode.clear();
  if (auto ended = loadZones(session, ui)) return *ended;
  // 10-11: logos and the update folder.
  session.logoCount = countLogos(session.installation.dataDir);
  std::error_code ec;
  fs::create_directories(session.installation.dataDir / "ACTUALIZACION", ec);
  return StartupOutcome::kRun;
}

}  // namespace velmora::shell
