#include "services/backup_names.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "framework/text.h"
#include "services/installation_use.h"
#include "tables/catalogue.h"
#include "works/work_code.h"

namespace velmora::services {

namespace {

constexpr const char* kSystemPrefix = "ARCHIVOS DEL SISTEMA AL ";
constexpr const char* kWorkPrefix = "ARCHIVOS DE LA OBRA ";
// The kept direct cost of a budget: recomputed, never restored.
constexpr const char* kKeptCostSuffix = ".costo";

// A plain file name: no folders, no drive, nothing that climbs, no control bytes.
bool plainName(const std::string& name) {
  if (name.empty() || name == "." || name == ".." || name.find_first_of("/\\:") != std::string::npos) return false;
  return std::none_of(name.begin(), name.end(), [](unsigned char c) { return c < 0x20 || c == 0x7F; });
}

// The files besides the tables that a system backup carries: the pictures
// and documents the program shows, its window settings, the demo's mark.
bool isInstallationDocument(const std::string& name) {
  if (name == ".demo-completa") return true;
  if (name.empty() || name[0] == '.') return false;
  const std::string ext = text::upper(std::filesystem::path(name).extension().string());
  for (const char* allowed :
       {".JPG", ".JPEG", ".PNG", ".BMP", ".GIF", ".ICO", ".DOC", ".DOCX", ".PDF", ".TXT", ".INI", ".HLP"})
    if (ext == allowed) return true;
  return false;
}

const tables::TableDef* dataTableNamed(const std::string& fileName) {
  for (const auto& def : tables::allTables())
    if (!def.settingsRole && !tables::isWorkTable(def.label) && def.fileName == fileName) return &def;
  return nullptr;
}

const tables::TableDef* workTableNamed(const std::string& fileName) {
  for (const auto& def : tables::allTables())
    if (tables::isWorkTable(def.label) && def.fileName == fileName) return &def;
  return nullptr;
}

const tables::TableDef* settingsTable() {
  for (const auto& def : tables::allTables())
    if (def.settingsRole) return &def;
  return nullptr;
}

EntryPlace table(const tables::TableDef* def, const std::string& file, bool settings = false) {
  EntryPlace p;
  p.kind = EntryPlace::Kind::kTable;
  p.def = def;
  p.file = file;
  p.settings = settings;
  return p;
}

EntryPlace refused(const std::string& why) {
  EntryPlace p;
  p.why = why;
  return p;
}

}  // namespace

std::string systemCommentPrefix() { return kSystemPrefix; }
std::string workCommentPrefix() { return kWorkPrefix; }

std::string settingsEntryName(const std::string& fileName) { return ".settings/" + fileName; }

BackupContents contentsOf(const std::string& comment) {
  BackupContents c;
  if (comment.rfind(kSystemPrefix, 0) == 0) {
    c.valid = c.system = true;
  } else if (comment.rfind(kWorkPrefix, 0) == 0) {
    const std::string rest = comment.substr(std::strlen(kWorkPrefix));
    const size_t at = rest.rfind(" AL ");
    if (at != std::string::npos && at > 0) {
      c.work = rest.substr(0, at);
      c.valid = works::isValidWorkCode(c.work);
    }
  }
  return c;
}

EntryPlace placeOfEntry(const std::string& name, bool systemArchive) {
  const tables::TableDef* settings = settingsTable();
  const std::string settingsName = settings ? settingsEntryName(settings->fileName) : std::string();
  if (systemArchive && settings && (name == settingsName || name == settings->fileName))
    return table(settings, settings->fileName, true);
  if (!plainName(name)) return refused("el respaldo contiene un nombre no permitido: " + name);
  const std::string notOfKind = "el respaldo contiene un archivo que no es de un respaldo " +
                                std::string(systemArchive ? "del sistema" : "de obra") + ": " + name;
  if (!systemArchive) {
    if (name.size() > std::strlen(kKeptCostSuffix) && name.ends_with(kKeptCostSuffix) &&
        workTableNamed(name.substr(0, name.size() - std::strlen(kKeptCostSuffix)))) {
      EntryPlace skip;
      skip.kind = EntryPlace::Kind::kSkipped;
      return skip;
    }
    if (const auto* def = workTableNamed(name)) return table(def, name);
    return refused(notOfKind);
  }
  if (name == InstallationUse::kFileName) {
    EntryPlace skip;
    skip.kind = EntryPlace::Kind::kSkipped;
    return skip;
  }
  if (const auto* def = dataTableNamed(name)) return table(def, name);
  // A work table while no work is chosen: ARCH1 for OBRA1, and so on.
  if (name.rfind("ARCH", 0) == 0) {
    if (const auto* def = workTableNamed("OBRA" + name.substr(4))) return table(def, name);
  }
  if (!isInstallationDocument(name)) return refused(notOfKind);
  EntryPlace doc;
  doc.kind = EntryPlace::Kind::kDocument;
  doc.file = name;
  return doc;
}

}  // namespace velmora::services
