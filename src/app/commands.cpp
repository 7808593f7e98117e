#include "app/commands.h"

#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <ostream>

#include "app/demo_data.h"
#include "framework/text.h"
#include "services/backup.h"
#include "services/restore_journal.h"
#include "tables/catalogue.h"
#include "works/work.h"

namespace velmora::app {

namespace fs = std::filesystem;

namespace {
struct CannotOpen {};
}  // namespace

fs::path settingsDirFor(const fs::path& dataDir, const std::string& option) {
  if (!option.empty()) return option;
  if (const char* env = std::getenv("VELMORA_SETTINGS"); env && *env) return env;
  // Each installation keeps its settings beside its data, out of the tables'
  // own folder, so that two installations never share a master login.
  return dataDir / ".settings";
}

namespace {

// The folder of this station's own files for an installation on a server:
// its settings, window places and reports.
fs::path stationFolderFor(const tables::ServerAddress& server) {
  std::string name;
  for (char c : server.url.substr(server.url.find("://") + 3) + "_" + server.schema) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
    name += plain ? c : '_';
  }
  if (const char* own = std::getenv("VELMORA_STATION"); own && *own) return fs::path(own) / name;
  const char* xdg = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  const fs::path base = xdg && *xdg ? fs::path(xdg) : fs::path(home && *home ? home : "/tmp") / ".local" / "share";
  return base / "velmora" / name;
}

// The one line of the file SERVIDOR in the settings: the address of the
// server an installation's folder stands for.
std::string serverLineOf(const fs::path& settingsDir) {
  std::ifstream in(settingsDir / "SERVIDOR");
  std::string line;
  std::getline(in, line);
  return text::clip(line);
}

}  // namespace

tables::Installation installationAt(const std::string& data, const std::string& settingsOption) {
  tables::Installation inst;
  std::string address = tables::isServerAddress(data) ? data : std::string();
  std::optional<tables::ServerAddress> server;
  if (!address.empty()) {
    server = tables::parseServerAddress(address);
    if (server) {
      inst.dataDir = stationFolderFor(*server);
      std::error_code made;
      fs::create_directories(inst.dataDir, made);
    }
  } else {
    std::error_code ec;
    inst.dataDir = fs::absolute(data, ec);
    if (ec) inst.dataDir = data;
  }
  inst.settingsDir = settingsDirFor(inst.dataDir, settingsOption);
  if (address.empty()) {
    address = serverLineOf(inst.settingsDir);
    if (!address.empty()) server = tables::parseServerAddress(address);
  }
  if (!address.empty()) {
    // An address that is not one leaves a server no table can reach: every
    // open then says so, instead of quietly using the folder's files.
    inst.serverUrl = server ? server->url : address;
    inst.serverSchema = server ? server->schema : std::string();
  }
  return inst;
}

bool useInstallation(const tables::Installation& inst, services::InstallationUse& use, bool writes, std::ostream& err) {
  using Outcome = services::InstallationUse::Outcome;
  std::error_code ec;
  if (!fs::is_directory(inst.dataDir, ec)) return true;  // the command reports a missing folder itself
  if (services::restoreInterrupted(inst)) {
    const Outcome alone = use.takeAlone(inst.dataDir);
    if (alone != Outcome::kHeld) {
      err << "velmora: una restauración quedó a medias en esta instalación y debe deshacerse antes de usarla; "
          << (alone == Outcome::kBusy ? "cierre el programa en las demás estaciones y vuelva a intentarlo"
                                      : "no se puede escribir en la carpeta de la instalación")
          << "\n";
      return false;
    }
    if (Status s = services::undoInterruptedRestore(inst); !s) {
      err << "velmora: " << s.text() << "\n";
      return false;
    }
    err << "velmora: una restauración interrumpida se deshizo: la instalación quedó como estaba antes de ella\n";
    use.shareAgain();
    return true;
  }
  if (writes && !tables::canWriteIn(inst.dataDir)) {
    err << "velmora: no se puede escribir en la instalación " << inst.dataDir.string() << "\n";
    return false;
  }
  switch (use.share(inst.dataDir)) {
    case Outcome::kHeld: return true;
    case Outcome::kBusy:
      err << "velmora: se está restaurando un respaldo en esta instalación; intente más tarde\n";
      return false;
    case Outcome::kNoLockFile:
      if (!writes) return true;  // nobody can restore into it either
      err << "velmora: no se puede escribir en la instalación " << inst.dataDir.string() << "\n";
      return false;
  }
  return false;
}

