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
#ifdef _WIN32
  return fs::absolute(dataDir).root_path();
#else
  (void)dataDir;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) return fs::path(xdg) / "velmora";
  if (const char* home = std::getenv("HOME"); home && *home) return fs::path(home) / ".config" / "velmora";
  return fs::temp_directory_path() / "velmora";
#endif
}

tables::Installation installationAt(const fs::path& dataDir, const std::string& settingsOption) {
  tables::Installation inst;
  inst.dataDir = fs::absolute(dataDir);
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
  if (!fs::is_directory(inst.dataDir)) {
    err << "velmora: no existe el directorio " << inst.dataDir.string() << "\n";
    return 1;
  }
  int failures = 0;
  auto all = installationTables();
  for (const auto* def : all) {
    auto t = inst.table(def->label, errors);
    const std::string file = t->path().filename().string();
    if (!t->open()) {
      out << std::left << std::setw(10) << file << std::setw(8) << def->label << "ERROR\n";
      ++failures;
      continue;
    }
    bool damaged = false;
    const Status s = t->checkKeys(&damaged);
    out << std::left << std::setw(10) << file << std::setw(8) << def->label
        << (!s ? "ERROR" : damaged ? "claves reconstruidas" : "ok") << "  " << t->count()
        << " registros\n";
    if (!s) ++failures;
  }
  return failures == 0 ? 0 : 1;
}

}  // namespace velmora::app
