#include "app/commands.h"

#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <ostream>

#include "app/demo_data.h"
#include "framework/text.h"
#include "framework/whole_file.h"
#include "services/backup.h"
#include "services/migration.h"
#include "services/restore.h"
#include "services/restore_journal.h"
#include "tables/catalogue.h"
#include "tables/table_file.h"
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

// A folder name for `text`: its letters, digits and "-", the rest "_".
std::string folderNameOf(const std::string& text) {
  std::string name;
  for (char c : text) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
    name += plain ? c : '_';
  }
  return name;
}

// The folder of this station's own files for an installation on a server:
// its settings, window places and reports. It is named by the installation
// the address reaches, never by its password or options; a folder named by
// the whole address (as earlier versions did, password included) is taken
// over under the new name when no program is using it (and no restore cut
// short waits there to be undone).
fs::path stationFolderFor(const tables::ServerAddress& server) {
  fs::path base;
  if (const char* own = std::getenv("VELMORA_STATION"); own && *own) {
    base = own;
  } else {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    base = (xdg && *xdg ? fs::path(xdg) : fs::path(home && *home ? home : "/tmp") / ".local" / "share") / "velmora";
  }
  const fs::path folder = base / folderNameOf(tables::installationKey(server));
  const fs::path earlier = base / folderNameOf(server.url.substr(server.url.find("://") + 3) + "_" + server.schema);
  std::error_code ec;
  if (earlier == folder || fs::exists(folder, ec) || !fs::is_directory(earlier, ec)) return folder;
  services::InstallationUse use;
  if (use.takeAlone(earlier) != services::InstallationUse::Outcome::kHeld) return earlier;
  // A restore cut short there is undone where its journal names its files.
  tables::Installation station;
  station.dataDir = earlier;
  station.settingsDir = earlier / ".settings";
  if (services::restoreInterrupted(station)) return earlier;
  fs::rename(earlier, folder, ec);
  return ec ? earlier : folder;
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

bool refuseUnfinishedCopy(const tables::Installation& inst, std::ostream& err) {
  std::optional<std::string> source;
  // A server that does not answer is said by the command's own first read;
  // it can use nothing there meanwhile.
  if (!tables::copyIncompleteMark(inst, &source) || !source) return true;
  err << "velmora: la instalación " << services::installationName(inst) << " es una copia que no terminó (desde "
      << *source << "); vuelva a correr velmora migra hacia ella para empezarla de nuevo\n";
  return false;
}

namespace {

constexpr const char* kServerFile = "SERVIDOR";

// Whether `name` is a file the program keeps in a settings folder.
bool isOwnSettingsFile(const std::string& name) {
  const std::string table = tables::tableDef("VGA").fileName;
  if (name == table || name == kServerFile || name == "velmora.conf") return true;
  // Its journals, its damaged copies set aside, the half copy of a restore
  // cut short (cleared by the next command).
  for (const char* beside : {"-journal", "-wal", "-shm", ".DANADO", ".restaurando"})
    if (name.rfind(table + beside, 0) == 0) return true;
  // The scratch file of a whole-file write that was cut short.
  return name.size() > 1 && name[0] == '.' && name.find(".velmora-") != std::string::npos;
}

}  // namespace

bool refuseSettingsFolder(const tables::Installation& inst, std::ostream& err) {
  const fs::path folder = inst.settingsDir.empty() ? inst.dataDir : inst.settingsDir;
  std::error_code ec;
  const fs::path real = fs::weakly_canonical(fs::absolute(folder, ec), ec);
  const std::string shown = folder.string();
  if (!ec && real == real.root_path()) {
    err << "velmora: la carpeta de configuración no puede ser la raíz " << shown
        << "; dé una carpeta propia con --settings o VELMORA_SETTINGS\n";
    return false;
  }
  if (!fs::exists(folder, ec)) return true;  // made when needed, with our files only
  if (!fs::is_directory(folder, ec)) {
    err << "velmora: la configuración " << shown << " no es una carpeta\n";
    return false;
  }
  if (folder == inst.dataDir / ".settings") return true;  // the installation's own
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (isOwnSettingsFile(name)) continue;
    err << "velmora: la carpeta de configuración " << shown << " tiene otros archivos (" << name
        << "); dé una carpeta propia de la configuración con --settings o VELMORA_SETTINGS\n";
    return false;
  }
  if (ec) {
    err << "velmora: no se puede leer la carpeta de configuración " << shown << "\n";
    return false;
  }
  return true;
}

void warnIfServerFileShared(const tables::Installation& inst, std::ostream& err) {
#ifndef _WIN32  // permissions of other users are not Windows' ones
  const fs::path file = inst.settingsDir / kServerFile;
  std::error_code ec;
  const fs::perms perms = fs::status(file, ec).permissions();
  if (ec || !fs::is_regular_file(file, ec)) return;
  if ((perms & (fs::perms::group_read | fs::perms::others_read)) == fs::perms::none) return;
  err << "velmora: aviso: otros usuarios pueden leer " << file.string()
      << ", que guarda la dirección del servidor; déjelo sólo para usted (chmod 600) o escríbalo con velmora enlaza\n";
#else
  (void)inst;
  (void)err;
#endif
}