std::vector<const tables::TableDef*> installationTables() {
  std::vector<const tables::TableDef*> out;
  for (const auto& def : tables::allTables()) {
    if (tables::isWorkTable(def.label) || def.label == "COBT" || def.label == "INCT") continue;
    out.push_back(&def);
  }
  return out;
}

namespace {

// Opens one table (creating it only where the installation creates), checks
// its keys and says on one line how it was; false when anything was wrong.
bool checkTable(const tables::Installation& inst, const tables::TableDef& def, ErrorReporter& errors,
                std::ostream& out) {
  auto t = inst.table(def.label, errors);
  out << std::left << std::setw(10) << t->path().filename().string() << std::setw(8) << def.label;
  bool opened = false;
  try {
    opened = t->open().isOk();
  } catch (const CannotOpen&) {}
  if (!opened) {
    out << "ERROR: no se pudo abrir\n";
    return false;
  }
  bool damaged = false;
  const Status s = t->checkKeys(&damaged);
  damaged = damaged || t->wasRepaired();
  const char* state = !s ? "ERROR" : t->wasCreated() ? "creada vacía" : damaged ? "claves reconstruidas" : "ok";
  out << state << "  " << t->count() << " registros\n";
  return s && !damaged && !t->wasCreated();
}

// The tables of every registered work: a budget must have its rows (OBRA1)
// and their lines (OBRA3) once it has any table; its inputs (OBRA2) and
// machine hours (OBRA5) are made again by the next recalculation or
// explosion. Nothing is created here: a missing budget file is a loss to
// report (a restore brings it back), never an empty table to price at 0.
int checkWorks(const tables::Installation& base, ErrorReporter& errors, std::ostream& out) {
  int problems = 0;
  std::vector<std::string> codes;
  try {
    codes = services::registeredWorks(base, errors);
  } catch (const CannotOpen&) {
    return 0;  // the works register was reported with the other tables
  }
  for (const std::string& code : codes) {
    if (!works::isValidWorkCode(code)) {
      out << "obra " << code << ": ERROR: " << works::invalidWorkCodeText(code) << "\n";
      ++problems;
      continue;
    }
    tables::Installation inst = base;
    inst.workDir = works::workDirectory(base.dataDir, code);
    inst.createMissing = false;
    std::vector<const tables::TableDef*> present, missing;
    Status asked;
    for (const char* label : {"COBR", "IOBR", "INOB", "HORA"}) {
      const auto& def = tables::tableDef(label);
      bool held = false;
      if (asked = inst.holdsTable(def, &held); !asked) break;
      (held ? present : missing).push_back(&def);
    }
    if (!asked) {  // not known, so not called missing
      out << "obra " << code << ": ERROR: " << asked.text() << "\n";
      ++problems;
      continue;
    }
    if (present.empty()) {
      out << "obra " << code << ": sin presupuesto todavía\n";
      continue;
    }
    for (const auto* def : missing) {
      const bool required = def->label == "COBR" || def->label == "INOB";
      out << code << "/" << std::left << std::setw(10) << def->fileName << std::setw(8) << def->label
          << (required ? "ERROR: falta la tabla\n" : "no existe (se crea al recalcular)\n");
      if (required) ++problems;
    }
    for (const auto* def : present) {
      out << code << "/";
      if (!checkTable(inst, *def, errors, out)) ++problems;
    }
  }
  return problems;
}

}  // namespace

int runCheck(const tables::Installation& inst, ErrorReporter& errors, std::ostream& out, std::ostream& err) {
  std::error_code ec;
  if (!fs::is_directory(inst.dataDir, ec)) {
    err << "velmora: no existe el directorio " << inst.dataDir.string() << "\n";
    return 1;
  }
  // A table that cannot be opened is reported and the check goes on.
  errors.setFatalHandler([](const std::string&) { throw CannotOpen{}; });
  int problems = 0;
  for (const auto* def : installationTables())
    if (!checkTable(inst, *def, errors, out)) ++problems;
  problems += checkWorks(inst, errors, out);
  errors.setFatalHandler([](const std::string&) { std::exit(1); });
  if (problems > 0) err << "velmora: " << problems << " tablas con problemas en " << inst.dataDir.string() << "\n";
  return problems == 0 ? 0 : 1;
}

shell::Session sessionAt(const std::string& dataDir, const std::string& settingsOption, ErrorReporter& errors) {
  shell::Session session;
  session.installation = installationAt(dataDir.empty() ? "." : dataDir, settingsOption);
  session.errors = &errors;
  return session;
}

}  // namespace velmora::app
