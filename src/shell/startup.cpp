#include "shell/startup.h"

#include "framework/text.h"
#include "shell/banner.h"
#include "shell/login.h"
#include "framework/dates.h"

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
  while (vga->next()) {
    if (Status s = vga->remove(); !s) {
      vga->rollback();
      return s;
    }
    vga->setOrder(vga->keyIndex("CTA_KEY"));
  }
  vga->rec().clear();
  vga->rec().setInteger("CTA", 1);
  vga->rec().setText("CIA", e.company);
  vga->rec().setText("LOGIN", e.login);
  vga->rec().setText("CLAV", storedMasterPassword(e.password));
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

StartupOutcome startSession(Session& session, StartupUi& ui) {
  ErrorReporter& errors = *session.errors;
  const tables::Installation& inst = session.installation;

  // 1-3: the settings table and its record.
  std::error_code ec;
  fs::create_directories(inst.settingsDir, ec);
  auto vga = inst.table("VGA", errors);
  if (!vga->open() || vga->isReadOnly()) {
    vga->close();
    ui.warn(kCannotWrite);
    // The file is set aside rather than deleted: the next start creates a
    // fresh one and nothing the user had is destroyed.
    const fs::path file = inst.fileOf(vga->def());
    if (fs::exists(file)) fs::rename(file, fs::path(file.string() + ".DANADO"), ec);
    return StartupOutcome::kEndProgram;
  }
  const int key = vga->keyIndex("CTA_KEY");
  vga->rec().setInteger("CTA", 1);
  if (!vga->fetch(key)) {
    if (installa(session, ui)) return StartupOutcome::kEndProgram;
    // The login window finds no settings either and runs INSTALA once more.
    if (installa(session, ui)) return StartupOutcome::kEndProgram;
    vga->rec().clear();
  }
  const tables::Record settings = vga->rec();
  session.companyName = settings.text("CIA");
  session.today = dates::today();

  // 5: login.
  auto entered = ui.runLogin(session.companyName);
  if (!entered) return StartupOutcome::kEndProgram;  // closing the window never logs anyone in
  auto pers = inst.table("PERS", errors);
  if (!pers->open()) return StartupOutcome::kEndProgram;
  const LoginResult result = checkLogin(settings, *pers, entered->first, entered->second);
  if (result.kind == LoginResult::kEmpty) return StartupOutcome::kEndProgram;
  if (result.kind == LoginResult::kRefused) {
    ui.warn(kWrongPassword);
    return StartupOutcome::kEndProgram;
  }
  session.login = result.login;

  // 6: the suppliers entry only for the maintenance account.
  session.showSuppliers = text::clip(settings.text("LOGIN")) == "QOX" &&
                          masterPasswordMatches(settings.text("CLAV"), "ZEP");

  // 7: no work chosen yet.
  session.installation.workDir.clear();
  session.currentWorkCode.clear();

  // 8: zone names and zone 1 with its factors.
  auto control = inst.table("CONTROL", errors);
  if (control->open()) {
    session.zoneNames = estimate::readZoneNames(*control);
    session.zone = estimate::loadZoneFactors(*control, 1);
  } else {
    session.zone = estimate::ZoneFactors{};
    session.zone.zone = 1;
  }
  if (!session.zone.complete) {
    ui.warn({"LA ZONA DE SALARIO 1 ESTA INCOMPLETA", "SUS FACTORES DE SALARIO REAL", "SE TOMAN COMO 1.0000"});
  }

  // 10-11: logos and the update folder.
  session.logoCount = countLogos(inst.dataDir);
  fs::create_directories(inst.dataDir / "ACTUALIZACION", ec);
  return StartupOutcome::kRun;
}

}  // namespace velmora::shell
