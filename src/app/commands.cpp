#include "app/commands.h"

#include <cstdlib>
#include <iomanip>
#include <ostream>

#include "app/demo_data.h"
#include "tables/catalogue.h"

namespace velmora::app {

namespace fs = std::filesystem;

fs::path settingsDirFor(const fs::path& dataDir, const std::string& option) {
  if (!option.empty()) return option;
  if (const char* env = std::getenv("VELMORA_SETTINGS"); env && *env) return env;
  // Each installation keeps its settings beside its data, out of the tables'
  // own folder, so that two installations never share a master login.
  return dataDir / ".settings";
}

tables::Installation installationAt(const fs::path& dataDir, const std::string& settingsOption) {
  tables::Installation inst;
  std::error_code ec;
  inst.dataDir = fs::absolute(dataDir, ec);
  if (ec) inst.dataDir = dataDir;
  inst.settingsDir = settingsDirFor(inst.dataDir, settingsOption);
  return inst;
}

std::vector<const tables::TableDef*> installationTables() {
  std::vector<const tables::TableDef*> out;
  for (const auto& def : tables::allTables()) {
    if (tables::isWorkTable(def.label) || def.label == "COBT" || def.label == "INCT") continue;
    out.push_back(&def);
  }
  return out;
}

int runCheck(const tables::Installation& inst, ErrorReporter& errors, std::ostream& out,
             std::ostream& err) {
  std::error_code ec;
  if (!fs::is_directory(inst.dataDir, ec)) {
    err << "velmora: no existe el directorio " << inst.dataDir.string() << "\n";
    return 1;
  }
  // A table that cannot be opened is reported and the check goes on.
  struct CannotOpen {};
  errors.setFatalHandler([](const std::string&) { throw CannotOpen{}; });
  int problems = 0;
  for (const auto* def : installationTables()) {
    auto t = inst.table(def->label, errors);
    const std::string file = t->path().filename().string();
    out << std::left << std::setw(10) << file << std::setw(8) << def->label;
    bool opened = false;
    try {
      opened = t->open().isOk();
    } catch (const CannotOpen&) {
    }
    if (!opened) {
      out << "ERROR: no se pudo abrir\n";
      ++problems;
      continue;
    }
    bool damaged = false;
    const Status s = t->checkKeys(&damaged);
    damaged = damaged || t->wasRepaired();
    const char* state = !s ? "ERROR" : t->wasCreated() ? "creada vacía" : damaged ? "claves reconstruidas" : "ok";
    out << state << "  " << t->count() << " registros\n";
    if (!s || damaged || t->wasCreated()) ++problems;
  }
  errors.setFatalHandler([](const std::string&) { std::exit(1); });
  if (problems > 0) err << "velmora: " << problems << " tablas con problemas en " << inst.dataDir.string() << "\n";
  return problems == 0 ? 0 : 1;
}

}  // namespace velmora::app