int runLinkCommand(const std::string& data, const std::string& settingsOption, const std::string& address,
                   std::ostream& out, std::ostream& err) {
  if (tables::isServerAddress(data)) {
    err << "velmora: --data debe ser una carpeta: la que queda en lugar del servidor\n";
    return 2;
  }
  tables::Installation folder;
  std::error_code ec;
  folder.dataDir = fs::absolute(data, ec);
  folder.settingsDir = settingsDirFor(folder.dataDir, settingsOption);
  if (!refuseSettingsFolder(folder, err)) return 1;
  const fs::path file = folder.settingsDir / kServerFile;
  if (address.empty()) {
    const std::string line = serverLineOf(folder.settingsDir);
    if (line.empty()) out << folder.dataDir.string() << " guarda sus tablas en archivos: no usa un servidor\n";
    else out << folder.dataDir.string() << " usa el servidor " << tables::shownAddress(line) << "\n";
    warnIfServerFileShared(folder, err);
    return 0;
  }
  const auto server = tables::parseServerAddress(address);
  if (!server) {
    err << "velmora: la dirección del servidor no es válida: " << tables::shownAddress(address)
        << " (postgresql://usuario@servidor:puerto/base?schema=nombre)\n";
    return 2;
  }
  fs::create_directories(folder.settingsDir, ec);
  if (Status s = writeWholeFile(file, address + "\n", WholeFileAccess::kOwnerOnly); !s) {
    err << "velmora: " << s.text() << "\n";
    return 1;
  }
  out << folder.dataDir.string() << " usa ahora el servidor " << tables::shownAddress(address) << " (esquema "
      << server->schema << "); la dirección queda en " << file.string() << ", que sólo usted puede leer\n";
  for (const auto* def : installationTables()) {
    bool held = false;
    if (def->settingsRole || def->stationFile || !folder.holdsTable(*def, &held) || !held) continue;
    out << "aviso: las tablas en archivos de " << folder.dataDir.string()
        << " dejan de usarse; para llevarlas al servidor use velmora migra\n";
    break;
  }
  if (tables::shownAddress(address) != address)
    out << "aviso: la dirección lleva la clave; es mejor darla en ~/.pgpass, en PGPASSWORD o en un archivo de "
           "servicio (pg_service.conf)\n";
  return 0;
}

bool useInstallation(const tables::Installation& inst, services::InstallationUse& use, bool writes, std::ostream& err) {
  using Outcome = services::InstallationUse::Outcome;
  if (!refuseSettingsFolder(inst, err)) return false;
  warnIfServerFileShared(inst, err);
  if (!refuseUnfinishedCopy(inst, err)) return false;
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
    services::clearLeftoversOfCutRuns(inst, use);
    use.shareAgain();
    return true;
  }
  if (writes && !tables::canWriteIn(inst.dataDir)) {
    err << "velmora: no se puede escribir en la instalación " << inst.dataDir.string() << "\n";
    return false;
  }
  // What runs cut short left behind goes before the command begins.
  services::clearLeftoversOfCutRuns(inst, use);
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
  // A table may open and still not be the program's: a trigger, a view, a
  // column too many or a text among numbers would change every figure.
  bool held = false;
  Status stored = inst.holdsTable(def, &held);
  if (stored && held) stored = tables::checkStoredTable(inst, def);
  if (!opened || !stored) {
    out << "ERROR: " << (stored ? "no se pudo abrir" : stored.text()) << "\n";
    return false;
  }
  bool damaged = false;
  const Status s = t->checkKeys(&damaged);
  damaged = damaged || t->wasRepaired();
  int64_t records = 0;
  const Status counted = s ? t->count(&records) : s;
  const char* state = !counted ? "ERROR" : t->wasCreated() ? "creada vacía" : damaged ? "claves reconstruidas" : "ok";
  out << state << "  ";
  if (counted) out << records << " registros\n";
  else out << "no se pudo contar: " << counted.text() << "\n";
  return counted && !damaged && !t->wasCreated();
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
    if (Status s = services::registeredWorks(base, errors, &codes); !s) {
      out << "registro de obras: ERROR: " << s.text() << "\n";
      return 1;
    }
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
    std::error_code ec;
    if (!inst.onServer() && fs::is_symlink(fs::symlink_status(inst.workDir, ec))) {
      out << "obra " << code << ": ERROR: su carpeta es un enlace simbólico\n";
      ++problems;
      continue;
    }
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
  errors.setFatalHandler({});  // what check meets is in its count
  if (problems > 0)
    err << "velmora: " << problems << (problems == 1 ? " tabla" : " tablas") << " con problemas en "
        << inst.dataDir.string() << "\n";
  return problems == 0 ? 0 : 1;
}

shell::Session sessionAt(const std::string& dataDir, const std::string& settingsOption, ErrorReporter& errors) {
  shell::Session session;
  session.installation = installationAt(dataDir.empty() ? "." : dataDir, settingsOption);
  session.errors = &errors;
  return session;
}

}  // namespace velmora::app
